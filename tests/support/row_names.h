// Names of the rows of table-driven suites, so that a failure names its case: "Type0" and
// "Type1" for suites over the ECU families, the row's own name for tables that carry one.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace testing_support {

// "Type0", "Type1" (and "Type5" for none chosen).
inline std::string FamilyName(const testing::TestParamInfo<int>& row) {
    return "Type" + std::to_string(row.param);
}

// The `name` the row carries.
inline constexpr auto RowName = [](const auto& row) { return std::string(row.param.name); };

}  // namespace testing_support
