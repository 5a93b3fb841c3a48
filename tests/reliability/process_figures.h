// What a long run of the station costs the process, measured from inside it: resident memory,
// open file descriptors and the heap blocks allocated with `new` and not yet freed.
#pragma once

#include <cstdint>

namespace reliability {

// Resident set size in KiB (from /proc/self/statm).
int64_t ResidentKiB();

// Entries of /proc/self/fd: every descriptor the process holds, a serial port among them.
int OpenHandles();
// Those of them that are terminals (/dev/pts/N, /dev/ttyS0, ...): the serial ports.
int OpenTerminals();

// Blocks from operator new not yet deleted; defined by allocation_counter.cpp, which a
// program links to have them counted.
int64_t LiveAllocations();

// True when the program runs under a sanitizer that holds freed memory back (its quarantine
// makes the resident size grow whatever the program does).
constexpr bool kSanitizedHeap =
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    true;
#else
    false;
#endif

}  // namespace reliability
