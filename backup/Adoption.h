// Registering copies that the journal does not know (copies made before it, or restored from
// elsewhere) as the open drawing's, so that housekeeping may count and delete them. Which
// listed copies count, which belong to another drawing path and which no line knows; the
// records that register the unknown ones. No Win32 here.
#pragma once
#include <string>
#include <vector>

#include "Housekeeping.h"
#include "Candidates.h"

// The open drawing's copies found by their names, as the journal sees them.
struct AdoptionGroups {
    std::vector<BackupCopy> candidates;    // journaled for this drawing path as they are now
    std::vector<BackupCopy> otherDrawing;  // a live line gives them to another drawing path: never adopted
    std::vector<BackupCopy> unknown;       // no live line knows them as they are now: the only ones adopted
    std::size_t unverifiable = 0;          // journaled for this drawing path without a file identity
};
// Matched by path (as `order` compares names), size and write time; no file is opened. An
// empty copy counts for nothing.
AdoptionGroups GroupForAdoption(const std::vector<BackupCopy>& copies, Journal& journal,
                                const std::wstring& drawingPath, NameOrder order);

// The adopted lines for `unknown` copies below `folder` of the drawing at `drawingPath`, each
// with its identity, size and write time as `tree` shows them now; a copy that is no longer a
// plain file is left out.
std::vector<JournalRecord> AdoptionRecords(FileTree& tree, const std::wstring& folder,
                                           const std::vector<BackupCopy>& unknown, const std::wstring& drawingPath,
                                           const SessionId& session);
