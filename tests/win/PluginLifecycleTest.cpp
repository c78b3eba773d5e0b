// Startup, the handlers, the backup timer and unloading, through the loaded Varnholt.dll.
// The library's SetTimer and KillTimer imports are watched (and the interval shortened
// where a test needs ticks), as the stand-in host does.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>
#include <time.h>

#include "PluginHarness.h"
#include "WinTestUtil.h"
#include "backup/BackupPath.h"
#include "hostsim/IatHook.h"

namespace {

struct SetCall {
    HWND window;
    UINT_PTR id;
    UINT ms;
    UINT_PTR result;
};
struct KillCall {
    HWND window;
    UINT_PTR id;
    BOOL result;
};

std::vector<SetCall> setCalls;
std::vector<KillCall> killCalls;
UINT runEveryMs = 0;  // 0: pass the plug-in's interval on
bool failSetTimer = false;
decltype(&SetTimer) realSetTimer = nullptr;
decltype(&KillTimer) realKillTimer = nullptr;

UINT_PTR WINAPI WatchedSetTimer(HWND window, UINT_PTR id, UINT ms, TIMERPROC proc) {
    const UINT_PTR result = failSetTimer ? 0 : realSetTimer(window, id, runEveryMs ? runEveryMs : ms, proc);
    setCalls.push_back({window, id, ms, result});
    return result;
}

BOOL WINAPI WatchedKillTimer(HWND window, UINT_PTR id) {
    const BOOL result = realKillTimer(window, id);
    killCalls.push_back({window, id, result});
    return result;
}

void WatchTimers(HMODULE module) {
    realSetTimer = reinterpret_cast<decltype(&SetTimer)>(
        PatchImport(module, "user32.dll", "SetTimer", reinterpret_cast<void*>(WatchedSetTimer)));
    realKillTimer = reinterpret_cast<decltype(&KillTimer)>(
        PatchImport(module, "user32.dll", "KillTimer", reinterpret_cast<void*>(WatchedKillTimer)));
}

bool SettingsKeyExists() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Quarnstead\\VYL\\Varnholt", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void StoreSettings(const wchar_t* autoBackup, DWORD minutes, const std::wstring& folder, DWORD pattern) {
    WriteSettingSz(L"mIsAutoBackup", autoBackup);
    WriteSettingDw(L"mTime", minutes);
    WriteSettingSz(L"mFolder", folder);
    WriteSettingDw(L"mMainItemNo", pattern);
}

class PluginLifecycleTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearSettingsKey();
        SimReset();
        setCalls.clear();
        killCalls.clear();
        runEveryMs = 0;
        failSetTimer = false;
        drawing_ = work_ / L"plan.dwg";
        WriteFileBytes(drawing_, "drawing");
        SimSetDrawingPath(drawing_.c_str());
    }
    void TearDown() override { ClearSettingsKey(); }

    ScratchDir work_;
    ScratchDir backups_;
    std::wstring drawing_;
};

TEST_F(PluginLifecycleTest, RefusedRegistrationLoadsNothingAndStartsNoTimer) {
    StoreSettings(L"1", 30, L"C:\\", 1);
    for (int refused : {0, -5}) {
        SimSetRegisterResult(refused);
        ClearSettingsKey();
        setCalls.clear();
        killCalls.clear();
        {
            LoadedPlugin plugin(WatchTimers);
            ASSERT_NE(plugin.module, nullptr);
            EXPECT_EQ(plugin.startupResult, -1);
            EXPECT_FALSE(SettingsKeyExists());  // no load, so no defaults written back
        }
        EXPECT_TRUE(setCalls.empty());
        EXPECT_TRUE(killCalls.empty());
    }
}

TEST_F(PluginLifecycleTest, AutoBackupOffStartsNoTimerButLoadsTheDefaults) {
    for (int accepted : {1, 7}) {
        SimSetRegisterResult(accepted);
        {
            LoadedPlugin plugin(WatchTimers);
            EXPECT_EQ(plugin.startupResult, 0);
        }
        EXPECT_TRUE(setCalls.empty());
        EXPECT_TRUE(killCalls.empty());
        EXPECT_EQ(SettingText(L"mIsAutoBackup"), L"0");
        EXPECT_EQ(SettingDword(L"mTime"), 30u);
    }
}

TEST_F(PluginLifecycleTest, TimerIntervalIsClampedAndTheTimerKilledAtUnload) {
    const struct {
        int minutes;
        UINT ms;
    } cases[] = {
        {30, 1800000u}, {1, 60000u}, {0, 60000u}, {-5, 60000u}, {71583, 0x7FFFFFFFu}, {2147483647, 0x7FFFFFFFu},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.minutes);
        setCalls.clear();
        killCalls.clear();
        StoreSettings(L"1", static_cast<DWORD>(c.minutes), backups_.path(), 1);
        {
            LoadedPlugin plugin(WatchTimers);
            EXPECT_EQ(plugin.startupResult, 0);
            ASSERT_EQ(setCalls.size(), 1u);
            EXPECT_EQ(setCalls[0].window, nullptr);  // a thread timer, never on a host window
            EXPECT_EQ(setCalls[0].id, 1u);
            EXPECT_EQ(setCalls[0].ms, c.ms);
            EXPECT_NE(setCalls[0].result, 0u);
            EXPECT_TRUE(killCalls.empty());
        }
        ASSERT_EQ(killCalls.size(), 1u);
        EXPECT_EQ(killCalls[0].window, nullptr);
        EXPECT_EQ(killCalls[0].id, setCalls[0].result);
        EXPECT_TRUE(killCalls[0].result);
    }
}

TEST_F(PluginLifecycleTest, FailedSetTimerStillStartsAndKillsNothing) {
    StoreSettings(L"1", 30, backups_.path(), 1);
    failSetTimer = true;
    {
        LoadedPlugin plugin(WatchTimers);
        EXPECT_EQ(plugin.startupResult, 0);
        EXPECT_EQ(setCalls.size(), 1u);
    }
    EXPECT_TRUE(killCalls.empty());
}

TEST_F(PluginLifecycleTest, SecondStartupKeepsTheOneTimer) {
    StoreSettings(L"1", 30, backups_.path(), 1);
    {
        LoadedPlugin plugin(WatchTimers);
        auto startup = reinterpret_cast<int (*)()>(GetProcAddress(plugin.module, "Startup"));
        EXPECT_EQ(startup(), 0);
        EXPECT_EQ(setCalls.size(), 1u);
    }
    ASSERT_EQ(killCalls.size(), 1u);
    EXPECT_EQ(killCalls[0].id, setCalls[0].result);
}

TEST_F(PluginLifecycleTest, InitialisationHandlerRepeatsItsThreeCalls) {
    LoadedPlugin plugin;
    SimClearCalls();
    for (int round = 0; round < 2; ++round) EXPECT_EQ(SimInitHandler()(), 0);
    ASSERT_EQ(SimCallCount(), 6);
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(SimCallKindAt(3 * round), SimEventMask);
        EXPECT_EQ(SimCallValueAt(3 * round), 0x20000);
        EXPECT_EQ(SimCallKindAt(3 * round + 1), SimPutMessage);
        EXPECT_EQ(std::wstring(SimCallTextAt(3 * round + 1)), L"설정값을 변경하시려면 종료버튼을 누르세요.");
        EXPECT_EQ(SimCallKindAt(3 * round + 2), SimSetExecute);
        EXPECT_EQ(std::wstring(SimCallTextAt(3 * round + 2)), L"");
    }
    EXPECT_FALSE(SimSecondHandler()());
    SimThirdHandler()();
    EXPECT_EQ(SimCallCount(), 6);
}

TEST_F(PluginLifecycleTest, TicksBackUpAndNothingFiresAfterUnload) {
    StoreSettings(L"1", 30, backups_.path(), 4);
    runEveryMs = 20;
    {
        LoadedPlugin plugin(WatchTimers);
        ASSERT_TRUE(PumpUntil([] { return SimCountOf(SimSave) >= 2; }));
    }
    ASSERT_EQ(killCalls.size(), 1u);
    EXPECT_TRUE(killCalls[0].result);
    const int saves = SimCountOf(SimSave);
    // Pump for many times the interval: a timer left behind would call into unloaded code.
    int spins = 0;
    PumpUntil([&] { return ++spins > 60; });
    EXPECT_EQ(SimCountOf(SimSave), saves);
    EXPECT_FALSE(ListTree(backups_.path()).empty());
}

// A visible, active host window must not change which timer unloading kills: the one made
// without a window, by the id SetTimer gave it. A timer left behind would fire into the
// unloaded library, so its messages are looked for here and never dispatched.
TEST_F(PluginLifecycleTest, UnloadWhileAHostWindowIsActiveKillsTheTimerItMade) {
    HWND host = CreateWindowExW(0, L"STATIC", L"host window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200,
                                nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(host, nullptr);
    SetForegroundWindow(host);
    SetActiveWindow(host);
    ASSERT_EQ(GetActiveWindow(), host);
    StoreSettings(L"1", 30, backups_.path(), 4);
    runEveryMs = 20;
    {
        LoadedPlugin plugin(WatchTimers);
        ASSERT_TRUE(PumpUntil([] { return SimCountOf(SimSave) >= 1; }));
        EXPECT_EQ(GetActiveWindow(), host);
    }
    ASSERT_EQ(setCalls.size(), 1u);
    ASSERT_EQ(killCalls.size(), 1u);
    EXPECT_EQ(killCalls[0].window, nullptr);
    EXPECT_EQ(killCalls[0].id, setCalls[0].result);
    EXPECT_TRUE(killCalls[0].result);
    const int saves = SimCountOf(SimSave);
    const UINT_PTR watchdog = SetTimer(nullptr, 0, 10, nullptr);
    int watchdogTicks = 0, strayTicks = 0;
    MSG msg;
    while (watchdogTicks < 30 && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr && msg.wParam == setCalls[0].result) {
            // Its procedure went with the library: never dispatched, and killed so that it
            // cannot reach the next tests.
            ++strayTicks;
            KillTimer(nullptr, msg.wParam);
            continue;
        }
        if (msg.message == WM_TIMER && msg.hwnd == nullptr && msg.wParam == watchdog) ++watchdogTicks;
        DispatchMessageW(&msg);
    }
    KillTimer(nullptr, watchdog);
    EXPECT_EQ(strayTicks, 0);
    EXPECT_EQ(SimCountOf(SimSave), saves);
    DestroyWindow(host);
}

TEST_F(PluginLifecycleTest, SwitchingAutoBackupInTheDialogActsOnlyAtTheNextStart) {
    StoreSettings(L"1", 30, backups_.path(), 4);
    runEveryMs = 20;
    {
        LoadedPlugin plugin(WatchTimers);
        HWND dialog = nullptr;
        ModalDriver driver;
        driver.Then([&] { return (dialog = FindSettingsDialog()) != nullptr; }).Then([&] {
            SendDlgItemMessageW(dialog, 12000, BM_CLICK, 0, 0);  // off
            PostClick(dialog, IDOK);
            return true;
        });
        driver.Run([&] { plugin.Execute(7); });
        EXPECT_TRUE(driver.Finished());
        EXPECT_EQ(SettingText(L"mIsAutoBackup"), L"0");
        const int saves = SimCountOf(SimSave);
        EXPECT_TRUE(PumpUntil([&] { return SimCountOf(SimSave) >= saves + 2; }));  // the timer goes on
        EXPECT_EQ(setCalls.size(), 1u);
    }
    setCalls.clear();
    {
        LoadedPlugin plugin(WatchTimers);  // the next start: off
        EXPECT_TRUE(setCalls.empty());
        HWND dialog = nullptr;
        ModalDriver driver;
        driver.Then([&] { return (dialog = FindSettingsDialog()) != nullptr; }).Then([&] {
            SendDlgItemMessageW(dialog, 12000, BM_CLICK, 0, 0);  // on
            PostClick(dialog, IDOK);
            return true;
        });
        driver.Run([&] { plugin.Execute(7); });
        EXPECT_EQ(SettingText(L"mIsAutoBackup"), L"1");
        EXPECT_TRUE(setCalls.empty());  // no timer until the next start
    }
}

// From a clean registry: the dialog switches automatic backup on and chooses a folder
// and pattern 4; after a restart the copies appear in that layout.
TEST_F(PluginLifecycleTest, EndToEndFromTheDialogToCopiesOnDisk) {
    ScratchDir folder(L"C:\\");
    {
        LoadedPlugin plugin(WatchTimers);
        EXPECT_TRUE(setCalls.empty());
        HWND dialog = nullptr;
        ModalDriver driver;
        driver.Then([&] { return (dialog = FindSettingsDialog()) != nullptr; })
            .Then([&] {
                SendDlgItemMessageW(dialog, 12000, BM_CLICK, 0, 0);
                SetDlgItemTextW(dialog, 12003, L"5");
                ClickPatternRow(dialog, 3);
                PostClick(dialog, 12001);
                return true;
            })
            .Then(ConfirmFolderInBrowser(folder.path()))
            .Then([&] {
                if (FindFolderBrowser()) return false;
                PostClick(dialog, IDOK);
                return true;
            });
        driver.Run([&] { plugin.Execute(7); });
        EXPECT_TRUE(driver.Finished());
    }
    runEveryMs = 20;
    DateStamp before, after;
    std::tm t{};
    __time64_t now = _time64(nullptr);
    _localtime64_s(&t, &now);
    FormatDateStamp(before, &t);
    {
        LoadedPlugin plugin(WatchTimers);
        ASSERT_EQ(setCalls.size(), 1u);
        EXPECT_EQ(setCalls[0].ms, 300000u);
        ASSERT_TRUE(PumpUntil([] { return SimCountOf(SimSave) >= 1; }));
    }
    now = _time64(nullptr);
    _localtime64_s(&t, &now);
    FormatDateStamp(after, &t);
    std::wstring t1, t2;
    ComposeTargetPath(folder.path(), drawing_, 4, before, t1);
    ComposeTargetPath(folder.path(), drawing_, 4, after, t2);
    const std::vector<std::wstring> files = ListTree(folder.path());
    ASSERT_EQ(files.size(), 1u);
    const std::wstring copy = folder / files[0];
    EXPECT_TRUE(copy == t1 || copy == t2) << Utf8(copy);
    EXPECT_EQ(ReadFileBytes(copy), "drawing");
}

}  // namespace
