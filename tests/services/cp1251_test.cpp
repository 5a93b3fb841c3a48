#include "services/cp1251.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/row_names.h"

namespace {

struct Case {
    const char* name;
    std::string bytes;
    std::string text;
};

class DecodeCp1251Test : public ::testing::TestWithParam<Case> {};

TEST_P(DecodeCp1251Test, GivesTheUtf8Text) {
    const Case& c = GetParam();
    EXPECT_EQ(services::DecodeCp1251(c.bytes.data(), c.bytes.size()), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, DecodeCp1251Test,
    ::testing::Values(Case{"Ascii", "VAZ-2110 i", "VAZ-2110 i"},
                      Case{"UpperCyrillic", "\xC0\xC1\xC2\xDF", "АБВЯ"},
                      Case{"LowerCyrillic", "\xCF\xF0\xE8\xE2\xE5\xF2", "Привет"},
                      Case{"YoAndNumberSign", "\xA8\xB8\xB9", "Ёё№"},
                      Case{"Punctuation", "\x96\x97\xAB\xBB\x85", "–—«»…"},
                      Case{"UkrainianAndSerbian", "\xB2\xB3\xAA\xBA\xAF\xBF\x80\x90", "ІіЄєЇїЂђ"},
                      Case{"NoBreakSpaceAndEuro", "\xA0\x88", "\u00A0€"},
                      Case{"UnassignedByte", "a\x98z", "a\uFFFDz"}, Case{"Empty", "", ""}),
    testing_support::RowName);

TEST(DecodeCp1251, StopsAtTheCountNotAtAZero) {
    const char bytes[] = {'\xC4', 0, '\xC0'};
    EXPECT_EQ(services::DecodeCp1251(bytes, 3), std::string("Д\0А", 5));
    EXPECT_EQ(services::DecodeCp1251(bytes, 1), "Д");
}

}  // namespace
