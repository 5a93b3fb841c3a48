#include "tests/diag/fake_ecu.h"

#include "link/kwp_message.h"
#include "platform/clock.h"
#include "tests/support/quiet_port.h"

namespace diag_test {

namespace {

constexpr int kSilentReadMs = 110;

class FakePort final : public testing_support::QuietPort {
  public:
    explicit FakePort(FakeEcuBackend& line) : line_(line) {}
    bool PurgeReceive() override {
        line_.Purge();
        return true;
    }
    int ReadByte(uint8_t& byte) override {
        if (line_.Read(byte))
            return 1;
        platform::Sleep(kSilentReadMs);
        return 0;
    }
    int WriteByte(uint8_t byte) override {
        line_.Write(byte);
        return 1;
    }
    bool Close() override {
        line_.Closed();
        return true;
    }

  private:
    FakeEcuBackend& line_;
};

}  // namespace

FakeEcuBackend::FakeEcuBackend() {
    // An ECU that answers every service positively with its id alone.
    responder_ = [](const Bytes& request) -> std::optional<Bytes> {
        return Bytes{static_cast<uint8_t>(request[0] | 0x40)};
    };
}

void FakeEcuBackend::SetResponder(Responder responder) {
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
}

std::vector<SentRequest> FakeEcuBackend::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<SentRequest> FakeEcuBackend::Requests(uint8_t sid) const {
    std::vector<SentRequest> chosen;
    for (const SentRequest& r : Requests())
        if (r.data.size() > 0 && r.data[0] == sid)
            chosen.push_back(r);
    return chosen;
}

std::string FakeEcuBackend::WrittenHex() const {
    std::lock_guard lock(mutex_);
    return kline::HexBytes(written_.data(), written_.size());
}

int FakeEcuBackend::Opens() const {
    std::lock_guard lock(mutex_);
    return opens_;
}

int FakeEcuBackend::Closes() const {
    std::lock_guard lock(mutex_);
    return closes_;
}

std::unique_ptr<platform::SerialPort> FakeEcuBackend::Open(const std::string&) {
    std::lock_guard lock(mutex_);
    ++opens_;
    return std::make_unique<FakePort>(*this);
}

void FakeEcuBackend::Write(uint8_t byte) {
    std::optional<sim::RequestFrame> request;
    {
        std::lock_guard lock(mutex_);
        written_.push_back(byte);
        incoming_.push_back(byte);  // the adapter's echo
        // A frame starts with an addressed format byte; anything else (the adapter byte 0xAA
        // at closing) is for the adapter alone.
        const int64_t now = platform::NowMicros();
        if (receiver_.StartsFrame(now) && (byte & 0xC0) != 0x80)
            return;
        request = receiver_.Feed(byte, now, now);
        if (!request)
            return;
        requests_.push_back({request->data, request->startMicros});
    }
    Answer(*request);
}

void FakeEcuBackend::Answer(const sim::RequestFrame& request) {
    Responder responder;
    {
        std::lock_guard lock(mutex_);
        responder = responder_;
    }
    // Outside the lock, so that a responder may look at the requests so far.
    const std::optional<Bytes> answer =
        request.data.empty() ? std::nullopt : responder(request.data);
    if (!answer)
        return;
    const Bytes reply = testing_support::AnswerFrame(request.target, *answer);
    std::lock_guard lock(mutex_);
    incoming_.insert(incoming_.end(), reply.begin(), reply.end());
}

bool FakeEcuBackend::Read(uint8_t& byte) {
    std::lock_guard lock(mutex_);
    if (incoming_.empty())
        return false;
    byte = incoming_.front();
    incoming_.pop_front();
    return true;
}

void FakeEcuBackend::Purge() {
    std::lock_guard lock(mutex_);
    incoming_.clear();
    receiver_.Reset();  // the exchange purges before every request
}

void FakeEcuBackend::Closed() {
    std::lock_guard lock(mutex_);
    ++closes_;
}

}  // namespace diag_test
