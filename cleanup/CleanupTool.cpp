#include "CleanupTool.h"

#include <cwctype>

const wchar_t kCleanupUsage[] =
    L"usage: VarnholtCleanup (varnholt-cleanup on Linux) FOLDER [--drawing NAME] [--keep-count N]\n"
    L"                        [--keep-days D] [--thin-out] [--now \"YYYY-MM-DD hh:mm\"] [--delete]\n"
    L"Lists the plug-in's backup copies below FOLDER (of the drawing NAME, such as plan.dwg, or of\n"
    L"every drawing found) and what the rules would delete:\n"
    L"  --keep-count N   keep only the newest N copies of each drawing\n"
    L"  --keep-days D    delete copies more than D x 24 hours old\n"
    L"  --thin-out       older than a day: keep the newest of each day; older than 30 days: of each week\n"
    L"The newest copy of each drawing is always kept, and copies stamped later than now are never\n"
    L"touched. Nothing is deleted without --delete. \"Now\" is the local time unless --now is given.\n";

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
        } else if (a == L"--drawing" || a == L"--keep-count" || a == L"--keep-days" || a == L"--now") {
            if (!more) {
                error = a + L" needs a value";
                return false;
            }
            const std::wstring& v = args[++i];
            if (a == L"--drawing") {
                DrawingKey key;
                if (!DrawingKeyOfPath(v, key)) {
                    error = L"not a drawing's file name: " + v;
                    return false;
                }
                o.drawing = v;
            } else if (a == L"--now") {
                if (!ParseNow(v, o.now)) {
                    error = L"--now takes a local time \"YYYY-MM-DD hh:mm\": " + v;
                    return false;
                }
                o.hasNow = true;
            } else if (!ParseCount(v, a == L"--keep-count" ? o.rules.keepCount : o.rules.keepDays)) {
                error = a;
                error += L" takes a whole number from 0 to 2147483647: ";
                error += v;
                return false;
            }
        } else if (!a.empty() && a[0] == L'-') {
            error = L"unknown option: " + a;
            return false;
        } else if (o.folder.empty() && !a.empty()) {
            o.folder = a;
        } else {
            error = L"one backup folder only: " + a;
            return false;
        }
    }
    if (o.folder.empty() && !o.help) {
        error = L"no backup folder given";
        return false;
    }
    options = o;
    return true;
}

int RunCleanup(FileTree& tree, const CleanupOptions& options, const CivilStamp& now,
               const std::function<void(const std::wstring&)>& print) {
    std::wstring folder = options.folder;
    const wchar_t sep = tree.Separator();
    while (!folder.empty() && (folder.back() == sep || (sep == L'\\' && folder.back() == L'/'))) folder.pop_back();
    const int64_t nowMinutes = StampMinutes(now);
    DrawingKey key;
    const bool one = !options.drawing.empty() && DrawingKeyOfPath(options.drawing, key);

    print(L"backup folder: " + options.folder);
    print(L"drawing:       " + (one ? key.base + L"." + key.ext : std::wstring(L"all found")));
    print(L"now:           " + FormatStamp(now));
    print(L"rules:         " + RulesText(options.rules));

    ScanStats stats;
    const std::vector<BackupCopy> copies = ScanCopies(tree, folder, one ? &key : nullptr, &stats);
    if (!stats.listed) {
        print(L"cannot list the backup folder: " + options.folder);
        return 1;
    }

    std::vector<const BackupCopy*> doomed;
    std::size_t drawings = 0, totalCopies = 0;
    uint64_t totalBytes = 0, doomedBytes = 0;
    for (std::size_t first = 0; first < copies.size();) {
        std::size_t end = first;
        while (end < copies.size() && SameDrawing(copies[end].key, copies[first].key, tree.Order())) ++end;
        std::vector<int64_t> stamps;
        for (std::size_t i = first; i < end; ++i) stamps.push_back(copies[i].minutes);
        const std::vector<PlanDecision> plan = PlanRetention(stamps, nowMinutes, options.rules);

        std::size_t kept = 0, removed = 0;
        uint64_t keptBytes = 0, removedBytes = 0;
        print(L"");
        print(copies[first].key.base + L"." + copies[first].key.ext + L": " + Copies(end - first));
        for (std::size_t i = first; i < end; ++i) {
            const BackupCopy& c = copies[i];
            const PlanDecision& d = plan[i - first];
            print(L"  " + FormatStamp(c.stamp) + L"  " + Padded(d.remove ? L"remove" : L"keep", 6) + L"  " +
                  Padded(Narrow(PlanRuleName(d.rule)), 11) + L"  " + Padded(FormatBytes(c.size), 9, true) + L"  " +
                  c.path);
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
    if (!options.remove) {
        print(doomed.empty() ? L"dry run: nothing to delete"
                             : L"dry run: nothing was deleted; run again with --delete to delete them");
        return stats.unlisted > 0 ? 1 : 0;
    }

    std::vector<BackupCopy> removed;
    std::size_t failed = 0;
    uint64_t freed = 0;
    for (const BackupCopy* c : doomed) {
        switch (tree.RemoveFile(folder, c->path, c->Seen())) {
        case RemoveOutcome::Removed:
            removed.push_back(*c);
            freed += c->size;
            break;
        case RemoveOutcome::Gone:
            break;
        case RemoveOutcome::Changed:
            print(L"left alone, changed since it was listed: " + c->path);
            break;
        case RemoveOutcome::Failed:
            ++failed;
            print(L"could not delete " + c->path);
            break;
        }
    }
    const int folders = RemoveEmptiedDateFolders(tree, folder, removed);
    print(L"deleted " + Copies(removed.size()) + L" (" + FormatBytes(freed) + L") and " + std::to_wstring(folders) +
          L" emptied date folder(s); " + std::to_wstring(failed) + L" could not be deleted");
    return failed > 0 || stats.unlisted > 0 ? 1 : 0;
}

int CleanupMain(const std::vector<std::wstring>& args, FileTree& tree, const std::function<bool(CivilStamp&)>& localNow,
                const std::function<void(const std::wstring&)>& print) {
    CleanupOptions options;
    std::wstring error;
    if (!ParseCleanupArgs(args, options, error)) {
        print(error);
        print(kCleanupUsage);
        return 2;
    }
    if (options.help) {
        print(kCleanupUsage);
        return 0;
    }
    CivilStamp now = options.now;
    if (!options.hasNow && !localNow(now)) {
        print(L"cannot read the local time; give it with --now");
        return 2;
    }
    return RunCleanup(tree, options, now, print);
}
