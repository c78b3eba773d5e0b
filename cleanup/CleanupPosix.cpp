#include "CleanupPosix.h"

#include <ctime>

bool ReadPosixClock(ClockReading& reading) {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    if (t == static_cast<std::time_t>(-1) || !localtime_r(&t, &local)) return false;
    const CivilStamp stamp{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min};
    if (!IsRealStamp(stamp)) return false;
    const auto seconds = static_cast<int64_t>(t);
    reading.utcMinutes = seconds >= 0 ? seconds / 60 : (seconds - 59) / 60;
    reading.offsetMinutes = static_cast<int>(StampMinutes(stamp) - reading.utcMinutes);
    return true;
}

PosixFileTree PosixTreeFor(const std::vector<std::wstring>& args) {
    CleanupOptions options;
    std::wstring ignored;
    if (!ParseCleanupArgs(args, options, ignored)) return PosixFileTree();
    return PosixFileTree(options.folder);
}
