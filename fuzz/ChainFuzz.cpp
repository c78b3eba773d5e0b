// Asserts: one attempt per separator, each attempt is the path up to that separator (with
// '/' separators), so the last component, the file name, is never attempted.
#include <cstdlib>

#include "FuzzInput.h"
#include "backup/BackupPath.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    std::wstring path = in.Rest();
    const std::vector<std::wstring> attempts = PlanDirectoryChain(path);
    for (wchar_t& c : path)
        if (c == L'\\') c = L'/';
    std::size_t separators = 0, from = 0;
    for (std::size_t p = path.find(L'/'); p != std::wstring::npos; p = path.find(L'/', p + 1)) {
        if (separators >= attempts.size() || attempts[separators] != path.substr(0, p)) abort();
        ++separators;
        from = p + 1;
    }
    if (separators != attempts.size()) abort();
    (void)from;
    return 0;
}
