// Asserts: the pieces are non-empty substrings in source order, their count is the
// result, and joined with the delimiter they give the source with empty pieces dropped
// whenever the delimiter cannot overlap itself.
#include <cstdlib>
#include <vector>

#include "FuzzInput.h"
#include "backup/BackupPath.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    std::wstring delimiter = in.Text(4);
    if (delimiter.empty()) delimiter = L".";
    const std::wstring source = in.Rest();
    std::vector<std::wstring> pieces{L"stale"};
    const int n = SplitString(delimiter, source, pieces);
    if (n != static_cast<int>(pieces.size())) abort();
    std::size_t at = 0;
    for (const std::wstring& piece : pieces) {
        if (piece.empty()) abort();
        const std::size_t found = source.find(piece, at);
        if (found == std::wstring::npos) abort();
        at = found + piece.size();
    }
    if (delimiter.size() == 1) {
        // Reference: drop every delimiter run, join the rest with single delimiters.
        std::wstring expected, current;
        for (wchar_t c : source + delimiter) {
            if (c == delimiter[0]) {
                if (!current.empty()) expected += (expected.empty() ? L"" : delimiter) + current;
                current.clear();
            } else {
                current += c;
            }
        }
        std::wstring joined;
        for (const std::wstring& piece : pieces) joined += (joined.empty() ? L"" : delimiter) + piece;
        if (joined != expected) abort();
    }
    return 0;
}
