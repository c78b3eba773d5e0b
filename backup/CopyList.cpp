#include "CopyList.h"

#include <algorithm>

#include "BackupPath.h"

const wchar_t* CopyStateText(CopyState state) {
    switch (state) {
    case CopyState::Future:
        return L"미래 날짜";
    case CopyState::Empty:
        return L"빈 사본";
    case CopyState::OtherDrawing:
        return L"다른 도면";
    case CopyState::Unknown:
        return L"기록 없음";
    case CopyState::SameAsOlder:
        return L"이전 사본과 같음";
    case CopyState::None:
        break;
    }
    return L"";
}

namespace {

// The journal's live record for the file a copy is now; null when it has none.
const JournalRecord* RecordOfFile(const Journal& journal, const BackupCopy& c) {
    const JournalRecord* r = journal.Latest(c.path);
    if (!r || !r->Live() || r->size != c.size || r->writeTime != c.writeTime) return nullptr;
    if (r->id.Known() && c.id.Known() && r->id != c.id) return nullptr;
    return r;
}

}  // namespace

std::vector<CopyRow> CopyListRows(const std::vector<BackupCopy>& copies, const Journal* journal,
                                  const std::wstring& drawingPath, int64_t now, NameOrder order) {
    std::vector<CopyRow> rows;
    std::vector<const JournalRecord*> records;  // beside the rows: what the journal says of each file
    rows.reserve(copies.size());
    for (const BackupCopy& c : copies) {
        if (journal) {
            const JournalRecord* latest = journal->Latest(c.path);
            if (latest && !latest->Live()) continue;
        }
        rows.push_back(CopyRow{c, CopyState::None});
    }
    std::stable_sort(rows.begin(), rows.end(), [order](const CopyRow& a, const CopyRow& b) {
        if (a.copy.minutes != b.copy.minutes) return a.copy.minutes > b.copy.minutes;
        return order(a.copy.path, b.copy.path) < 0;
    });
    records.reserve(rows.size());
    for (const CopyRow& row : rows) records.push_back(journal ? RecordOfFile(*journal, row.copy) : nullptr);
    const auto ofDrawing = [&](const JournalRecord* r) { return r && order(r->drawing, drawingPath) == 0; };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const BackupCopy& c = rows[i].copy;
        const JournalRecord* r = records[i];
        CopyState& state = rows[i].state;
        if (c.minutes > now) {
            state = CopyState::Future;
        } else if (c.size == 0) {
            state = CopyState::Empty;
        } else if (r && !ofDrawing(r)) {
            state = CopyState::OtherDrawing;
        } else if (journal && !r) {
            state = CopyState::Unknown;
        } else if (r && r->hasDigest) {
            for (std::size_t j = i + 1; j < rows.size(); ++j) {
                const JournalRecord* older = records[j];
                if (!ofDrawing(older) || !older->hasDigest) continue;
                if (older->digest == r->digest && older->size == r->size) state = CopyState::SameAsOlder;
                break;
            }
        }
    }
    return rows;
}

std::wstring DrawingFolderOf(const std::wstring& drawingPath) {
    const std::size_t sep = drawingPath.find_last_of(L"\\/");
    return sep == std::wstring::npos ? std::wstring() : drawingPath.substr(0, sep + 1);
}

std::wstring BesideOriginalPath(const std::wstring& drawingPath, const CivilStamp& stamp,
                                const std::function<bool(const std::wstring&)>& taken) {
    const std::wstring folder = DrawingFolderOf(drawingPath);
    std::wstring base, ext;
    if (folder.empty() || !SplitFileName(FileNameOf(drawingPath), base, ext)) return L"";
    const std::wstring named = folder + base + L" (백업 " + FormatPadded(stamp.year, 4) + L'-' +
                               FormatPadded(stamp.month, 2) + L'-' + FormatPadded(stamp.day, 2) + L' ' +
                               FormatPadded(stamp.hour, 2) + FormatPadded(stamp.minute, 2) + L')';
    for (int n = 1; n <= kBesideOriginalNames; ++n) {
        std::wstring path = named;
        if (n > 1) path += L" (" + std::to_wstring(n) + L')';
        path += L'.';
        path += ext;
        if (!taken(path)) return path;
    }
    return L"";
}
