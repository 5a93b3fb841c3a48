#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace platform {

int64_t SystemClock::NowMicros() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

void SystemClock::SleepMicros(int64_t micros) {
    if (micros > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(micros));
}

void VirtualClock::SleepMicros(int64_t micros) {
    if (micros > 0)
        now_ += micros;
    std::this_thread::yield();
}

void VirtualClock::AdvanceTo(int64_t micros) {
    int64_t now = now_.load();
    while (now < micros && !now_.compare_exchange_weak(now, micros)) {
    }
}

namespace {
SystemClock systemClock;
std::atomic<Clock*> currentClock{&systemClock};
}  // namespace

Clock& CurrentClock() {
    return *currentClock.load();
}
void UseClock(Clock* clock) {
    currentClock = clock ? clock : &systemClock;
}

void Sleep(int milliseconds) {
    CurrentClock().SleepMicros(int64_t{milliseconds} * 1000);
}
int64_t NowMicros() {
    return CurrentClock().NowMicros();
}

}  // namespace platform
