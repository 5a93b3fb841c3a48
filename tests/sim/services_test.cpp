// The requests the station sends, answered by both families through the station's own
// exchange: the frames on the line and the positions the station reads.
#include <gtest/gtest.h>

#include "tests/sim/sim_fixture.h"
#include "tests/support/row_names.h"

namespace {

using sim_test::Bytes;
using sim_test::Family;
using sim_test::Hex;
using sim_test::Line;

struct ServiceCase {
    const char* name;
    int type;
    Bytes request;
    const char* answerFrame;  // the ECU's frame on the line, checksum last
};

class Services : public testing::TestWithParam<ServiceCase> {};

TEST_P(Services, AnswerTheStationsRequestFrame) {
    const ServiceCase& c = GetParam();
    Line line(Family(c.type));
    ASSERT_TRUE(line.OpenAndStart());
    line.backend.ClearLog();
    kline::KwpMessage request;
    std::copy(c.request.begin(), c.request.end(), request.data.begin());
    request.length = static_cast<uint8_t>(c.request.size());
    const kline::KwpMessage answer = kline::Exchange(line.address, request, line.port);
    EXPECT_EQ(answer.error, 0);
    EXPECT_EQ(Hex(line.EcuBytes()), c.answerFrame);
}

INSTANTIATE_TEST_SUITE_P(
    BothFamilies, Services,
    testing::Values(ServiceCase{"StopType0", 0, {0x82}, "81 F1 11 C2 45"},
                    ServiceCase{"StopType1", 1, {0x82}, "81 F1 10 C2 44"},
                    ServiceCase{"TesterPresentType1", 1, {0x3E}, "81 F1 10 7E 00"},
                    ServiceCase{"ClearType0", 0, {0x14, 0xFF, 0x00}, "83 F1 11 54 FF 00 D8"},
                    ServiceCase{"ClearType1", 1, {0x14, 0xFF, 0x00}, "83 F1 10 54 FF 00 D7"},
                    ServiceCase{"ResetType0", 0, {0x11, 0x01}, "81 F1 11 51 D4"},
                    ServiceCase{"ResetType1", 1, {0x11, 0x01}, "81 F1 10 51 D3"},
                    ServiceCase{
                        "TrimWrite", 1, {0x30, 0x61, 0x08, 0xF6}, "84 F1 10 70 61 08 F6 54"},
                    ServiceCase{"TrimRelease", 1, {0x30, 0x61, 0x00}, "83 F1 10 70 61 00 55"}),
    testing_support::RowName);

TEST(StartCommunication, AnswersC1WithKeyBytesOnBothFamilies) {
    for (int type : {0, 1}) {
        Line line(Family(type));
        ASSERT_TRUE(line.Open());
        EXPECT_TRUE(line.Start()) << "type " << type;
        EXPECT_EQ(Hex(line.EcuBytes()),
                  type == 0 ? "83 F1 11 C1 EF 8F C4" : "83 F1 10 C1 EF 8F C3");
    }
}

}  // namespace
