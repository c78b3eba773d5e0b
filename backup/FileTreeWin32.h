// Housekeeping's file system on Win32. Folders are listed through a handle, so that each entry
// carries its file identity. Reparse points (links, junctions) and devices are reported as
// Other and never entered or read; deletes and folder removals never follow them.
#pragma once
#include <vector>

#include "Housekeeping.h"
#include "framework/UniqueHandle.h"

class Win32FileTree : public FileTree {
public:
    bool List(const std::wstring& folder, std::vector<TreeEntry>& out) override;
    bool Stat(const std::wstring& root, const std::wstring& path, TreeEntry& out) override;
    bool DigestFile(const std::wstring& path, FileDigest& out) override;
    RemoveOutcome RemoveFile(const std::wstring& root, const std::wstring& path, const TreeEntry& seen) override;
    bool RemoveEmptyFolder(const std::wstring& root, const std::wstring& path, const FileIdentity& seen) override;
    std::vector<uint64_t> FolderIndexes(const std::wstring& root, const std::wstring& path, int depth) override;
    wchar_t Separator() const override { return L'\\'; }
    NameOrder Order() const override;
    std::wstring LastErrorText() const override;  // of the last listing that failed

private:
    // Where the system cannot list with identities: by name, identities unknown.
    bool ListByName(const std::wstring& folder, std::vector<TreeEntry>& out);
    static bool FoldersOnTheWayAreReal(const std::wstring& root, const std::wstring& path);
    static bool HoldFoldersOnTheWay(const std::wstring& root, const std::wstring& path, std::vector<unique_file>& held);
    std::vector<unsigned char> buffer_;
    unsigned long lastError_ = 0;  // for reading files, kept between calls
};

// Names compared as Windows compares them (ordinal, without regard to letter case).
int SystemNameOrder(const std::wstring& a, const std::wstring& b);
// The fold of that comparison: each code unit in the system's upper case, the table the
// comparison itself upcases by.
std::wstring SystemNameFold(const std::wstring& name);
