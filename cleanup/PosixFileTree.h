// Housekeeping's file system on POSIX systems, for running the cleanup tool on a file server
// that holds backup trees. Symbolic links and special files are reported as Other and never
// followed; names that are not valid UTF-8 are reported as Other too, so nothing is done to
// a file whose name could not be read.
//
// Deletes and folder removals open the backup folder (following a link there) and then each
// folder below it from its parent without following links, and act on the name relative to
// the last folder opened: a folder swapped for a link meanwhile is never passed through.
#pragma once
#include <string>

#include "backup/Housekeeping.h"
#include "backup/Utf8.h"

class PosixFileTree : public FileTree {
public:
    PosixFileTree() = default;
    // `root`: the backup folder the tree is used for. It is listed even when it is a link to a
    // folder, and the folders below it are listed as reached from it without following links.
    explicit PosixFileTree(const std::wstring& root);

    bool List(const std::wstring& folder, std::vector<TreeEntry>& out) override;
    bool Stat(const std::wstring& root, const std::wstring& path, TreeEntry& out) override;
    bool DigestFile(const std::wstring& path, FileDigest& out) override;
    RemoveOutcome RemoveFile(const std::wstring& root, const std::wstring& path, const TreeEntry& seen) override;
    bool RemoveEmptyFolder(const std::wstring& root, const std::wstring& path, const FileIdentity& seen) override;
    wchar_t Separator() const override { return L'/'; }
    std::wstring LastErrorText() const override;

private:
    bool Fail(int error);
    bool hasRoot_ = false;
    std::wstring root_;  // without trailing slashes; "" is "/"
    int lastError_ = 0;
};
