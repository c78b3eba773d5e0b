// Soak and cost figures for the loaded Varnholt.dll under Wine:
//   soak  - 100,000 ticks and 200 settings-dialog cycles in one process: memory, handles, GDI objects
//   dialogs N - N settings-dialog cycles alone, with figures every 200
//   tick  - one tick of the plug-in beside the bare platform calls it cannot avoid
//   start - Startup with settings present beside bare reads of the registry values it reads
//   housekeeping - steady ticks with skip identical and keep N = 20 on beside ticks with everything
//                  off (8 MB drawing; 10,000 journaled copies of it and 10,000 of another drawing
//                  over 1,000 day folders, trimmed to 20 by a first load), the first tick of a fresh
//                  load (journal load included), the steady tick over that journal beside one of
//                  100 + 100 copies, and the parts of a tick (journal calls, file calls) timed
//   steady - the steady tick alone, on beside off, over 100 + 100 journaled copies: the quick check
//   load - the journal's load and the other journal pieces over 20,000 made lines alone, and the
//          first tick beside the steady one over 100 + 100 copies and 10,000 lines of other drawings
#include <windows.h>
#include <psapi.h>

#include <time.h>

#include <chrono>
#include <cstring>
#include <cstdio>
#include <string>
#include <vector>

#include <algorithm>

#include "backup/BackupPath.h"
#include "backup/CopyName.h"
#include "backup/FileTreeWin32.h"
#include "backup/Candidates.h"
#include "backup/Housekeeper.h"
#include "backup/Journal.h"
#include "backup/JournalWin32.h"
#include "hostsim/IatHook.h"
#include "hostsim/VylSim.h"
#include "tests/win/PluginHarness.h"
#include "tests/win/WinTestUtil.h"

namespace {

TIMERPROC tickProc = nullptr;
decltype(&SetTimer) realSetTimer = nullptr;
UINT_PTR WINAPI CaptureTimer(HWND window, UINT_PTR id, UINT ms, TIMERPROC proc) {
    tickProc = proc;
    return realSetTimer(window, id, ms, proc);
}
void Watch(HMODULE module) {
    realSetTimer = reinterpret_cast<decltype(&SetTimer)>(
        PatchImport(module, "user32.dll", "SetTimer", reinterpret_cast<void*>(CaptureTimer)));
}

struct Usage {
    SIZE_T workingSet, pagefile;
    uintptr_t handleProbe;
    DWORD gdi, user;
};
Usage Measure() {
    PROCESS_MEMORY_COUNTERS pmc{};
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
    return {pmc.WorkingSetSize, pmc.PagefileUsage, HandleProbe(), GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS),
            GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS)};
}
void Print(const char* what, const Usage& u) {
    printf("%-28s working set %8zu KiB  pagefile %8zu KiB  handle probe 0x%llx  GDI %lu  USER %lu\n", what,
           u.workingSet / 1024, u.pagefile / 1024, static_cast<unsigned long long>(u.handleProbe), u.gdi, u.user);
}

double Seconds(const std::chrono::steady_clock::time_point& since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void Soak(const std::wstring& folder, int ticks, int dialogCycles) {
    WriteSettingSz(L"mIsAutoBackup", L"1");
    WriteSettingDw(L"mTime", 30);
    WriteSettingSz(L"mFolder", folder);
    WriteSettingDw(L"mMainItemNo", 1);
    LoadedPlugin plugin(Watch);
    if (!tickProc) return void(puts("no timer"));
    for (int i = 0; i < 1000; ++i) tickProc(nullptr, WM_TIMER, 1, 0);  // warm up
    SimClearCalls();
    for (int i = 0; i < 3; ++i) {
        ModalDriver d;
        HWND dlg = nullptr;
        d.Then([&] { return (dlg = FindSettingsDialog()) != nullptr; }).Then([&] {
            return PostClick(dlg, IDOK), true;
        });
        d.Run([&] { plugin.Execute(7); });
    }
    const Usage before = Measure();
    Print("before", before);
    auto start = std::chrono::steady_clock::now();
    int saves = 0;
    for (int i = 0; i < ticks; ++i) {
        tickProc(nullptr, WM_TIMER, 1, 0);
        if (i % 1000 == 999) {  // the stand-in's record is not the plug-in's memory
            saves += SimCountOf(SimSave);
            SimClearCalls();
        }
    }
    printf("%d ticks (real copies) in %.1f s; saves %d\n", ticks, Seconds(start), saves);
    Print("after ticks", Measure());
    start = std::chrono::steady_clock::now();
    int finished = 0;
    for (int i = 0; i < dialogCycles; ++i) {
        ModalDriver d;
        HWND dlg = nullptr;
        d.Then([&] { return (dlg = FindSettingsDialog()) != nullptr; }).Then([&] {
            ClickPatternRow(dlg, i % 4);
            PostClick(dlg, IDOK);
            return true;
        });
        d.Run([&] { plugin.Execute(7); });
        finished += d.Finished() && !d.TimedOut();
        SimClearCalls();
        if (i % 200 == 199 && i + 1 < dialogCycles)
            Print(("after " + std::to_string(i + 1) + " dialogs").c_str(), Measure());
    }
    printf("%d dialog cycles (%d completed) in %.1f s\n", dialogCycles, finished, Seconds(start));
    Print("after dialogs", Measure());
}

void TickCost(const std::wstring& folder) {
    WriteSettingSz(L"mIsAutoBackup", L"1");
    WriteSettingSz(L"mFolder", folder);
    WriteSettingDw(L"mMainItemNo", 1);
    SimSetSaveCopies(0);  // the host's own work is not the plug-in's
    LoadedPlugin plugin(Watch);
    std::wstring target;
    DateStamp stamp;
    const int rounds = 20000;
    double plug = 1e9, bare = 1e9;
    for (int repeat = 0; repeat < 5; ++repeat) {
        SimClearCalls();
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < rounds; ++i) tickProc(nullptr, WM_TIMER, 1, 0);
        plug = std::min(plug, Seconds(start) / rounds);
        // The same platform work by hand: the clock read and the same CreateDirectoryW calls.
        __time64_t now = _time64(nullptr);
        std::tm t{};
        _localtime64_s(&t, &now);
        FormatDateStamp(stamp, &t);
        ComposeTargetPath(folder, L"C:\\work\\plan.dwg", 1, stamp, target);
        const std::vector<std::wstring> chain = PlanDirectoryChain(target);
        start = std::chrono::steady_clock::now();
        for (int i = 0; i < rounds; ++i) {
            __time64_t n = _time64(nullptr);
            std::tm lt{};
            _localtime64_s(&lt, &n);
            for (const std::wstring& f : chain) CreateDirectoryW(f.c_str(), nullptr);
        }
        bare = std::min(bare, Seconds(start) / rounds);
    }
    printf("tick: plug-in %.2f us, bare platform calls %.2f us, ratio %.3f (%zu folder attempts per tick)\n",
           plug * 1e6, bare * 1e6, plug / bare, PlanDirectoryChain(target).size());
    SimSetSaveCopies(1);
}

// `days` day folders (layout 1) up to 2026-12-08, each with `perDay` copies of plan.dwg and of
// other.dwg; the newest copy of plan.dwg holds `newest`, the rest one byte each. The copies'
// paths go to `plan` and `other`, oldest first.
void SeedHistory(const std::wstring& folder, int days, int perDay, const std::string& newest,
                 std::vector<std::wstring>& plan, std::vector<std::wstring>& other) {
    const int64_t last = StampMinutes(CivilStamp{2026, 12, 8, 0, 0});
    for (int d = days - 1; d >= 0; --d) {
        const CivilStamp day = StampFromMinutes(last - static_cast<int64_t>(d) * kMinutesPerDay);
        const std::wstring year = folder + L"\\" + FormatPadded(day.year, 4);
        const std::wstring month = year + L"\\" + FormatPadded(day.month, 2);
        const std::wstring dayFolder = month + L"\\" + FormatPadded(day.day, 2);
        CreateDirectoryW(year.c_str(), nullptr);
        CreateDirectoryW(month.c_str(), nullptr);
        CreateDirectoryW(dayFolder.c_str(), nullptr);
        for (int k = 0; k < perDay; ++k) {
            const std::wstring hhmm = FormatPadded(8 + k, 2) + L"00";
            plan.push_back(dayFolder + L"\\plan_" + hhmm + L".dwg");
            other.push_back(dayFolder + L"\\other_" + hhmm + L".dwg");
            WriteFileBytes(plan.back(), d == 0 && k == perDay - 1 ? newest : "x");
            WriteFileBytes(other.back(), "x");
        }
    }
}

// Journals the seeded copies as the plug-in would have made them, a day at a time.
bool JournalHistory(const std::wstring& folder, const std::wstring& work, const std::vector<std::wstring>& plan,
                    const std::vector<std::wstring>& other, int perDay) {
    for (std::size_t i = 0; i < plan.size(); i += static_cast<std::size_t>(perDay)) {
        const auto n = static_cast<std::ptrdiff_t>(perDay);
        const auto at = static_cast<std::ptrdiff_t>(i);
        if (!JournalAsMade(folder, work + L"\\plan.dwg", {plan.begin() + at, plan.begin() + at + n}) ||
            !JournalAsMade(folder, work + L"\\other.dwg", {other.begin() + at, other.begin() + at + n}))
            return false;
    }
    return true;
}

// `count` made lines of copies of other drawings (sheet00.dwg to sheet99.dwg) below `folder`,
// as a journal holds them; no file stands behind them (a tick of plan.dwg never looks).
std::string OtherDrawingLines(const std::wstring& folder, const std::wstring& work, int count) {
    std::string text;
    const int64_t last = StampMinutes(CivilStamp{2026, 12, 8, 0, 0});
    for (int i = 0; i < count; ++i) {
        JournalRecord r;
        r.stamp = StampFromMinutes(last - static_cast<int64_t>(i / 100) * kMinutesPerDay + 8 * 60 + i % 100);
        const std::wstring sheet = L"sheet" + FormatPadded(i % 100, 2);
        r.drawing = work + L"\\" + sheet + L".dwg";
        r.path = folder + L"\\" + FormatPadded(r.stamp.year, 4) + L"\\" + FormatPadded(r.stamp.month, 2) + L"\\" +
                 FormatPadded(r.stamp.day, 2) + L"\\" + sheet + L"_" + FormatPadded(r.stamp.hour, 2) +
                 FormatPadded(r.stamp.minute, 2) + L".dwg";
        r.size = 1;
        r.writeTime = 134096000000000000ull + static_cast<uint64_t>(i) * 600000000ull;
        r.id = FileIdentity{0x5eed, 0x700000u + static_cast<uint64_t>(i)};
        r.folderIndexes = {0x600001, 0x600002, 0x600003u + static_cast<uint64_t>(i / 100)};
        std::string line;
        if (FormatJournalLine(r, line)) text += line;
    }
    return text;
}

std::size_t CountLines(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// The plug-in's journal file holds `text` (and nothing else stands there).
void UseJournal(const std::string& text) {
    RemoveJournal();
    CreateDirectoryW(JournalFolder().c_str(), nullptr);
    WriteFileBytes(JournalFile(), text);
}

struct TickFigures {
    double first = 0;    // seconds, the first tick after loading (with housekeeping on: the journal load)
    double steady = 0;   // seconds per tick, median of the ticks after it
    double fastest = 0;  // seconds, the fastest of them (what noise, which only adds, left alone)
};

// Loads the plug-in on `folder` and runs `ticks` + 1 ticks at 2026-12-09 09:05, the drawing unchanged.
// keepCount 0: everything off; otherwise skip identical and keep N = keepCount.
TickFigures Ticks(const std::wstring& folder, int keepCount, int ticks) {
    ClearSettingsKey();
    WriteSettingSz(L"mIsAutoBackup", L"1");
    WriteSettingDw(L"mTime", 10);
    WriteSettingSz(L"mFolder", folder);
    WriteSettingDw(L"mMainItemNo", 1);
    if (keepCount > 0) {
        WriteSettingDw(L"mSkipIdentical", 1);
        WriteSettingDw(L"mKeepCount", static_cast<DWORD>(keepCount));
    }
    TickFigures f;
    std::vector<double> times;
    {
        LoadedPlugin plugin(ControlPluginClockAndTimer);
        SetPluginClock(2026, 12, 9, 9, 5);
        auto start = std::chrono::steady_clock::now();
        RunCapturedTick();
        f.first = Seconds(start);
        for (int i = 0; i < ticks; ++i) {
            start = std::chrono::steady_clock::now();
            RunCapturedTick();
            times.push_back(Seconds(start));
        }
    }
    DeleteFileW((folder + L"\\2026\\12\\09\\plan_0905.dwg").c_str());
    RemoveDirectoryW((folder + L"\\2026\\12\\09").c_str());
    std::sort(times.begin(), times.end());
    if (!times.empty()) f.steady = times[times.size() / 2], f.fastest = times.front();
    return f;
}

// Lists every folder below `folder` with the listing call a scan would use; returns the entries seen.
std::size_t BareWalk(const std::wstring& folder) {
    std::size_t seen = 0;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr,
                                FIND_FIRST_EX_LARGE_FETCH);
    if (h == INVALID_HANDLE_VALUE) return 0;
    do {
        if (fd.cFileName[0] == L'.') continue;
        ++seen;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) seen += BareWalk(folder + L"\\" + fd.cFileName);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return seen;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double Least(const std::vector<double>& v) { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }

template <typename F>
double MedianOf(int runs, F&& f) {
    std::vector<double> v;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        f();
        v.push_back(Seconds(start));
    }
    return Median(v);
}

std::size_t CopiesOf(const std::wstring& folder, const wchar_t* prefix) {
    std::size_t n = 0;
    for (const std::wstring& p : ListTree(folder))
        if (p.find(prefix) != std::wstring::npos) ++n;
    return n;
}

// The file work of the same ticks done bare, without the plug-in, over a copy in `folder`'s day
// folder of 2026-12-09: an off tick's save (the copy written over again, as at the same
// minute), and the least an identical tick does (its day folder made, a new copy written, read
// whole, deleted, and the folder removed again).
struct FloorFigures {
    double off = 0;  // seconds, medians
    double on = 0;
    double fastestOff = 0, fastestOn = 0;
};
FloorFigures BareFloor(const std::wstring& drawing, const std::wstring& folder, int ticks) {
    const std::wstring day = folder + L"\\2026\\12\\09", copy = day + L"\\plan_0905.dwg";
    std::vector<double> off, on;
    std::vector<char> buffer(1 << 20);
    CreateDirectoryW(day.c_str(), nullptr);
    CopyFileW(drawing.c_str(), copy.c_str(), FALSE);
    for (int i = 0; i < ticks; ++i) {
        const auto start = std::chrono::steady_clock::now();
        CopyFileW(drawing.c_str(), copy.c_str(), FALSE);
        off.push_back(Seconds(start));
    }
    DeleteFileW(copy.c_str());
    RemoveDirectoryW(day.c_str());
    for (int i = 0; i < ticks; ++i) {
        const auto start = std::chrono::steady_clock::now();
        CreateDirectoryW(day.c_str(), nullptr);
        CopyFileW(drawing.c_str(), copy.c_str(), FALSE);
        HANDLE file = CreateFileW(copy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD got = 0;
        while (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got > 0) {
        }
        CloseHandle(file);
        DeleteFileW(copy.c_str());
        RemoveDirectoryW(day.c_str());
        on.push_back(Seconds(start));
    }
    return {Median(off), Median(on), Least(off), Least(on)};
}

// The pieces of a steady tick, timed one by one outside the plug-in over a journal holding `text`.
void TickPieces(const char* name, const std::string& text, const std::wstring& folder, const std::wstring& work,
                const std::wstring& scratch) {
    const std::wstring path = scratch + L"\\journal-" + std::wstring(name, name + strlen(name)) + L".txt";
    WriteFileBytes(path, text);
    const double load = MedianOf(5, [&] {
        Win32JournalStore store(path);
        Journal journal(store, SystemNameOrder, SystemNameFold);
        journal.Refresh();
    });
    // What a loaded journal holds in memory: the process's committed bytes before and after.
    PROCESS_MEMORY_COUNTERS before{}, after{};
    GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before);
    Win32JournalStore store(path);
    Journal journal(store, SystemNameOrder, SystemNameFold);
    journal.Refresh();
    GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof after);
    printf("  %-7s journal loaded: %.1f MB committed\n", name,
           (static_cast<double>(after.PagefileUsage) - static_cast<double>(before.PagefileUsage)) / 1e6);
    const double refresh = MedianOf(21, [&] { journal.Refresh(); });
    std::size_t parsed = 0;
    const double parse = MedianOf(5, [&] {
        parsed = 0;
        JournalRecord r;
        for (std::size_t at = 0, lf; (lf = text.find('\n', at)) != std::string::npos; at = lf + 1)
            parsed += ParseJournalLine(text.substr(at, lf - at), r);
    });
    const double crc = MedianOf(5, [&] { Crc32(text.data(), text.size()); });
    std::size_t candidates = 0;
    const double pick =
        MedianOf(21, [&] { candidates = CandidatesOf(journal, folder, work + L"\\plan.dwg", SystemNameOrder).size(); });
    const double live = MedianOf(21, [&] { journal.Live(); });
    std::vector<JournalRecord> one(1);
    one[0].kind = JournalRecord::Kind::Gone;
    one[0].path = folder + L"\\2026\\12\\09\\plan_0905.dwg";
    const double write = MedianOf(21, [&] { journal.Write(one); });
    printf(
        "  %-7s journal %6zu lines %8zu bytes: load (fresh Refresh) %7.2f ms "
        "(ParseJournalLine of every line alone %.2f ms, of it CRC-32 %.2f ms), Refresh with nothing new "
        "%.3f ms, CandidatesOf %.3f ms (of it Live() %.3f ms; %zu candidates), Write of one line %.3f ms\n",
        name, CountLines(text), text.size(), load * 1e3, parse * 1e3, crc * 1e3, refresh * 1e3, pick * 1e3, live * 1e3,
        candidates, write * 1e3);
    DeleteFileW(path.c_str());
}

// Times every file-tree and journal-store call one housekeeping step makes: the step itself
// (HousekeepAfterSave, as the plug-in calls it after the host's save) over the real file
// system and a journal file of its own, outside the plug-in.
class Timed {
public:
    template <typename F>
    auto operator()(int slot, F&& f) {
        const auto start = std::chrono::steady_clock::now();
        auto result = f();
        spent[slot] += Seconds(start);
        ++calls[slot];
        return result;
    }
    double spent[11] = {};
    int calls[11] = {};
};
const char* const kSlotNames[11] = {"Stat (or FolderIndexes; held: Look)",
                                    "DigestFile",
                                    "RemoveFile",
                                    "RemoveEmptyFolder",
                                    "List",
                                    "Lock",
                                    "ReadNew",
                                    "Append",
                                    "Replace",
                                    "Unlock",
                                    "ReadNewThenAppend"};

class TimedTree : public FileTree {
public:
    explicit TimedTree(Timed& t) : t_(t) {}
    bool List(const std::wstring& f, std::vector<TreeEntry>& out) override {
        return t_(4, [&] { return tree_.List(f, out); });
    }
    bool Stat(const std::wstring& r, const std::wstring& p, TreeEntry& out) override {
        return t_(0, [&] { return tree_.Stat(r, p, out); });
    }
    bool DigestFile(const std::wstring& p, FileDigest& out) override {
        return t_(1, [&] { return tree_.DigestFile(p, out); });
    }
    RemoveOutcome RemoveFile(const std::wstring& r, const std::wstring& p, const TreeEntry& seen) override {
        return t_(2, [&] { return tree_.RemoveFile(r, p, seen); });
    }
    bool RemoveEmptyFolder(const std::wstring& r, const std::wstring& p, const FileIdentity& seen) override {
        return t_(3, [&] { return tree_.RemoveEmptyFolder(r, p, seen); });
    }
    std::vector<uint64_t> FolderIndexes(const std::wstring& r, const std::wstring& p, int depth) override {
        return t_(0, [&] { return tree_.FolderIndexes(r, p, depth); });
    }
    wchar_t Separator() const override { return tree_.Separator(); }
    NameOrder Order() const override { return tree_.Order(); }
    // The held copy's calls, timed in the slots of the calls by path they stand for.
    std::unique_ptr<HeldCopy> Hold(const std::wstring& r, const std::wstring& p, bool folderIsNew) override {
        class TimedHeld : public HeldCopy {
        public:
            TimedHeld(FileTree& tree, Timed& t, std::unique_ptr<HeldCopy> held, const std::wstring& r,
                      const std::wstring& p)
                : HeldCopy(tree, r, p), t_(t), held_(std::move(held)) {}
            bool Look(TreeEntry& out) override {
                return t_(0, [&] { return held_->Look(out); });
            }
            std::vector<uint64_t> FolderIndexes(int depth) override {
                return t_(0, [&] { return held_->FolderIndexes(depth); });
            }
            bool Digest(FileDigest& out) override {
                return t_(1, [&] { return held_->Digest(out); });
            }
            RemoveOutcome Remove(const TreeEntry& seen) override {
                return t_(2, [&] { return held_->Remove(seen); });
            }
            bool RemoveEmptyFolder(const std::wstring& f, const FileIdentity& seen) override {
                return t_(3, [&] { return held_->RemoveEmptyFolder(f, seen); });
            }

        private:
            Timed& t_;
            std::unique_ptr<HeldCopy> held_;
        };
        return std::make_unique<TimedHeld>(*this, t_, tree_.Hold(r, p, folderIsNew), r, p);
    }

private:
    Timed& t_;
    Win32FileTree tree_;
};

class TimedStore : public JournalStore {
public:
    TimedStore(Timed& t, const std::wstring& path) : t_(t), store_(path) {}
    bool Lock() override {
        const bool ok = t_(5, [&] { return store_.Lock(); });
        since_ = std::chrono::steady_clock::now();
        return ok;
    }
    void Unlock() override {
        held += Seconds(since_);
        t_(9, [&] { return store_.Unlock(), true; });
    }
    double held = 0;  // seconds between Lock and Unlock
    bool ReadNew(std::string& out, bool& restarted) override {
        return t_(6, [&] { return store_.ReadNew(out, restarted); });
    }
    bool ReadNewInRuns(const std::function<void()>& restart,
                       const std::function<void(std::string_view)>& take) override {
        return t_(6, [&] { return store_.ReadNewInRuns(restart, take); });
    }
    bool Append(const std::string& lines, bool& created) override {
        return t_(7, [&] { return store_.Append(lines, created); });
    }
    bool Replace(const std::string& whole) override {
        return t_(8, [&] { return store_.Replace(whole); });
    }
    bool Rewind() override { return store_.Rewind(); }
    bool ReadNewThenAppend(const std::string& lines, std::string& out, bool& restarted, bool& created) override {
        return t_(10, [&] { return store_.ReadNewThenAppend(lines, out, restarted, created); });
    }

private:
    Timed& t_;
    Win32JournalStore store_;
    std::chrono::steady_clock::time_point since_;
};

// `ticks` housekeeping steps after a save of the drawing into `folder` (layout 1, 2026-12-09 09:05),
// over a journal file holding `text`; prints the mean of each part of a step (the first one,
// which loads the journal, left out).
void TickInside(const char* name, const std::string& text, const std::wstring& folder, const std::wstring& work,
                const std::wstring& scratch, int ticks) {
    const std::wstring path = scratch + L"\\inside-" + std::wstring(name, name + strlen(name)) + L".txt";
    WriteFileBytes(path, text);
    Timed t;
    TimedTree tree(t);
    TimedStore store(t, path);
    Journal journal(store, SystemNameOrder, SystemNameFold);
    HousekeepingSettings settings;
    settings.mSkipIdentical = 1;
    settings.mKeepCount = 20;
    MadeCopy made;
    made.layout = static_cast<CopyLayout>(1);
    made.stamp = CivilStamp{2026, 12, 9, 9, 5};
    made.path = folder + L"\\2026\\12\\09\\plan_0905.dwg";
    const std::wstring drawing = work + L"\\plan.dwg";
    const std::vector<std::wstring> chain = PlanDirectoryChain(made.path);
    double folders = 0, save = 0, step = 0, first = 0;
    int identical = 0;
    for (int i = 0; i <= ticks; ++i) {
        if (i == 1) t = Timed{}, store.held = 0;
        auto start = std::chrono::steady_clock::now();
        for (const std::wstring& f : chain) made.folderIsNew = CreateDirectoryW(f.c_str(), nullptr) != FALSE;
        const double f = Seconds(start);
        start = std::chrono::steady_clock::now();
        CopyFileW(drawing.c_str(), made.path.c_str(), FALSE);
        const double s = Seconds(start);
        start = std::chrono::steady_clock::now();
        const TickReport report = HousekeepAfterSave(tree, journal, folder, drawing, made, settings);
        const double h = Seconds(start);
        if (i == 0) {
            first = h;
            continue;
        }
        folders += f;
        save += s;
        step += h;
        identical += report.identical;
    }
    double calls = 0;
    for (double v : t.spent) calls += v;
    printf(
        "  %-6s (%zu lines): folder chain %.2f ms, host's save %.2f ms, housekeeping step %.2f ms (first, journal "
        "load included, %.1f ms); %d/%d identical\n    of the step: ",
        name, CountLines(text), folders / ticks * 1e3, save / ticks * 1e3, step / ticks * 1e3, first * 1e3, identical,
        ticks);
    for (int k = 0; k < 11; ++k)
        if (t.calls[k])
            printf("%s %.1f x %.3f ms, ", kSlotNames[k], double(t.calls[k]) / ticks, t.spent[k] / t.calls[k] * 1e3);
    printf("the rest (in memory) %.3f ms; the journal's lock held %.3f ms a step (from its first write to its last)\n",
           (step - calls) / ticks * 1e3, store.held / ticks * 1e3);
    // The journal-sized part of "the rest": the candidates picked from every live record.
    const double pick = MedianOf(21, [&] { CandidatesOf(journal, folder, drawing, SystemNameOrder); });
    // The same after 8 MB went through the cache, as in a tick (the digest of the new copy comes first).
    std::vector<double> colds;
    CopyFileW(drawing.c_str(), made.path.c_str(), FALSE);
    FileDigest digest;
    for (int i = 0; i < 11; ++i) {
        tree.DigestFile(made.path, digest);
        const auto start = std::chrono::steady_clock::now();
        CandidatesOf(journal, folder, drawing, SystemNameOrder);
        colds.push_back(Seconds(start));
    }
    DeleteFileW(made.path.c_str());
    const double cold = Median(colds);
    const double live = MedianOf(21, [&] { journal.Live(); });
    std::size_t same = 0;
    const double compare = MedianOf(21, [&] {
        same = 0;
        for (const Journal::Entry& e : journal.Live()) same += SystemNameOrder(e.record.drawing, drawing) == 0;
    });
    printf(
        "    of the rest: CandidatesOf %.3f ms after reading 8 MB, %.3f ms warm (Live() %.3f ms, Live() and a drawing "
        "comparison per live record "
        "%.3f ms, %zu of %zu the same drawing)\n",
        cold * 1e3, pick * 1e3, live * 1e3, compare * 1e3, same, journal.LiveCount());
    RemoveDirectoryW((folder + L"\\2026\\12\\09").c_str());
    DeleteFileW(path.c_str());
}

// 8 MB of bytes that do not repeat, for a drawing.
std::string BigDrawing() {
    std::string drawing(8 << 20, '\0');
    uint32_t seed = 1;
    for (char& c : drawing) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
    return drawing;
}

void HousekeepingCost(const std::wstring& work) {
    const std::string drawing = BigDrawing();
    WriteFileBytes(work + L"\\big.dwg", drawing);
    SimSetDrawingPath((work + L"\\plan.dwg").c_str());
    CopyFileW((work + L"\\big.dwg").c_str(), (work + L"\\plan.dwg").c_str(), FALSE);
    ScratchDir large(L"C:\\"), small(L"C:\\"), scratch(L"C:\\");
    auto start = std::chrono::steady_clock::now();
    std::vector<std::wstring> largePlan, largeOther, smallPlan, smallOther;
    SeedHistory(large.path(), 1000, 10, drawing, largePlan, largeOther);
    SeedHistory(small.path(), 10, 10, drawing, smallPlan, smallOther);
    printf("seeded 20,000 + 200 copies in %.1f s\n", Seconds(start));

    // Each setting has its own journal file, put in place before the plug-in loads and taken
    // back after it unloaded, so that one setting's records do not weigh on another's ticks.
    start = std::chrono::steady_clock::now();
    RemoveJournal();
    if (!JournalHistory(large.path(), work, largePlan, largeOther, 10)) return void(puts("journal seed failed"));
    std::string largeJournal = ReadFileBytes(JournalFile());
    RemoveJournal();
    if (!JournalHistory(small.path(), work, smallPlan, smallOther, 10)) return void(puts("journal seed failed"));
    std::string smallJournal = ReadFileBytes(JournalFile());
    printf("journaled them in %.1f s: %zu lines, %zu bytes, %.1f bytes per copy (made lines, no digest)\n",
           Seconds(start), CountLines(largeJournal), largeJournal.size(),
           static_cast<double>(largeJournal.size()) / static_cast<double>(CountLines(largeJournal)));

    std::vector<double> walks;
    std::size_t entries = 0;
    for (int i = 0; i < 5; ++i) {
        start = std::chrono::steady_clock::now();
        entries = BareWalk(large.path());
        walks.push_back(Seconds(start));
    }
    printf("reference: bare listing of the seeded tree (%zu entries, what a scan would list): %.1f ms\n", entries,
           Median(walks) * 1e3);

    puts("pieces over the seeded journals (outside the plug-in):");
    TickPieces("seeded", largeJournal, large.path(), work, scratch.path());

    // The first load with keep N = 20 trims each history to the newest 20 copies of plan.dwg,
    // at most kMaxDeletesPerTick a tick; the journal then compacts. Every figure after this
    // one is over the trimmed history.
    const int keep = 20;
    UseJournal(largeJournal);
    TickFigures trim = Ticks(large.path(), keep, 10000 / kMaxDeletesPerTick + 10);
    largeJournal = ReadFileBytes(JournalFile());
    printf(
        "trimming ticks (10,000 -> 20 copies of plan.dwg, journal of 20,000 lines, %d deleted a tick): first (journal "
        "load and %d deletes) %.0f ms; left: %zu copies of plan.dwg, %zu of other.dwg; journal now %zu lines, %zu "
        "bytes\n",
        kMaxDeletesPerTick, kMaxDeletesPerTick, trim.first * 1e3, CopiesOf(large.path(), L"plan_"),
        CopiesOf(large.path(), L"other_"), CountLines(largeJournal), largeJournal.size());
    UseJournal(smallJournal);
    trim = Ticks(small.path(), keep, 20);
    smallJournal = ReadFileBytes(JournalFile());
    printf("trimming tick (100 -> 20 copies of plan.dwg): %.0f ms; journal now %zu lines\n", trim.first * 1e3,
           CountLines(smallJournal));
    // The heaviest steady journal: the trimmed one plus 9,980 live records of other drawings,
    // so that it again holds 20,000 live lines (20 of them plan.dwg's).
    std::string fullJournal = largeJournal + OtherDrawingLines(large.path(), work, 9980);

    puts(
        "settings (all: 8 MB drawing, unchanged, so every new copy is deleted again as identical):\n"
        "  off:   everything off, over the trimmed 10,000-history tree\n"
        "  on:    skip identical + keep N = 20, journal after trimming 10,000 + 10,000 journaled copies\n"
        "         (20 of plan.dwg + 10,000 of other.dwg live)\n"
        "  full:  the same with 9,980 more live records of other drawings (20,000 live lines)\n"
        "  small: the same after trimming 100 + 100 journaled copies (20 + 100 live)\n"
        "  first: the first tick of a fresh load of the plug-in, journal load included");
    std::vector<double> off, on, onFirst, full, fullFirst, on100, on100First, floorOff, floorOn;
    const auto run = [&](std::string& journal, const std::wstring& folder, std::vector<double>& steady,
                         std::vector<double>& first) {
        UseJournal(journal);
        const TickFigures f = Ticks(folder, keep, 20);
        journal = ReadFileBytes(JournalFile());
        steady.push_back(f.steady);
        first.push_back(f.first);
        return f;
    };
    // Every other round runs the settings in the other order, so that what one run leaves behind
    // (the file system freeing what it deleted) falls on each side alike.
    std::vector<double> ratios, fastestOff, fastestOn, bareFastestOff, bareFastestOn;
    for (int round = 0; round < 9; ++round) {
        const auto runOff = [&] {
            RemoveJournal();
            return Ticks(large.path(), 0, 20);
        };
        TickFigures a, b, c, d;
        if (round % 2 == 0) a = runOff();
        b = run(largeJournal, large.path(), on, onFirst);
        c = run(fullJournal, large.path(), full, fullFirst);
        d = run(smallJournal, small.path(), on100, on100First);
        if (round % 2 == 1) a = runOff();
        off.push_back(a.steady);
        ratios.push_back(b.steady / a.steady);
        const FloorFigures e = BareFloor(work + L"\\plan.dwg", large.path(), 20);
        floorOff.push_back(e.off);
        floorOn.push_back(e.on);
        fastestOff.push_back(a.fastest);
        fastestOn.push_back(b.fastest);
        bareFastestOff.push_back(e.fastestOff);
        bareFastestOn.push_back(e.fastestOn);
        printf(
            "round %d: off %.2f ms, on %.2f ms (first %.1f ms), full %.2f ms (first %.1f ms), small %.2f ms "
            "(first %.1f ms); bare file work off %.2f ms, on %.2f ms\n",
            round, a.steady * 1e3, b.steady * 1e3, b.first * 1e3, c.steady * 1e3, c.first * 1e3, d.steady * 1e3,
            d.first * 1e3, e.off * 1e3, e.on * 1e3);
    }
    printf(
        "steady tick, 8 MB drawing: housekeeping off %.2f ms, skip-identical + keep N = 20 on %.2f ms, ratio %.3f "
        "(the rounds' own ratios: median %.3f; full: %.2f ms, ratio %.3f)\n",
        Median(off) * 1e3, Median(on) * 1e3, Median(on) / Median(off), Median(ratios), Median(full) * 1e3,
        Median(full) / Median(off));
    printf("  the same file work done bare, without the plug-in: off %.2f ms, on %.2f ms, ratio %.3f\n",
           Median(floorOff) * 1e3, Median(floorOn) * 1e3, Median(floorOn) / Median(floorOff));
    printf(
        "  the fastest ticks of all rounds: off %.2f ms, on %.2f ms, ratio %.3f; bare off %.2f ms, on %.2f ms, ratio "
        "%.3f\n",
        Least(fastestOff) * 1e3, Least(fastestOn) * 1e3, Least(fastestOn) / Least(fastestOff),
        Least(bareFastestOff) * 1e3, Least(bareFastestOn) * 1e3, Least(bareFastestOn) / Least(bareFastestOff));
    printf(
        "first tick after loading, journal load included: on %.1f ms = %.2f x its steady tick; full %.1f ms = "
        "%.2f x; small %.1f ms = %.2f x\n",
        Median(onFirst) * 1e3, Median(onFirst) / Median(on), Median(fullFirst) * 1e3, Median(fullFirst) / Median(full),
        Median(on100First) * 1e3, Median(on100First) / Median(on100));
    printf(
        "steady tick with it on: 10,000-history journal %.2f ms, 100-history journal %.2f ms, ratio %.3f "
        "(full journal: ratio %.3f)\n",
        Median(on) * 1e3, Median(on100) * 1e3, Median(on) / Median(on100), Median(full) / Median(on100));

    puts("pieces of a tick over the journals as the ticks left them (outside the plug-in):");
    TickPieces("on", largeJournal, large.path(), work, scratch.path());
    TickPieces("full", fullJournal, large.path(), work, scratch.path());
    TickPieces("small", smallJournal, small.path(), work, scratch.path());
    puts("one housekeeping step at a time, each call timed (outside the plug-in, same code; 21 steps):");
    TickInside("on", largeJournal, large.path(), work, scratch.path(), 20);
    TickInside("full", fullJournal, large.path(), work, scratch.path(), 20);
    TickInside("small", smallJournal, small.path(), work, scratch.path(), 20);
    const std::wstring copy = large.path() + L"\\piece.dwg";
    std::vector<double> fresh, gone, over;
    for (int i = 0; i < 11; ++i) {
        start = std::chrono::steady_clock::now();
        CopyFileW((work + L"\\plan.dwg").c_str(), copy.c_str(), FALSE);
        fresh.push_back(Seconds(start));
        start = std::chrono::steady_clock::now();
        CopyFileW((work + L"\\plan.dwg").c_str(), copy.c_str(), FALSE);
        over.push_back(Seconds(start));
        start = std::chrono::steady_clock::now();
        DeleteFileW(copy.c_str());
        gone.push_back(Seconds(start));
    }
    CopyFileW((work + L"\\plan.dwg").c_str(), copy.c_str(), FALSE);
    Win32FileTree tree;
    FileDigest digest;
    const double read = MedianOf(11, [&] { tree.DigestFile(copy, digest); });
    DeleteFileW(copy.c_str());
    printf(
        "  the host's save of the 8 MB drawing: CopyFileW to a new file %.2f ms, over the same copy again (what "
        "an off tick at the same minute does) %.2f ms; DeleteFileW of the copy %.2f ms; digest of it %.2f ms\n",
        Median(fresh) * 1e3, Median(over) * 1e3, Median(gone) * 1e3, read * 1e3);
    RemoveJournal();
    ClearSettingsKey();
}

// The 8 MB drawing put in place, and 100 + 100 copies of it seeded and journaled below `folder`
// (10 days), trimmed to 20 copies of plan.dwg by a first load; the journal as the trimming left
// it, or empty when journaling failed.
std::string TrimmedSmallHistory(const std::wstring& folder, const std::wstring& work) {
    const std::string drawing = BigDrawing();
    WriteFileBytes(work + L"\\plan.dwg", drawing);
    SimSetDrawingPath((work + L"\\plan.dwg").c_str());
    std::vector<std::wstring> plan, other;
    SeedHistory(folder, 10, 10, drawing, plan, other);
    RemoveJournal();
    if (!JournalHistory(folder, work, plan, other, 10)) return {};
    UseJournal(ReadFileBytes(JournalFile()));
    Ticks(folder, 20, 20);
    return ReadFileBytes(JournalFile());
}

// The steady tick's ratio alone (skip identical + keep N = 20 on beside everything off) over a
// history of 100 + 100 journaled copies, in alternating rounds; then its parts, timed outside.
void SteadyCost(const std::wstring& work) {
    ScratchDir small(L"C:\\"), scratch(L"C:\\");
    std::string journal = TrimmedSmallHistory(small.path(), work);
    if (journal.empty()) return void(puts("journal seed failed"));
    std::vector<double> off, on, floorOff, floorOn, ratios;
    // Every other round the other way round, as in the housekeeping figures.
    for (int round = 0; round < 9; ++round) {
        for (int side = 0; side < 2; ++side) {
            if ((side == 0) == (round % 2 == 0)) {
                RemoveJournal();
                off.push_back(Ticks(small.path(), 0, 20).steady);
            } else {
                UseJournal(journal);
                on.push_back(Ticks(small.path(), 20, 20).steady);
                journal = ReadFileBytes(JournalFile());
            }
        }
        ratios.push_back(on.back() / off.back());
        const FloorFigures bare = BareFloor(work + L"\\plan.dwg", small.path(), 20);
        floorOff.push_back(bare.off);
        floorOn.push_back(bare.on);
        printf("round %d: off %.2f ms, on %.2f ms; bare file work off %.2f ms, on %.2f ms\n", round, off.back() * 1e3,
               on.back() * 1e3, bare.off * 1e3, bare.on * 1e3);
    }
    printf(
        "steady tick, 8 MB drawing, 100 + 100 copies: off %.2f ms, on %.2f ms, ratio %.3f (the rounds' own ratios: "
        "median %.3f)\n",
        Median(off) * 1e3, Median(on) * 1e3, Median(on) / Median(off), Median(ratios));
    printf("  the same file work done bare, without the plug-in: off %.2f ms, on %.2f ms, ratio %.3f\n",
           Median(floorOff) * 1e3, Median(floorOn) * 1e3, Median(floorOn) / Median(floorOff));
    TickInside("small", journal, small.path(), work, scratch.path(), 20);

    // The file calls of a tick that deletes its identical new copy, by path one call at a time
    // beside through one hold, in alternating rounds over a fresh copy each time.
    const std::wstring day = small.path() + L"\\2026\\12\\09", copy = day + L"\\plan_0905.dwg";
    std::vector<double> byPath, held;
    for (int round = 0; round < 41; ++round) {
        for (int way = 0; way < 2; ++way) {
            CreateDirectoryW(day.c_str(), nullptr);
            CopyFileW((work + L"\\plan.dwg").c_str(), copy.c_str(), FALSE);
            Win32FileTree tree;
            TreeEntry seen;
            FileDigest digest;
            const auto start = std::chrono::steady_clock::now();
            if (way == 0) {
                tree.Stat(small.path(), copy, seen);
                const std::vector<uint64_t> indexes = tree.FolderIndexes(small.path(), copy, 3);
                tree.DigestFile(copy, digest);
                tree.RemoveFile(small.path(), copy, seen);
                tree.RemoveEmptyFolder(small.path(), day, FileIdentity{seen.id.volume, indexes[2]});
            } else {
                const std::unique_ptr<HeldCopy> hold = tree.Hold(small.path(), copy, true);
                hold->Look(seen);
                const std::vector<uint64_t> indexes = hold->FolderIndexes(3);
                hold->Digest(digest);
                hold->Remove(seen);
                hold->RemoveEmptyFolder(day, FileIdentity{seen.id.volume, indexes[2]});
            }
            (way == 0 ? byPath : held).push_back(Seconds(start));
        }
    }
    printf("the file calls of an identical tick: by path %.3f ms, through one hold %.3f ms%s\n", Median(byPath) * 1e3,
           Median(held) * 1e3, PathExists(day) ? " (the day folder stayed!)" : "");
    RemoveJournal();
    ClearSettingsKey();
}

// The journal's pieces over 20,000 made lines alone; then the first tick of a fresh load beside
// the steady ticks after it, over 100 + 100 journaled copies trimmed to 20 with 10,000 made lines
// of other drawings added, in rounds.
void LoadCost(const std::wstring& work) {
    ScratchDir small(L"C:\\"), scratch(L"C:\\");
    puts("the journal's pieces over 20,000 made lines of 100 drawings (no file stands behind them):");
    TickPieces("20,000", OtherDrawingLines(small.path(), work, 20000), small.path(), work, scratch.path());
    std::string bare = TrimmedSmallHistory(small.path(), work);
    if (bare.empty()) return void(puts("journal seed failed"));
    std::string journal = bare + OtherDrawingLines(small.path(), work, 10000);
    const std::size_t lines = CountLines(journal), bareLines = CountLines(bare);
    std::vector<double> first, steady, bareFirst, bareSteady;
    for (int round = 0; round < 7; ++round) {
        UseJournal(journal);
        const TickFigures f = Ticks(small.path(), 20, 10);
        journal = ReadFileBytes(JournalFile());
        UseJournal(bare);
        const TickFigures b = Ticks(small.path(), 20, 10);
        bare = ReadFileBytes(JournalFile());
        first.push_back(f.first);
        steady.push_back(f.steady);
        bareFirst.push_back(b.first);
        bareSteady.push_back(b.steady);
        printf(
            "round %d: first %.1f ms, steady %.2f ms; without the other drawings' lines: first %.1f ms, steady %.2f "
            "ms\n",
            round, f.first * 1e3, f.steady * 1e3, b.first * 1e3, b.steady * 1e3);
    }
    printf(
        "first tick after loading a journal of %zu lines: %.1f ms = %.2f x its steady tick (%.2f ms); over %zu lines: "
        "%.1f ms = %.2f x (%.2f ms)\n",
        lines, Median(first) * 1e3, Median(first) / Median(steady), Median(steady) * 1e3, bareLines,
        Median(bareFirst) * 1e3, Median(bareFirst) / Median(bareSteady), Median(bareSteady) * 1e3);
    RemoveJournal();
    ClearSettingsKey();
}

void StartupCost() {
    WriteSettingSz(L"mIsAutoBackup", L"0");
    WriteSettingDw(L"mTime", 30);
    WriteSettingSz(L"mFolder", L"C:\\Backup");
    WriteSettingDw(L"mMainItemNo", 1);
    LoadedPlugin plugin;
    auto startup = reinterpret_cast<int (*)()>(GetProcAddress(plugin.module, "Startup"));
    const int rounds = 5000;
    double plug = 1e9, bare = 1e9;
    const wchar_t* names[] = {L"mIsAutoBackup", L"mTime",     L"mFolder",  L"mMainItemNo",    L"mSkipIdentical",
                              L"mKeepCount",    L"mKeepDays", L"mThinOut", L"mQuietFailures", L"mRecoveryNotice"};
    for (int repeat = 0; repeat < 5; ++repeat) {
        SimClearCalls();
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < rounds; ++i) startup();
        plug = std::min(plug, Seconds(start) / rounds);
        start = std::chrono::steady_clock::now();
        for (int i = 0; i < rounds; ++i)
            for (const wchar_t* name : names) {
                HKEY key;
                BYTE data[255];
                DWORD size = sizeof data;
                RegOpenKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Quarnstead\\VYL\\Varnholt", 0, KEY_READ, &key);
                RegQueryValueExW(key, name, nullptr, nullptr, data, &size);
                RegCloseKey(key);
            }
        bare = std::min(bare, Seconds(start) / rounds);
    }
    printf("Startup: %.2f us, the same ten registry values read bare %.2f us, ratio %.3f\n", plug * 1e6, bare * 1e6,
           plug / bare);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "all";
    ScratchDir work(L"C:\\");
    WriteFileBytes(work / L"plan.dwg", "a small drawing");
    SimSetDrawingPath((work / L"plan.dwg").c_str());
    ScratchDir backups(L"C:\\");
    ClearSettingsKey();
    if (what == "all" || what == "tick") TickCost(backups.path());
    if (what == "all" || what == "start") StartupCost();
    if (what == "all" || what == "soak") Soak(backups.path(), 100000, 200);
    if (what == "housekeeping") HousekeepingCost(work.path());
    if (what == "steady") SteadyCost(work.path());
    if (what == "load") LoadCost(work.path());
    if (what == "dialogs") Soak(backups.path(), 0, argc > 2 ? atoi(argv[2]) : 1000);
    ClearSettingsKey();
    return 0;
}
