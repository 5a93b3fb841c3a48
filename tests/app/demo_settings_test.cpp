// The demo's settings file, written by scripts/demo-settings.sh: the station must read it
// whole, with the port, the ECU type and groups that keep the record's invariants.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "settings/settings.h"

namespace {

namespace fs = std::filesystem;

class DemoSettingsTest : public testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("tavro-demo-settings-" +
               std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        file = (dir / "auto.ini").string();
    }
    void TearDown() override { fs::remove_all(dir); }
    int Write(const std::string& port, const std::string& ecu) {
        const std::string command = std::string("bash ") + TAVRO_SCRIPTS_DIR +
                                    "/demo-settings.sh '" + port + "' " + ecu + " '" + file +
                                    "' 2>/dev/null";
        return std::system(command.c_str());
    }
    fs::path dir;
    std::string file;
};

TEST_F(DemoSettingsTest, WritesAWholeRecordWithFilledGroupsOfBothFamilies) {
    ASSERT_EQ(Write("pts/12", "1"), 0);
    EXPECT_EQ(fs::file_size(file), 336u);
    settings::SettingsRecord r;
    ASSERT_TRUE(settings::LoadSettings(r, file));
    EXPECT_EQ(settings::PortName(r), "pts/12");
    EXPECT_EQ(r.ecuType, 1);
    EXPECT_EQ(r.requestDelay, 100);
    EXPECT_EQ(r.windowState, 0);
    const int rows[2] = {29, 34};  // catalogue sizes of the two families
    for (int t = 0; t < 2; ++t) {
        for (int g = 0; g < 5; ++g) {
            SCOPED_TRACE("type " + std::to_string(t) + " group " + std::to_string(g));
            const int count = r.groupCounts[t][g];
            EXPECT_GT(count, 0);
            EXPECT_LE(count, 16);
            for (int s = 0; s < settings::kSlots; ++s) {
                if (s < count)
                    EXPECT_LT(r.groupLists[t][g][s], rows[t]);
                else
                    EXPECT_EQ(r.groupLists[t][g][s], settings::kEmptySlot);
            }
        }
    }
}

TEST_F(DemoSettingsTest, AnExistingRecordKeepsAllButPortAndType) {
    settings::SettingsRecord mine;
    settings::ApplyDefaults(mine);
    mine.groupLists[0][3][0] = 4;
    mine.groupCounts[0][3] = 1;
    mine.requestDelay = 600;
    mine.windowLeft = 33;
    settings::SetPortName(mine, "ttyUSB0");
    ASSERT_TRUE(settings::SaveSettings(mine, file));
    ASSERT_EQ(Write("pts/3", "0"), 0);
    settings::SettingsRecord r;
    ASSERT_TRUE(settings::LoadSettings(r, file));
    EXPECT_EQ(settings::PortName(r), "pts/3");
    EXPECT_EQ(r.portName[5], 0);  // the rest of the longer old name is cleared
    EXPECT_EQ(r.ecuType, 0);
    mine.ecuType = 0;
    settings::SetPortName(mine, "pts/3");
    EXPECT_EQ(settings::Encode(r), settings::Encode(mine));
}

TEST_F(DemoSettingsTest, RefusesAPortNameTheFileCannotHold) {
    EXPECT_NE(Write("pts/1000", "1"), 0);
    EXPECT_FALSE(fs::exists(file));
    EXPECT_NE(Write("pts/1", "2"), 0);
}

}  // namespace
