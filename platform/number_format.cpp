#include "platform/number_format.h"

#include <atomic>
#include <charconv>

namespace platform {

namespace {
std::atomic<char> separator{'.'};
}

char DecimalSeparator() {
    return separator.load();
}
void SetDecimalSeparator(char value) {
    separator = value;
}

std::string FormatNumber(double value) {
    if (value == 0)
        value = 0;  // folds -0 into 0
    // to_chars writes what printf's "%.15g" writes in the "C" locale, whatever locale the C
    // library is switched to (Qt switches it to the user's on Linux, giving ',' to printf).
    char buffer[40];
    const auto written =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    std::string text(buffer, written.ptr);
    // The text carries a point: swap in the user's separator.
    for (char& c : text)
        if (c == '.')
            c = DecimalSeparator();
    return text;
}

bool ParseNumber(const std::string& text, double& value) {
    if (text.empty())
        return false;
    std::string c = text;
    for (char& ch : c) {
        if (ch == DecimalSeparator())
            ch = '.';
        else if (ch == '.')
            return false;  // a point is not the separator in force
    }
    // from_chars reads a point whatever the C library's locale is (strtod would want ',').
    double parsed = 0;
    const auto read = std::from_chars(c.data(), c.data() + c.size(), parsed);
    if (read.ec != std::errc() || read.ptr != c.data() + c.size())
        return false;
    value = parsed;
    return true;
}

}  // namespace platform
