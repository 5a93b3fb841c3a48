// The cause shown beside a port's or the adapter's failure message: what the system told,
// in words the user can act on; the specified message itself stays as it is.
#include "link/failure_details.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "link/port.h"
#include "tests/support/recording_sink.h"
#include "tests/support/scripted_port.h"

namespace {

using platform::OpenError;
using testing::HasSubstr;
using testing::Not;

struct DetailsRow {
    const char* name;
    platform::OpenFailure failure;
    std::vector<std::string> present;
    std::vector<const char*> says;     // parts of the details, each must be there
    std::vector<const char*> never{};  // and parts that must not be
};

platform::OpenFailure Failure(OpenError error, const char* holder = "", const char* group = "",
                              bool listed = false, bool braille = false) {
    platform::OpenFailure f;
    f.error = error;
    f.device = "/dev/ttyUSB0";
    if (*holder)
        f.holders = {{holder, 4711}};
    // root's device of `group`, which the group may read and write; the user is not in it.
    f.access = {"ttyUSB0", "root", group, 0660, false, false, listed, "dialout", false, false};
    if (braille)
        f.brailleChip = "1a86:7523";
    return f;
}

// The same device with `mode`, the user in its group this session or not.
platform::OpenFailure Refused(const char* group, uint32_t mode, bool inGroup) {
    platform::OpenFailure f = Failure(OpenError::PermissionDenied, "", group);
    f.access.mode = mode;
    f.access.inGroup = inGroup;
    return f;
}

class OpenFailureDetails : public testing::TestWithParam<DetailsRow> {};

TEST_P(OpenFailureDetails, NameTheCauseAndTheRemedy) {
    const std::string details = kline::OpenFailureDetails(GetParam().failure, GetParam().present);
    for (const char* part : GetParam().says) EXPECT_THAT(details, HasSubstr(part));
    for (const char* part : GetParam().never) EXPECT_THAT(details, Not(HasSubstr(part)));
    if (GetParam().says.empty()) {
        EXPECT_EQ(details, "");
    }
}

const char* kUdevRule =
    "KERNEL==\"ttyUSB[0-9]*\", GROUP=\"dialout\", MODE=\"0660\"' | sudo tee /etc/udev/rules.d/";

INSTANTIATE_TEST_SUITE_P(
    Causes, OpenFailureDetails,
    testing::Values(
        DetailsRow{"Missing",
                   Failure(OpenError::Missing),
                   {"ttyS0", "ttyUSB1"},
                   {"Порта /dev/ttyUSB0 нет в системе", "Порты, которые есть: ttyS0, ttyUSB1."}},
        DetailsRow{"MissingNoPorts",
                   Failure(OpenError::Missing),
                   {},
                   {"Последовательных портов в системе не найдено."}},
        DetailsRow{"MissingTakenByBraille",
                   Failure(OpenError::Missing, "", "", false, true),
                   {},
                   {"brltty", "sudo apt remove brltty"}},
        DetailsRow{
            "NotInDialout",
            Failure(OpenError::PermissionDenied, "", "dialout"),
            {},
            {"не входит в группу dialout", "sudo usermod -aG dialout $USER", "войдите заново"}},
        DetailsRow{"DialoutNotYetInSession",
                   Failure(OpenError::PermissionDenied, "", "dialout", true),
                   {},
                   {"уже добавлен в группу dialout", "войдите заново"}},
        DetailsRow{"InDialoutButModeBitsForbid",
                   Refused("dialout", 0600, true),
                   {},
                   {"группа dialout, права rw------- (0600)", kUdevRule, "sudo chmod g+rw"},
                   {"usermod"}},
        DetailsRow{"GroupRootGetsAUdevRuleNotUsermod",
                   Refused("root", 0660, false),
                   {},
                   {"ради порта не вступают", kUdevRule, "sudo usermod -aG dialout $USER"},
                   {"usermod -aG root"}},
        DetailsRow{"HeldByAProgram",
                   Failure(OpenError::Busy, "minicom"),
                   {},
                   {"занят программой minicom"}},
        DetailsRow{"HeldByBraille",
                   Failure(OpenError::Busy, "brltty"),
                   {},
                   {"службой дисплеев Брайля", "CH340"}},
        DetailsRow{"HeldByWhoKnows", Failure(OpenError::Busy), {}, {"занят другой программой"}},
        DetailsRow{"NotSerial", Failure(OpenError::NotSerial), {}, {"не последовательный порт"}},
        DetailsRow{"Unknown", Failure(OpenError::Unknown), {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// A backend that cannot open and says why.
class RefusingBackend final : public platform::SerialBackend {
  public:
    std::unique_ptr<platform::SerialPort> Open(const std::string&) override { return nullptr; }
    platform::OpenFailure LastOpenFailure() const override {
        return Failure(OpenError::Busy, "minicom");
    }
};

TEST(OpenPortDetails, RefusedOpenKeepsItsTextAndAddsTheCause) {
    testing_support::RecordingSink sink;
    RefusingBackend backend;
    kline::Port port;
    EXPECT_FALSE(kline::OpenPort(backend, "ttyUSB0", 10400, port));
    ASSERT_EQ(sink.Reports().size(), 1u);
    EXPECT_EQ(sink.Reports()[0].text, kline::kPortBusy);
    EXPECT_THAT(sink.Reports()[0].details, HasSubstr("занят программой minicom (процесс 4711)"));
}

// The default port on a PC without a serial chip: /dev/ttyS0 opens, then refuses every setting.
TEST(OpenPortDetails, DefaultCom1WithoutAUartExplainsItself) {
    testing_support::RecordingSink sink;
    testing_support::ScriptedBackend backend;
    backend.line.failing = {"GetState"};
    backend.examined = Failure(OpenError::NoUart);
    backend.examined.device = "/dev/ttyS0";
    kline::Port port;
    EXPECT_FALSE(kline::OpenPort(backend, "COM1", 10400, port));
    ASSERT_EQ(sink.Reports().size(), 1u);
    EXPECT_EQ(sink.Reports()[0].text, kline::kPortReadSettingsFailed);
    EXPECT_THAT(sink.Reports()[0].details, HasSubstr("/dev/ttyS0 (COM1) есть в системе"));
    EXPECT_FALSE(port.IsOpen());
}

// An old CP210x takes the call but rounds 10400 to a rate of its table.
TEST(OpenPortDetails, RateTheChipCannotMakeIsNamed) {
    for (const uint32_t readBack : {9600u, 10400u}) {
        testing_support::RecordingSink sink;
        testing_support::ScriptedBackend backend;
        backend.line.failing = {"SetState"};
        backend.line.state.baudRate = readBack;
        kline::Port port;
        EXPECT_FALSE(kline::OpenPort(backend, "ttyUSB0", 10400, port));
        ASSERT_EQ(sink.Reports().size(), 1u);
        EXPECT_EQ(sink.Reports()[0].text, kline::kPortWriteSettingsFailed);
        if (readBack == 9600) {
            EXPECT_THAT(sink.Reports()[0].details, HasSubstr("скорости 10400 бод"));
            EXPECT_THAT(sink.Reports()[0].details, HasSubstr("установил 9600 бод"));
        } else {
            EXPECT_EQ(sink.Reports()[0].details, "") << "a refusal that does not say why";
        }
    }
}

}  // namespace
