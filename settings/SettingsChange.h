#pragma once
#include "BackupSettings.h"

// True when any of the four values differs (the folder compared exactly, letter case included).
inline bool SettingsChanged(const BackupSettings& before, const BackupSettings& after) {
    return after.mTime != before.mTime || after.mIsAutoBackup != before.mIsAutoBackup ||
           after.mFolder != before.mFolder || after.mMainItemNo != before.mMainItemNo;
}
