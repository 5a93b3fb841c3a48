// Test stand-ins for the user: a message sink that records every report and confirms it
// at once, and printers that show frames as hex bytes in failing comparisons.
#pragma once

#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "link/kwp_message.h"
#include "platform/messages.h"

namespace testing_support {

class RecordingSink final : public platform::MessageSink {
  public:
    RecordingSink() { platform::UseMessageSink(this); }
    ~RecordingSink() override { platform::UseMessageSink(nullptr); }

    void Show(const platform::Report& report) override;
    std::vector<platform::Report> Reports() const;
    std::vector<std::string> Texts() const;
    // What `note` said as each report came up ("" for none, or for a report from a worker
    // thread, where no window may be looked at).
    std::vector<std::string> Notes() const;
    void Clear();

    // A look at the screen the test takes while a report is up, on the test's own thread.
    std::function<std::string(const platform::Report&)> note;

  private:
    const std::thread::id testThread_ = std::this_thread::get_id();
    mutable std::mutex mutex_;
    std::vector<platform::Report> reports_;
    std::vector<std::string> notes_;
};

// The reports as the station words them: a warning or an information box, under "Внимание!"
// unless the caption says otherwise.
inline platform::Report Warning(const char* text, const char* caption = platform::kAttention) {
    return {text, caption, platform::Icon::Warning};
}
inline platform::Report Information(const char* text, const char* caption = platform::kAttention) {
    return {text, caption, platform::Icon::Information};
}

}  // namespace testing_support

namespace platform {
bool operator==(const Report& a, const Report& b);
void PrintTo(const Report& report, std::ostream* os);
}  // namespace platform

namespace kline {
void PrintTo(const KwpMessage& message, std::ostream* os);
}
