// The cable between the station's serial calls and the K-line: how its chip makes a break,
// how late the bytes it receives reach the program, and the jitter of the USB and of the
// station's own scheduling. Times in microseconds on the caller's clock.
#pragma once

#include <cstdint>
#include <random>

namespace sim {

enum class CableKind : uint8_t {
    ExactBreak,      // a native UART: the line follows set-break and clear-break at once
    StretchedBreak,  // a chip that cannot break (CH34x): the driver sends 0x00 at 46 baud
    UsbLatency,      // a USB chip whose received bytes wait for its 16 ms latency timer
    NoBreak,         // the break never reaches the line (a pseudo-terminal)
};

// The CH34x driver's stand-in break: 0x00 at the chip's lowest rate holds the line low for
// nine bit times (about 196 ms); the old rate comes back after eleven (about 240 ms).
inline constexpr uint32_t kStretchedBreakBaud = 46;
inline constexpr int64_t kStretchedClearMicros = 11 * 1'000'000 / kStretchedBreakBaud;

// The latency timer of a USB chip at its default: received bytes wait for it to run out.
inline constexpr int64_t kUsbLatencyMicros = 16'000;
// A USB control request takes effect at the next frame of the bus.
inline constexpr int64_t kUsbFrameMicros = 1'000;

struct CableOptions {
    CableKind kind = CableKind::ExactBreak;
    uint32_t jitterSeed = 0;  // 0: no jitter; otherwise USB frames and scheduling delays
};

class Cable {
  public:
    explicit Cable(const CableOptions& options = {});

    CableKind Kind() const { return options_.kind; }
    bool MakesBreak() const {
        return options_.kind == CableKind::ExactBreak || options_.kind == CableKind::UsbLatency;
    }
    bool IsUsb() const { return options_.kind != CableKind::ExactBreak; }

    // When a break request made at `now` changes the line: at once on a UART, at the next
    // USB frame on a USB chip.
    int64_t ControlTakesEffect(int64_t now) const;
    // How much later than the line change the calling thread runs on (completion of the USB
    // request and the scheduler's delay, now and then a millisecond or more).
    int64_t CallerDelay();
    // When a byte that reached the chip at `arrival` reaches the program.
    int64_t Delivered(int64_t arrival) const;
    // The latest arrival whose bytes the program has by `now` (what a purge can drop).
    int64_t DeliveredBy(int64_t now) const;

  private:
    CableOptions options_;
    std::mt19937 random_;
};

}  // namespace sim
