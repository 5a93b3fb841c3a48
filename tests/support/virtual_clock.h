// The virtual clock of a test, installed for its lifetime like the recording message sink:
// every sleep and per-byte time-out of the station runs on it, and the system clock is back
// once it goes. Declare it before the station and the line so that it outlives their workers.
#pragma once

#include "platform/clock.h"

namespace testing_support {

class ScopedVirtualClock final : public platform::VirtualClock {
  public:
    ScopedVirtualClock() { platform::UseClock(this); }
    ~ScopedVirtualClock() override { platform::UseClock(nullptr); }
    ScopedVirtualClock(const ScopedVirtualClock&) = delete;
    ScopedVirtualClock& operator=(const ScopedVirtualClock&) = delete;
};

}  // namespace testing_support
