#include "sim/cable.h"

namespace sim {

namespace {

// The next multiple of `period` at or after `t`.
int64_t NextTick(int64_t t, int64_t period) {
    const int64_t ticks = (t + period - 1) / period;
    return ticks * period;
}

}  // namespace

Cable::Cable(const CableOptions& options) : options_(options), random_(options.jitterSeed) {}

int64_t Cable::ControlTakesEffect(int64_t now) const {
    return IsUsb() ? NextTick(now, kUsbFrameMicros) : now;
}

int64_t Cable::CallerDelay() {
    if (options_.jitterSeed == 0)
        return 0;
    // A few hundred microseconds as a rule; one call in thirty waits for another thread
    // or the disk, one to five milliseconds.
    std::uniform_int_distribution<int64_t> usual(50, 300);
    std::uniform_int_distribution<int> hiccup(0, 29);
    std::uniform_int_distribution<int64_t> long_wait(1'000, 5'000);
    int64_t delay = usual(random_);
    if (hiccup(random_) == 0)
        delay += long_wait(random_);
    return delay;
}

int64_t Cable::Delivered(int64_t arrival) const {
    if (options_.kind != CableKind::UsbLatency)
        return arrival;
    return NextTick(arrival, kUsbLatencyMicros);
}

int64_t Cable::DeliveredBy(int64_t now) const {
    if (options_.kind != CableKind::UsbLatency)
        return now;
    return now / kUsbLatencyMicros * kUsbLatencyMicros;
}

}  // namespace sim
