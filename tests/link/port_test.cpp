// Opening the adapter's port step by step, and closing it with the adapter byte.
#include "link/port.h"

#include <gtest/gtest.h>

#include "tests/support/recording_sink.h"
#include "tests/support/scripted_port.h"

namespace {

using testing_support::RecordingSink;
using testing_support::ScriptedBackend;

struct OpenFailure {
    const char* name;
    const char* failingCall;
    const char* message;
};

class OpenPortFailures : public testing::TestWithParam<OpenFailure> {};

TEST_P(OpenPortFailures, ShowTheirMessageAndLeaveThePortClosed) {
    RecordingSink sink;
    ScriptedBackend backend;
    backend.line.failing = {GetParam().failingCall};
    kline::Port port;
    EXPECT_FALSE(kline::OpenPort(backend, "COM2", 10400, port));
    EXPECT_FALSE(port.IsOpen());
    ASSERT_EQ(sink.Reports().size(), 1u);
    EXPECT_EQ(sink.Reports()[0],
              (platform::Report{GetParam().message, "Внимание!", platform::Icon::Warning}));
    // Closed with the adapter byte, once.
    EXPECT_EQ(backend.line.written, std::vector<uint8_t>{0xAA});
    EXPECT_EQ(backend.line.closes, 1);
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, OpenPortFailures,
    testing::Values(
        OpenFailure{"GetState", "GetState", "Ошибка при чтении параметров порта!"},
        OpenFailure{"SetState", "SetState", "Ошибка при установлении параметров порта!"},
        OpenFailure{"ClearDtr", "ClearDtr", "Ошибка при сбросе сигналов DTR и RTS!"},
        OpenFailure{"ClearRts", "ClearRts", "Ошибка при сбросе сигналов DTR и RTS!"},
        OpenFailure{"GetTimeouts", "GetTimeouts", "Ошибка при запросе временных интервалов порта!"},
        OpenFailure{"SetTimeouts", "SetTimeouts",
                    "Ошибка при установке временных интервалов порта!"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OpenPort, RefusedOpenShowsTheBusyMessageAndClosesNothing) {
    RecordingSink sink;
    ScriptedBackend backend;
    backend.refuseOpen = true;
    kline::Port port;
    EXPECT_FALSE(kline::OpenPort(backend, "COM9", 10400, port));
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{
                                "Данный порт уже занят другим приложением или не поддерживается!"});
    kline::ClosePort(port);  // after a failed open: nothing written, nothing closed
    EXPECT_TRUE(backend.line.written.empty());
    EXPECT_EQ(backend.line.closes, 0);
}

TEST(OpenPort, StepsRunInOrderAndStopAtTheFirstFailure) {
    RecordingSink sink;
    ScriptedBackend backend;
    backend.line.failing = {"ClearDtr"};
    kline::Port port;
    kline::OpenPort(backend, "COM1", 10400, port);
    EXPECT_EQ(backend.line.calls,
              (std::vector<std::string>{"GetState", "SetState", "ClearDtr", "Close"}));
}

TEST(OpenPort, ConfiguresTheKLine) {
    RecordingSink sink;
    ScriptedBackend backend;
    // A port left by another program with handshakes on and odd settings.
    auto& s = backend.line.state;
    s.baudRate = 9600;
    s.dataBits = 7;
    s.parity = platform::Parity::Even;
    s.stopBits = platform::StopBits::Two;
    s.xonXoffInput = s.xonXoffOutput = s.ctsFlow = s.dsrFlow = true;
    s.dtrHandshake = s.rtsHandshake = s.replaceParityErrors = s.stripNulls = true;
    kline::Port port;
    ASSERT_TRUE(kline::OpenPort(backend, "COM1", 10400, port));
    EXPECT_TRUE(sink.Reports().empty());
    EXPECT_EQ(backend.openedNames, std::vector<std::string>{"COM1"});
    EXPECT_EQ(s.baudRate, 10400u);
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_EQ(s.parity, platform::Parity::None);
    EXPECT_EQ(s.stopBits, platform::StopBits::One);
    // 0x11, the type-0 ECU's address, is XON: nothing may swallow it.
    EXPECT_FALSE(s.xonXoffInput || s.xonXoffOutput || s.ctsFlow || s.dsrFlow);
    EXPECT_FALSE(s.dtrHandshake || s.rtsHandshake || s.replaceParityErrors || s.stripNulls);
    const auto& t = backend.line.timeouts;
    EXPECT_EQ(t.readInterval, 20u);
    EXPECT_EQ(t.readTotalMultiplier, 20u);
    EXPECT_EQ(t.readTotalConstant, 90u);
    EXPECT_EQ(t.writeTotalMultiplier, 20u);
    EXPECT_EQ(t.writeTotalConstant, 90u);
    EXPECT_EQ(backend.line.calls,
              (std::vector<std::string>{"GetState", "SetState", "ClearDtr", "ClearRts",
                                        "GetTimeouts", "SetTimeouts"}));
}

TEST(ClosePort, TwiceSendsTheAdapterByteOnceAndClosesOnce) {
    RecordingSink sink;
    ScriptedBackend backend;
    kline::Port port;
    ASSERT_TRUE(kline::OpenPort(backend, "COM1", 10400, port));
    kline::ClosePort(port);
    kline::ClosePort(port);
    EXPECT_EQ(backend.line.written, std::vector<uint8_t>{0xAA});
    EXPECT_EQ(backend.line.closes, 1);
    EXPECT_FALSE(port.IsOpen());
}

TEST(ClosePort, ClosesTheHandleEvenWhenTheAdapterIsGone) {
    RecordingSink sink;
    ScriptedBackend backend;
    kline::Port port;
    ASSERT_TRUE(kline::OpenPort(backend, "COM1", 10400, port));
    backend.line.failing = {"WriteByte"};
    kline::ClosePort(port);
    EXPECT_EQ(backend.line.closes, 1);
    EXPECT_FALSE(port.IsOpen());
}

}  // namespace
