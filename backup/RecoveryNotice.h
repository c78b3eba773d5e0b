// The notice after a crash: which copies to name for the drawings of sessions that ended
// without unloading the library, and its texts. No Win32 here.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Candidates.h"

// The drawing file as it is now.
struct DrawingNow {
    enum class State { There, Missing, Unknown };  // Unknown: it could not be looked at
    State state = State::Unknown;
    uint64_t writeTime = 0;  // There: its last write time
};

struct RecoveryItem {
    std::wstring drawing;
    JournalRecord copy;  // the drawing's newest good copy
    DrawingNow original;
};

// For each drawing the `ended` sessions made copies of (each drawing once, in the order the
// sessions and their copies came): the newest (by stamp, then journal order) of its live
// copies in `journal`, from any session, that is not empty, is named as its copy (see
// NamesCopyOf) and that `good` finds as journaled. A drawing with none is left out, and so
// is one whose file was written after that copy (the user saved it later).
std::vector<RecoveryItem> PlanRecoveryNotice(Journal& journal, const std::vector<Journal::EndedSession>& ended,
                                             const std::function<bool(const JournalRecord&)>& good,
                                             const std::function<DrawingNow(const std::wstring&)>& drawingNow,
                                             NameOrder order);

struct RecoveryTexts {
    std::wstring box;                 // empty when there is nothing to name
    std::vector<std::wstring> lines;  // one for the message line per drawing
};
// The box names up to `shown` drawings, then how many more there are.
RecoveryTexts RecoveryNoticeTexts(const std::vector<RecoveryItem>& items, std::size_t shown = 5);
