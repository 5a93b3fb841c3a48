#include "sim/line_trace.h"

namespace sim {

namespace {

// The line as the simulator sees it has no echo: the tester's bytes are on the line once.
platform::TraceKind KindOf(LineEventKind kind) {
    switch (kind) {
        case LineEventKind::TesterByte:
            return platform::TraceKind::Tester;
        case LineEventKind::EcuByte:
            return platform::TraceKind::Ecu;
        case LineEventKind::BreakSet:
            return platform::TraceKind::BreakSet;
        case LineEventKind::BreakClear:
            return platform::TraceKind::BreakClear;
    }
    return platform::TraceKind::Tester;
}

}  // namespace

std::vector<std::string> LineTrace::Add(const std::vector<LineEvent>& events) {
    std::vector<std::string> lines;
    for (const LineEvent& e : events) {
        std::vector<std::string> done = writer_.Add({e.micros, KindOf(e.kind), e.byte});
        lines.insert(lines.end(), done.begin(), done.end());
    }
    return lines;
}

std::vector<std::string> LineTrace::Flush(int64_t nowMicros, bool force) {
    return writer_.Flush(nowMicros, force);
}

}  // namespace sim
