// VarnholtCleanup.exe: the cleanup tool on Windows.
#include <windows.h>

#include <time.h>

#include <ctime>

#include "CleanupTool.h"
#include "backup/FileTreeWin32.h"

namespace {

// To a console as UTF-16, elsewhere (a file, a pipe) as UTF-8.
void PrintTo(DWORD which, const std::wstring& line) {
    HANDLE out = GetStdHandle(which);
    const std::wstring text = line + L"\r\n";
    DWORD written = 0, mode = 0;
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), n, nullptr, nullptr);
    WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

// UTC from the system clock; the machine's zone as _localtime64_s converts that moment, the
// conversion the plug-in stamps its copies with.
bool ReadClock(ClockReading& reading) {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    const uint64_t ticks = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    constexpr uint64_t kTicksTo1970 = 116444736000000000ull;  // 100 ns units from 1601 to 1970
    if (ticks < kTicksTo1970) return false;
    const auto seconds = static_cast<__time64_t>((ticks - kTicksTo1970) / 10000000u);
    std::tm local{};
    if (_localtime64_s(&local, &seconds) != 0) return false;
    const CivilStamp stamp{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min};
    if (!IsRealStamp(stamp)) return false;
    reading.utcMinutes = static_cast<int64_t>(seconds / 60);
    reading.offsetMinutes = static_cast<int>(StampMinutes(stamp) - reading.utcMinutes);
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Win32FileTree tree;
    return CleanupMain(
        std::vector<std::wstring>(argv + 1, argv + argc), tree, ReadClock,
        [](const std::wstring& line) { PrintTo(STD_OUTPUT_HANDLE, line); },
        [](const std::wstring& line) { PrintTo(STD_ERROR_HANDLE, line); });
}
