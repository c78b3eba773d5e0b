// Housekeeping's file system on POSIX systems, for running the cleanup tool on a file server
// that holds backup trees. Symbolic links and special files are reported as Other and never
// followed; names that are not valid UTF-8 are reported as Other too, so nothing is done to
// a file whose name could not be read.
#pragma once
#include <string>

#include "backup/Housekeeping.h"
#include "backup/Utf8.h"

class PosixFileTree : public FileTree {
public:
    bool List(const std::wstring& folder, std::vector<TreeEntry>& out) override;
    bool Stat(const std::wstring& root, const std::wstring& path, TreeEntry& out) override;
    bool DigestFile(const std::wstring& path, FileDigest& out) override;
    RemoveOutcome RemoveFile(const std::wstring& root, const std::wstring& path, const TreeEntry& seen) override;
    bool RemoveEmptyFolder(const std::wstring& root, const std::wstring& path, const FileIdentity& seen) override;
    wchar_t Separator() const override { return L'/'; }
};
