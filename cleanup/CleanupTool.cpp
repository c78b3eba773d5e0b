#include "CleanupTool.h"

#include <algorithm>
#include <cwctype>
#include <utility>

const wchar_t kCleanupUsage[] =
    L"usage: VarnholtCleanup (varnholt-cleanup on Linux) FOLDER [--drawing NAME]... [--ext EXT]...\n"
    L"         [--keep-count N] [--keep-days D] [--thin-out] [--now \"YYYY-MM-DD hh:mm\"] [--zone +hh:mm]\n"
    L"         [--delete]\n"
    L"Lists the plug-in's backup copies below FOLDER and what the rules would delete:\n"
    L"  --drawing NAME   only copies of the drawing NAME, such as plan.dwg (repeatable)\n"
    L"  --ext EXT        only copies of drawings with the extension EXT, such as dwg (repeatable);\n"
    L"                   with --drawing too, a copy must match both\n"
    L"  --keep-count N   keep only the newest N copies of each drawing\n"
    L"  --keep-days D    delete copies more than D x 24 hours old\n"
    L"  --thin-out       older than a day: keep the newest of each day; older than 30 days: of each week\n"
    L"  --now TIME       plan as if it were TIME (local time of the copies' zone)\n"
    L"  --zone +hh:mm    the time zone the copies were stamped in (-hh:mm west of UTC); without it,\n"
    L"                   this machine's\n"
    L"  --delete         delete what the rules remove; needs --drawing or --ext\n"
    L"The newest copy of each drawing is always kept, copies stamped later than now and empty\n"
    L"(0-byte) copies are never touched. Nothing is deleted without --delete.\n"
    L"Exit codes: 0 done; 1 some planned deletes were not carried out or some date folders could not\n"
    L"be read; 2 bad command line or refused; 3 the backup folder is missing or not a folder.\n";

std::wstring FormatZone(int minutes) {
    const int a = minutes < 0 ? -minutes : minutes;
    const auto two = [](int v) {
        return std::wstring{static_cast<wchar_t>(L'0' + v / 10 % 10), static_cast<wchar_t>(L'0' + v % 10)};
    };
    return (minutes < 0 ? L"-" : L"+") + two(a / 60) + L":" + two(a % 60);
}

namespace {

bool ParseCount(const std::wstring& text, int64_t& out) {
    if (text.empty() || text.size() > 10) return false;
    int64_t v = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        v = v * 10 + (c - L'0');
    }
    if (v > 0x7FFFFFFF) return false;
    out = v;
    return true;
}

// "YYYY-MM-DD hh:mm" or "YYYY-MM-DDThh:mm".
bool ParseNow(const std::wstring& text, CivilStamp& out) {
    if (text.size() != 16 || text[4] != L'-' || text[7] != L'-' || (text[10] != L' ' && text[10] != L'T') ||
        text[13] != L':')
        return false;
    const auto field = [&](std::size_t pos, std::size_t width, int& value) {
        int v = 0;
        for (std::size_t i = pos; i < pos + width; ++i) {
            if (text[i] < L'0' || text[i] > L'9') return false;
            v = v * 10 + (text[i] - L'0');
        }
        value = v;
        return true;
    };
    CivilStamp s;
    if (!field(0, 4, s.year) || !field(5, 2, s.month) || !field(8, 2, s.day) || !field(11, 2, s.hour) ||
        !field(14, 2, s.minute) || !IsRealStamp(s))
        return false;
    out = s;
    return true;
}

// "+hh:mm" or "-hh:mm", at most 14 hours from UTC.
bool ParseZone(const std::wstring& text, int& out) {
    if (text.size() != 6 || (text[0] != L'+' && text[0] != L'-') || text[3] != L':') return false;
    for (const std::size_t i : {1, 2, 4, 5})
        if (text[i] < L'0' || text[i] > L'9') return false;
    const int hours = (text[1] - L'0') * 10 + (text[2] - L'0');
    const int minutes = (text[4] - L'0') * 10 + (text[5] - L'0');
    if (minutes > 59 || hours * 60 + minutes > 14 * 60) return false;
    out = (text[0] == L'-' ? -1 : 1) * (hours * 60 + minutes);
    return true;
}

// An extension as --ext takes it: one leading dot dropped; what is left is a name Windows can
// have, without a dot.
bool ParseExt(const std::wstring& text, std::wstring& out) {
    const std::wstring ext = !text.empty() && text[0] == L'.' ? text.substr(1) : text;
    if (!IsWindowsFileName(ext) || ext.find(L'.') != std::wstring::npos) return false;
    out = ext;
    return true;
}

// Text from the command line or the file system as one printed line: control characters and
// line separators become '?'.
std::wstring Shown(std::wstring text) {
    for (wchar_t& c : text)
        if (c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029) c = L'?';
    return text;
}

std::wstring KeyName(const DrawingKey& key) { return key.base + L"." + key.ext; }

std::wstring Joined(const std::vector<std::wstring>& parts) {
    std::wstring text;
    for (const std::wstring& p : parts) text += (text.empty() ? L"" : L", ") + Shown(p);
    return text;
}

// The tree as the scan sees it, noting each folder that could not be listed and why.
class ListingTree : public FileTree {
public:
    explicit ListingTree(FileTree& tree) : tree_(tree) {}
    bool List(const std::wstring& folder, std::vector<TreeEntry>& out) override {
        if (tree_.List(folder, out)) return true;
        failures.emplace_back(folder, tree_.LastErrorText());
        return false;
    }
    bool Stat(const std::wstring& root, const std::wstring& path, TreeEntry& out) override {
        return tree_.Stat(root, path, out);
    }
    bool DigestFile(const std::wstring& path, FileDigest& out) override { return tree_.DigestFile(path, out); }
    RemoveOutcome RemoveFile(const std::wstring& root, const std::wstring& path, const TreeEntry& seen) override {
        return tree_.RemoveFile(root, path, seen);
    }
    bool RemoveEmptyFolder(const std::wstring& root, const std::wstring& path, const FileIdentity& seen) override {
        return tree_.RemoveEmptyFolder(root, path, seen);
    }
    wchar_t Separator() const override { return tree_.Separator(); }
    NameOrder Order() const override { return tree_.Order(); }
    std::wstring LastErrorText() const override { return tree_.LastErrorText(); }

    std::vector<std::pair<std::wstring, std::wstring>> failures;  // folder, the system's reason

private:
    FileTree& tree_;
};

std::wstring Because(const std::wstring& reason) { return reason.empty() ? L"" : L": " + reason; }

std::wstring Padded(std::wstring text, std::size_t width, bool right = false) {
    if (text.size() < width) text.insert(right ? 0 : text.size(), width - text.size(), L' ');
    return text;
}

std::wstring Narrow(const char* text) { return std::wstring(text, text + std::char_traits<char>::length(text)); }

std::wstring Copies(std::size_t n) { return std::to_wstring(n) + (n == 1 ? L" copy" : L" copies"); }

std::wstring RulesText(const RetentionRules& rules) {
    std::vector<std::wstring> parts;
    if (rules.keepCount > 0) parts.push_back(L"keep the newest " + std::to_wstring(rules.keepCount));
    if (rules.keepDays > 0) parts.push_back(L"keep " + std::to_wstring(rules.keepDays) + L" days");
    if (rules.thinOut) parts.push_back(L"thin out");
    if (parts.empty()) return L"none (nothing would be deleted)";
    std::wstring text = parts[0];
    for (std::size_t i = 1; i < parts.size(); ++i) text += L", " + parts[i];
    return text;
}

}  // namespace

bool ParseCleanupArgs(const std::vector<std::wstring>& args, CleanupOptions& options, std::wstring& error) {
    CleanupOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::wstring& a = args[i];
        const bool more = i + 1 < args.size();
        if (a == L"--help" || a == L"-h" || a == L"/?") {
            o.help = true;
        } else if (a == L"--delete") {
            o.remove = true;
        } else if (a == L"--thin-out") {
            o.rules.thinOut = true;
        } else if (a == L"--drawing" || a == L"--ext" || a == L"--keep-count" || a == L"--keep-days" || a == L"--now" ||
                   a == L"--zone") {
            if (!more) {
                error = a + L" needs a value";
                return false;
            }
            const std::wstring& v = args[++i];
            if (a == L"--drawing") {
                DrawingKey key;
                if (!DrawingKeyOfPath(v, key)) {
                    error = L"not a drawing's file name: " + Shown(v);
                    return false;
                }
                o.drawings.push_back(v);
            } else if (a == L"--ext") {
                std::wstring ext;
                if (!ParseExt(v, ext)) {
                    error = L"not an extension (such as dwg): " + Shown(v);
                    return false;
                }
                o.exts.push_back(ext);
            } else if (a == L"--now") {
                if (!ParseNow(v, o.now)) {
                    error = L"--now takes a local time \"YYYY-MM-DD hh:mm\": " + Shown(v);
                    return false;
                }
                o.hasNow = true;
            } else if (a == L"--zone") {
                if (!ParseZone(v, o.zoneMinutes)) {
                    error = L"--zone takes an offset from UTC, +hh:mm or -hh:mm (at most 14:00): " + Shown(v);
                    return false;
                }
                o.hasZone = true;
            } else if (!ParseCount(v, a == L"--keep-count" ? o.rules.keepCount : o.rules.keepDays)) {
                error = a;
                error += L" takes a whole number from 0 to 2147483647: ";
                error += Shown(v);
                return false;
            }
        } else if (!a.empty() && a[0] == L'-') {
            error = L"unknown option: " + Shown(a);
            return false;
        } else if (o.folder.empty() && !a.empty()) {
            o.folder = a;
        } else {
            error = L"one backup folder only: " + Shown(a);
            return false;
        }
    }
    if (o.help) {
        options = o;
        return true;
    }
    if (o.folder.empty()) {
        error = L"no backup folder given";
        return false;
    }
    if (o.remove && o.drawings.empty() && o.exts.empty()) {
        error = L"--delete deletes only copies named by --drawing NAME or --ext EXT; give at least one";
        return false;
    }
    options = o;
    return true;
}

int RunCleanup(FileTree& tree, const CleanupOptions& options, const CleanupNow& now, const CleanupSink& print,
               const CleanupSink& error) {
    std::wstring folder = options.folder;
    const wchar_t sep = tree.Separator();
    while (!folder.empty() && (folder.back() == sep || (sep == L'\\' && folder.back() == L'/'))) folder.pop_back();
    const int64_t nowMinutes = StampMinutes(now.now);
    const NameOrder order = tree.Order();
    std::vector<DrawingKey> keys;
    std::vector<std::wstring> names;
    for (const std::wstring& d : options.drawings) {
        DrawingKey key;
        if (DrawingKeyOfPath(d, key)) {
            keys.push_back(key);
            names.push_back(KeyName(key));
        }
    }
    const std::wstring zone = !now.zoneKnown    ? std::wstring(L"unknown (this machine's could not be read)")
                              : options.hasZone ? FormatZone(now.zoneMinutes)
                                                : FormatZone(now.zoneMinutes) + L" (this machine)";

    print(L"backup folder: " + Shown(options.folder));
    print(L"drawing:       " + (keys.empty() ? std::wstring(L"all found") : Joined(names)));
    print(L"extension:     " + (options.exts.empty() ? std::wstring(L"any") : Joined(options.exts)));
    print(L"now:           " + FormatStamp(now.now));
    print(L"zone:          " + zone);
    print(L"rules:         " + RulesText(options.rules));

    ScanStats stats;
    ListingTree listing(tree);
    std::vector<BackupCopy> copies = ScanCopies(listing, folder, keys.size() == 1 ? keys.data() : nullptr, &stats);
    if (!stats.listed) {
        error(L"cannot list the backup folder: " + Shown(options.folder) +
              Because(listing.failures.empty() ? std::wstring() : listing.failures.front().second));
        return kCleanupNoFolder;
    }
    for (const auto& f : listing.failures)
        error(L"cannot list the date folder " + Shown(f.first) + Because(f.second) + L"; its copies are left out");

    // What the command line names: a copy of one of the drawings, with one of the extensions.
    const auto named = [&](const BackupCopy& c) {
        const bool drawing = keys.empty() || std::any_of(keys.begin(), keys.end(), [&](const DrawingKey& k) {
                                 return SameDrawing(c.key, k, order);
                             });
        const bool ext =
            options.exts.empty() || std::any_of(options.exts.begin(), options.exts.end(),
                                                [&](const std::wstring& e) { return order(c.key.ext, e) == 0; });
        return drawing && ext;
    };
    copies.erase(std::remove_if(copies.begin(), copies.end(), [&](const BackupCopy& c) { return !named(c); }),
                 copies.end());

    const std::size_t farFuture = static_cast<std::size_t>(
        std::count_if(copies.begin(), copies.end(), [&](const BackupCopy& c) { return c.minutes > nowMinutes + 60; }));
    if (farFuture > 0) {
        const std::wstring which = Copies(farFuture) + (farFuture == 1 ? L" is" : L" are") +
                                   L" stamped more than an hour after now (" + FormatStamp(now.now) + L")";
        if (options.hasZone)
            error(L"warning: " + which + L"; check that --zone " + FormatZone(now.zoneMinutes) +
                  L" is the time zone the copies were made in");
        else
            error(L"warning: " + which + L" in this machine's time zone (" +
                  (now.zoneKnown ? FormatZone(now.zoneMinutes) : std::wstring(L"unknown")) +
                  L"); if the copies were made in another one (a file server often runs in UTC), give it with "
                  L"--zone +hh:mm");
    }

    std::vector<const BackupCopy*> doomed;
    std::size_t drawings = 0, totalCopies = 0;
    uint64_t totalBytes = 0, doomedBytes = 0;
    for (std::size_t first = 0; first < copies.size();) {
        std::size_t end = first;
        while (end < copies.size() && SameDrawing(copies[end].key, copies[first].key, order)) ++end;
        // Empty copies count for no rule: the plan is over the others.
        std::vector<int64_t> stamps;
        std::vector<std::size_t> planned;
        for (std::size_t i = first; i < end; ++i)
            if (copies[i].size > 0) {
                stamps.push_back(copies[i].minutes);
                planned.push_back(i);
            }
        const std::vector<PlanDecision> plan = PlanRetention(stamps, nowMinutes, options.rules);
        std::vector<PlanDecision> decisions(end - first);
        for (std::size_t k = 0; k < planned.size(); ++k) decisions[planned[k] - first] = plan[k];

        std::size_t kept = 0, removed = 0;
        uint64_t keptBytes = 0, removedBytes = 0;
        print(L"");
        print(KeyName(copies[first].key) + L": " + Copies(end - first));
        for (std::size_t i = first; i < end; ++i) {
            const BackupCopy& c = copies[i];
            const PlanDecision& d = decisions[i - first];
            const std::wstring rule = c.size == 0 ? std::wstring(L"empty") : Narrow(PlanRuleName(d.rule));
            print(L"  " + FormatStamp(c.stamp) + L"  " + Padded(d.remove ? L"remove" : L"keep", 6) + L"  " +
                  Padded(rule, 11) + L"  " + Padded(FormatBytes(c.size), 9, true) + L"  " + Shown(c.path));
            if (d.remove) {
                ++removed;
                removedBytes += c.size;
                doomed.push_back(&c);
            } else {
                ++kept;
                keptBytes += c.size;
            }
        }
        print(L"  keep " + Copies(kept) + L" (" + FormatBytes(keptBytes) + L"), remove " + Copies(removed) + L" (" +
              FormatBytes(removedBytes) + L")");
        ++drawings;
        totalCopies += end - first;
        totalBytes += keptBytes + removedBytes;
        doomedBytes += removedBytes;
        first = end;
    }

    print(L"");
    print(L"total: " + std::to_wstring(drawings) + (drawings == 1 ? L" drawing, " : L" drawings, ") +
          Copies(totalCopies) + L" (" + FormatBytes(totalBytes) + L"); the rules remove " + Copies(doomed.size()) +
          L" (" + FormatBytes(doomedBytes) + L")");
    if (stats.unlisted > 0)
        print(L"note: " + std::to_wstring(stats.unlisted) + L" date folder(s) could not be listed and were left out");
    const int incomplete = stats.unlisted > 0 ? kCleanupIncomplete : kCleanupDone;
    if (!options.remove) {
        print(doomed.empty() ? L"dry run: nothing to delete"
                             : L"dry run: nothing was deleted; run again with --delete to delete them");
        return incomplete;
    }

    std::vector<BackupCopy> removed;
    std::size_t failed = 0, changed = 0, gone = 0;
    uint64_t freed = 0;
    for (const BackupCopy* c : doomed) {
        switch (tree.RemoveFile(folder, c->path, c->Seen())) {
        case RemoveOutcome::Removed:
            removed.push_back(*c);
            freed += c->size;
            break;
        case RemoveOutcome::Gone:
            ++gone;
            print(L"no longer there: " + Shown(c->path));
            break;
        case RemoveOutcome::Changed:
            ++changed;
            print(L"left alone, changed since it was listed: " + Shown(c->path));
            break;
        case RemoveOutcome::Failed:
            ++failed;
            error(L"could not delete " + Shown(c->path) + Because(tree.LastErrorText()));
            break;
        }
    }
    const int folders = RemoveEmptiedDateFolders(tree, folder, removed);
    print(L"deleted " + Copies(removed.size()) + L" (" + FormatBytes(freed) + L") and " + std::to_wstring(folders) +
          L" emptied date folder(s); " + std::to_wstring(failed) + L" could not be deleted" +
          (changed > 0 ? L"; " + std::to_wstring(changed) + L" changed since listed, left alone" : L"") +
          (gone > 0 ? L"; " + std::to_wstring(gone) + L" no longer there" : L""));
    // A planned delete not carried out (failed, changed or gone) leaves the tree other than the
    // listing said it would be: the run fails.
    return failed + changed + gone > 0 ? kCleanupIncomplete : incomplete;
}

int CleanupMain(const std::vector<std::wstring>& args, FileTree& tree, const CleanupClock& clock,
                const CleanupSink& print, const CleanupSink& error) {
    CleanupOptions options;
    std::wstring message;
    if (!ParseCleanupArgs(args, options, message)) {
        error(message);
        error(kCleanupUsage);
        return kCleanupRefused;
    }
    if (options.help) {
        print(kCleanupUsage);
        return kCleanupDone;
    }
    ClockReading reading;
    const bool read = (options.hasNow && options.hasZone) || clock(reading);
    if (!options.hasNow && !read) {
        error(L"cannot read the clock; give the local time with --now");
        return kCleanupRefused;
    }
    CleanupNow now;
    now.zoneKnown = options.hasZone || read;
    now.zoneMinutes = options.hasZone ? options.zoneMinutes : reading.offsetMinutes;
    now.now = options.hasNow ? options.now : StampFromMinutes(reading.utcMinutes + now.zoneMinutes);
    return RunCleanup(tree, options, now, print, error);
}
