#include <gtest/gtest.h>

#include "settings/SettingsChange.h"
#include "settings/TimerInterval.h"

namespace {

TEST(TimerIntervalTest, MinutesBecomeMillisecondsWithinOneMinuteAndTheTimerMaximum) {
    const struct {
        int32_t minutes;
        uint32_t ms;
    } cases[] = {
        {30, 1800000u},
        {1, 60000u},
        {0, 60000u},
        {-5, 60000u},
        {-2147483647 - 1, 60000u},
        {35791, 2147460000u},
        {35792, 0x7FFFFFFFu},
        {71583, 0x7FFFFFFFu},
        {2147483647, 0x7FFFFFFFu},
    };
    for (const auto& c : cases) EXPECT_EQ(BackupIntervalMs(c.minutes), c.ms) << c.minutes;
}

TEST(SettingsChangeTest, AnyOfTheFourValuesCounts) {
    const BackupSettings base{1, 30, L"C:\\Backup", 2};
    EXPECT_FALSE(SettingsChanged(base, base));
    BackupSettings changed[] = {base, base, base, base, base};
    changed[0].mIsAutoBackup = 0;
    changed[1].mTime = 31;
    changed[2].mFolder = L"c:\\Backup";  // letter case counts
    changed[3].mMainItemNo = 3;
    changed[4].mFolder = L"C:\\Backup\\";
    for (const BackupSettings& c : changed) EXPECT_TRUE(SettingsChanged(base, c)) << c.mFolder.size();
}

}  // namespace
