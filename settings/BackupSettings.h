#pragma once
#include <cstdint>
#include <string>

// The four backup settings, in their load and save order.
struct BackupSettings {
    int32_t mIsAutoBackup = 0;  // 0 off, non-zero on; a load leaves 0 or 1
    int32_t mTime = 0;          // interval in minutes
    std::wstring mFolder;       // backup folder
    int32_t mMainItemNo = 0;    // naming pattern 1 to 4
};
