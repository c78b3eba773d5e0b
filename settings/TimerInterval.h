#pragma once
#include <cstdint>

// The backup timer's interval for an interval setting in minutes: mTime x 60000 ms,
// never below one minute and never above the timer maximum (0x7FFFFFFF ms).
inline uint32_t BackupIntervalMs(int32_t minutes) {
    if (minutes <= 0) return 60000u;
    const int64_t ms = static_cast<int64_t>(minutes) * 60000;
    return ms > 0x7FFFFFFF ? 0x7FFFFFFFu : static_cast<uint32_t>(ms);
}
