// The times of the K-line as the simulated devices keep them, in microseconds.
#pragma once

#include <cstdint>

namespace sim {

// One byte is 10 bits on the line (start bit, 8 data bits, stop bit) at 10400 baud:
// 961.5 µs, rounded to the clock's whole microsecond.
inline constexpr int64_t kByteMicros = 962;

// The ECU's receiver delimits frames by their format and length bytes; a tester may leave up
// to 20 ms between two bytes of a request (ISO 14230-2 P4max). A partial frame is dropped once
// the line has stayed idle for more than this.
inline constexpr int64_t kFrameDropIdleMicros = 25'000;

// The ECU's default answer delay after the end of a request (ISO 14230-2 P2min).
inline constexpr int64_t kDefaultP2Micros = 25'000;
// The latest an ECU answers after a request by default (ISO 14230-2 P2max).
inline constexpr int64_t kP2MaxMicros = 50'000;

// A started session ends after this long without a request (ISO 14230-2 P3max).
inline constexpr int64_t kP3MaxMicros = 5'000'000;

// Fast initialisation (ISO 14230-2 5.2.4.2.3): the line low for TiniL = 25 ms, then high until
// TWuP = 50 ms, each with a tolerance of 1 ms. The ECU takes a low line of 24 to 26 ms followed
// by at least 24 ms of idle line as a wake-up; a strict ECU wants StartCommunication to begin
// TWuP = 50 +- 1 ms after the line went low.
inline constexpr int64_t kWakeUpLowMinMicros = 24'000;
inline constexpr int64_t kWakeUpLowMaxMicros = 26'000;
inline constexpr int64_t kWakeUpIdleMinMicros = 24'000;
inline constexpr int64_t kWakeUpPatternMinMicros = 49'000;
inline constexpr int64_t kWakeUpPatternMaxMicros = 51'000;

// Where the break cannot be seen (a pseudo-terminal), StartCommunication counts as woken up
// when the line was idle this long before it.
inline constexpr int64_t kIdleWakeUpMicros = 25'000;

}  // namespace sim
