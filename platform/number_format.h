// Numbers as the user reads them: the general decimal form with at most 15 significant
// digits, no trailing zeros, and the decimal separator of the user's regional settings.
// One helper for the parameter values, the graphs' read-back and the CO trim.
#pragma once

#include <string>

namespace platform {

// The separator in force: '.' unless the windows set the user's (',' under Russian settings).
char DecimalSeparator();
void SetDecimalSeparator(char separator);

// 143.25, -0.00390625, 6000, 0.49803921568627 (15 significant digits), never "-0".
std::string FormatNumber(double value);

// Reads a text written by FormatNumber back (with the same separator); false for anything
// that is not a whole number text.
bool ParseNumber(const std::string& text, double& value);

}  // namespace platform
