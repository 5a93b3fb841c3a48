// The station's own line: a recording's family and pace taken from its trace, and the files
// it refuses to play, each with its reason.
#include "sim/in_process_line.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

namespace fs = std::filesystem;

TEST(InProcessLine, PlaysTheRecordedEcuAtThePaceOfTheRecording) {
    platform::VirtualClock clock;
    sim::RecordingError error = sim::RecordingError::Unreadable;
    std::string detail;
    const auto line = sim::InProcessLine::PlayRecording(clock, TAVRO_TRACE_FIXTURE, error, detail);
    ASSERT_TRUE(line) << detail;
    EXPECT_EQ(error, sim::RecordingError::None);
    EXPECT_TRUE(line->PlaysRecording());
    EXPECT_EQ(line->Family(), 0);  // the answers come from 0x11
    // Recorded with 50 ms between requests: the next request came 50 to 52 ms after each
    // answer had ended.
    EXPECT_EQ(line->RecordedPauseMs(), 50);
    EXPECT_FALSE(sim::InProcessLine(clock, 0).PlaysRecording());
}

struct Refused {
    const char* name;
    const char* text;  // nullptr: no file at all
    sim::RecordingError error;
};

class RefusedRecording : public testing::TestWithParam<Refused> {};

TEST_P(RefusedRecording, IsNotPlayed) {
    const fs::path file = fs::temp_directory_path() / (std::string("refused-") + GetParam().name);
    if (GetParam().text)
        std::ofstream(file, std::ios::binary) << GetParam().text;
    platform::VirtualClock clock;
    sim::RecordingError error = sim::RecordingError::None;
    std::string detail;
    EXPECT_FALSE(sim::InProcessLine::PlayRecording(clock, file, error, detail));
    EXPECT_EQ(error, GetParam().error);
    fs::remove(file);
}

INSTANTIATE_TEST_SUITE_P(
    Files, RefusedRecording,
    testing::Values(Refused{"NoFile", nullptr, sim::RecordingError::Unreadable},
                    Refused{"NotATrace", "%PDF-1.4\n", sim::RecordingError::Unreadable},
                    Refused{"PassportOnly",
                            "0.000000 tester 82 11 F1 1A 80 1E\n0.030000 ecu 82 F1 11 5A 80 5E\n",
                            sim::RecordingError::NoLiveData},
                    Refused{"ForeignEcu",
                            "0.000000 tester 82 33 F1 21 01 C8\n0.030000 ecu 82 F1 33 61 01 08\n",
                            sim::RecordingError::OtherEcu}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
