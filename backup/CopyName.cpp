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

const LayoutShape kCopyLayouts[4] = {
    {CopyLayout::YearMonthDay, 3, {"Y", "M", "D"}, "hm"},
    {CopyLayout::YearMonthAndDay, 2, {"YM", "D", nullptr}, "hm"},
    {CopyLayout::YearAndMonthDay, 2, {"Y", "MD", nullptr}, "hm"},
    {CopyLayout::Flat, 0, {nullptr, nullptr, nullptr}, "YMDhm"},
};

const LayoutShape& ShapeOf(CopyLayout layout) { return kCopyLayouts[static_cast<int>(layout) - 1]; }

int DateDepth(CopyLayout layout) { return ShapeOf(layout).depth; }

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

bool DateStampLater(const DateStamp& stamp, int minutes, DateStamp& out) {
    CivilStamp s;
    if (!StampOfDateStamp(stamp, s)) return false;
    const CivilStamp later = StampFromMinutes(StampMinutes(s) + minutes);
    if (!IsRealStamp(later)) return false;
    DateStamp d = stamp;
    d.mYear = FormatPadded(later.year, 4);
    d.mMonth = FormatPadded(later.month, 2);
    d.mDay = FormatPadded(later.day, 2);
    d.mHour = FormatPadded(later.hour, 2);
    d.mMinute = FormatPadded(later.minute, 2);
    out = std::move(d);
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

void AsciiFold(std::wstring& name) {
    for (wchar_t& c : name)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 0x20);
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

namespace {

std::size_t FieldsWidth(const char* letters) {
    std::size_t width = 0;
    for (const char* l = letters; *l; ++l) width += *l == 'Y' ? 4 : 2;
    return width;
}

// The fields `letters` from `text` at `pos`, each checked against those before it.
bool ParseFields(const std::wstring& text, std::size_t pos, const char* letters, CivilStamp& stamp) {
    CivilStamp s = stamp;
    for (const char* l = letters; *l; ++l) {
        const std::size_t width = *l == 'Y' ? 4 : 2;
        int v = 0;
        if (!Digits(text, pos, width, v)) return false;
        pos += width;
        switch (*l) {
        case 'Y':
            if (v < 1) return false;
            s.year = v;
            break;
        case 'M':
            if (v < 1 || v > 12) return false;
            s.month = v;
            break;
        case 'D':
            if (v < 1 || v > DaysInMonth(s.year, s.month)) return false;
            s.day = v;
            break;
        case 'h':
            if (v > 23) return false;
            s.hour = v;
            break;
        default:
            if (v > 59) return false;
            s.minute = v;
            break;
        }
    }
    stamp = s;
    return true;
}

}  // namespace

bool ParseDateFolder(const std::wstring& name, const char* letters, CivilStamp& stamp) {
    return name.size() == FieldsWidth(letters) && ParseFields(name, 0, letters, stamp);
}

bool ParseCopyFileName(const std::wstring& name, const LayoutShape& shape, CivilStamp& stamp, std::wstring& base,
                       std::wstring& ext) {
    const std::size_t width = FieldsWidth(shape.name);
    if (!IsWindowsFileName(name)) return false;  // a run's names never hold a separator or the like
    const std::size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || dot + 1 == name.size() || dot < width + 2) return false;
    const std::size_t digits = dot - width;
    if (name[digits - 1] != L'_') return false;
    CivilStamp s = stamp;
    if (!ParseFields(name, digits, shape.name, s)) return false;
    std::wstring b = name.substr(0, digits - 1);
    if (!ValidBase(b)) return false;
    stamp = s;
    base = std::move(b);
    ext = name.substr(dot + 1);
    return true;
}

bool ParseCopyPath(const std::vector<std::wstring>& c, ParsedCopy& out) {
    for (const LayoutShape& shape : kCopyLayouts) {
        if (c.size() != static_cast<std::size_t>(shape.depth) + 1) continue;
        ParsedCopy p;
        p.layout = shape.layout;
        bool dated = true;
        for (int k = 0; k < shape.depth && dated; ++k)
            dated = ParseDateFolder(c[static_cast<std::size_t>(k)], shape.folders[k], p.stamp);
        if (!dated || !ParseCopyFileName(c.back(), shape, p.stamp, p.base, p.ext)) continue;
        out = std::move(p);
        return true;
    }
    return false;
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
