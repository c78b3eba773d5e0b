// Housekeeping of the backup folder: the file system it reaches through FileTree, finding
// copies named in the grammar below a backup folder (for the management dialog and the cleanup
// tool; a tick never lists a folder), the rules applied to them, the preview. All of this runs
// on any platform and against a tree in memory. No Win32 here.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "CopyName.h"
#include "FileDigest.h"
#include "RetentionPlan.h"
#include "settings/HousekeepingSettings.h"

enum class EntryKind {
    File,       // a plain file
    Directory,  // a real folder (never a link)
    Other,      // links and other reparse points, devices: never followed, never touched
};

// Which file a name stands for: the volume and the file's number on it (Windows: the
// volume serial number and file index; POSIX: device and inode). Index 0: not known.
struct FileIdentity {
    uint64_t volume = 0;
    uint64_t index = 0;
    bool Known() const { return index != 0; }
    bool operator==(const FileIdentity& o) const { return volume == o.volume && index == o.index; }
    bool operator!=(const FileIdentity& o) const { return !(*this == o); }
};

struct TreeEntry {
    std::wstring name;
    EntryKind kind = EntryKind::Other;
    uint64_t size = 0;
    uint64_t writeTime = 0;  // in the platform's units; only compared for equality
    FileIdentity id;         // where the platform gives one
};

enum class RemoveOutcome {
    Removed,
    Gone,     // there was nothing to delete
    Changed,  // another file, or the same one changed, stands there now: left alone
    Failed,
};

class HeldCopy;

// The file-system operations housekeeping needs.
class FileTree {
public:
    virtual ~FileTree() = default;
    // The entries of `folder`, without "." and ".."; false (with `out` empty) when it cannot be listed.
    virtual bool List(const std::wstring& folder, std::vector<TreeEntry>& out) = 0;
    // What is at `path` below `root` (kind, size, write time, identity), reached without
    // following a link below `root`; false when nothing is there or a link stands on the way.
    virtual bool Stat(const std::wstring& root, const std::wstring& path, TreeEntry& out) = 0;
    // The digest of a plain file's bytes, read whole; false when it cannot be read.
    virtual bool DigestFile(const std::wstring& path, FileDigest& out) = 0;
    // Deletes the plain file at `path`, which lies below `root` (the backup folder, taken as
    // given: a link there is followed), only if it still is `seen`: the same identity where
    // `seen` has one, the same size and write time. The folders between `root` and the file
    // are reached without following any link and cannot be swapped meanwhile; nothing
    // outside them is ever touched.
    virtual RemoveOutcome RemoveFile(const std::wstring& root, const std::wstring& path, const TreeEntry& seen) = 0;
    // Removes the real, empty folder `path` below `root` in the same way, only if it has the
    // identity `seen` (where known); false otherwise. `root` itself is never removed.
    virtual bool RemoveEmptyFolder(const std::wstring& root, const std::wstring& path, const FileIdentity& seen) = 0;
    // The file indexes of the `depth` folders holding `path` (a file just looked at with
    // Stat, whose folders were checked then), outermost first; 0 for one that cannot be
    // looked at. They only ever keep a folder: one removed later must still have its index.
    virtual std::vector<uint64_t> FolderIndexes(const std::wstring& root, const std::wstring& path, int depth);
    // Has the system write the file's bytes to the disk, so that a power cut cannot leave it
    // zero-filled; false when it cannot. A tree without a disk cache has nothing to do.
    virtual bool FlushFile(const std::wstring& /*path*/) { return true; }
    // What joins a folder and a name.
    virtual wchar_t Separator() const = 0;
    // How names compare here.
    virtual NameOrder Order() const { return AsciiFoldedOrder; }
    // The system's reason for the last call that failed, as its own text; empty where not known.
    virtual std::wstring LastErrorText() const { return L""; }
    // The file at `path` below `root` (a copy just saved), to be looked at, read and deleted
    // through one hold until the holder goes. `folderIsNew`: the folder holding it was made for
    // it, so it is likely to be emptied again; a tree may hold it ready to be removed.
    virtual std::unique_ptr<HeldCopy> Hold(const std::wstring& root, const std::wstring& path,
                                           bool folderIsNew = false);
};

// A copy held from the look that journals it to the end of a tick. A tree may hold the copy
// and the folders on its way open meanwhile, so that they cannot be swapped, and read and
// delete the copy through the handle that gave its identity; this one goes by path through
// the tree's calls above, with their promises.
class HeldCopy {
public:
    HeldCopy(FileTree& tree, std::wstring root, std::wstring path)
        : tree_(tree), root_(std::move(root)), path_(std::move(path)) {}
    virtual ~HeldCopy() = default;
    HeldCopy(const HeldCopy&) = delete;
    HeldCopy& operator=(const HeldCopy&) = delete;
    // As FileTree::Stat of the copy.
    virtual bool Look(TreeEntry& out) { return tree_.Stat(root_, path_, out); }
    // As FileTree::FolderIndexes of the copy, after Look.
    virtual std::vector<uint64_t> FolderIndexes(int depth) { return tree_.FolderIndexes(root_, path_, depth); }
    virtual bool Digest(FileDigest& out) { return tree_.DigestFile(path_, out); }
    // As FileTree::FlushFile of the copy: made before any older copy is deleted in its favour.
    virtual bool Flush() { return tree_.FlushFile(path_); }
    // As FileTree::RemoveFile of the copy; after it, only folders are removed.
    virtual RemoveOutcome Remove(const TreeEntry& seen) { return tree_.RemoveFile(root_, path_, seen); }
    // As FileTree::RemoveEmptyFolder, for any folder below the root, deepest first.
    virtual bool RemoveEmptyFolder(const std::wstring& folder, const FileIdentity& seen) {
        return tree_.RemoveEmptyFolder(root_, folder, seen);
    }

protected:
    FileTree& tree_;
    const std::wstring root_, path_;
};

struct BackupCopy {
    std::wstring folder;  // the folder holding it
    std::wstring path;    // folder, separator, file name
    DrawingKey key;
    CopyLayout layout = CopyLayout::Flat;
    CivilStamp stamp;
    int64_t minutes = 0;  // StampMinutes(stamp)
    uint64_t size = 0;
    uint64_t writeTime = 0;
    FileIdentity id;
    std::vector<FileIdentity> folderIds;  // the date folders it lies in, outermost first
    TreeEntry Seen() const { return TreeEntry{L"", EntryKind::File, size, writeTime, id}; }
};

struct ScanStats {
    bool listed = false;       // the backup folder itself could be listed
    std::size_t folders = 0;   // folders listed
    std::size_t entries = 0;   // entries seen in them
    std::size_t unlisted = 0;  // date folders that could not be listed
};

// Every copy below `folder` (the backup folder, trailing separators removed) — of the drawing
// `only` when it is given — sorted by drawing, stamp and path. Only folders of the four
// layouts are entered; nothing that is not a plain file counts.
std::vector<BackupCopy> ScanCopies(FileTree& tree, const std::wstring& folder, const DrawingKey* only,
                                   ScanStats* stats = nullptr);

RetentionRules RulesOf(const HousekeepingSettings& settings);

// Removes the date folders that held `removed` copies below `root`, deepest first, as long as
// each is empty and is the folder the scan saw; the backup folder itself never. Returns the
// number of folders removed.
int RemoveEmptiedDateFolders(FileTree& tree, const std::wstring& root, const std::vector<BackupCopy>& removed);

// A tick deletes at most this many copies by the rules, oldest first; the rest go at the
// ticks after it, so that a long history never holds the host up at once.
constexpr int kMaxDeletesPerTick = 100;

// What the rules would remove if a backup were taken at `now`: the new copy counts as the
// newest and is never removed; future copies are counted apart and never removed.
struct RetentionPreview {
    std::size_t copies = 0;
    uint64_t bytes = 0;
    std::size_t future = 0;
    std::size_t removable = 0;
    uint64_t removableBytes = 0;
};
RetentionPreview PreviewNextBackup(const std::vector<BackupCopy>& copies, int64_t now, const RetentionRules& rules);

// "0 B", "512 B", "1.5 KB", "12.3 MB", "1.2 GB" (powers of 1024, one decimal).
std::wstring FormatBytes(uint64_t bytes);

// The newest copy that is not stamped later than `now`; null when there is none.
const BackupCopy* NewestCopy(const std::vector<BackupCopy>& copies, int64_t now);
