// One backup run through RunBackup itself, against the stand-in host and Wine's file system.
#include <gtest/gtest.h>

#include <time.h>

#include "PluginHarness.h"
#include "WinTestUtil.h"
#include "backup/BackupRun.h"
#include "hostsim/IatHook.h"
#include "hostsim/VylSim.h"
#include "settings/PluginState.h"
#include "ui/BackupManageDlg.h"

namespace {

const std::string kDrawing = "drawing bytes \x01\x02\x03 end";

class BackupRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        SimReset();
        drawing_ = work_ / L"plan.dwg";
        WriteFileBytes(drawing_, kDrawing);
        SimSetDrawingPath(drawing_.c_str());
        PluginSettings() = BackupSettings{0, 30, backup_.path(), 1};
    }
    void TearDown() override { PluginSettings() = BackupSettings(); }

    // Runs one tick and returns the target it saved to, checked against the
    // stamps read just before and just after the run (so a minute boundary in
    // between cannot make the test fail).
    std::wstring RunAndExpectTarget(const std::wstring& folder, int pattern) {
        DateStamp before, after;
        FillDateStamp(before);
        RunBackup(nullptr, WM_TIMER, 1, 0);
        FillDateStamp(after);
        std::wstring t1, t2;
        ComposeTargetPath(folder, drawing_, pattern, before, t1);
        ComposeTargetPath(folder, drawing_, pattern, after, t2);
        EXPECT_EQ(SimCountOf(SimSave), 1);
        const std::wstring saved = SaveTarget();
        EXPECT_TRUE(saved == t1 || saved == t2) << Utf8(saved) << " vs " << Utf8(t1);
        return saved;
    }

    static std::wstring SaveTarget() {
        for (int i = 0; i < SimCallCount(); ++i)
            if (SimCallKindAt(i) == SimSave) return SimCallTextAt(i);
        return L"";
    }

    ScratchDir work_;
    ScratchDir backup_;
    std::wstring drawing_;
};

TEST_F(BackupRunTest, EachPatternWritesARealCopyIntoItsFolders) {
    const int depth[] = {3, 2, 2, 0};
    for (int pattern = 1; pattern <= 4; ++pattern) {
        SCOPED_TRACE(pattern);
        SimReset();
        SimSetDrawingPath(drawing_.c_str());
        PluginSettings().mMainItemNo = pattern;
        const std::wstring target = RunAndExpectTarget(backup_.path(), pattern);
        EXPECT_EQ(SimCallValueAt(SimCallCount() - 1), 0);
        EXPECT_EQ(SimCountOf(SimMessageBox), 0);
        EXPECT_EQ(ReadFileBytes(target), kDrawing);
        // The date folders between the backup folder and the copy exist.
        std::wstring rest = target.substr(backup_.path().size() + 1);
        EXPECT_EQ(std::count(rest.begin(), rest.end(), L'\\'), depth[pattern - 1]);
        EXPECT_TRUE(IsDirectory(target.substr(0, target.rfind(L'\\'))));
    }
}

TEST_F(BackupRunTest, TrailingBackslashesAndMissingDottedFolders) {
    // The folders along the path are created, including those whose names hold a dot.
    const std::wstring folder = backup_ / L"Data.old\\Backup\\\\";
    PluginSettings().mFolder = folder;
    const std::wstring target = RunAndExpectTarget(folder, 1);
    EXPECT_EQ(target.rfind(backup_ / L"Data.old\\Backup\\", 0), 0u);
    EXPECT_EQ(ReadFileBytes(target), kDrawing);
    EXPECT_EQ(SimCountOf(SimMessageBox), 0);
}

TEST_F(BackupRunTest, FailedSaveShowsExactlyOneMessageWithTheTarget) {
    WriteFileBytes(backup_ / L"blocker", "not a folder");
    const std::wstring folder = backup_ / L"blocker\\sub";
    PluginSettings().mFolder = folder;
    const std::wstring target = RunAndExpectTarget(folder, 1);
    ASSERT_EQ(SimCountOf(SimMessageBox), 1);
    EXPECT_EQ(SimCallKindAt(SimCallCount() - 1), SimMessageBox);
    EXPECT_EQ(std::wstring(SimCallTextAt(SimCallCount() - 1)), L"[오류]" + target + L" 에 저장할수 없습니다.");
    EXPECT_EQ(ListTree(backup_.path()), std::vector<std::wstring>{L"blocker"});
}

// Warn once: with the switch on, a run of failed saves shows one box, then the message line,
// and the save that works again says so; with it off, every failure has its box.
TEST_F(BackupRunTest, FailuresInARowShowOneBoxWhenAskedAndTheRecoveryIsSaid) {
    WriteFileBytes(backup_ / L"blocker", "not a folder");
    const std::wstring good = backup_.path(), bad = backup_ / L"blocker\\sub";
    const bool F = false, ok = true;
    const bool ticks[] = {ok, F, F, F, F, F, ok, F};
    PluginSettings().mFolder = good;
    RunBackup(nullptr, WM_TIMER, 1, 0);  // whatever earlier tests left: a run of failures ends here
    for (int quiet : {1, 0}) {
        SCOPED_TRACE(quiet ? "switch on" : "switch off");
        PluginHousekeeping().mQuietFailures = quiet;
        std::vector<std::wstring> expected, seen, lastLines;
        for (bool works : ticks) {
            PluginSettings().mFolder = works ? good : bad;
            SimClearCalls();
            RunBackup(nullptr, WM_TIMER, 1, 0);
            const std::wstring target = SaveTarget();
            const int before = static_cast<int>(lastLines.size());
            for (int i = 0; i < SimCallCount(); ++i)
                if (SimCallKindAt(i) == SimMessageBox || SimCallKindAt(i) == SimPutMessage)
                    seen.push_back((SimCallKindAt(i) == SimMessageBox ? L"box " : L"line ") +
                                   std::wstring(SimCallTextAt(i)));
            // What the user should see for this tick.
            const bool afterFailure = before > 0 && lastLines.back() != L"ok";
            const std::wstring failure = L"[오류]" + target + L" 에 저장할수 없습니다.";
            if (!works) expected.push_back((quiet && afterFailure ? L"line " : L"box ") + failure);
            if (works && quiet && afterFailure) expected.push_back(L"line [백업] 다시 저장되었습니다: " + target);
            lastLines.push_back(works ? L"ok" : LastBackupText());
        }
        EXPECT_EQ(seen, expected);
        // The last-backup line counts the failures in a row from the second on, switch or not.
        const std::wstring stamp = StampText(LastBackupOutcome().stamp);
        const std::wstring one = L"마지막 백업 실패: ", five = L"마지막 백업 실패 (연속 5회): ";
        EXPECT_EQ(lastLines[1].substr(0, one.size()), one);
        EXPECT_EQ(lastLines[5].substr(0, five.size()), five);
        EXPECT_EQ(lastLines[7], L"마지막 백업 실패: " + stamp + L"\r\n" + SaveTarget());
    }
    PluginHousekeeping() = HousekeepingSettings();
}

// A tick with no drawing open tries no save: a run of failures goes on through it, and the
// message-line texts stay readable where the host kept their pointers.
TEST_F(BackupRunTest, ATickWithoutADrawingLeavesARunOfFailuresAndTheLinesStay) {
    WriteFileBytes(backup_ / L"blocker", "not a folder");
    PluginSettings().mFolder = backup_.path();
    RunBackup(nullptr, WM_TIMER, 1, 0);  // whatever earlier tests left: a run of failures ends here
    PluginHousekeeping().mQuietFailures = 1;
    PluginSettings().mFolder = backup_ / L"blocker\\sub";
    SimClearCalls();
    RunBackup(nullptr, WM_TIMER, 1, 0);  // the first failure: its box
    SimSetDrawingPath(nullptr);
    RunBackup(nullptr, WM_TIMER, 1, 0);
    SimSetDrawingPath(drawing_.c_str());
    for (int i = 0; i < 3; ++i) RunBackup(nullptr, WM_TIMER, 1, 0);  // later failures: the message line
    PluginSettings().mFolder = backup_.path();
    RunBackup(nullptr, WM_TIMER, 1, 0);
    EXPECT_EQ(SimCountOf(SimMessageBox), 1);
    EXPECT_EQ(SimCountOf(SimPutMessage), 4);
    for (int i = 0; i < SimCallCount(); ++i)
        if (SimCallKindAt(i) == SimPutMessage) EXPECT_STREQ(SimCallPointerAt(i), SimCallTextAt(i));
    PluginHousekeeping() = HousekeepingSettings();
}

TEST_F(BackupRunTest, NothingHappensWithoutDrawingFileNameOrPattern) {
    const struct {
        const wchar_t* drawing;
        bool null;
        int pattern;
    } cases[] = {
        {L"", false, 1},     {nullptr, true, 1},        {nullptr, false, 0},  // the real drawing, pattern 0
        {nullptr, false, 5}, {L"C:\\work\\", false, 1}, {L"C:\\work\\...", false, 2},
    };
    for (const auto& c : cases) {
        SimReset();
        if (c.null)
            SimSetDrawingPath(nullptr);
        else
            SimSetDrawingPath(c.drawing ? c.drawing : drawing_.c_str());
        PluginSettings().mMainItemNo = c.pattern;
        RunBackup(nullptr, WM_TIMER, 1, 0);
        EXPECT_EQ(SimCallCount(), 1) << c.pattern;  // only the path was asked for
        EXPECT_EQ(SimCallKindAt(0), SimGetDrawingPath);
        EXPECT_TRUE(ListTree(backup_.path()).empty());
    }
}

// While the failure box of one run is open, the next tick arrives (the box's modal
// loop dispatches the timer). That tick must be skipped, not stack another box.
int nestedCallsSeen = -1;
void TickInsideMessageBox(const wchar_t*) {
    const int before = SimCallCount();
    RunBackup(nullptr, WM_TIMER, 1, 0);
    nestedCallsSeen = SimCallCount() - before;
}

TEST_F(BackupRunTest, TickDuringTheFailureBoxIsSkipped) {
    WriteFileBytes(backup_ / L"blocker", "x");
    PluginSettings().mFolder = backup_ / L"blocker";
    SimSetMessageBoxHook(TickInsideMessageBox);
    nestedCallsSeen = -1;
    RunBackup(nullptr, WM_TIMER, 1, 0);
    EXPECT_EQ(nestedCallsSeen, 0);
    EXPECT_EQ(SimCountOf(SimMessageBox), 1);

    // Once the run is over, the next tick runs normally again.
    SimSetMessageBoxHook(nullptr);
    PluginSettings().mFolder = backup_.path();
    RunBackup(nullptr, WM_TIMER, 1, 0);
    EXPECT_EQ(SimCountOf(SimSave), 2);
    EXPECT_EQ(SimCallValueAt(SimCallCount() - 1), 0);
}

TEST_F(BackupRunTest, HostileInputGivesAClearOutcomeAndNoStrayWrites) {
    std::wstring garbage;
    unsigned seed = 12345;
    for (int i = 0; i < 600; ++i) {
        seed = seed * 1103515245u + 12345u;
        garbage += static_cast<wchar_t>(1 + (seed >> 8) % 0xD7FF);  // NUL-free, no surrogates
    }
    const std::wstring longFolder = backup_ / std::wstring(300, L'f');
    const struct {
        std::wstring drawing;
        std::wstring folder;
    } cases[] = {
        {L"C:\\w\\" + std::wstring(32760, L'a') + L".dwg", backup_.path()},
        {drawing_, longFolder},
        {garbage, backup_.path()},
        {L"C:\\w\\a:b*c?.dwg", backup_.path()},
    };
    for (const auto& c : cases) {
        SimReset();
        SimSetDrawingPath(c.drawing.c_str());
        PluginSettings().mFolder = c.folder;
        RunBackup(nullptr, WM_TIMER, 1, 0);
        // Either nothing is asked of the host, or the save is asked for and a failure reported once.
        const int saves = SimCountOf(SimSave);
        ASSERT_LE(saves, 1);
        const int boxes = SimCountOf(SimMessageBox);
        int failed = 0;
        for (int i = 0; i < SimCallCount(); ++i) failed += SimCallKindAt(i) == SimSave && SimCallValueAt(i) == -1;
        EXPECT_EQ(boxes, failed);
    }
    // Nothing was written beside the work and backup folders.
    EXPECT_EQ(ListTree(work_.path()), std::vector<std::wstring>{L"plan.dwg"});
    for (const std::wstring& entry : ListTree(backup_.path())) EXPECT_EQ(entry.rfind(L"20", 0), 0u) << Utf8(entry);
}

// The clock RunBackup reads (through this executable's import of _time64), set by the test.
__time64_t fixedNow = 0;
__time64_t __cdecl FixedTime64(__time64_t* out) {
    if (out) *out = fixedNow;
    return fixedNow;
}

// The Windows tests run in UTC+9 (TZ=KST-9 from CTest): a stamp taken from UTC, or on a
// 12-hour clock, names these copies differently.
TEST_F(BackupRunTest, StampIsLocalTimeOnTheTwentyFourHourClock) {
    TIME_ZONE_INFORMATION zone{};
    GetTimeZoneInformation(&zone);
    const __time64_t epoch = 0;
    std::tm local{};
    _localtime64_s(&local, &epoch);
    ASSERT_TRUE(zone.Bias == -540 && local.tm_hour == 9)
        << "this test needs the zone UTC+9 (run it with TZ=KST-9); the process sees a bias of " << zone.Bias
        << " minutes and the local hour " << local.tm_hour << " at 00:00 UTC";

    void* realTime64 =
        PatchImport(GetModuleHandleW(nullptr), "msvcrt.dll", "_time64", reinterpret_cast<void*>(FixedTime64));
    ASSERT_NE(realTime64, nullptr);
    const struct {
        __time64_t utc;
        int pattern;
        const wchar_t* target;
    } cases[] = {
        {1735618030, 1, L"2024\\12\\31\\plan_1307.dwg"},  // 2024-12-31 04:07:10 UTC
        {1735657170, 1, L"2024\\12\\31\\plan_2359.dwg"},  // 2024-12-31 14:59:30 UTC
        {1735657170, 4, L"plan_202412312359.dwg"},
        {1735657205, 2, L"202501\\01\\plan_0000.dwg"},  // 2024-12-31 15:00:05 UTC
    };
    for (const auto& c : cases) {
        SimReset();
        SimSetDrawingPath(drawing_.c_str());
        PluginSettings().mMainItemNo = c.pattern;
        fixedNow = c.utc;
        RunBackup(nullptr, WM_TIMER, 1, 0);
        EXPECT_EQ(SaveTarget(), backup_ / c.target);
        EXPECT_EQ(ReadFileBytes(backup_ / c.target), kDrawing) << Utf8(c.target);
    }
    PatchImport(GetModuleHandleW(nullptr), "msvcrt.dll", "_time64", realTime64);
}

TEST(DirectoryChainWin, CountsAttemptsAndCreatesFolders) {
    ScratchDir root;
    const std::wstring target = root / L"x.y\\2024\\03\\plan_0905.dwg";
    // Drive, the folders of the temporary path, then x.y, 2024, 03.
    std::wstring forward = target;
    for (auto& ch : forward)
        if (ch == L'\\') ch = L'/';
    bool madeLast = false;
    EXPECT_EQ(MakeDirectoryChain(target, &madeLast),
              static_cast<int>(std::count(forward.begin(), forward.end(), L'/')));
    EXPECT_TRUE(madeLast);
    EXPECT_TRUE(IsDirectory(root / L"x.y\\2024\\03"));
    EXPECT_FALSE(PathExists(root / L"x.y\\2024\\03\\plan_0905.dwg"));
    MakeDirectoryChain(target, &madeLast);
    EXPECT_FALSE(madeLast);  // there already
}

TEST(DateStampWin, FieldsHaveTheirWidths) {
    DateStamp s;
    EXPECT_EQ(FillDateStamp(s), 1);
    EXPECT_EQ(s.mYear.size(), 4u);
    for (const std::wstring* f : {&s.mMonth, &s.mDay, &s.mHour, &s.mMinute, &s.mSecond}) EXPECT_EQ(f->size(), 2u);
}

// A save reported as done that left an empty copy: the last-backup line says so, and the
// good copy before it stays even with keep 1.
TEST_F(BackupRunTest, AnEmptyCopyIsShownAsSuchAndDisplacesNothing) {
    RemoveJournal();
    PluginHousekeeping().mKeepCount = 1;
    RunBackup(nullptr, WM_TIMER, 1, 0);
    const std::wstring good = SaveTarget();
    WriteFileBytes(drawing_, "");
    SimClearCalls();
    PluginSettings().mMainItemNo = 4;
    RunBackup(nullptr, WM_TIMER, 1, 0);
    const std::wstring empty = SaveTarget();
    EXPECT_EQ(LastBackupText(), L"마지막 백업: " + StampText(LastBackupOutcome().stamp) + L" 빈 사본\r\n" + empty);
    EXPECT_EQ(ReadFileBytes(good), kDrawing);
    EXPECT_EQ(ReadFileBytes(empty), "");
    PluginHousekeeping() = HousekeepingSettings();
    RemoveJournal();
}

}  // namespace
