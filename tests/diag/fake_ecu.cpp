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

// Size of a whole frame from its first bytes (ISO 14230-2 4.1): header, data, checksum;
// 0 while not known yet.
size_t FrameSize(const Bytes& frame) {
    if (frame.empty())
        return 0;
    const size_t length = frame[0] & 0x3F;
    if (length > 0)
        return 3 + length + 1;
    return frame.size() >= 4 ? 4 + frame[3] + 1 : 0;
}

Bytes FrameData(const Bytes& frame) {
    const size_t header = (frame[0] & 0x3F) ? 3 : 4;
    return {frame.begin() + header, frame.end() - 1};
}

Bytes AnswerFrame(uint8_t ecuAddress, const Bytes& data) {
    Bytes frame{static_cast<uint8_t>(0x80 + data.size()), 0xF1, ecuAddress};
    frame.insert(frame.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (uint8_t b : frame) sum = static_cast<uint8_t>(sum + b);
    frame.push_back(sum);
    return frame;
}

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
    Bytes frame;
    {
        std::lock_guard lock(mutex_);
        written_.push_back(byte);
        incoming_.push_back(byte);  // the adapter's echo
        // A frame starts with an addressed format byte; anything else (the adapter byte 0xAA
        // at closing) is for the adapter alone.
        if (frame_.empty() && (byte & 0xC0) != 0x80)
            return;
        if (frame_.empty())
            frameStart_ = platform::NowMicros();
        frame_.push_back(byte);
        if (frame_.size() != FrameSize(frame_))
            return;
        frame.swap(frame_);
        requests_.push_back({FrameData(frame), frameStart_});
    }
    Answer(frame);
}

void FakeEcuBackend::Answer(const Bytes& frame) {
    const Bytes request = FrameData(frame);
    Responder responder;
    {
        std::lock_guard lock(mutex_);
        responder = responder_;
    }
    // Outside the lock, so that a responder may look at the requests so far.
    const std::optional<Bytes> answer = request.empty() ? std::nullopt : responder(request);
    if (!answer)
        return;
    const Bytes reply = AnswerFrame(frame[1], *answer);
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
    frame_.clear();  // the exchange purges before every request
}

void FakeEcuBackend::Closed() {
    std::lock_guard lock(mutex_);
    ++closes_;
}

Bytes LiveRecord(const std::vector<std::pair<int, uint8_t>>& bytes, size_t length) {
    Bytes data(length, 0);
    data[0] = 0x61;
    data[1] = 0x01;
    for (const auto& [position, value] : bytes) data[position] = value;
    return data;
}

}  // namespace diag_test
