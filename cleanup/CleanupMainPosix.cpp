// varnholt-cleanup: the cleanup tool on a POSIX system (file servers holding backup trees).
#include <cstdio>

#include "CleanupPosix.h"

namespace {

void PrintTo(std::FILE* stream, const std::wstring& line) {
    std::string utf8;
    if (!WideToUtf8(line, utf8)) utf8 = "?";
    std::fputs(utf8.c_str(), stream);
    std::fputc('\n', stream);
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
    PosixFileTree tree = PosixTreeFor(args);
    return CleanupMain(
        args, tree, ReadPosixClock, [](const std::wstring& line) { PrintTo(stdout, line); },
        [](const std::wstring& line) {
            std::fflush(stdout);
            PrintTo(stderr, line);
        });
}
