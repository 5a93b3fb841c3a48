#include "tests/support/sim_trace.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace testing_support {

namespace {

// Format byte with the length in its low bits: data from byte 3; else a length byte first.
size_t DataStart(const std::vector<uint8_t>& frame) {
    return (frame[0] & 0x3F) ? 3 : 4;
}

}  // namespace

std::vector<TraceBurst> ReadSimTrace(const std::string& path) {
    std::vector<TraceBurst> bursts;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        TraceBurst burst;
        std::string who;
        if (!(fields >> burst.seconds >> who) || (who != "tester" && who != "ecu"))
            continue;
        burst.fromEcu = who == "ecu";
        std::string hex;
        while (fields >> hex)
            burst.bytes.push_back(static_cast<uint8_t>(std::stoul(hex, nullptr, 16)));
        bursts.push_back(burst);
    }
    return bursts;
}

bool IsLiveRequest(const TraceBurst& burst) {
    const auto& b = burst.bytes;
    return !burst.fromEcu && b.size() == 6 && b[3] == 0x21 && b[4] == 0x01;
}

bool IsLiveAnswer(const TraceBurst& burst) {
    return burst.fromEcu && burst.bytes.size() > 5 && burst.bytes[DataStart(burst.bytes)] == 0x61;
}

kline::KwpMessage RecordOf(const std::vector<uint8_t>& frame) {
    const size_t header = DataStart(frame);
    kline::KwpMessage record;
    record.length = static_cast<uint8_t>(frame.size() - header - 1);
    // The checksum stays behind the data, as the exchange leaves it.
    const size_t copied = std::min(frame.size() - header, record.data.size());
    std::copy_n(frame.begin() + static_cast<std::ptrdiff_t>(header), copied, record.data.begin());
    return record;
}

}  // namespace testing_support
