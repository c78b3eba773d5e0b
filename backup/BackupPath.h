// Portable part of a backup run: date stamp formatting, splitting, target-path
// composition and folder-chain planning. No Win32 here.
#pragma once
#include <ctime>
#include <string>
#include <vector>

struct DateStamp {
    std::wstring mYear;
    std::wstring mMonth;
    std::wstring mDay;
    std::wstring mHour;
    std::wstring mMinute;
    std::wstring mSecond;
};

// Fills all six fields from a local broken-down time; a null time (the conversion
// failed) gives the fallback 0000-00-00 and -1 for hour, minute and second.
void FormatDateStamp(DateStamp& stamp, const std::tm* local);

// printf's "%0*d": at least `width` characters, zero-filled after the sign.
std::wstring FormatPadded(int value, int width);

// Empties `out`, then appends the non-empty pieces of `source` between occurrences
// of `delimiter`. Returns the number of pieces. An empty delimiter gives no pieces.
int SplitString(std::wstring delimiter, const std::wstring& source, std::vector<std::wstring>& out);

// The drawing's file name: the text after the last backslash or forward slash.
std::wstring FileNameOf(const std::wstring& drawingPath);

// Splits a file name into base name and extension. Returns false when the name
// yields no piece (empty or dots only); base and ext are then left unchanged.
bool SplitFileName(const std::wstring& fileName, std::wstring& base, std::wstring& ext);

// The backup folder with every trailing backslash removed.
std::wstring TrimFolder(const std::wstring& folder);

enum class ComposeResult { Ok, NoFileName, NoPattern };

// Builds the target path for pattern 1 to 4. On anything but Ok `target` is unchanged.
ComposeResult ComposeTargetPath(const std::wstring& folder, const std::wstring& drawingPath, int pattern,
                                const DateStamp& stamp, std::wstring& target);

// The folders to create, in order, for a target path: every component of its folder
// part (joined with '/'), never the last component, which is the file name.
std::vector<std::wstring> PlanDirectoryChain(const std::wstring& targetPath);
