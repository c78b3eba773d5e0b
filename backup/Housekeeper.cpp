#include "Housekeeper.h"

#include <algorithm>

#include "BackupPath.h"
#include "Candidates.h"

namespace {

// The date folders holding `path`, outermost first.
std::vector<std::wstring> DateFolders(const std::wstring& path, CopyLayout layout) {
    std::vector<std::wstring> folders;
    std::wstring folder = path;
    for (int level = DateDepth(layout); level >= 0; --level) {
        const std::size_t sep = folder.rfind(L'\\');
        if (sep == std::wstring::npos) break;
        folder.resize(sep);
        if (level > 0) folders.insert(folders.begin(), folder);
    }
    return folders;
}

bool Matches(const TreeEntry& now, const JournalRecord& r) {
    return now.kind == EntryKind::File && now.id == r.id && now.size == r.size && now.writeTime == r.writeTime;
}

JournalRecord GoneLine(const std::wstring& path) {
    JournalRecord gone;
    gone.kind = JournalRecord::Kind::Gone;
    gone.path = path;
    return gone;
}

class Tick {
public:
    Tick(FileTree& tree, Journal& journal, std::wstring folder, const std::wstring& drawing, const MadeCopy& made,
         const HousekeepingSettings& settings)
        : tree_(tree),
          journal_(journal),
          folder_(std::move(folder)),
          drawing_(drawing),
          made_(made),
          settings_(settings),
          order_(tree.Order()),
          now_(StampMinutes(made.stamp)) {}

    TickReport Run() {
        TickReport& report = report_;
        TreeEntry seen;
        if (!IsBelow(folder_, made_.path, order_) || !IsRealStamp(made_.stamp)) return report;
        // Held from this look to the tick's end: the copy is read and deleted through the hold
        // (its new folder held for deleting too only where anything may be deleted).
        held_ = tree_.Hold(folder_, made_.path, made_.folderIsNew && settings_.AnyOn());
        if (!held_->Look(seen) || seen.kind != EntryKind::File) return report;
        report.ran = true;

        JournalRecord record = RecordOfCopy(JournalRecord::Kind::Made, made_.path, drawing_, made_.stamp, seen,
                                            held_->FolderIndexes(DateDepth(made_.layout)));
        record.session = made_.session;
        // Skip identical: the new copy is read once, and its digest journaled with it, so that
        // the next tick compares with it without reading it again.
        if (settings_.mSkipIdentical == 1 && seen.size > 0) record.hasDigest = held_->Digest(record.digest);
        // The made line first, before any step that deletes; writing it reads what others added.
        // Its lock is kept for the gone lines of a tick that has nothing slow to do between
        // (looking at the newest copy and deleting the new one), and let go before anything else
        // that looks at a copy, reads one whole or deletes one.
        lock_ = journal_.KeepLock();
        if (!journal_.Write({record}, &report.journalCreated)) return Failed();
        if (!settings_.AnyOn()) {  // the journal kept for the notice after a crash alone
            lock_.LetGo();
            report.empty = seen.size == 0;
            journal_.CompactIfWorth();
            return report;
        }

        // The earlier copies that count: good (not empty) candidates, the new copy's path aside.
        for (Candidate& c : CandidatesOf(journal_, folder_, drawing_, order_))
            if (c.record.size > 0 && order_(c.record.path, made_.path) != 0) live_.push_back(Live{c, false});

        // The newest earlier copy that is really there, compared by size and digest.
        std::size_t twin = kNoCopy;
        if (record.hasDigest) {
            for (std::size_t i = live_.size(); i-- > 0;) {
                if (live_[i].c.minutes > now_) continue;
                if (!Verify(i)) {
                    lock_.LetGo();  // not there: the next newest is looked at without it
                    continue;
                }
                const JournalRecord& earlier = live_[i].c.record;
                if (earlier.size == seen.size) {
                    FileDigest theirs = earlier.digest;
                    bool known = earlier.hasDigest;
                    if (!known) lock_.LetGo();
                    if (!known && tree_.DigestFile(earlier.path, theirs)) {
                        known = true;
                        if (earlier.kind == JournalRecord::Kind::Made) {
                            // Written with its line again, so that it is read once, not at every tick.
                            JournalRecord digested = earlier;
                            digested.hasDigest = true;
                            digested.digest = theirs;
                            lines_.push_back(digested);
                        }
                    }
                    if (known && theirs == record.digest) twin = i;
                }
                break;
            }
        }
        if (seen.size == 0) {
            report.empty = true;  // not a copy to keep in place of a good one, nor to compare with
            return report;
        }
        Live current{Candidate{}, true};
        current.c.record = record;
        current.c.parsed.layout = made_.layout;
        current.c.parsed.stamp = made_.stamp;
        current.c.minutes = now_;

        std::vector<JournalRecord> removed;
        if (twin != kNoCopy) {
            switch (held_->Remove(seen)) {
            case RemoveOutcome::Removed:
            case RemoveOutcome::Gone:
                report.identical = true;
                report.twin = live_[twin].c.record.path;
                lines_.push_back(GoneLine(made_.path));
                removed.push_back(record);
                break;
            case RemoveOutcome::Changed:  // not the file that was compared: it stays, as a copy of its own
                break;
            case RemoveOutcome::Failed:
                ++report.failed;
                break;
            }
        }
        // The copy this tick stands by: the new one, or the earlier twin kept in its place.
        std::size_t protect = twin;
        if (!report.identical) {
            live_.push_back(current);
            protect = live_.size() - 1;
        }

        const RetentionRules rules = RulesOf(settings_);
        if (rules.Any()) Retain(rules, protect, removed);
        journal_.Write(lines_);  // a gone line that is lost is found again: the copy fails verification
        lock_.LetGo();
        RemoveFolders(removed);
        journal_.CompactIfWorth();
        return report;
    }

private:
    struct Live {
        Candidate c;
        bool verified = false;
        bool gone = false;  // deleted by this tick, or found not to be there
    };

    TickReport Failed() {
        report_.journalFailed = true;
        return report_;
    }

    // True when live_[i] is the file its journal line describes; otherwise it is written gone
    // and no longer counts.
    bool Verify(std::size_t i) {
        Live& l = live_[i];
        if (l.verified) return true;
        TreeEntry now;
        if (tree_.Stat(folder_, l.c.record.path, now) && Matches(now, l.c.record)) {
            l.verified = true;
            return true;
        }
        lines_.push_back(GoneLine(l.c.record.path));
        live_.erase(live_.begin() + static_cast<std::ptrdiff_t>(i));
        return false;
    }

    // Plans over the live copies; every copy the plan keeps is verified first, as long as the
    // plan removes anything, and one that is not there drops out and the plan is made again.
    void Retain(const RetentionRules& rules, std::size_t protect, std::vector<JournalRecord>& removed) {
        const std::wstring protectedPath = live_[protect].c.record.path;
        std::vector<PlanDecision> plan;
        for (;;) {
            std::vector<int64_t> stamps;
            for (const Live& l : live_) stamps.push_back(l.c.minutes);
            plan = PlanRetention(stamps, now_, rules, protect);
            if (std::none_of(plan.begin(), plan.end(), [](const PlanDecision& d) { return d.remove; })) return;
            lock_.LetGo();  // copies are looked at and deleted: others may write meanwhile
            bool dropped = false;
            for (std::size_t i = live_.size(); i-- > 0;) {
                if (plan[i].remove || plan[i].rule == PlanRule::Future) continue;
                if (!Verify(i)) dropped = true;
            }
            if (!dropped) break;
            protect = kNoCopy;
            for (std::size_t i = 0; i < live_.size(); ++i)
                if (live_[i].c.record.path == protectedPath) protect = i;
        }
        // The new copy is on the disk before any older one goes in its favour; where it cannot
        // be made so, nothing goes this tick.
        if (!held_->Flush()) {
            report_.flushFailed = true;
            return;
        }
        int tried = 0;
        for (std::size_t i = 0; i < live_.size() && tried < kMaxDeletesPerTick; ++i) {
            if (!plan[i].remove) continue;
            ++tried;
            const JournalRecord& r = live_[i].c.record;
            live_[i].gone = true;  // unless the delete fails, below
            switch (tree_.RemoveFile(folder_, r.path, r.Seen())) {
            case RemoveOutcome::Removed:
                ++report_.removed;
                report_.removedBytes += r.size;
                removed.push_back(r);
                lines_.push_back(GoneLine(r.path));
                break;
            case RemoveOutcome::Gone:
            case RemoveOutcome::Changed:
                lines_.push_back(GoneLine(r.path));
                break;
            case RemoveOutcome::Failed:
                live_[i].gone = false;
                ++report_.failed;
                break;
            }
        }
    }

    // The date folders the deletions emptied, deepest first, each only if it is the folder
    // the journal recorded.
    void RemoveFolders(const std::vector<JournalRecord>& removed) {
        std::vector<std::pair<std::wstring, FileIdentity>> folders;
        for (const JournalRecord& rec : removed) {
            const JournalRecord* r = &rec;
            ParsedCopy parsed;
            if (!ParseCopyPathBelow(r->path.substr(0, folder_.size()), r->path, parsed)) continue;
            const std::vector<std::wstring> chain = DateFolders(r->path, parsed.layout);
            if (chain.size() != r->folderIndexes.size()) continue;
            for (std::size_t k = 0; k < chain.size(); ++k)
                if (r->folderIndexes[k] != 0)
                    folders.emplace_back(chain[k], FileIdentity{r->id.volume, r->folderIndexes[k]});
        }
        // Deepest first: longer paths lie below shorter ones.
        std::stable_sort(folders.begin(), folders.end(),
                         [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
        // A folder that stays keeps every folder above it: those are not tried.
        std::vector<std::wstring> tried, stayed;
        const auto below = [this](const std::wstring& inner, const std::wstring& outer) {
            return inner.size() > outer.size() && inner[outer.size()] == L'\\' &&
                   order_(inner.substr(0, outer.size()), outer) == 0;
        };
        // A folder holding a copy that stays, as far as this tick knows, is not empty: not tried.
        std::vector<std::wstring> staying;
        for (const Live& l : live_)
            if (!l.gone) staying.push_back(l.c.record.path);
        for (const auto& f : folders) {
            if (std::any_of(staying.begin(), staying.end(), [&](const std::wstring& p) { return below(p, f.first); }))
                continue;
            const bool again =
                std::any_of(tried.begin(), tried.end(), [&](const std::wstring& t) { return order_(t, f.first) == 0; });
            const bool above =
                std::any_of(stayed.begin(), stayed.end(), [&](const std::wstring& s) { return below(s, f.first); });
            if (again || above) continue;
            tried.push_back(f.first);
            if (held_->RemoveEmptyFolder(f.first, f.second))
                ++report_.foldersRemoved;
            else
                stayed.push_back(f.first);
        }
    }

    FileTree& tree_;
    Journal& journal_;
    const std::wstring folder_;
    const std::wstring& drawing_;
    const MadeCopy& made_;
    const HousekeepingSettings& settings_;
    const NameOrder order_;
    const int64_t now_;
    std::unique_ptr<HeldCopy> held_;  // the new copy
    Journal::Lock lock_;              // kept from the made line; let go whichever way the tick ends
    TickReport report_;
    std::vector<Live> live_;            // oldest first
    std::vector<JournalRecord> lines_;  // to be written
};

}  // namespace

TickReport HousekeepAfterSave(FileTree& tree, Journal& journal, const std::wstring& folder,
                              const std::wstring& drawingPath, const MadeCopy& made,
                              const HousekeepingSettings& settings) {
    if (!settings.AnyOn() && settings.mRecoveryNotice != 1) return TickReport{};
    return Tick(tree, journal, TrimFolder(folder), drawingPath, made, settings).Run();
}
