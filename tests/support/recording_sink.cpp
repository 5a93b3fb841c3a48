#include "tests/support/recording_sink.h"

namespace testing_support {

void RecordingSink::Show(const platform::Report& report) {
    const bool testThread = std::this_thread::get_id() == testThread_;
    std::string seen = note && testThread ? note(report) : std::string();
    std::lock_guard lock(mutex_);
    reports_.push_back(report);
    notes_.push_back(std::move(seen));
}

std::vector<platform::Report> RecordingSink::Reports() const {
    std::lock_guard lock(mutex_);
    return reports_;
}

std::vector<std::string> RecordingSink::Texts() const {
    std::vector<std::string> texts;
    for (const auto& report : Reports()) texts.push_back(report.text);
    return texts;
}

std::vector<std::string> RecordingSink::Notes() const {
    std::lock_guard lock(mutex_);
    return notes_;
}

void RecordingSink::Clear() {
    std::lock_guard lock(mutex_);
    reports_.clear();
    notes_.clear();
}

}  // namespace testing_support

namespace platform {

bool operator==(const Report& a, const Report& b) {
    return a.text == b.text && a.caption == b.caption && a.icon == b.icon;
}

void PrintTo(const Report& report, std::ostream* os) {
    *os << "{\"" << report.text << "\", \"" << report.caption << "\", "
        << (report.icon == Icon::Warning ? "warning" : "information") << "}";
}

}  // namespace platform

namespace kline {

void PrintTo(const KwpMessage& message, std::ostream* os) {
    *os << "{error " << int(message.error) << ", length " << int(message.length) << ": "
        << HexBytes(message.data.data(), message.length) << "}";
}

}  // namespace kline
