// Helpers for the tests that run under Wine against the real file system.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// A fresh, empty folder under the temporary folder; removed with its content on destruction.
class ScratchDir {
public:
    ScratchDir();
    // A fresh folder directly below `parent` (which ends in a backslash).
    explicit ScratchDir(const std::wstring& parent);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

bool PathExists(const std::wstring& path);
bool IsDirectory(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);
// Every file and folder below `root`, relative, sorted.
std::vector<std::wstring> ListTree(const std::wstring& root);
// Removes `path` and everything below it; a link below it is removed itself, and what it
// points to is never touched.
void RemoveTree(const std::wstring& path);
std::string Utf8(const std::wstring& text);

// The value of a fresh kernel handle: it does not move after balanced open/close
// work, and moves up when handles leak.
uintptr_t HandleProbe();
