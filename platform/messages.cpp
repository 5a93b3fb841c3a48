#include "platform/messages.h"

#include <atomic>
#include <cstdio>

namespace platform {

namespace {
std::atomic<MessageSink*> currentSink{nullptr};
std::atomic<int> messagesUnderway{0};

// Counts one call of ShowMessage for as long as it runs.
class Underway {
  public:
    Underway() { ++messagesUnderway; }
    ~Underway() { --messagesUnderway; }
    Underway(const Underway&) = delete;
    Underway& operator=(const Underway&) = delete;
};
}  // namespace

void UseMessageSink(MessageSink* sink) {
    currentSink = sink;
}

void ShowMessage(const std::string& text, const std::string& caption, Icon icon,
                 const std::string& details) {
    if (MessageSink* sink = currentSink.load()) {
        Underway underway;
        sink->Show({text, caption, icon, details});
        return;
    }
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
    if (!details.empty())
        std::fprintf(stderr, "%s\n", details.c_str());
}

bool MessageUnderway() {
    return messagesUnderway.load() > 0;
}

}  // namespace platform
