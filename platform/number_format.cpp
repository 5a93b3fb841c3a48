#include "platform/number_format.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cerrno>

namespace platform {

namespace {
std::atomic<char> separator{'.'};
}

char DecimalSeparator() { return separator.load(); }
void SetDecimalSeparator(char value) { separator = value; }

std::string FormatNumber(double value) {
    if (value == 0) value = 0;  // folds -0 into 0
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    std::string text(buffer);
    // snprintf follows the C locale, which is always "C" here: swap in the user's separator.
    for (char& c : text)
        if (c == '.') c = DecimalSeparator();
    return text;
}

bool ParseNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    std::string c = text;
    for (char& ch : c) {
        if (ch == DecimalSeparator()) ch = '.';
        else if (ch == '.') return false;  // a point is not the separator in force
    }
    errno = 0;
    char* end = nullptr;
    const double parsed = std::strtod(c.c_str(), &end);
    if (end != c.c_str() + c.size() || errno == ERANGE) return false;
    value = parsed;
    return true;
}

}  // namespace platform
