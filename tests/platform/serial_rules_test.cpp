#include "platform/serial_rules.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <utility>

namespace platform {
namespace {

struct NameRow {
    const char* name;
    const char* path;
};

class DevicePathTest : public ::testing::TestWithParam<NameRow> {};

TEST_P(DevicePathTest, MapsPortNameToDevice) {
    EXPECT_EQ(DevicePath(GetParam().name), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(
    Names, DevicePathTest,
    ::testing::Values(NameRow{"COM1", "/dev/ttyS0"}, NameRow{"COM2", "/dev/ttyS1"},
                      NameRow{"COM10", "/dev/ttyS9"}, NameRow{"com3", "/dev/ttyS2"},
                      NameRow{"COM01", "/dev/ttyS0"},
                      // Not of the form COMn with n >= 1: looked up in /dev as typed.
                      NameRow{"COM0", "/dev/COM0"}, NameRow{"COM", "/dev/COM"},
                      NameRow{"COMx", "/dev/COMx"}, NameRow{"COM1a", "/dev/COM1a"},
                      NameRow{"COM-1", "/dev/COM-1"}, NameRow{"COM+1", "/dev/COM+1"},
                      NameRow{"ttyUSB0", "/dev/ttyUSB0"}, NameRow{"ttyACM1", "/dev/ttyACM1"},
                      NameRow{"pts/3", "/dev/pts/3"}, NameRow{"/dev/ttyUSB0", "/dev/ttyUSB0"},
                      NameRow{"/tmp/kline", "/tmp/kline"}, NameRow{"", ""}),
    [](const ::testing::TestParamInfo<NameRow>& info) {
        std::string label;
        for (const char c : std::string(info.param.name))
            label += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return label.empty() ? std::string("empty") : label + "_" + std::to_string(info.index);
    });

constexpr uint32_t kMax = 0xFFFFFFFFu;

TEST(Win32DeviceName, ComPortsGoThroughTheDeviceNamespace) {
    const std::pair<const char*, const char*> rows[] = {
        {"COM1", R"(\\.\COM1)"},   {"COM9", R"(\\.\COM9)"},
        {"COM12", R"(\\.\COM12)"}, {"com10", R"(\\.\COM10)"},
        {"COM0", "COM0"},          {"COMx", "COMx"},
        {"ttyUSB0", "ttyUSB0"},    {"", ""}};
    for (const auto& [name, device] : rows) EXPECT_EQ(Win32DeviceName(name), device) << name;
}

TEST(SameRate, AllowsTheTwoPercentAUartDivisorMisses) {
    EXPECT_TRUE(SameRate(10400, 10400));
    EXPECT_TRUE(SameRate(10416, 10400));  // 16 MHz / 16 / 96: a UART's nearest divisor
    EXPECT_TRUE(SameRate(10192, 10400));
    EXPECT_FALSE(SameRate(10191, 10400));
    EXPECT_FALSE(SameRate(9600, 10400));  // a chip with a fixed table rounds down
    EXPECT_FALSE(SameRate(0, 360));
}

// What the Win32 backend reads back: a rate a chip rounded is refused, Linux's stand-in for a
// custom rate (reported under Wine) is not.
TEST(Win32TakesRate, RefusesARoundedRateButNotTheCustomRateStandIn) {
    EXPECT_TRUE(Win32TakesRate(10400, 10400));
    EXPECT_TRUE(Win32TakesRate(38400, 10400));
    EXPECT_TRUE(Win32TakesRate(38400, 360));
    EXPECT_FALSE(Win32TakesRate(9600, 10400));
    EXPECT_FALSE(Win32TakesRate(300, 360));
}

TEST(Win32OpenError, AccessDeniedIsAPortAnotherProgramHolds) {
    const std::pair<uint32_t, OpenError> rows[] = {
        {2, OpenError::Missing}, {3, OpenError::Missing},  {5, OpenError::Busy},
        {32, OpenError::Busy},   {87, OpenError::Unknown}, {0, OpenError::Unknown}};
    for (const auto& [code, error] : rows) EXPECT_EQ(Win32OpenError(code), error) << code;
}

struct WaitRow {
    const char* label;
    CommTimeouts timeouts;  // interval, read multiplier, read constant, write mult., write const.
    bool readUnlimited;
    int64_t readMillis;
    bool writeUnlimited;
    int64_t writeMillis;
};

class ByteWaitTest : public ::testing::TestWithParam<WaitRow> {};

TEST_P(ByteWaitTest, FollowsTheTimeoutRecord) {
    const WaitRow& row = GetParam();
    const ByteWait read = ReadWait(row.timeouts);
    const ByteWait write = WriteWait(row.timeouts);
    EXPECT_EQ(read.unlimited, row.readUnlimited);
    if (!row.readUnlimited) {
        EXPECT_EQ(read.millis, row.readMillis);
    }
    EXPECT_EQ(write.unlimited, row.writeUnlimited);
    if (!row.writeUnlimited) {
        EXPECT_EQ(write.millis, row.writeMillis);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Records, ByteWaitTest,
    ::testing::Values(
        // The link's record: 20 x 1 + 90 ms for every byte, both ways.
        WaitRow{"line", {20, 20, 90, 20, 90}, false, 110, false, 110},
        WaitRow{"allZero", {0, 0, 0, 0, 0}, true, 0, true, 0},
        // An interval time-out alone starts only after a first byte.
        WaitRow{"intervalOnly", {20, 0, 0, 0, 0}, true, 0, true, 0},
        WaitRow{"constantOnly", {0, 0, 50, 0, 7}, false, 50, false, 7},
        WaitRow{"multiplierOnly", {0, 30, 0, 40, 0}, false, 30, false, 40},
        WaitRow{"returnAtOnce", {kMax, 0, 0, 0, 0}, false, 0, true, 0},
        WaitRow{"firstByteWithin", {kMax, kMax, 250, 0, 0}, false, 250, true, 0},
        // No overflow of the 32-bit fields.
        WaitRow{"largest",
                {0, kMax, kMax, kMax, kMax},
                false,
                2 * int64_t{kMax},
                false,
                2 * int64_t{kMax}}),
    [](const ::testing::TestParamInfo<WaitRow>& info) { return info.param.label; });

}  // namespace
}  // namespace platform
