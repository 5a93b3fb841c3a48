// The warnings the information windows give when the ECU does not take part, in the user's
// words.
#pragma once

namespace services {

inline constexpr const char* kNotInitialised = "Блок не инициализирован!";
inline constexpr const char* kNoAnswer = "Блок не отвечает!";
inline constexpr const char* kStopIncorrect = "Связь завершена не корректно!";

}  // namespace services
