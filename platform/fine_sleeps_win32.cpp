// Windows wakes a sleeping thread at its timer's ticks, 15.6 ms apart unless a program asks
// for finer ones; the request counts for the whole system until it is taken back.
#include <windows.h>

#include "platform/clock.h"

namespace platform {

namespace {
constexpr UINT kFinestMs = 1;
}

FineSleeps::FineSleeps() {
    timeBeginPeriod(kFinestMs);
}

FineSleeps::~FineSleeps() {
    timeEndPeriod(kFinestMs);
}

}  // namespace platform
