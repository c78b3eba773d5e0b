#include "Candidates.h"

#include <algorithm>

JournalRecord RecordOfCopy(FileTree& tree, const std::wstring& root, JournalRecord::Kind kind, const std::wstring& path,
                           const std::wstring& drawing, CopyLayout layout, const CivilStamp& stamp,
                           const TreeEntry& seen) {
    return RecordOfCopy(kind, path, drawing, stamp, seen, tree.FolderIndexes(root, path, DateDepth(layout)));
}

JournalRecord RecordOfCopy(JournalRecord::Kind kind, const std::wstring& path, const std::wstring& drawing,
                           const CivilStamp& stamp, const TreeEntry& seen, std::vector<uint64_t> folderIndexes) {
    JournalRecord r;
    r.kind = kind;
    r.path = path;
    r.drawing = drawing;
    r.stamp = stamp;
    r.size = seen.size;
    r.writeTime = seen.writeTime;
    r.id = seen.id;
    r.folderIndexes = std::move(folderIndexes);
    return r;
}

bool IsBelow(const std::wstring& folder, const std::wstring& path, NameOrder order) {
    return path.size() > folder.size() + 1 && path[folder.size()] == L'\\' &&
           order(path.substr(0, folder.size()), folder) == 0;
}

bool NamesCopyOf(const std::wstring& copyPath, const std::wstring& drawingPath, NameOrder order) {
    DrawingKey drawing;
    if (order(copyPath, drawingPath) == 0 || !DrawingKeyOfPath(drawingPath, drawing)) return false;
    const std::wstring name = copyPath.substr(copyPath.rfind(L'\\') + 1);
    for (const LayoutShape& shape : kCopyLayouts) {
        CivilStamp stamp;
        std::wstring base, ext;
        if (ParseCopyFileName(name, shape, stamp, base, ext) && SameDrawing(MakeDrawingKey(base, ext), drawing, order))
            return true;
    }
    return false;
}

std::vector<Candidate> CandidatesOf(Journal& journal, const std::wstring& folder, const std::wstring& drawing,
                                    NameOrder order) {
    std::vector<Candidate> out;
    for (Journal::Entry& e : journal.LiveOf(drawing)) {
        const JournalRecord& r = e.record;
        if (!r.id.Known() || !IsBelow(folder, r.path, order) || !NamesCopyOf(r.path, drawing, order)) continue;
        Candidate c;
        if (!ParseCopyPathBelow(r.path.substr(0, folder.size()), r.path, c.parsed)) continue;
        c.record = std::move(e.record);
        c.order = e.order;
        c.minutes = StampMinutes(c.parsed.stamp);
        out.push_back(std::move(c));
    }
    std::sort(out.begin(), out.end(), [](const Candidate& a, const Candidate& b) {
        return a.minutes != b.minutes ? a.minutes < b.minutes : a.order < b.order;
    });
    return out;
}
