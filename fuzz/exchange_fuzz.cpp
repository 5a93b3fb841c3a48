// Any bytes from the line after a request: the exchange answers or sets its error flag, never
// reads or writes outside the record, and gives a reason exactly when it fails.
#include <cstddef>
#include <cstdint>
#include <deque>

#include "link/exchange.h"
#include "platform/clock.h"
#include "tests/support/quiet_port.h"

namespace {

// A port that echoes what is written (or a garbled echo) and then plays the fuzzer's bytes as
// the ECU's answer.
class ReplayPort final : public testing_support::QuietPort {
  public:
    ReplayPort(const uint8_t* data, size_t size, bool garble)
        : answer_(data, data + size), garble_(garble) {}
    int ReadByte(uint8_t& byte) override {
        std::deque<uint8_t>& from = echo_.empty() ? answer_ : echo_;
        if (from.empty())
            return 0;
        byte = from.front();
        from.pop_front();
        return 1;
    }
    int WriteByte(uint8_t byte) override {
        echo_.push_back(garble_ ? static_cast<uint8_t>(byte ^ 0x01) : byte);
        return 1;
    }

  private:
    std::deque<uint8_t> echo_;
    std::deque<uint8_t> answer_;
    bool garble_;
};

platform::VirtualClock virtualClock;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::UseClock(&virtualClock);
    if (size < 1)
        return 0;
    // The first byte picks the request, the ECU address and a garbled echo; the rest comes
    // from the line.
    const uint8_t address = (data[0] & 1) ? 0x10 : 0x11;
    static const kline::KwpMessage requests[] = {
        kline::MakeRequest({0x81}),
        kline::MakeRequest({0x21, 0x01}),
        kline::MakeRequest({0x1A, 0x80}),
        kline::MakeRequest({0x18, 0x00, 0xFF, 0x00}),
    };
    const kline::KwpMessage& request = requests[(data[0] >> 1) % 4];
    kline::Port port;
    const bool garbled = (data[0] & 0x08) != 0;
    port.device = std::make_unique<ReplayPort>(data + 1, size - 1, garbled);
    const kline::KwpMessage response = kline::Exchange(address, request, port);
    using kline::FailureReason;
    const FailureReason reason = response.reason;
    if (response.error == 0 && response.data[0] != (request.data[0] | 0x40))
        __builtin_trap();
    // The flag and the reason agree; the port was open and took every byte, and the echo
    // always came back, so only the answer's reasons (or a garbled echo's) can occur.
    if ((response.error == 0) != (reason == FailureReason::None))
        __builtin_trap();
    if (reason == FailureReason::PortClosed || reason == FailureReason::WriteFailed ||
        reason == FailureReason::NoEcho)
        __builtin_trap();
    if (reason == FailureReason::EchoDiffers && !garbled)
        __builtin_trap();
    if (reason == FailureReason::NegativeAnswer && response.data[0] != 0x7F)
        __builtin_trap();
    return 0;
}
