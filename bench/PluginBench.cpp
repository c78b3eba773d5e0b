// Soak and cost figures for the loaded Varnholt.dll under Wine:
//   soak  - 100,000 ticks and 200 settings-dialog cycles in one process: memory, handles, GDI objects
//   dialogs N - N settings-dialog cycles alone, with figures every 200
//   tick  - one tick of the plug-in beside the bare platform calls it cannot avoid
//   start - Startup with settings present beside bare reads of the registry values it reads
//   housekeeping - steady ticks with skip-identical and keep-N on beside ticks with everything off
//                  (8 MB drawing, 10,000 copies of it and 10,000 of another drawing over 1,000 day
//                  folders), the first scan, and the steady tick at 10,000 copies beside 100
#include <windows.h>
#include <psapi.h>

#include <time.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <algorithm>

#include "backup/BackupPath.h"
#include "backup/CopyName.h"
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
// other.dwg; the newest copy of plan.dwg holds `newest`, the rest one byte each.
void SeedHistory(const std::wstring& folder, int days, int perDay, const std::string& newest) {
    const int64_t last = StampMinutes(CivilStamp{2026, 12, 8, 0, 0});
    for (int d = 0; d < days; ++d) {
        const CivilStamp day = StampFromMinutes(last - static_cast<int64_t>(d) * kMinutesPerDay);
        const std::wstring year = folder + L"\\" + FormatPadded(day.year, 4);
        const std::wstring month = year + L"\\" + FormatPadded(day.month, 2);
        const std::wstring dayFolder = month + L"\\" + FormatPadded(day.day, 2);
        CreateDirectoryW(year.c_str(), nullptr);
        CreateDirectoryW(month.c_str(), nullptr);
        CreateDirectoryW(dayFolder.c_str(), nullptr);
        for (int k = 0; k < perDay; ++k) {
            const std::wstring hhmm = FormatPadded(8 + k, 2) + L"00";
            WriteFileBytes(dayFolder + L"\\plan_" + hhmm + L".dwg", d == 0 && k == perDay - 1 ? newest : "x");
            WriteFileBytes(dayFolder + L"\\other_" + hhmm + L".dwg", "x");
        }
    }
}

struct TickFigures {
    double first = 0;   // seconds, the first tick after loading (with housekeeping on: the scan)
    double steady = 0;  // seconds per tick, median of the ticks after it
};

// Loads the plug-in on `folder` and runs `ticks` + 1 ticks at 2026-12-09 09:05, the drawing unchanged.
TickFigures Ticks(const std::wstring& folder, bool housekeeping, int ticks) {
    ClearSettingsKey();
    WriteSettingSz(L"mIsAutoBackup", L"1");
    WriteSettingDw(L"mTime", 10);
    WriteSettingSz(L"mFolder", folder);
    WriteSettingDw(L"mMainItemNo", 1);
    if (housekeeping) {
        WriteSettingDw(L"mSkipIdentical", 1);
        WriteSettingDw(L"mKeepCount", 1000000);  // on, but above the history: nothing else goes
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
    f.steady = times[times.size() / 2];
    return f;
}

// Lists every folder below `folder` with the same call the plug-in uses; returns the entries seen.
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

void HousekeepingCost(const std::wstring& work) {
    std::string drawing(8 << 20, '\0');
    uint32_t seed = 1;
    for (char& c : drawing) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
    WriteFileBytes(work + L"\\big.dwg", drawing);
    SimSetDrawingPath((work + L"\\plan.dwg").c_str());
    CopyFileW((work + L"\\big.dwg").c_str(), (work + L"\\plan.dwg").c_str(), FALSE);
    ScratchDir large(L"C:\\"), small(L"C:\\");
    auto start = std::chrono::steady_clock::now();
    SeedHistory(large.path(), 1000, 10, drawing);
    SeedHistory(small.path(), 10, 10, drawing);
    printf("seeded 20,000 + 200 copies in %.1f s\n", Seconds(start));
    std::vector<double> off, on, on100, scan, scan100;
    for (int round = 0; round < 5; ++round) {
        const TickFigures a = Ticks(large.path(), false, 20);
        const TickFigures b = Ticks(large.path(), true, 20);
        const TickFigures c = Ticks(small.path(), true, 20);
        off.push_back(a.steady);
        on.push_back(b.steady);
        on100.push_back(c.steady);
        scan.push_back(b.first);
        scan100.push_back(c.first);
        printf("round %d: off %.2f ms, on %.2f ms (first %.1f ms), on at 100 copies %.2f ms (first %.1f ms)\n", round,
               a.steady * 1e3, b.steady * 1e3, b.first * 1e3, c.steady * 1e3, c.first * 1e3);
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    printf(
        "steady tick, 8 MB drawing, 10,000 + 10,000 copies: housekeeping off %.2f ms, skip-identical + keep-N on "
        "%.2f ms, ratio %.3f\n",
        median(off) * 1e3, median(on) * 1e3, median(on) / median(off));
    printf("steady tick with it on: 10,000 copies %.2f ms, 100 copies %.2f ms, ratio %.3f\n", median(on) * 1e3,
           median(on100) * 1e3, median(on) / median(on100));
    printf("first tick after loading (scan and first read): 10,000 copies %.1f ms, 100 copies %.1f ms\n",
           median(scan) * 1e3, median(scan100) * 1e3);
    std::vector<double> walks;
    std::size_t entries = 0;
    for (int i = 0; i < 5; ++i) {
        start = std::chrono::steady_clock::now();
        entries = BareWalk(large.path());
        walks.push_back(Seconds(start));
    }
    printf("bare listing of the same tree (%zu entries): %.1f ms\n", entries, median(walks) * 1e3);
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
    const wchar_t* names[] = {L"mIsAutoBackup",  L"mTime",      L"mFolder",   L"mMainItemNo",
                              L"mSkipIdentical", L"mKeepCount", L"mKeepDays", L"mThinOut"};
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
    printf("Startup: %.2f us, the same eight registry values read bare %.2f us, ratio %.3f\n", plug * 1e6, bare * 1e6,
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
    if (what == "dialogs") Soak(backups.path(), 0, argc > 2 ? atoi(argv[2]) : 1000);
    ClearSettingsKey();
    return 0;
}
