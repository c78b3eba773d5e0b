// The open drawing's copies as the copy-list dialog shows them: which are listed, in what
// order and in which state, and the name a copy takes when the user puts it beside the
// original drawing. No Win32 here.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "CopyName.h"
#include "Housekeeping.h"
#include "Journal.h"

// A row's state; the first that applies, in this order.
enum class CopyState {
    Future,        // stamped later than now
    Empty,         // 0 bytes
    OtherDrawing,  // journaled from another drawing path of the same name
    Unknown,       // a journal exists and does not know this file
    SameAsOlder,   // its journaled digest equals that of the next older row of its drawing path that has one
    None,
};
// The state column's text: "미래 날짜", "빈 사본", "다른 도면", "기록 없음", "이전 사본과 같음", "".
const wchar_t* CopyStateText(CopyState state);

struct CopyRow {
    BackupCopy copy;
    CopyState state = CopyState::None;
};

// The rows for `copies` (the drawing's copies found by their names), newest first (by stamp,
// then by path). `journal`: the journal as read, or null when there is no journal. A copy
// whose latest line is gone is not listed; a live line counts for the file only when its size
// and write time (and identity, where both have one) are the file's. `drawingPath`: the open
// drawing as the host reports it; `now` on the minute clock of the stamps.
std::vector<CopyRow> CopyListRows(const std::vector<BackupCopy>& copies, const Journal* journal,
                                  const std::wstring& drawingPath, int64_t now, NameOrder order);

// The folder of the drawing at `drawingPath`, with its separator; empty when the path names none.
std::wstring DrawingFolderOf(const std::wstring& drawingPath);

// How many names "beside the original" tries before giving up: the plain one, then (2) to (999).
constexpr int kBesideOriginalNames = 999;
// The path a copy stamped `stamp` takes beside the drawing: the drawing's folder, then
// "<base> (백업 YYYY-MM-DD hhmm).<ext>", base and extension split as a backup run splits the
// drawing's file name; when `taken` says that name is taken, "… hhmm) (2).<ext>", (3), …
// Empty when the drawing path names no folder or no base name, or every name is taken.
std::wstring BesideOriginalPath(const std::wstring& drawingPath, const CivilStamp& stamp,
                                const std::function<bool(const std::wstring&)>& taken);
