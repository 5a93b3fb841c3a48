// The group edits on the settings record: the bytes of the plain slot algorithm for groups
// the editor built (the window tests go through the single cases), names of no group, and
// records from a corrupt auto.ini that must never be read or written outside their tables.
#include "diag/groups.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/support/row_names.h"

namespace {

using diag::AddToGroup;
using diag::ClearGroup;
using diag::GroupEntries;
using diag::RemoveFromGroup;
using settings::Encode;
using settings::SettingsRecord;

constexpr uint8_t kEmpty = 255;

SettingsRecord Defaults() {
    SettingsRecord record;
    settings::ApplyDefaults(record);
    return record;
}

// Every group of both ECU types filled with entries of its own, as the editor writes them.
SettingsRecord AllGroupsFilled() {
    SettingsRecord record = Defaults();
    for (int t = 0; t < 2; ++t)
        for (int g = 0; g < 5; ++g)
            for (int i = 0; i <= g; ++i) EXPECT_TRUE(AddToGroup(record, t, g, t * 10 + g + i));
    return record;
}

std::vector<int> Slots(const SettingsRecord& record, int t, int g) {
    const auto& slots = record.groupLists[t][g];
    return std::vector<int>(slots.begin(), slots.end());
}

// The slots of a group that holds `entries`, as the editor leaves every group.
std::vector<int> Expected(std::vector<int> entries) {
    entries.resize(29, kEmpty);
    return entries;
}

// For groups the editor built, the edits give the bytes of the plain slot algorithm: append at
// slot n and count up; move slots j+1..n down and count down; empty slots 0..count-1.
TEST(GroupEdits, ValidGroupsGetTheBytesOfThePlainSlotAlgorithm) {
    SettingsRecord record = Defaults();
    SettingsRecord plain = Defaults();
    std::mt19937 random(1234);
    int ignoredAdditions = 0;
    for (int step = 0; step < 2000; ++step) {
        const int t = random() % 2, g = random() % 5, what = random() % 10;
        auto& slots = plain.groupLists[t][g];
        uint8_t& count = plain.groupCounts[t][g];
        if (what < 6) {
            const int index = random() % 34;
            if (AddToGroup(record, t, g, index)) {
                ASSERT_LT(count, 16);
                slots[count++] = static_cast<uint8_t>(index);
            } else {
                ASSERT_EQ(count, 16);
                ++ignoredAdditions;
            }
        } else if (what < 9 && count > 0) {
            const int j = random() % count;
            ASSERT_TRUE(RemoveFromGroup(record, t, g, j));
            for (int s = j + 1; s <= count; ++s) slots[s - 1] = slots[s];
            --count;
        } else if (what == 9) {
            ClearGroup(record, t, g);
            for (int s = 0; s < count; ++s) slots[s] = kEmpty;
            count = 0;
        }
        ASSERT_EQ(Encode(record), Encode(plain)) << "step " << step;
    }
    EXPECT_GT(ignoredAdditions, 0);  // full groups were met, not only growing ones
}

struct NoGroup {
    const char* name;
    int ecuType;
    int group;
};

class NamesNoGroup : public testing::TestWithParam<NoGroup> {};

// ECU type -1 is what the protocol object holds when no type is chosen.
INSTANTIATE_TEST_SUITE_P(Edits, NamesNoGroup,
                         testing::Values(NoGroup{"NoEcuType", -1, 0}, NoGroup{"Type2", 2, 0},
                                         NoGroup{"Type127", 127, 4}, NoGroup{"GroupBelow", 0, -1},
                                         NoGroup{"Group5", 1, 5}),
                         testing_support::RowName);

TEST_P(NamesNoGroup, ShowsNothingAndEveryEditIsIgnored) {
    SettingsRecord record = AllGroupsFilled();
    const auto before = Encode(record);
    const auto [name, t, g] = GetParam();
    EXPECT_TRUE(GroupEntries(record, t, g).empty());
    EXPECT_FALSE(AddToGroup(record, t, g, 1));
    EXPECT_FALSE(RemoveFromGroup(record, t, g, 0));
    EXPECT_FALSE(ClearGroup(record, t, g));
    EXPECT_EQ(Encode(record), before);
}

TEST(GroupEdits, AnIndexThatIsNoSlotValueAndAPositionOutsideTheEntriesAreIgnored) {
    SettingsRecord record = Defaults();
    AddToGroup(record, 0, 0, 4);
    const auto before = Encode(record);
    for (int index : {-1, 255, 256}) EXPECT_FALSE(AddToGroup(record, 0, 0, index)) << index;
    for (int position : {-1, 1, 29})
        EXPECT_FALSE(RemoveFromGroup(record, 0, 0, position)) << position;
    EXPECT_EQ(Encode(record), before);
    EXPECT_TRUE(AddToGroup(record, 0, 0, 254));  // the largest index a slot can hold
}

// A corrupt auto.ini: count 200 and every slot a value beyond both catalogues.
TEST(CorruptGroups, AllSlotsFilledShowAll29AndAreEditedAsShown) {
    SettingsRecord record = Defaults();
    record.groupLists[0][0].fill(250);
    record.groupCounts[0][0] = 200;
    EXPECT_EQ(GroupEntries(record, 0, 0), std::vector<int>(29, 250));

    const auto corrupt = Encode(record);
    EXPECT_FALSE(AddToGroup(record, 0, 0, 1));  // 29 entries shown: far beyond 16
    EXPECT_EQ(Encode(record), corrupt);

    EXPECT_TRUE(RemoveFromGroup(record, 0, 0, 0));
    EXPECT_EQ(Slots(record, 0, 0), Expected(std::vector<int>(28, 250)));
    EXPECT_EQ(record.groupCounts[0][0], 28);

    EXPECT_TRUE(ClearGroup(record, 0, 0));
    EXPECT_EQ(Slots(record, 0, 0), Expected({}));
    EXPECT_EQ(record.groupCounts[0][0], 0);
}

TEST(CorruptGroups, ACountAbove16OverEmptySlotsIsSetRightByTheFirstAddition) {
    SettingsRecord record = Defaults();
    record.groupCounts[1][4] = 200;
    EXPECT_TRUE(GroupEntries(record, 1, 4).empty());
    EXPECT_TRUE(AddToGroup(record, 1, 4, 6));
    EXPECT_EQ(Slots(record, 1, 4), Expected({6}));
    EXPECT_EQ(record.groupCounts[1][4], 1);
}

TEST(CorruptGroups, SlotsBehindTheFirstEmptySlotNeverComeBack) {
    SettingsRecord record = Defaults();
    auto& slots = record.groupLists[0][2];
    slots[0] = 4;
    slots[2] = 6;
    slots[3] = 7;
    record.groupCounts[0][2] = 1;
    EXPECT_EQ(GroupEntries(record, 0, 2), (std::vector<int>{4}));
    EXPECT_TRUE(AddToGroup(record, 0, 2, 8));
    EXPECT_EQ(Slots(record, 0, 2), Expected({4, 8}));
    EXPECT_EQ(record.groupCounts[0][2], 2);
}

TEST(CorruptGroups, ClearingEmptiesAllSlotsWhateverTheCountSays) {
    SettingsRecord record = Defaults();
    auto& slots = record.groupLists[1][0];
    for (int s = 0; s < 5; ++s) slots[s] = static_cast<uint8_t>(s);
    record.groupCounts[1][0] = 2;  // fewer than the slots hold
    EXPECT_TRUE(ClearGroup(record, 1, 0));
    EXPECT_EQ(Slots(record, 1, 0), Expected({}));
    EXPECT_TRUE(AddToGroup(record, 1, 0, 9));
    EXPECT_EQ(GroupEntries(record, 1, 0), (std::vector<int>{9}));
}

}  // namespace
