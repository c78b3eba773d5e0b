// varnholt-cleanup: the cleanup tool on a POSIX system (file servers holding backup trees).
#include <cstdio>
#include <ctime>

#include "CleanupTool.h"
#include "PosixFileTree.h"

namespace {

void Print(const std::wstring& line) {
    std::string utf8;
    if (!WideToUtf8(line, utf8)) utf8 = "?";
    std::fputs(utf8.c_str(), stdout);
    std::fputc('\n', stdout);
}

bool LocalNow(CivilStamp& now) {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&t, &local)) return false;
    now = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min};
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::wstring> args;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg;
        if (!Utf8ToWide(argv[i], arg)) {
            std::fprintf(stderr, "argument %d is not UTF-8 text\n", i);
            return 2;
        }
        args.push_back(arg);
    }
    PosixFileTree tree;
    return CleanupMain(args, tree, LocalNow, Print);
}
