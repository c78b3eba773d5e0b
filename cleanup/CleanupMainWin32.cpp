// VarnholtCleanup.exe: the cleanup tool on Windows.
#include <windows.h>

#include <time.h>

#include <ctime>

#include "CleanupTool.h"
#include "backup/FileTreeWin32.h"

namespace {

// To a console as UTF-16, elsewhere (a file, a pipe) as UTF-8.
void Print(const std::wstring& line) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
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

bool LocalNow(CivilStamp& now) {
    const __time64_t t = _time64(nullptr);
    std::tm local{};
    if (_localtime64_s(&local, &t) != 0) return false;
    now = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min};
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Win32FileTree tree;
    return CleanupMain(std::vector<std::wstring>(argv + 1, argv + argc), tree, LocalNow, Print);
}
