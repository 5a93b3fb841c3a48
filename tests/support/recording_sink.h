// Test stand-ins for the user: a message sink that records every report and confirms it
// at once, and printers that show frames as hex bytes in failing comparisons.
#pragma once

#include <mutex>
#include <ostream>
#include <string>
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
    void Clear();

  private:
    mutable std::mutex mutex_;
    std::vector<platform::Report> reports_;
};

}  // namespace testing_support

namespace platform {
bool operator==(const Report& a, const Report& b);
void PrintTo(const Report& report, std::ostream* os);
}  // namespace platform

namespace kline {
void PrintTo(const KwpMessage& message, std::ostream* os);
}
