// The journal's file on Win32: backup-journal.txt in the user's local application data
// (Varnholt folder), reached under a named mutex of this user's session that every process
// of the plug-in takes around each read, append and replace. The file is opened for each of
// them and closed again (appends made under one taking of the lock share one opening).
#pragma once
#include <string>

#include "Journal.h"
#include "framework/UniqueHandle.h"

class Win32JournalStore : public JournalStore {
public:
    // `path`: the journal file; its folder is created at the first append.
    explicit Win32JournalStore(std::wstring path);
    bool Lock() override;
    void Unlock() override;
    bool ReadNew(std::string& out, bool& restarted) override;
    // Through a buffer of kRunBytes (larger only for a longer line).
    bool ReadNewInRuns(const std::function<void()>& restart,
                       const std::function<void(std::string_view)>& take) override;
    bool Append(const std::string& lines, bool& created) override;
    bool Replace(const std::string& whole) override;
    bool Rewind() override {
        known_ = false;
        offset_ = 0;
        tail_.clear();
        return true;
    }
    // Through one opening of the file: read from where the last read ended, then append.
    bool ReadNewThenAppend(const std::string& lines, std::string& out, bool& restarted, bool& created) override;

    const std::wstring& Path() const { return path_; }

    static constexpr DWORD kLockWaitMs = 2000;
    static constexpr std::size_t kRunBytes = 64 * 1024;

private:
    bool IndexAndSize(HANDLE file, uint64_t& index, uint64_t& size);
    // True when `file` (of `index` and `size`) is the one read up to offset_: the same index,
    // no shorter, and the bytes that ended the last reading or writing still there. An index
    // alone can be handed to a rewrite again (ext4 reuses a freed inode), and a line's last
    // bytes are its checksum, which a rewrite does not repeat at the same offset.
    bool SameAsRead(HANDLE file, uint64_t index, uint64_t size);
    // Notes the last bytes of `text`, which ends at offset_.
    void NoteTail(std::string_view text);
    std::wstring path_;
    unique_kernel mutex_;
    unique_file appending_;  // the file as ReadNewThenAppend opened it; closed when the lock goes
    bool known_ = false;     // what was read last: the file's index and how far
    uint64_t index_ = 0;
    uint64_t offset_ = 0;
    std::string tail_;  // the bytes right before offset_ (at most kTailBytes)
    static constexpr std::size_t kTailBytes = 16;
};

// The journal's path for this user; empty when the folder cannot be found.
std::wstring DefaultJournalPath();
