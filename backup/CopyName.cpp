#include "CopyName.h"

#include <algorithm>
#include <cwchar>

#include "BackupPath.h"

namespace {

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : days[month - 1];
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0); }

// Days since 1970-01-01 of a Gregorian date (the civil-from-days inverse below).
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = FloorDiv(y, 400);
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = FloorDiv(z, 146097);
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

// Exactly `width` ASCII digits starting at `pos`.
bool Digits(const std::wstring& text, std::size_t pos, std::size_t width, int& value) {
    if (pos + width > text.size()) return false;
    int v = 0;
    for (std::size_t i = pos; i < pos + width; ++i) {
        const wchar_t c = text[i];
        if (c < L'0' || c > L'9') return false;
        v = v * 10 + (c - L'0');
    }
    value = v;
    return true;
}

bool AllDigits(const std::wstring& text, std::size_t width, int& value) {
    return text.size() == width && Digits(text, 0, width, value);
}

bool ValidBase(const std::wstring& base) {
    if (base.empty() || base.front() == L'.' || base.back() == L'.') return false;
    return base.find(L"..") == std::wstring::npos;
}

}  // namespace

int DateDepth(CopyLayout layout) {
    switch (layout) {
    case CopyLayout::YearMonthDay:
        return 3;
    case CopyLayout::YearMonthAndDay:
    case CopyLayout::YearAndMonthDay:
        return 2;
    case CopyLayout::Flat:
        break;
    }
    return 0;
}

bool IsRealStamp(const CivilStamp& s) {
    return s.year >= 1 && s.year <= 9999 && s.month >= 1 && s.month <= 12 && s.day >= 1 &&
           s.day <= DaysInMonth(s.year, s.month) && s.hour >= 0 && s.hour <= 23 && s.minute >= 0 && s.minute <= 59;
}

int64_t StampMinutes(const CivilStamp& s) {
    return DaysFromCivil(s.year, s.month, s.day) * kMinutesPerDay + int64_t{s.hour} * 60 + s.minute;
}

CivilStamp StampFromMinutes(int64_t minutes) {
    CivilStamp s;
    const int64_t days = FloorDiv(minutes, kMinutesPerDay);
    const int64_t inDay = minutes - days * kMinutesPerDay;
    CivilFromDays(days, s.year, s.month, s.day);
    s.hour = static_cast<int>(inDay / 60);
    s.minute = static_cast<int>(inDay % 60);
    return s;
}

int64_t DayNumber(int64_t minutes) { return FloorDiv(minutes, kMinutesPerDay); }

// 1970-01-01 was a Thursday: counting from the Monday three days earlier starts each week on a Monday.
int64_t WeekNumber(int64_t minutes) { return FloorDiv(DayNumber(minutes) + 3, 7); }

std::wstring FormatStamp(const CivilStamp& s) {
    return FormatPadded(s.year, 4) + L'-' + FormatPadded(s.month, 2) + L'-' + FormatPadded(s.day, 2) + L' ' +
           FormatPadded(s.hour, 2) + L':' + FormatPadded(s.minute, 2);
}

bool StampOfDateStamp(const DateStamp& stamp, CivilStamp& out) {
    CivilStamp s;
    if (!AllDigits(stamp.mYear, 4, s.year) || !AllDigits(stamp.mMonth, 2, s.month) ||
        !AllDigits(stamp.mDay, 2, s.day) || !AllDigits(stamp.mHour, 2, s.hour) ||
        !AllDigits(stamp.mMinute, 2, s.minute) || !IsRealStamp(s))
        return false;
    out = s;
    return true;
}

int AsciiFoldedOrder(const std::wstring& a, const std::wstring& b) {
    const auto fold = [](wchar_t c) -> uint32_t {
        const auto u = static_cast<uint32_t>(c);  // NOLINT(bugprone-signed-char-misuse): a code unit, never negative
        return u >= 'a' && u <= 'z' ? u - 0x20 : u;
    };
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const uint32_t x = fold(a[i]), y = fold(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

DrawingKey MakeDrawingKey(const std::wstring& base, const std::wstring& ext) { return DrawingKey{base, ext}; }

int CompareDrawings(const DrawingKey& a, const DrawingKey& b, NameOrder order) {
    const int base = order(a.base, b.base);
    return base != 0 ? base : order(a.ext, b.ext);
}

bool IsWindowsFileName(const std::wstring& name) {
    if (name.empty() || name.back() == L' ' || name.back() == L'.') return false;
    for (wchar_t c : name)
        if (c < 0x20 || std::wcschr(L"<>:\"/\\|?*", c)) return false;
    return true;
}

bool DrawingKeyOfPath(const std::wstring& drawingPath, DrawingKey& out) {
    std::wstring base, ext;
    if (!SplitFileName(FileNameOf(drawingPath), base, ext)) return false;
    out = MakeDrawingKey(base, ext);
    return true;
}

bool ParseYearFolder(const std::wstring& name, int& year) {
    int y = 0;
    if (!AllDigits(name, 4, y) || y < 1) return false;
    year = y;
    return true;
}

bool ParseYearMonthFolder(const std::wstring& name, int& year, int& month) {
    int y = 0, m = 0;
    if (name.size() != 6 || !Digits(name, 0, 4, y) || !Digits(name, 4, 2, m) || y < 1 || m < 1 || m > 12) return false;
    year = y;
    month = m;
    return true;
}

bool ParseMonthFolder(const std::wstring& name, int /*year*/, int& month) {
    int m = 0;
    if (!AllDigits(name, 2, m) || m < 1 || m > 12) return false;
    month = m;
    return true;
}

bool ParseDayFolder(const std::wstring& name, int year, int month, int& day) {
    int d = 0;
    if (!AllDigits(name, 2, d) || d < 1 || d > DaysInMonth(year, month)) return false;
    day = d;
    return true;
}

bool ParseMonthDayFolder(const std::wstring& name, int year, int& month, int& day) {
    int m = 0, d = 0;
    if (name.size() != 4 || !Digits(name, 0, 2, m) || !Digits(name, 2, 2, d) || m < 1 || m > 12 || d < 1 ||
        d > DaysInMonth(year, m))
        return false;
    month = m;
    day = d;
    return true;
}

bool ParseCopyFileName(const std::wstring& name, bool flat, CivilStamp& stamp, std::wstring& base, std::wstring& ext) {
    const std::size_t width = flat ? 12 : 4;
    if (!IsWindowsFileName(name)) return false;  // a run's names never hold a separator or the like
    const std::size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || dot + 1 == name.size() || dot < width + 2) return false;
    const std::size_t digits = dot - width;
    if (name[digits - 1] != L'_') return false;
    int hour = 0, minute = 0;
    if (!Digits(name, dot - 4, 2, hour) || !Digits(name, dot - 2, 2, minute) || hour > 23 || minute > 59) return false;
    CivilStamp s = stamp;
    if (flat && (!Digits(name, digits, 4, s.year) || !Digits(name, digits + 4, 2, s.month) ||
                 !Digits(name, digits + 6, 2, s.day)))
        return false;
    s.hour = hour;
    s.minute = minute;
    if (flat && !IsRealStamp(s)) return false;
    std::wstring b = name.substr(0, digits - 1);
    if (!ValidBase(b)) return false;
    stamp = s;
    base = std::move(b);
    ext = name.substr(dot + 1);
    return true;
}

bool ParseCopyPath(const std::vector<std::wstring>& c, ParsedCopy& out) {
    ParsedCopy p;
    CivilStamp& s = p.stamp;
    switch (c.size()) {
    case 1:
        p.layout = CopyLayout::Flat;
        if (!ParseCopyFileName(c[0], true, s, p.base, p.ext)) return false;
        break;
    case 3:
        if (ParseYearMonthFolder(c[0], s.year, s.month)) {
            p.layout = CopyLayout::YearMonthAndDay;
            if (!ParseDayFolder(c[1], s.year, s.month, s.day)) return false;
        } else if (ParseYearFolder(c[0], s.year)) {
            p.layout = CopyLayout::YearAndMonthDay;
            if (!ParseMonthDayFolder(c[1], s.year, s.month, s.day)) return false;
        } else {
            return false;
        }
        if (!ParseCopyFileName(c[2], false, s, p.base, p.ext)) return false;
        break;
    case 4:
        p.layout = CopyLayout::YearMonthDay;
        if (!ParseYearFolder(c[0], s.year) || !ParseMonthFolder(c[1], s.year, s.month) ||
            !ParseDayFolder(c[2], s.year, s.month, s.day) || !ParseCopyFileName(c[3], false, s, p.base, p.ext))
            return false;
        break;
    default:
        return false;
    }
    out = std::move(p);
    return true;
}

bool ParseCopyPathBelow(const std::wstring& folder, const std::wstring& path, ParsedCopy& out) {
    if (path.size() <= folder.size() + 1 || path.compare(0, folder.size(), folder) != 0 || path[folder.size()] != L'\\')
        return false;
    std::vector<std::wstring> components;
    std::size_t start = folder.size() + 1;
    for (std::size_t p = path.find(L'\\', start);; p = path.find(L'\\', start)) {
        components.push_back(path.substr(start, p == std::wstring::npos ? std::wstring::npos : p - start));
        if (p == std::wstring::npos) break;
        start = p + 1;
    }
    return ParseCopyPath(components, out);
}
