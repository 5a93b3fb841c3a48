#include "link/line_tap.h"

#include "platform/clock.h"

namespace kline {

namespace {

// A port that reports what passes through it. A received byte counts as the echo of the
// station's own bytes while fewer have come back than were sent: the half-duplex line
// returns every byte first, then the ECU answers.
class TappedPort final : public platform::SerialPort {
  public:
    TappedPort(std::unique_ptr<platform::SerialPort> port, TappedBackend& backend)
        : port_(std::move(port)), backend_(backend) {}

    bool GetState(platform::LineSettings& s) override { return port_->GetState(s); }
    bool SetState(const platform::LineSettings& s) override { return port_->SetState(s); }
    bool ClearDtr() override { return port_->ClearDtr(); }
    bool ClearRts() override { return port_->ClearRts(); }
    bool GetTimeouts(platform::CommTimeouts& t) override { return port_->GetTimeouts(t); }
    bool SetTimeouts(const platform::CommTimeouts& t) override { return port_->SetTimeouts(t); }
    bool Close() override { return port_->Close(); }

    bool PurgeReceive() override {
        echoesDue_ = 0;  // what was not read back yet is thrown away
        return port_->PurgeReceive();
    }

    int ReadByte(uint8_t& byte) override {
        const int read = port_->ReadByte(byte);
        if (read == 1) {
            const bool echo = echoesDue_ > 0;
            echoesDue_ -= echo ? 1 : 0;
            backend_.Report(echo ? platform::TraceKind::Echo : platform::TraceKind::Ecu, byte);
        }
        return read;
    }

    int WriteByte(uint8_t byte) override {
        const int written = port_->WriteByte(byte);
        if (written == 1) {
            ++echoesDue_;
            backend_.Report(platform::TraceKind::Tester, byte);
        }
        return written;
    }

    bool SetBreak() override {
        echoesDue_ = 0;
        backend_.Report(platform::TraceKind::BreakSet);
        return port_->SetBreak();
    }

    bool ClearBreak() override {
        backend_.Report(platform::TraceKind::BreakClear);
        return port_->ClearBreak();
    }

  private:
    std::unique_ptr<platform::SerialPort> port_;
    TappedBackend& backend_;
    int echoesDue_ = 0;
};

}  // namespace

std::unique_ptr<platform::SerialPort> TappedBackend::Open(const std::string& name) {
    std::unique_ptr<platform::SerialPort> port = inner_->Open(name);
    if (!port)
        return nullptr;
    return std::make_unique<TappedPort>(std::move(port), *this);
}

void TappedBackend::SetTap(LineTap* tap) {
    std::lock_guard lock(mutex_);
    tap_ = tap;
    tapped_ = tap != nullptr;
}

void TappedBackend::Report(platform::TraceKind kind, uint8_t byte) {
    if (!tapped_)
        return;
    std::lock_guard lock(mutex_);
    if (tap_)
        tap_->OnLine({platform::NowMicros(), kind, byte});
}

}  // namespace kline
