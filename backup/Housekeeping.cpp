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
        std::vector<TreeEntry> entries;
        if (!List(folder, entries)) return;
        stats_.listed = true;
        CivilStamp date;
        for (const TreeEntry& e : entries) {
            if (e.kind == EntryKind::File) {
                AddIfCopy(folder, e, CopyLayout::Flat, date);
            } else if (e.kind == EntryKind::Directory) {
                const Enter in(ids_, e.id);
                if (ParseYearMonthFolder(e.name, date.year, date.month))
                    Month(Join(folder, e.name), CopyLayout::YearMonthAndDay, date);
                else if (ParseYearFolder(e.name, date.year))
                    Year(Join(folder, e.name), date);
            }
        }
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

    void Year(const std::wstring& folder, CivilStamp date) {
        std::vector<TreeEntry> entries;
        if (!ListDateFolder(folder, entries)) return;
        for (const TreeEntry& e : entries) {
            if (e.kind != EntryKind::Directory) continue;
            const Enter in(ids_, e.id);
            if (ParseMonthFolder(e.name, date.year, date.month))
                Month(Join(folder, e.name), CopyLayout::YearMonthDay, date);
            else if (ParseMonthDayFolder(e.name, date.year, date.month, date.day))
                Day(Join(folder, e.name), CopyLayout::YearAndMonthDay, date);
        }
    }

    // A month folder (YYYY\MM, or YYYYMM) and the day folders in it.
    void Month(const std::wstring& folder, CopyLayout layout, CivilStamp date) {
        std::vector<TreeEntry> entries;
        if (!ListDateFolder(folder, entries)) return;
        for (const TreeEntry& e : entries)
            if (e.kind == EntryKind::Directory && ParseDayFolder(e.name, date.year, date.month, date.day)) {
                const Enter in(ids_, e.id);
                Day(Join(folder, e.name), layout, date);
            }
    }

    void Day(const std::wstring& folder, CopyLayout layout, const CivilStamp& date) {
        std::vector<TreeEntry> entries;
        if (!ListDateFolder(folder, entries)) return;
        for (const TreeEntry& e : entries) AddIfCopy(folder, e, layout, date);
    }

    void AddIfCopy(const std::wstring& folder, const TreeEntry& e, CopyLayout layout, CivilStamp stamp) {
        if (e.kind != EntryKind::File) return;
        std::wstring base, ext;
        if (!ParseCopyFileName(e.name, layout == CopyLayout::Flat, stamp, base, ext)) return;
        DrawingKey key = MakeDrawingKey(base, ext);
        if (only_ && !SameDrawing(key, *only_, tree_.Order())) return;
        BackupCopy c;
        c.folder = folder;
        c.path = Join(folder, e.name);
        c.key = std::move(key);
        c.layout = layout;
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

// How many date folders lie between the backup folder and a copy of the layout.
int DateDepth(CopyLayout layout) {
    switch (layout) {
    case CopyLayout::YearMonthDay:
        return 3;
    case CopyLayout::YearMonthAndDay:
    case CopyLayout::YearAndMonthDay:
        return 2;
    case CopyLayout::Flat:
        break;
    }
    return 0;
}

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

// ---- Housekeeper ----------------------------------------------------------------

void Housekeeper::Rescan(FileTree& tree, const std::wstring& folder, const DrawingKey& key, int64_t now) {
    // Digests already known stay known for files that did not change.
    const NameOrder order = tree.Order();
    const auto before = [order](const std::wstring& a, const std::wstring& b) { return order(a, b) < 0; };
    std::map<std::wstring, Entry, decltype(before)> known(before);
    for (Entry& e : index_)
        if (e.hasDigest) known.emplace(e.copy.path, std::move(e));
    index_.clear();
    for (BackupCopy& c : ScanCopies(tree, folder, &key)) {
        Entry e;
        const auto it = known.find(c.path);
        if (it != known.end() && it->second.digestSize == c.size && it->second.digestTime == c.writeTime) {
            e.hasDigest = true;
            e.digest = it->second.digest;
            e.digestSize = c.size;
            e.digestTime = c.writeTime;
        }
        e.copy = std::move(c);
        index_.push_back(std::move(e));
    }
    folder_ = folder;
    key_ = key;
    valid_ = true;
    rescan_ = false;
    scannedAt_ = now;
    ++scans_;
}

std::size_t Housekeeper::Find(const std::wstring& path, NameOrder order) const {
    for (std::size_t i = index_.size(); i-- > 0;)
        if (order(index_[i].copy.path, path) == 0) return i;
    return kNoCopy;
}

std::size_t Housekeeper::Upsert(const BackupCopy& made, NameOrder order) {
    std::size_t i = Find(made.path, order);
    if (i != kNoCopy) {
        Entry& e = index_[i];
        e.copy.size = made.size;
        e.copy.writeTime = made.writeTime;
        e.copy.id = made.id;
        return i;
    }
    // Usually the newest: found from the end.
    i = index_.size();
    while (i > 0 && index_[i - 1].copy.minutes > made.minutes) --i;
    Entry e;
    e.copy = made;
    index_.insert(index_.begin() + static_cast<std::ptrdiff_t>(i), std::move(e));
    return i;
}

bool Housekeeper::Digest(FileTree& tree, Entry& e, const TreeEntry& now) {
    if (e.hasDigest && e.digestSize == now.size && e.digestTime == now.writeTime) return true;
    e.hasDigest = false;
    if (!tree.DigestFile(e.copy.path, e.digest)) return false;
    e.hasDigest = true;
    e.digestSize = now.size;
    e.digestTime = now.writeTime;
    return true;
}

TickReport Housekeeper::AfterSave(FileTree& tree, const std::wstring& folderSetting, const std::wstring& drawingPath,
                                  const std::wstring& target, const HousekeepingSettings& settings) {
    TickReport report;
    if (!settings.AnyOn()) return report;
    const std::wstring folder = TrimFolder(folderSetting);
    ParsedCopy parsed;
    DrawingKey key;
    if (!ParseCopyPathBelow(folder, target, parsed) || !DrawingKeyOfPath(drawingPath, key) ||
        !SameDrawing(MakeDrawingKey(parsed.base, parsed.ext), key, tree.Order()))
        return report;
    TreeEntry made;
    if (!tree.StatFile(target, made)) return report;
    report.ran = true;
    const int64_t now = StampMinutes(parsed.stamp);

    const int64_t age = now - scannedAt_;
    if (!valid_ || folder != folder_ || !SameDrawing(key, key_, tree.Order()) || age < 0 || age >= kRescanMinutes ||
        (rescan_ && age >= kFailureRescanMinutes))
        Rescan(tree, folder, key, now);
    BackupCopy copy;
    copy.folder = target.substr(0, target.rfind(L'\\'));
    copy.path = target;
    copy.key = key;
    copy.layout = parsed.layout;
    copy.stamp = parsed.stamp;
    copy.minutes = now;
    copy.size = made.size;
    copy.writeTime = made.writeTime;
    copy.id = made.id;
    std::size_t current = Upsert(copy, tree.Order());

    std::vector<bool> dead(index_.size(), false);
    std::vector<BackupCopy> removed;

    // 1. A new copy equal to the newest earlier one goes again; the earlier one stays in its place.
    if (settings.mSkipIdentical == 1) {
        for (std::size_t i = index_.size(); i-- > 0;) {
            Entry& earlier = index_[i];
            if (i == current || dead[i] || earlier.copy.minutes > now) continue;
            TreeEntry seen;
            if (!tree.StatFile(earlier.copy.path, seen)) {
                dead[i] = true;  // gone since the scan: the next one back is the earlier copy
                continue;
            }
            Entry& fresh = index_[current];
            if (seen.size == made.size && Digest(tree, earlier, seen) && Digest(tree, fresh, made) &&
                earlier.digest == fresh.digest) {
                switch (tree.RemoveFile(folder, target, made)) {
                case RemoveOutcome::Removed:
                case RemoveOutcome::Gone:
                    report.identical = true;
                    report.twin = earlier.copy.path;
                    removed.push_back(fresh.copy);
                    dead[current] = true;
                    current = i;
                    break;
                case RemoveOutcome::Changed:  // not the file that was compared: it stays
                    break;
                case RemoveOutcome::Failed:
                    ++report.failed;
                    rescan_ = true;
                    break;
                }
            }
            break;
        }
    }

    // 2. The retention rules over the copies as they are now.
    const RetentionRules rules = RulesOf(settings);
    if (rules.Any()) {
        std::vector<std::size_t> live;
        std::vector<int64_t> stamps;
        std::size_t protect = kNoCopy;
        for (std::size_t i = 0; i < index_.size(); ++i) {
            if (dead[i]) continue;
            if (i == current) protect = live.size();
            live.push_back(i);
            stamps.push_back(index_[i].copy.minutes);
        }
        const std::vector<PlanDecision> plan = PlanRetention(stamps, now, rules, protect);
        for (std::size_t k = 0; k < plan.size(); ++k) {
            if (!plan[k].remove) continue;
            const std::size_t i = live[k];
            const BackupCopy& c = index_[i].copy;
            switch (tree.RemoveFile(folder, c.path, c.Seen())) {
            case RemoveOutcome::Removed:
                ++report.removed;
                report.removedBytes += c.size;
                removed.push_back(c);
                dead[i] = true;
                break;
            case RemoveOutcome::Gone:
            case RemoveOutcome::Changed:
                dead[i] = true;
                break;
            case RemoveOutcome::Failed:
                ++report.failed;
                rescan_ = true;
                break;
            }
        }
    }

    std::size_t kept = 0;
    for (std::size_t i = 0; i < index_.size(); ++i)
        if (!dead[i]) {
            if (kept != i) index_[kept] = std::move(index_[i]);
            ++kept;
        }
    index_.resize(kept);

    // 3. Date folders these deletions left empty.
    report.foldersRemoved = RemoveEmptiedDateFolders(tree, folder, removed);
    return report;
}
