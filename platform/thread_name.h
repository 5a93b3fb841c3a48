// The name a thread carries in the system's own tools: a debugger, the process viewer, a
// crash report. The station names its workers after their classes.
#pragma once

namespace platform {

// Names the calling thread; Linux keeps the first 15 characters.
void NameThisThread(const char* name);

}  // namespace platform
