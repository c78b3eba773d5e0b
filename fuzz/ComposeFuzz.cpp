// Asserts: a composed target starts with the trimmed folder and a backslash, and what
// follows holds no ".." component, so a copy never leaves the backup folder; the folder
// chain of a target never attempts the file name itself.
#include <cstdlib>

#include "FuzzInput.h"
#include "backup/BackupPath.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const int pattern = static_cast<int8_t>(in.Byte()) % 6;
    const std::wstring folder = in.Text(300);
    const std::wstring drawing = in.Rest();
    std::tm t{};
    t.tm_year = 124;
    t.tm_mon = 2;
    t.tm_mday = 7;
    t.tm_hour = 9;
    t.tm_min = 5;
    DateStamp stamp;
    FormatDateStamp(stamp, &t);
    std::wstring target = L"unchanged";
    const ComposeResult result = ComposeTargetPath(folder, drawing, pattern, stamp, target);
    if (result != ComposeResult::Ok) {
        if (target != L"unchanged") abort();
        return 0;
    }
    const std::wstring prefix = TrimFolder(folder) + L"\\";
    if (target.compare(0, prefix.size(), prefix) != 0) abort();
    std::wstring rest = target.substr(prefix.size());
    for (wchar_t& c : rest)
        if (c == L'/') c = L'\\';
    std::size_t start = 0;
    while (true) {
        const std::size_t end = rest.find(L'\\', start);
        if (rest.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start) == L"..") abort();
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    std::wstring forward = target;
    for (wchar_t& c : forward)
        if (c == L'\\') c = L'/';
    for (const std::wstring& attempt : PlanDirectoryChain(target))
        if (attempt == forward) abort();
    return 0;
}
