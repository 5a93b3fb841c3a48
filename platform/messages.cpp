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

void ShowMessage(const std::string& text, const std::string& caption, Icon icon) {
    if (MessageSink* sink = currentSink.load()) {
        sink->Show({text, caption, icon});
        return;
    }
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
}

}  // namespace platform
