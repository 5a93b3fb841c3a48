// Time for the link: every sleep and every per-byte time-out goes through here, so that
// tests can run the line on a virtual clock instead of waiting for real.
#pragma once

#include <atomic>
#include <cstdint>

namespace platform {

class Clock {
  public:
    virtual ~Clock() = default;
    virtual int64_t NowMicros() = 0;
    virtual void SleepMicros(int64_t micros) = 0;
};

// The steady clock of the machine; Sleep really waits.
class SystemClock final : public Clock {
  public:
    int64_t NowMicros() override;
    void SleepMicros(int64_t micros) override;
};

// A clock that only moves when someone sleeps or advances it. Sleeping returns at once
// (after yielding, so that a thread that loops on sleeps lets others run).
class VirtualClock : public Clock {
  public:
    int64_t NowMicros() override { return now_.load(); }
    void SleepMicros(int64_t micros) override;
    void Advance(int64_t micros) { now_ += micros; }
    void AdvanceTo(int64_t micros);

  private:
    std::atomic<int64_t> now_{0};
};

// While one exists, the system clock's sleeps wake within about a millisecond. The in-process
// line sleeps a byte time (0.96 ms) for each byte; the default timer of Windows (15.6 ms)
// would hold it far below the line's real pace. POSIX sleeps are that fine already.
class FineSleeps {
  public:
    FineSleeps();
    ~FineSleeps();
    FineSleeps(const FineSleeps&) = delete;
    FineSleeps& operator=(const FineSleeps&) = delete;
};

// The clock in force; the system clock unless a test installs another.
Clock& CurrentClock();
void UseClock(Clock* clock);  // nullptr restores the system clock

// Sleep of the station: milliseconds, on the clock in force.
void Sleep(int milliseconds);
int64_t NowMicros();

}  // namespace platform
