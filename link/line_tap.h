// The station's side of the line trace: every byte the station sends and receives, and the
// wake-up breaks, handed to a tap (the live-data recording) while one is set. The ports are
// opened through a backend that wraps the real one, so every port the link opens is seen.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "platform/line_trace.h"
#include "platform/serial_port.h"

namespace kline {

class LineTap {
  public:
    virtual ~LineTap() = default;
    // Called on the thread that uses the port (the poller or the window's), one at a time.
    virtual void OnLine(const platform::TraceByte& event) = 0;
};

class TappedBackend final : public platform::SerialBackend {
  public:
    // Opens through `*inner`, read at each opening (tests set the station's backend late).
    explicit TappedBackend(platform::SerialBackend* const& inner) : inner_(inner) {}

    std::unique_ptr<platform::SerialPort> Open(const std::string& name) override;
    platform::OpenFailure LastOpenFailure() const override { return inner_->LastOpenFailure(); }
    platform::OpenFailure ExamineOpenedPort(const std::string& name) const override {
        return inner_->ExamineOpenedPort(name);
    }

    // From now on every byte of the open port and of later ones goes to `tap` (nullptr:
    // nowhere). When this returns, no call to the previous tap is running or will follow.
    void SetTap(LineTap* tap);

    // Passes the event to the tap, if one is set.
    void Report(platform::TraceKind kind, uint8_t byte = 0);

  private:
    platform::SerialBackend* const& inner_;
    std::mutex mutex_;
    LineTap* tap_ = nullptr;
    std::atomic<bool> tapped_{false};  // spares the lock while nothing records
};

}  // namespace kline
