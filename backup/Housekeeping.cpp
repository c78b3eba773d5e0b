#include "Housekeeping.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "BackupPath.h"

namespace {

class Scanner {
public:
    Scanner(FileTree& tree, const DrawingKey* only, ScanStats& stats, std::vector<BackupCopy>& out)
        : tree_(tree), only_(only), stats_(stats), out_(out) {}

    void Root(const std::wstring& folder) {
        std::vector<const LayoutShape*> all;
        for (const LayoutShape& shape : kCopyLayouts) all.push_back(&shape);
        Walk(folder, 0, CivilStamp{}, all);
    }

private:
    // The identities of the date folders on the way down to the one being listed.
    struct Enter {
        Enter(std::vector<FileIdentity>& ids, const FileIdentity& id) : ids_(ids) { ids_.push_back(id); }
        ~Enter() { ids_.pop_back(); }
        Enter(const Enter&) = delete;
        Enter& operator=(const Enter&) = delete;
        std::vector<FileIdentity>& ids_;
    };

    std::wstring Join(const std::wstring& folder, const std::wstring& name) const {
        std::wstring path;
        path.reserve(folder.size() + 1 + name.size());
        path += folder;
        path += tree_.Separator();
        path += name;
        return path;
    }

    bool List(const std::wstring& folder, std::vector<TreeEntry>& entries) {
        ++stats_.folders;
        if (!tree_.List(folder, entries)) return false;
        stats_.entries += entries.size();
        return true;
    }

    // Lists a date folder; one that cannot be listed is counted.
    bool ListDateFolder(const std::wstring& folder, std::vector<TreeEntry>& entries) {
        if (List(folder, entries)) return true;
        ++stats_.unlisted;
        return false;
    }

    // Lists `folder`, `depth` date folders below the backup folder, whose names gave `date`
    // in each of `shapes`: its files are copies of the shapes that end here, and a folder is
    // entered, once, for the shapes whose next date folder it names.
    void Walk(const std::wstring& folder, int depth, const CivilStamp& date,
              const std::vector<const LayoutShape*>& shapes) {
        std::vector<TreeEntry> entries;
        if (depth == 0) {
            if (!List(folder, entries)) return;
            stats_.listed = true;
        } else if (!ListDateFolder(folder, entries)) {
            return;
        }
        for (const TreeEntry& e : entries) {
            if (e.kind == EntryKind::File) {
                for (const LayoutShape* shape : shapes)
                    if (shape->depth == depth) AddIfCopy(folder, e, *shape, date);
            } else if (e.kind == EntryKind::Directory) {
                // Shapes that read the name alike share one descent.
                std::vector<bool> done(shapes.size(), false);
                for (std::size_t i = 0; i < shapes.size(); ++i) {
                    CivilStamp next = date;
                    if (done[i] || shapes[i]->depth <= depth ||
                        !ParseDateFolder(e.name, shapes[i]->folders[depth], next))
                        continue;
                    std::vector<const LayoutShape*> alike;
                    for (std::size_t k = i; k < shapes.size(); ++k) {
                        CivilStamp other = date;
                        if (!done[k] && shapes[k]->depth > depth &&
                            ParseDateFolder(e.name, shapes[k]->folders[depth], other) && other == next) {
                            done[k] = true;
                            alike.push_back(shapes[k]);
                        }
                    }
                    const Enter in(ids_, e.id);
                    Walk(Join(folder, e.name), depth + 1, next, alike);
                }
            }
        }
    }

    void AddIfCopy(const std::wstring& folder, const TreeEntry& e, const LayoutShape& shape, CivilStamp stamp) {
        std::wstring base, ext;
        if (!ParseCopyFileName(e.name, shape, stamp, base, ext)) return;
        DrawingKey key = MakeDrawingKey(base, ext);
        if (only_ && !SameDrawing(key, *only_, tree_.Order())) return;
        BackupCopy c;
        c.folder = folder;
        c.path = Join(folder, e.name);
        c.key = std::move(key);
        c.layout = shape.layout;
        c.stamp = stamp;
        c.minutes = StampMinutes(stamp);
        c.size = e.size;
        c.writeTime = e.writeTime;
        c.id = e.id;
        c.folderIds = ids_;
        out_.push_back(std::move(c));
    }

    FileTree& tree_;
    const DrawingKey* only_;
    ScanStats& stats_;
    std::vector<BackupCopy>& out_;
    std::vector<FileIdentity> ids_;
};

}  // namespace

std::vector<BackupCopy> ScanCopies(FileTree& tree, const std::wstring& folder, const DrawingKey* only,
                                   ScanStats* stats) {
    std::vector<BackupCopy> copies;
    ScanStats local;
    Scanner(tree, only, stats ? *stats : local, copies).Root(folder);
    const NameOrder order = tree.Order();
    std::sort(copies.begin(), copies.end(), [order](const BackupCopy& a, const BackupCopy& b) {
        const int drawing = CompareDrawings(a.key, b.key, order);
        if (drawing != 0) return drawing < 0;
        if (a.minutes != b.minutes) return a.minutes < b.minutes;
        return a.path < b.path;
    });
    return copies;
}

RetentionRules RulesOf(const HousekeepingSettings& settings) {
    RetentionRules rules;
    rules.keepCount = std::max<int64_t>(0, settings.mKeepCount);
    rules.keepDays = std::max<int64_t>(0, settings.mKeepDays);
    rules.thinOut = settings.mThinOut == 1;
    return rules;
}

int RemoveEmptiedDateFolders(FileTree& tree, const std::wstring& root, const std::vector<BackupCopy>& removed) {
    // Deepest first, so that a month folder is tried only after its day folders.
    std::map<std::pair<int, std::wstring>, FileIdentity, std::greater<>> folders;
    for (const BackupCopy& c : removed) {
        std::wstring folder = c.folder;
        const int depth = DateDepth(c.layout);
        for (int level = depth; level > 0; --level) {
            const auto k = static_cast<std::size_t>(level - 1);
            folders.emplace(std::make_pair(level, folder), k < c.folderIds.size() ? c.folderIds[k] : FileIdentity{});
            const std::size_t sep = folder.rfind(tree.Separator());
            if (sep == std::wstring::npos) break;
            folder.resize(sep);
        }
    }
    int count = 0;
    for (const auto& f : folders) count += tree.RemoveEmptyFolder(root, f.first.second, f.second) ? 1 : 0;
    return count;
}

RetentionPreview PreviewNextBackup(const std::vector<BackupCopy>& copies, int64_t now, const RetentionRules& rules) {
    RetentionPreview preview;
    std::vector<int64_t> stamps;
    stamps.reserve(copies.size() + 1);
    for (const BackupCopy& c : copies) {
        stamps.push_back(c.minutes);
        if (c.minutes > now) {
            ++preview.future;
        } else {
            ++preview.copies;
            preview.bytes += c.size;
        }
    }
    stamps.push_back(now);  // the next backup's copy: the newest, and never removed
    const std::vector<PlanDecision> plan = PlanRetention(stamps, now, rules, copies.size());
    for (std::size_t i = 0; i < copies.size(); ++i) {
        if (!plan[i].remove) continue;
        ++preview.removable;
        preview.removableBytes += copies[i].size;
    }
    return preview;
}

std::wstring FormatBytes(uint64_t bytes) {
    if (bytes < 1024) return std::to_wstring(bytes) + L" B";
    static const wchar_t* const units[] = {L"KB", L"MB", L"GB", L"TB", L"PB", L"EB"};
    int unit = 0;
    uint64_t scale = 1024;  // bytes in one unit
    uint64_t tenths = 0;
    for (;;) {
        // Tenths of the unit, rounded half up; `rest` x 10 stays below 2^64 even for EB.
        const uint64_t rest = bytes % scale;
        tenths = bytes / scale * 10 + (rest * 10 + scale / 2) / scale;
        if (tenths < 10240 || unit == 5) break;
        scale *= 1024;
        ++unit;
    }
    return std::to_wstring(tenths / 10) + L'.' + std::to_wstring(tenths % 10) + L' ' + units[unit];
}

const BackupCopy* NewestCopy(const std::vector<BackupCopy>& copies, int64_t now) {
    const BackupCopy* newest = nullptr;
    for (const BackupCopy& c : copies)
        if (c.minutes <= now && (!newest || c.minutes >= newest->minutes)) newest = &c;
    return newest;
}

std::vector<uint64_t> FileTree::FolderIndexes(const std::wstring& root, const std::wstring& path, int depth) {
    std::vector<uint64_t> indexes;
    std::wstring folder = path;
    for (; depth > 0; --depth) {
        const std::size_t sep = folder.rfind(Separator());
        if (sep == std::wstring::npos) break;
        folder.resize(sep);
        TreeEntry f;
        indexes.insert(indexes.begin(), Stat(root, folder, f) && f.kind == EntryKind::Directory ? f.id.index : 0);
    }
    return indexes;
}

std::unique_ptr<HeldCopy> FileTree::Hold(const std::wstring& root, const std::wstring& path, bool) {
    return std::make_unique<HeldCopy>(*this, root, path);
}
