// Asserts: whatever path the grammar accepts as a copy is a real stamp, and a backup run
// composing that drawing's copy at that stamp in that layout writes exactly this path; so
// the grammar never claims a file the plug-in could not have made.
#include <cstdlib>

#include "FuzzInput.h"
#include "backup/BackupPath.h"
#include "backup/CopyName.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const std::size_t count = in.Byte() % 6;
    const std::wstring folder = L"C:\\B";
    std::wstring path = folder;
    for (std::size_t i = 0; i < count; ++i) {
        path += L'\\';
        path += in.Text(40);
    }
    ParsedCopy parsed;
    if (!ParseCopyPathBelow(folder, path, parsed)) return 0;
    if (!IsRealStamp(parsed.stamp)) abort();
    if (!(StampFromMinutes(StampMinutes(parsed.stamp)) == parsed.stamp)) abort();
    std::tm t{};
    t.tm_year = parsed.stamp.year - 1900;
    t.tm_mon = parsed.stamp.month - 1;
    t.tm_mday = parsed.stamp.day;
    t.tm_hour = parsed.stamp.hour;
    t.tm_min = parsed.stamp.minute;
    DateStamp stamp;
    FormatDateStamp(stamp, &t);
    std::wstring composed;
    const std::wstring drawing = L"D:\\w\\" + parsed.base + L"." + parsed.ext;
    if (ComposeTargetPath(folder, drawing, static_cast<int>(parsed.layout), stamp, composed) != ComposeResult::Ok)
        abort();
    if (composed != path) abort();
    return 0;
}
