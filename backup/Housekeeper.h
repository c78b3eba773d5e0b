// The housekeeping of one tick, after the host saved a copy: the copy goes into the journal,
// then (skip identical) a new copy equal to the newest earlier one goes again, the retention
// rules apply, and date folders the deletions emptied go. It counts and deletes only the
// drawing's candidates in the journal (see CandidatesOf), each verified by identity, size and
// write time before anything depends on it, and deletes through the file tree's
// identity-checked calls. It lists no folder. No Win32 here.
#pragma once
#include <cstdint>
#include <string>

#include "Journal.h"
#include "settings/HousekeepingSettings.h"

// The copy a backup run had the host save, as the run built it from its own clock reading
// and pattern (not read back from the path).
struct MadeCopy {
    std::wstring path;
    CopyLayout layout = CopyLayout::Flat;
    CivilStamp stamp;
    SessionId session;         // the session that made it
    bool folderIsNew = false;  // the folder holding it was made for it
};

struct TickReport {
    bool ran = false;             // the journal was consulted
    bool journalFailed = false;   // it could not be read or written: nothing was deleted
    bool journalCreated = false;  // this tick made the journal file
    bool empty = false;           // the new copy holds no byte: it counts for nothing, nothing was deleted
    bool identical = false;       // the new copy equalled the earlier one and was deleted again
    std::wstring twin;            // the earlier copy kept in its place
    int removed = 0;              // copies deleted by the rules
    uint64_t removedBytes = 0;
    int failed = 0;            // deletes that failed; they are tried again at a later tick
    bool flushFailed = false;  // the new copy could not be flushed to the disk: nothing older was deleted
    int foldersRemoved = 0;
};

// Runs after the host saved `made` (its result was not -1) for the drawing `drawingPath`,
// with the backup folder setting `folder`. Touches nothing, and makes no call, when no option
// is on; writes nothing when the copy does not exist. With only the notice after a crash on,
// it writes the made line (the copy is not read) and deletes nothing.
TickReport HousekeepAfterSave(FileTree& tree, Journal& journal, const std::wstring& folder,
                              const std::wstring& drawingPath, const MadeCopy& made,
                              const HousekeepingSettings& settings);
