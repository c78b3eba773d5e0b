// The notice after a crash through the loaded Varnholt.dll: a host process that loads the
// plug-in, backs up and then ends without unloading it (TerminateProcess on itself), run as a
// child of the test, then hosts started after it in this process.
#include <gtest/gtest.h>

#include <windows.h>

#include "PluginHarness.h"
#include "WinTestUtil.h"

namespace {

const wchar_t kChildVariable[] = L"VARNHOLT_RECOVERY_CHILD";
const wchar_t kDrawingVariable[] = L"VARNHOLT_RECOVERY_DRAWING";
constexpr UINT kCrashed = 77;

std::wstring Variable(const wchar_t* name) {
    wchar_t value[1024] = L"";
    const DWORD n = GetEnvironmentVariableW(name, value, 1024);
    return n > 0 && n < 1024 ? value : L"";
}

void ClickStep(HWND& dialog, int id) { SendDlgItemMessageW(dialog, id, BM_CLICK, 0, 0); }

// What the child host does, by the variable's value: "crash" backs up at 14:30 and ends
// without unloading; "clean" does the same and unloads; "midway" backs up once with the
// notice off, turns it on in the management dialog, backs up again at 14:40 and ends.
TEST(RecoveryChild, Run) {
    const std::wstring what = Variable(kChildVariable);
    if (what.empty()) GTEST_SKIP() << "run by the notice tests as a host of its own";
    SimReset();
    SimSetDrawingPath(Variable(kDrawingVariable).c_str());
    auto plugin = std::make_unique<LoadedPlugin>(ControlPluginClockAndTimer);
    SetPluginClock(2026, 12, 9, 14, 30);
    ASSERT_TRUE(RunCapturedTick());
    if (what == L"midway") {
        HWND settings = nullptr, manage = nullptr;
        ModalDriver driver;
        driver.Then([&] { return (settings = FindSettingsDialog()) != nullptr; })
            .Then([&] { return PostClick(settings, 12012), true; })
            .Then([&] { return (manage = FindManageDialog()) != nullptr; })
            .Then([&] {
                ClickStep(manage, 12031);
                PostClick(manage, IDOK);
                return true;
            })
            .Then([&] { return !FindManageDialog() && (PostClick(settings, IDOK), true); });
        driver.Run([&] { plugin->Execute(7); });
        ASSERT_TRUE(driver.Finished()) << driver.TimeoutReport();
        SetPluginClock(2026, 12, 9, 14, 40);
        ASSERT_TRUE(RunCapturedTick());
    }
    if (what != L"clean") TerminateProcess(GetCurrentProcess(), kCrashed);
    plugin.reset();
}

class RecoveryNoticeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearSettingsKey();
        RemoveJournal();
        SimReset();
        WriteBackupSettings(backups_.path());
        WriteFileBytes(drawing_, "drawing bytes");
        SetWrittenAt(drawing_, kDrawingTime);
    }
    void TearDown() override {
        ClearSettingsKey();
        RemoveJournal();
    }
    // Runs the child host; its exit code.
    DWORD RunChild(const wchar_t* what) {
        wchar_t exe[MAX_PATH];
        GetModuleFileNameW(nullptr, exe, MAX_PATH);
        std::wstring command = L"\"" + std::wstring(exe) + L"\" --gtest_filter=RecoveryChild.Run";
        SetEnvironmentVariableW(kChildVariable, what);
        SetEnvironmentVariableW(kDrawingVariable, drawing_.c_str());
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        const BOOL started = CreateProcessW(exe, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
        SetEnvironmentVariableW(kChildVariable, nullptr);
        if (!started) return 0xFFFFFFFF;
        WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        // The handle stays open until the test ends: the child's process can still be opened
        // by its id, as a host that exited can be under Wine.
        child_ = pi.hProcess;
        CloseHandle(pi.hThread);
        return code;
    }
    ~RecoveryNoticeTest() override {
        if (child_) CloseHandle(child_);
    }
    static void SetWrittenAt(const std::wstring& path, uint64_t ticks) {
        const HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        FILETIME t{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
        EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &t));
        CloseHandle(file);
    }
    // What a host start shows: the boxes and the recovery lines of the message line.
    struct Shown {
        std::vector<std::wstring> boxes, lines;
    };
    static Shown Start() {
        SimReset();
        LoadedPlugin plugin;
        Shown shown;
        for (int i = 0; i < SimCallCount(); ++i) {
            const std::wstring text = SimCallTextAt(i) ? SimCallTextAt(i) : L"";
            if (SimCallKindAt(i) == SimMessageBox) shown.boxes.push_back(text);
            if (SimCallKindAt(i) == SimPutMessage && text.rfind(L"[복구]", 0) == 0) shown.lines.push_back(text);
        }
        return shown;
    }
    std::wstring Copy(const wchar_t* time) const {
        return backups_ / (std::wstring(L"2026\\12\\09\\평면도_") + time + L".dwg");
    }

    static constexpr uint64_t kDrawingTime = 134093000000000000u;
    static constexpr uint64_t kMinute = 600000000u;
    ScratchDir projects_, backups_;
    const std::wstring drawing_ = projects_ / L"평면도.dwg";
    HANDLE child_ = nullptr;
};

TEST_F(RecoveryNoticeTest, AHostThatEndedWithoutUnloadingIsToldOfOnceAtTheNextStart) {
    WriteSettingDw(L"mRecoveryNotice", 1);
    ASSERT_EQ(RunChild(L"crash"), kCrashed);
    ASSERT_TRUE(PathExists(Copy(L"1430")));
    // The copy carries the drawing's time (the stand-in host copies the file); the drawing is
    // then left as it was 40 minutes and 59 seconds before it.
    SetWrittenAt(drawing_, kDrawingTime - 40 * kMinute - 59 * 10000000u);
    const Shown first = Start();
    ASSERT_EQ(first.boxes.size(), 1u);
    EXPECT_EQ(first.boxes[0], L"CAD가 지난번에 비정상 종료되었습니다. 최근 백업 사본:\r\n" + drawing_ + L" → " +
                                  Copy(L"1430") +
                                  L" (2026-12-09 14:30, 원본보다 40분 뒤)\r\n설정 → 백업 관리 → 사본 목록에서 원본 "
                                  L"옆에 복사할 수 있습니다.");
    EXPECT_EQ(first.lines, (std::vector<std::wstring>{L"[복구] " + drawing_ + L" → " + Copy(L"1430")}));
    const Shown third = Start();
    EXPECT_TRUE(third.boxes.empty());
    EXPECT_TRUE(third.lines.empty());
}

TEST_F(RecoveryNoticeTest, ACleanUnloadOrADrawingSavedAfterItsCopyBringsNoNotice) {
    WriteSettingDw(L"mRecoveryNotice", 1);
    ASSERT_EQ(RunChild(L"clean"), 0u);
    EXPECT_TRUE(Start().boxes.empty());

    ASSERT_EQ(RunChild(L"crash"), kCrashed);
    SetWrittenAt(drawing_, kDrawingTime + kMinute);  // the user saved the drawing after the copy
    EXPECT_TRUE(Start().boxes.empty());
    // Reported all the same: a later start names nothing either, the drawing's time put back.
    SetWrittenAt(drawing_, kDrawingTime);
    EXPECT_TRUE(Start().boxes.empty());
}

TEST_F(RecoveryNoticeTest, TheSwitchTurnedOnMidwayCoversTheCopiesMadeFromThenOn) {
    ASSERT_EQ(RunChild(L"midway"), kCrashed);
    EXPECT_EQ(SettingDword(L"mRecoveryNotice"), 1u);
    const Shown shown = Start();
    EXPECT_EQ(shown.lines, (std::vector<std::wstring>{L"[복구] " + drawing_ + L" → " + Copy(L"1440")}));
    EXPECT_EQ(shown.boxes.size(), 1u);
}

}  // namespace
