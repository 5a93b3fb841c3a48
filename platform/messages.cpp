#include "platform/messages.h"

#include <atomic>
#include <cstdio>

namespace platform {

namespace {
std::atomic<MessageSink*> currentSink{nullptr};
}

void UseMessageSink(MessageSink* sink) {
    currentSink = sink;
}

void ShowMessage(const std::string& text, const std::string& caption, Icon icon,
                 const std::string& details) {
    if (MessageSink* sink = currentSink.load()) {
        sink->Show({text, caption, icon, details});
        return;
    }
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
    if (!details.empty())
        std::fprintf(stderr, "%s\n", details.c_str());
}

}  // namespace platform
