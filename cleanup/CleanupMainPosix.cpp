// varnholt-cleanup: the cleanup tool on a POSIX system (file servers holding backup trees).
#include <cstdio>
#include <ctime>

#include "CleanupTool.h"
#include "PosixFileTree.h"

namespace {

void PrintTo(std::FILE* stream, const std::wstring& line) {
    std::string utf8;
    if (!WideToUtf8(line, utf8)) utf8 = "?";
    std::fputs(utf8.c_str(), stream);
    std::fputc('\n', stream);
}

// UTC from the system clock, and the machine's zone as localtime_r converts that moment.
bool ReadClock(ClockReading& reading) {
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

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::wstring> args;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg;
        if (!Utf8ToWide(argv[i], arg)) {
            std::fprintf(stderr, "argument %d is not UTF-8 text\n", i);
            return kCleanupRefused;
        }
        args.push_back(arg);
    }
    // The tree knows the backup folder, so that it lists it through a link and what lies
    // below it without; a command line that cannot be used is reported by CleanupMain.
    CleanupOptions options;
    std::wstring ignored;
    PosixFileTree tree = ParseCleanupArgs(args, options, ignored) ? PosixFileTree(options.folder) : PosixFileTree();
    return CleanupMain(
        args, tree, ReadClock, [](const std::wstring& line) { PrintTo(stdout, line); },
        [](const std::wstring& line) {
            std::fflush(stdout);
            PrintTo(stderr, line);
        });
}
