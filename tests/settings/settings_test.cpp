// auto.ini: the 336-byte record at its exact offsets, short and long files, the safe save.
#include "settings/settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

class SettingsFile : public testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("tavro-settings-" + std::to_string(::getpid()) + "-" +
               testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        path = (dir / "auto.ini").string();
    }
    void TearDown() override { fs::remove_all(dir); }
    void Write(const Bytes& bytes) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    Bytes Read() const {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    fs::path dir;
    std::string path;
};

Bytes Patterned(size_t size) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    return bytes;
}

TEST_F(SettingsFile, ExactRecordOfAFirstRun) {
    settings::SettingsRecord record;
    settings::ApplyDefaults(record);
    record.windowTop = 0x01020304;
    record.windowLeft = -2;
    record.windowState = 2;
    ASSERT_TRUE(settings::SaveSettings(record, path));
    Bytes expected(290, 0xFF);
    expected.insert(expected.end(), 10, 0x00);
    for (char c : std::string("COM1")) expected.push_back(static_cast<uint8_t>(c));
    expected.insert(expected.end(), 4, 0x00);
    for (uint8_t b : {0xFA, 0x00, 0x00, 0x00}) expected.push_back(b);  // 250
    for (uint8_t b : {0x04, 0x03, 0x02, 0x01}) expected.push_back(b);  // top
    for (uint8_t b : {0xFE, 0xFF, 0xFF, 0xFF}) expected.push_back(b);  // left -2
    expected.insert(expected.end(), 8, 0x00);                          // saved size
    expected.push_back(2);                                             // window state
    expected.insert(expected.end(), 3, 0x00);
    expected.push_back(0);  // ECU type
    expected.insert(expected.end(), 3, 0x00);
    EXPECT_EQ(Read(), expected);
}

TEST_F(SettingsFile, FieldsLandAtTheirOffsets) {
    Bytes bytes(336, 0);
    bytes[1 * 145 + 2 * 29 + 3] = 17;  // type 1, group 2, slot 3
    bytes[290 + 1 * 5 + 2] = 4;        // its count
    bytes[308] = 0x2C;                 // 300 ms
    bytes[309] = 0x01;
    bytes[320] = 0x90;  // saved height 400
    bytes[321] = 0x01;
    bytes[324] = 0x58;  // saved width 600
    bytes[325] = 0x02;
    bytes[332] = 0xFF;  // no ECU type
    Write(bytes);
    settings::SettingsRecord r;
    ASSERT_TRUE(settings::LoadSettings(r, path));
    EXPECT_EQ(r.groupLists[1][2][3], 17);
    EXPECT_EQ(r.groupCounts[1][2], 4);
    EXPECT_EQ(r.requestDelay, 300);
    EXPECT_EQ(r.savedHeight, 400);
    EXPECT_EQ(r.savedWidth, 600);
    EXPECT_EQ(r.ecuType, -1);
}

TEST_F(SettingsFile, EveryByteSurvivesARoundTripReservedOnesIncluded) {
    const Bytes bytes = Patterned(336);
    Write(bytes);
    settings::SettingsRecord r;
    ASSERT_TRUE(settings::LoadSettings(r, path));
    ASSERT_TRUE(settings::SaveSettings(r, path));
    EXPECT_EQ(Read(), bytes);
}

TEST_F(SettingsFile, LongerFileIsReadAsItsFirst336Bytes) {
    Bytes bytes = Patterned(400);
    Write(bytes);
    settings::SettingsRecord r;
    ASSERT_TRUE(settings::LoadSettings(r, path));
    ASSERT_TRUE(settings::SaveSettings(r, path));
    EXPECT_EQ(Read(), Bytes(bytes.begin(), bytes.begin() + 336));
}

TEST_F(SettingsFile, MissingEmptyAndShortFilesAreRefused) {
    settings::SettingsRecord r;
    EXPECT_FALSE(settings::LoadSettings(r, path));
    Write({});
    EXPECT_FALSE(settings::LoadSettings(r, path));
    Write(Patterned(335));
    EXPECT_FALSE(settings::LoadSettings(r, path));
}

TEST_F(SettingsFile, ShortFileSuppliesItsBytesAndTheDefaultsTheRest) {
    Bytes bytes(320, 0);
    bytes[312] = 40;  // top
    bytes[316] = 50;  // left
    Write(bytes);
    settings::SettingsRecord r;
    EXPECT_FALSE(settings::LoadSettings(r, path));
    settings::ApplyDefaults(r);
    EXPECT_EQ(r.windowTop, 40);
    EXPECT_EQ(r.windowLeft, 50);
    EXPECT_EQ(r.requestDelay, 250);
    EXPECT_EQ(settings::PortName(r), "COM1");
    EXPECT_EQ(r.groupLists[1][4][28], 255);
    EXPECT_EQ(r.groupCounts[0][0], 0);
}

TEST(PortName, NeverSpillsIntoTheDelay) {
    settings::SettingsRecord r;
    r.requestDelay = 250;
    settings::SetPortName(r, "ttyUSB10-long-name");
    EXPECT_EQ(settings::PortName(r), "ttyUSB1");
    EXPECT_EQ(r.requestDelay, 250);
    EXPECT_EQ(settings::Encode(r)[307], 0);
}

TEST(PortName, FieldWithoutItsZeroStopsAtSevenCharacters) {
    settings::RecordBytes bytes{};
    for (int i = 300; i < 308; ++i) bytes[i] = 'A';
    EXPECT_EQ(settings::PortName(settings::Decode(bytes)), "AAAAAAA");
}

TEST_F(SettingsFile, FailedSaveLeavesTheOldFileWhole) {
    const Bytes old = Patterned(336);
    Write(old);
    // A directory in the temporary file's place makes the save fail before the rename.
    fs::create_directory(path + ".new");
    settings::SettingsRecord r;
    settings::ApplyDefaults(r);
    EXPECT_FALSE(settings::SaveSettings(r, path));
    EXPECT_EQ(Read(), old);
}

TEST_F(SettingsFile, SaveIntoAMissingFolderFails) {
    settings::SettingsRecord r;
    EXPECT_FALSE(settings::SaveSettings(r, (dir / "missing" / "auto.ini").string()));
}

TEST_F(SettingsFile, SaveThroughALinkWritesItsTargetAndKeepsTheLink) {
    const fs::path kept = dir / "kept" / "auto.ini";
    fs::create_directories(kept.parent_path());
    std::ofstream(kept, std::ios::binary) << "old";
    std::error_code error;
    fs::create_symlink(fs::path("kept") / "auto.ini", path, error);
    if (error)
        GTEST_SKIP() << "no symbolic links here: " << error.message();
    settings::SettingsRecord r;
    settings::ApplyDefaults(r);
    ASSERT_TRUE(settings::SaveSettings(r, path));
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(fs::file_size(kept), 336u);
    EXPECT_FALSE(fs::exists(kept.string() + ".new"));
}

TEST_F(SettingsFile, SaveKeepsTheFilesPermissions) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows files carry a read-only flag, not a mode";
#endif
    Write(Patterned(336));
    const auto privateMode = fs::perms::owner_read | fs::perms::owner_write;
    fs::permissions(path, privateMode, fs::perm_options::replace);
    settings::SettingsRecord r;
    settings::ApplyDefaults(r);
    ASSERT_TRUE(settings::SaveSettings(r, path));
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, privateMode);
}

}  // namespace
