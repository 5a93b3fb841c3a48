// The station's own link over the simulated devices, on a virtual clock.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "link/ecu_protocol.h"
#include "link/exchange.h"
#include "link/port.h"
#include "sim/simulated_backend.h"
#include "tests/support/frames.h"
#include "tests/support/recording_sink.h"
#include "tests/support/virtual_clock.h"

namespace sim_test {

using testing_support::Bytes;
using testing_support::Hex;

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
          address(testing_support::EcuAddress(options.type)) {
        clock.Advance(1'000'000);  // the line has been idle a while
    }
    ~Line() { kline::ClosePort(port); }

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
    testing_support::ScopedVirtualClock clock;
    sim::SimulatedBackend backend;
    kline::EcuProtocol protocol;
    uint8_t address;
    kline::Port port;
};

}  // namespace sim_test
