// Reports to the user: one call shows a modal message box from any thread. The window
// toolkit installs the sink that really shows it; tests install one that records.
#pragma once

#include <string>

namespace platform {

enum class Icon { Warning, Information };

struct Report {
    std::string text;     // UTF-8
    std::string caption;  // "Внимание!" or "Ошибка!"
    Icon icon = Icon::Warning;
    // Beside the text, where the station can tell it: the cause and what to do about it,
    // shown on demand (a message box's detailed text). Empty: none.
    std::string details{};
};

class MessageSink {
  public:
    virtual ~MessageSink() = default;
    // Shows the report and returns when the user has confirmed it.
    virtual void Show(const Report& report) = 0;
};

void UseMessageSink(MessageSink* sink);  // nullptr: reports go to standard error
void ShowMessage(const std::string& text, const std::string& caption, Icon icon,
                 const std::string& details = {});

// True while some call of ShowMessage has not returned: its box may have left the screen,
// but the caller (a window's handler) is still on its way back to where it showed it.
bool MessageUnderway();

// The captions the station uses.
inline constexpr const char* kAttention = "Внимание!";
inline constexpr const char* kError = "Ошибка!";

}  // namespace platform
