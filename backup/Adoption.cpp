#include "Adoption.h"

AdoptionGroups GroupForAdoption(const std::vector<BackupCopy>& copies, Journal& journal,
                                const std::wstring& drawingPath, NameOrder order) {
    AdoptionGroups groups;
    for (const BackupCopy& c : copies) {
        const std::optional<Journal::Entry> e = journal.Find(c.path);
        if (e && order(e->record.drawing, drawingPath) != 0)
            groups.otherDrawing.push_back(c);
        else if (!e || e->record.size != c.size || e->record.writeTime != c.writeTime)
            groups.unknown.push_back(c);
        else if (!e->record.id.Known())
            ++groups.unverifiable;
        else if (c.size > 0)
            groups.candidates.push_back(c);
    }
    return groups;
}

std::vector<JournalRecord> AdoptionRecords(FileTree& tree, const std::wstring& folder,
                                           const std::vector<BackupCopy>& unknown, const std::wstring& drawingPath,
                                           const SessionId& session) {
    std::vector<JournalRecord> lines;
    for (const BackupCopy& c : unknown) {
        TreeEntry now;
        if (!tree.Stat(folder, c.path, now) || now.kind != EntryKind::File) continue;
        JournalRecord r =
            RecordOfCopy(tree, folder, JournalRecord::Kind::Adopted, c.path, drawingPath, c.layout, c.stamp, now);
        r.session = session;
        lines.push_back(std::move(r));
    }
    return lines;
}
