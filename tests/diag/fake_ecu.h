// A K-line with an adapter that echoes every byte and an ECU that answers each request as
// the test's responder decides, safe to use from the poller's thread and the test's at once.
// A silent read costs the 110 ms per-byte time-out on the clock in force.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/serial_port.h"
#include "sim/kwp_frame.h"
#include "tests/support/frames.h"

namespace diag_test {

using testing_support::Bytes;
using testing_support::LiveRecord;

// One request the station sent: its data (service id first) and when its first byte went out.
struct SentRequest {
    Bytes data;
    int64_t micros = 0;
};

class FakeEcuBackend final : public platform::SerialBackend {
  public:
    // Given the request's data, returns the answer's data (service id first), or nothing for
    // a silent ECU. Runs on the thread that sends, outside the backend's lock.
    using Responder = std::function<std::optional<Bytes>(const Bytes& request)>;

    FakeEcuBackend();
    void SetResponder(Responder responder);

    std::vector<SentRequest> Requests() const;
    // Requests whose service id is `sid`.
    std::vector<SentRequest> Requests(uint8_t sid) const;
    std::string WrittenHex() const;
    int Opens() const;
    int Closes() const;

    std::unique_ptr<platform::SerialPort> Open(const std::string& name) override;

    // The port's side of the line.
    void Write(uint8_t byte);
    bool Read(uint8_t& byte);
    void Purge();
    void Closed();

  private:
    void Answer(const sim::RequestFrame& request);

    mutable std::mutex mutex_;
    Responder responder_;
    std::deque<uint8_t> incoming_;
    sim::FrameReceiver receiver_;  // cuts what the station writes into requests
    Bytes written_;
    std::vector<SentRequest> requests_;
    int opens_ = 0;
    int closes_ = 0;
};

}  // namespace diag_test
