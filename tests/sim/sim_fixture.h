// The station's own link over the simulated devices, on a virtual clock.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "link/ecu_protocol.h"
#include "link/exchange.h"
#include "link/port.h"
#include "platform/clock.h"
#include "sim/simulated_backend.h"
#include "tests/support/recording_sink.h"

namespace sim_test {

using Bytes = std::vector<uint8_t>;

inline std::string Hex(const Bytes& b) {
    return kline::HexBytes(b.data(), b.size());
}

inline sim::EcuOptions Family(int type) {
    sim::EcuOptions options;
    options.type = type;
    return options;
}

class Line {
  public:
    explicit Line(const sim::EcuOptions& options)
        : backend(clock, options),
          protocol(options.type),
          address(options.type == 0 ? 0x11 : 0x10) {
        clock.Advance(1'000'000);  // the line has been idle a while
        platform::UseClock(&clock);
    }
    ~Line() {
        kline::ClosePort(port);
        platform::UseClock(nullptr);
    }

    bool Open() { return kline::OpenPort(backend, "COM1", 10400, port); }
    bool Start() { return protocol.StartCommunication(port); }
    bool OpenAndStart() { return Open() && Start(); }
    kline::KwpMessage Ask(std::initializer_list<uint8_t> request) {
        return kline::Exchange(address, kline::MakeRequest(request), port);
    }
    // The answer's data bytes, SID first (empty on a failed exchange).
    Bytes AskBytes(std::initializer_list<uint8_t> request) {
        kline::KwpMessage m = Ask(request);
        if (m.error)
            return {};
        return Bytes(m.data.begin(), m.data.begin() + m.length);
    }
    // The bytes of one kind on the line since the log was last cleared.
    Bytes LineBytes(sim::LineEventKind kind) {
        Bytes bytes;
        for (const sim::LineEvent& e : backend.Log())
            if (e.kind == kind)
                bytes.push_back(e.byte);
        return bytes;
    }
    Bytes EcuBytes() { return LineBytes(sim::LineEventKind::EcuByte); }

    testing_support::RecordingSink sink;
    platform::VirtualClock clock;
    sim::SimulatedBackend backend;
    kline::EcuProtocol protocol;
    uint8_t address;
    kline::Port port;
};

}  // namespace sim_test
