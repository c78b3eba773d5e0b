#include "BackupPath.h"

#include <cstdlib>

#include "CopyName.h"

std::wstring FormatPadded(int value, int width) {
    const long long v = value;
    std::wstring digits = std::to_wstring(v < 0 ? -v : v);
    const std::size_t sign = v < 0 ? 1 : 0;
    std::wstring out;
    if (sign) out += L'-';
    if (digits.size() + sign < static_cast<std::size_t>(width)) out.append(width - sign - digits.size(), L'0');
    out += digits;
    return out;
}

void FormatDateStamp(DateStamp& stamp, const std::tm* local) {
    int year = 0, month = 0, day = 0, hour = -1, minute = -1, second = -1;
    if (local) {
        year = local->tm_year + 1900;
        month = local->tm_mon + 1;
        day = local->tm_mday;
        hour = local->tm_hour;
        minute = local->tm_min;
        second = local->tm_sec;
    }
    stamp.mYear = FormatPadded(year, 4);
    stamp.mMonth = FormatPadded(month, 2);
    stamp.mDay = FormatPadded(day, 2);
    stamp.mHour = FormatPadded(hour, 2);
    stamp.mMinute = FormatPadded(minute, 2);
    stamp.mSecond = FormatPadded(second, 2);
}

// The delimiter is taken by value: the function owns its copy.
// cppcheck-suppress passedByValue
int SplitString(std::wstring delimiter, const std::wstring& source,  // NOLINT(performance-unnecessary-value-param)
                std::vector<std::wstring>& out) {
    out.clear();
    if (delimiter.empty()) return 0;
    int count = 0;
    std::size_t start = 0;
    for (std::size_t p = source.find(delimiter, start); p != std::wstring::npos; p = source.find(delimiter, start)) {
        if (p > start) {
            out.emplace_back(source, start, p - start);
            ++count;
        }
        start = p + delimiter.size();
    }
    if (start < source.size()) {
        out.emplace_back(source, start);
        ++count;
    }
    return count;
}

std::wstring FileNameOf(const std::wstring& drawingPath) {
    const std::size_t sep = drawingPath.find_last_of(L"\\/");
    return sep == std::wstring::npos ? drawingPath : drawingPath.substr(sep + 1);
}

bool SplitFileName(const std::wstring& fileName, std::wstring& base, std::wstring& ext) {
    std::vector<std::wstring> pieces;
    const int n = SplitString(L".", fileName, pieces);
    if (n == 0) return false;
    std::wstring b = pieces[0];
    for (int i = 1; i <= n - 2; ++i) {
        b += L'.';
        b += pieces[i];
    }
    base = std::move(b);
    ext = pieces[n - 1];
    return true;
}

std::wstring TrimFolder(const std::wstring& folder) {
    const std::size_t last = folder.find_last_not_of(L'\\');
    return last == std::wstring::npos ? std::wstring() : folder.substr(0, last + 1);
}

ComposeResult ComposeTargetPath(const std::wstring& folder, const std::wstring& drawingPath, int pattern,
                                const DateStamp& stamp, std::wstring& target) {
    std::wstring base, ext;
    if (!SplitFileName(FileNameOf(drawingPath), base, ext)) return ComposeResult::NoFileName;
    if (pattern < 1 || pattern > 4) return ComposeResult::NoPattern;

    // The fields as the run formatted them, verbatim (a failed clock reading included).
    const auto field = [&stamp](char letter) -> const std::wstring& {
        switch (letter) {
        case 'Y':
            return stamp.mYear;
        case 'M':
            return stamp.mMonth;
        case 'D':
            return stamp.mDay;
        case 'h':
            return stamp.mHour;
        default:
            return stamp.mMinute;
        }
    };
    const LayoutShape& shape = kCopyLayouts[pattern - 1];
    std::wstring t = TrimFolder(folder);
    t.reserve(t.size() + base.size() + ext.size() + 32);
    t += L'\\';
    for (int k = 0; k < shape.depth; ++k) {
        for (const char* l = shape.folders[k]; *l; ++l) t += field(*l);
        t += L'\\';
    }
    t += base;
    t += L'_';
    for (const char* l = shape.name; *l; ++l) t += field(*l);
    t += L'.';
    t += ext;
    target = std::move(t);
    return ComposeResult::Ok;
}

std::vector<std::wstring> PlanDirectoryChain(const std::wstring& targetPath) {
    std::wstring path = targetPath;
    for (wchar_t& c : path)
        if (c == L'\\') c = L'/';
    std::vector<std::wstring> attempts;
    std::wstring prefix;
    std::size_t start = 0;
    for (std::size_t p = path.find(L'/'); p != std::wstring::npos; p = path.find(L'/', start)) {
        prefix.append(path, start, p - start);
        attempts.push_back(prefix);
        prefix += L'/';
        start = p + 1;
    }
    return attempts;
}
