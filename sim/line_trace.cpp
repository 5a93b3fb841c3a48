#include "sim/line_trace.h"

#include <cstdio>

#include "sim/line_timing.h"

namespace sim {

namespace {

// Bytes closer than this belong to one burst: back to back, or within P4 of a slow tester.
constexpr int64_t kBurstGapMicros = 3 * kByteMicros;

bool IsByte(LineEventKind kind) {
    return kind == LineEventKind::TesterByte || kind == LineEventKind::EcuByte;
}

std::string Stamp(int64_t micros) {
    char text[32];
    std::snprintf(text, sizeof text, "%11.6f", static_cast<double>(micros) / 1e6);
    return text;
}

std::string HexText(const std::vector<uint8_t>& bytes) {
    std::string text;
    char item[4];
    for (uint8_t b : bytes) {
        std::snprintf(item, sizeof item, "%02X", b);
        if (!text.empty())
            text += ' ';
        text += item;
    }
    return text;
}

}  // namespace

std::vector<std::string> LineTrace::Add(const std::vector<LineEvent>& events) {
    std::vector<std::string> lines;
    for (const LineEvent& e : events) {
        const bool continues =
            !bytes_.empty() && e.kind == kind_ && e.micros - last_ <= kBurstGapMicros;
        if (!bytes_.empty() && !continues) {
            lines.push_back(Line());
            bytes_.clear();
        }
        if (!IsByte(e.kind)) {
            const char* what = e.kind == LineEventKind::BreakSet ? "break set" : "break clear";
            lines.push_back(Stamp(e.micros - origin_) + "  " + what);
            continue;
        }
        if (bytes_.empty()) {
            kind_ = e.kind;
            first_ = e.micros;
        }
        bytes_.push_back(e.byte);
        last_ = e.micros;
    }
    return lines;
}

std::vector<std::string> LineTrace::Flush(int64_t nowMicros, bool force) {
    if (bytes_.empty() || (!force && nowMicros - last_ <= kBurstGapMicros))
        return {};
    std::vector<std::string> lines{Line()};
    bytes_.clear();
    return lines;
}

std::string LineTrace::Line() const {
    const char* who = kind_ == LineEventKind::TesterByte ? "tester" : "ecu   ";
    return Stamp(first_ - origin_) + "  " + who + "  " + HexText(bytes_);
}

}  // namespace sim
