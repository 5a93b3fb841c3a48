// POSIX sleeps wake within some tens of microseconds: nothing to ask for.
#include "platform/clock.h"

namespace platform {

FineSleeps::FineSleeps() = default;
FineSleeps::~FineSleeps() = default;

}  // namespace platform
