// The name grammar of the plug-in's own copies and the minute clock their stamps live on.
// No Win32 here.
//
// A copy of the drawing with base name B and extension X, stamped YYYY-MM-DD hh:mm, lies
// below the backup folder F in one of four layouts:
//   1  F\YYYY\MM\DD\B_hhmm.X      2  F\YYYYMM\DD\B_hhmm.X
//   3  F\YYYY\MMDD\B_hhmm.X       4  F\B_YYYYMMDDhhmm.X
// Every field has exactly its width in ASCII digits and the stamp is a real date and time.
// Whatever does not fit this grammar is not a copy.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct DateStamp;

// A local wall-clock time to the minute.
struct CivilStamp {
    int year = 0;  // 1 to 9999
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    bool operator==(const CivilStamp& o) const {
        return year == o.year && month == o.month && day == o.day && hour == o.hour && minute == o.minute;
    }
};

constexpr int64_t kMinutesPerDay = 1440;

// True for a date of the Gregorian calendar in years 1 to 9999 and a time 00:00 to 23:59.
bool IsRealStamp(const CivilStamp& s);
// Minutes since 1970-01-01 00:00 of the same wall clock (negative before): the difference
// of two is their distance in wall-clock minutes. The stamp must be real.
int64_t StampMinutes(const CivilStamp& s);
CivilStamp StampFromMinutes(int64_t minutes);
// The calendar day and the Monday-based week a minute falls in, as running numbers.
int64_t DayNumber(int64_t minutes);
int64_t WeekNumber(int64_t minutes);
// "2026-12-09 14:30".
std::wstring FormatStamp(const CivilStamp& s);
// The stamp a backup run formatted (year, month, day, hour and minute); false for the
// fallback of a failed clock conversion or anything else that is not a real time.
bool StampOfDateStamp(const DateStamp& stamp, CivilStamp& out);
// `stamp` (a real one) `minutes` later, its seconds kept: the stamp of a later minute's name.
bool DateStampLater(const DateStamp& stamp, int minutes, DateStamp& out);

enum class CopyLayout { YearMonthDay = 1, YearMonthAndDay = 2, YearAndMonthDay = 3, Flat = 4 };
// How many date folders lie between the backup folder and a copy of the layout.
int DateDepth(CopyLayout layout);
struct LayoutShape;

// How the file system at hand orders names and paths without regard to letter case:
// negative, 0 (the same name) or positive. On Windows it is the system's own comparison.
using NameOrder = int (*)(const std::wstring& a, const std::wstring& b);
// Exact code units with the ASCII letters folded: the order where no system one is at hand.
int AsciiFoldedOrder(const std::wstring& a, const std::wstring& b);
// Turns a name, in place, into the form its order sees: two names are the same name exactly
// when their folded forms are equal (what keys a hashed index by name).
using NameFold = void (*)(std::wstring& name);
// The fold of AsciiFoldedOrder.
void AsciiFold(std::wstring& name);

// Which drawing a copy belongs to: base name and extension, as written in the name.
struct DrawingKey {
    std::wstring base;
    std::wstring ext;
};
DrawingKey MakeDrawingKey(const std::wstring& base, const std::wstring& ext);
// The key of the drawing at `drawingPath`, as a backup run names its copies; false when its
// file name gives no base name.
bool DrawingKeyOfPath(const std::wstring& drawingPath, DrawingKey& out);
// Drawings in `order`: by base name, then extension.
int CompareDrawings(const DrawingKey& a, const DrawingKey& b, NameOrder order);
inline bool SameDrawing(const DrawingKey& a, const DrawingKey& b, NameOrder order) {
    return CompareDrawings(a, b, order) == 0;
}
// False for a file name Windows cannot give a file: empty, a control character, one of
// <>:"/\|?*, or a trailing space or dot. Such a name is never a copy, on any platform.
bool IsWindowsFileName(const std::wstring& name);

// The four layouts as one table that composing, parsing and scanning all read: the stamp
// fields of each date folder, outermost first, and those the file name carries after "B_".
// Field letters: Y year (4 digits), M month, D day, h hour, m minute (2 digits each).
struct LayoutShape {
    CopyLayout layout;
    int depth;               // date folders between the backup folder and the copy
    const char* folders[3];  // the first `depth` are used
    const char* name;
};
extern const LayoutShape kCopyLayouts[4];  // in pattern order: pattern n is kCopyLayouts[n - 1]
const LayoutShape& ShapeOf(CopyLayout layout);

// A date folder's name as the fields `letters` of a real date, filling them into `stamp`
// (fields of outer folders already there); false, with `stamp` unchanged, for anything else.
bool ParseDateFolder(const std::wstring& name, const char* letters, CivilStamp& stamp);

// A copy's file name in the layout `shape`: B_hhmm.X in a day folder (sets the hour and
// minute of `stamp`), B_YYYYMMDDhhmm.X directly in the backup folder (sets all of `stamp`).
// On failure nothing is changed. The name must be one Windows can have; B must be a base name
// a backup run can produce: not empty, no dot at either end, no two dots in a row; X not
// empty and without a dot; neither holds a slash or backslash.
bool ParseCopyFileName(const std::wstring& name, const LayoutShape& shape, CivilStamp& stamp, std::wstring& base,
                       std::wstring& ext);

struct ParsedCopy {
    CopyLayout layout = CopyLayout::Flat;
    CivilStamp stamp;
    std::wstring base, ext;
};
// A path below the backup folder, split into its components (folders, then the file name).
bool ParseCopyPath(const std::vector<std::wstring>& components, ParsedCopy& out);
// The same for a path given as text, below `folder` (the backup folder with its trailing
// backslashes removed), components separated by backslashes.
bool ParseCopyPathBelow(const std::wstring& folder, const std::wstring& path, ParsedCopy& out);
