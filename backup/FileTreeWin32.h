// Housekeeping's file system on Win32. Folders are listed through a handle, so that each entry
// carries its file identity. Reparse points (links, junctions) and devices are reported as
// Other and never entered or read; deletes and folder removals never follow them.
//
// A tree serves one piece of work (a tick, one action of a dialog, a run of the cleanup tool).
// Everything it reaches below a root without a link on the way lies on the root's volume (a
// volume is mounted only at a reparse point), so the volume's serial number is asked once, of
// the first file looked at below the root, and taken for the rest of the tree's life.
//
// A root given as a drive ("E:") or a share ("\\server\share") is listed as its root folder
// ("E:\"): Windows takes "E:" for the current folder on that drive.
#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

#include "Housekeeping.h"
#include "framework/UniqueHandle.h"

class Win32FileTree : public FileTree {
public:
    // `buffer`, when given, is the tree's buffer for reading files and folders instead of one
    // of its own; it outlives the tree. A caller doing the same work again and again keeps one,
    // so that each piece of work does not start on memory the process touches afresh (under
    // Wine, a fresh 256 KB buffer costs more than reading a large copy through a used one).
    explicit Win32FileTree(std::vector<unsigned char>* buffer = nullptr) : buffer_(buffer ? *buffer : own_) {}
    Win32FileTree(const Win32FileTree&) = delete;
    Win32FileTree& operator=(const Win32FileTree&) = delete;

    bool List(const std::wstring& folder, std::vector<TreeEntry>& out) override;
    bool Stat(const std::wstring& root, const std::wstring& path, TreeEntry& out) override;
    bool DigestFile(const std::wstring& path, FileDigest& out) override;
    bool FlushFile(const std::wstring& path) override;
    RemoveOutcome RemoveFile(const std::wstring& root, const std::wstring& path, const TreeEntry& seen) override;
    bool RemoveEmptyFolder(const std::wstring& root, const std::wstring& path, const FileIdentity& seen) override;
    std::vector<uint64_t> FolderIndexes(const std::wstring& root, const std::wstring& path, int depth) override;
    wchar_t Separator() const override { return L'\\'; }
    NameOrder Order() const override;
    std::wstring LastErrorText() const override;  // of the last listing that failed
    // Holds the folders on the copy's way open (as a delete does) from its look on, and the
    // copy itself through one handle that reads and deletes it.
    // A new folder holding it is held open for deleting too (nobody else may then open it
    // without sharing deletion, for as long as the hold lasts), and removed through that handle.
    std::unique_ptr<HeldCopy> Hold(const std::wstring& root, const std::wstring& path,
                                   bool folderIsNew = false) override;

private:
    friend class Win32HeldCopy;
    // Where the system cannot list with identities: by name, identities unknown.
    bool ListByName(const std::wstring& folder, std::vector<TreeEntry>& out);
    // `out` for what `handle` opened below `root`, its identity on the root's volume.
    bool Look(HANDLE handle, const std::wstring& root, DWORD attributesByPath, TreeEntry& out);
    static bool FoldersOnTheWayAreReal(const std::wstring& root, const std::wstring& path);
    // True when a folder on the way from `root` to `path` is there but is no real folder (a
    // link, a file); false when each is a real folder up to one that is missing.
    static bool SomethingElseOnTheWay(const std::wstring& root, const std::wstring& path);
    // Deletes the file behind `file` (opened to be deleted) only if it still is `seen`.
    RemoveOutcome RemoveIfStill(HANDLE file, const std::wstring& root, DWORD attributesByPath, const TreeEntry& seen);
    // Removes the real, empty folder `path`, the folders on its way held, only if it is `seen`;
    // `folder`, where not null, is `path` opened for deleting already.
    bool RemoveFolderWhileHeld(const std::wstring& root, const std::wstring& path, const FileIdentity& seen,
                               HANDLE folder = nullptr);
    // Reads the file behind `file` whole from its start.
    bool DigestThrough(HANDLE file, FileDigest& out);
    // Holds the folders between `root` and `path` and checks them again; `busy` set when one
    // is there but could not be opened (held by someone else in a way that forbids it).
    // `innermostToDelete`, where set: the folder holding `path` is to be opened for deleting
    // too; left set where it was.
    static bool HoldFoldersOnTheWay(const std::wstring& root, const std::wstring& path, std::vector<unique_file>& held,
                                    bool* busy = nullptr, bool* innermostToDelete = nullptr);
    std::vector<unsigned char> own_;
    std::vector<unsigned char>& buffer_;
    unsigned long lastError_ = 0;  // for reading files, kept between calls
    bool volumeKnown_ = false;     // the serial number of the volume below volumeRoot_
    std::wstring volumeRoot_;
    DWORD volumeSerial_ = 0;
};

// What a handle shows of its file as GetFileInformationByHandle gives it (attributes, size,
// last write time, file index), without the volume serial number: the one part it asks of the
// volume rather than the file, and by far the slowest under Wine.
struct HandleLook {
    DWORD attributes = 0;
    uint64_t size = 0;
    uint64_t writeTime = 0;
    uint64_t index = 0;
};
bool LookThroughHandle(HANDLE file, HandleLook& out);
// The serial number of the volume `file` lies on, as GetFileInformationByHandle gives it.
bool VolumeSerialOf(HANDLE file, DWORD& serial);

// The folder as CreateFileW must be given it to open that folder: a drive or share root
// with its backslash.
std::wstring FolderToOpen(const std::wstring& folder);

// Names compared as Windows compares them (ordinal, without regard to letter case).
int SystemNameOrder(const std::wstring& a, const std::wstring& b);
// The fold of that comparison, in place: each code unit in the system's upper case, the table
// the comparison itself upcases by.
void SystemNameFold(std::wstring& name);
