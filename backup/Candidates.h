// Which journaled copies a tick of one drawing may count and delete, and the record a copy
// just looked at is journaled with. No Win32 here.
#pragma once
#include <string>
#include <vector>

#include "Journal.h"

// The record of the file `seen` at `path` below `root` as a copy of `drawing` in `layout`:
// its identity, size and write time as seen, and the file indexes of its date folders as they
// are now (0 for one that cannot be looked at).
JournalRecord RecordOfCopy(FileTree& tree, const std::wstring& root, JournalRecord::Kind kind, const std::wstring& path,
                           const std::wstring& drawing, CopyLayout layout, const CivilStamp& stamp,
                           const TreeEntry& seen);
// The same with the date folders' indexes as given.
JournalRecord RecordOfCopy(JournalRecord::Kind kind, const std::wstring& path, const std::wstring& drawing,
                           const CivilStamp& stamp, const TreeEntry& seen, std::vector<uint64_t> folderIndexes);

// A copy of the drawing that a tick may count and delete: its latest line is made or adopted
// from the same drawing path, it lies below the backup folder in the name grammar, and it
// has a file index.
struct Candidate {
    JournalRecord record;  // a copy: the journal may change under it when it is read again
    uint64_t order = 0;
    ParsedCopy parsed;
    int64_t minutes = 0;
};
// Oldest first (stamp, then journal order). `folder`: the backup folder, trailing separators removed.
std::vector<Candidate> CandidatesOf(Journal& journal, const std::wstring& folder, const std::wstring& drawing,
                                    NameOrder order);
// True when `path` lies below `folder` as the file system compares names.
bool IsBelow(const std::wstring& folder, const std::wstring& path, NameOrder order);
// True when the file name of `copyPath` is one a backup run gives a copy of the drawing at
// `drawingPath` (its base name and extension, in one of the layouts' name grammars) and the
// copy is not the drawing itself. A journal line that says otherwise (edited by hand, with a
// good checksum) never makes a copy of the drawing.
bool NamesCopyOf(const std::wstring& copyPath, const std::wstring& drawingPath, NameOrder order);
