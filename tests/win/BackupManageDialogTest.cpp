// The backup management dialog of the loaded plug-in, opened from the settings dialog and
// driven by control id from inside both modal loops; results read back from the registry,
// the stand-in host's record, the file system and the shell calls the plug-in makes.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include "PluginHarness.h"
#include "WinTestUtil.h"
#include "hostsim/IatHook.h"
#include "hostsim/Screenshot.h"

namespace {

const wchar_t kRestart[] = L"설정값을 적용시키려면 재구동 시키셔야 합니다.";

// What the plug-in asked of the shell when showing a folder. No file window is really opened:
// the test records each request and answers it, the selecting call as a shell with or without
// its object would (Windows has it; some Wine versions answer "class not registered").
struct ShellRequests {
    HRESULT selectAnswer = S_OK;
    std::vector<std::wstring> selected;  // SHOpenFolderAndSelectItems: folder and each item
    std::vector<std::wstring> executed;  // ShellExecuteW: verb, file and arguments
} shell;

std::wstring PathOf(PCIDLIST_ABSOLUTE item) {
    wchar_t path[MAX_PATH] = L"";
    SHGetPathFromIDListW(item, path);
    return path;
}

HRESULT WINAPI RecordSelect(PCIDLIST_ABSOLUTE folder, UINT count, PCUITEMID_CHILD_ARRAY items, DWORD flags) {
    std::wstring request = PathOf(folder) + L"|" + std::to_wstring(flags);
    for (UINT i = 0; i < count; ++i) {
        PIDLIST_ABSOLUTE full = ILCombine(folder, items[i]);
        request += L"|" + PathOf(full);
        ILFree(full);
    }
    shell.selected.push_back(request);
    return shell.selectAnswer;
}
HINSTANCE WINAPI RecordExecute(HWND, LPCWSTR verb, LPCWSTR file, LPCWSTR args, LPCWSTR, INT) {
    shell.executed.push_back(std::wstring(verb ? verb : L"") + L"|" + file + L"|" + (args ? args : L""));
    return reinterpret_cast<HINSTANCE>(42);
}

void Watch(HMODULE module) {
    ControlPluginClockAndTimer(module);
    PatchImport(module, "shell32.dll", "SHOpenFolderAndSelectItems", reinterpret_cast<void*>(RecordSelect));
    PatchImport(module, "shell32.dll", "ShellExecuteW", reinterpret_cast<void*>(RecordExecute));
}

bool HasSetting(const wchar_t* name) {
    DWORD type = 0;
    std::vector<uint8_t> data;
    return ReadSetting(name, type, data);
}

class BackupManageDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearSettingsKey();
        SimReset();
        shell = ShellRequests();
        drawing_ = work_ / L"plan.dwg";
        WriteFileBytes(drawing_, "drawing!");
        SimSetDrawingPath(drawing_.c_str());
        WriteBackupSettings(backups_.path());
        RemoveJournal();
    }
    void TearDown() override {
        ClearSettingsKey();
        RemoveJournal();
    }

    // Copies in stamp order, oldest first; their write times run the other way (the oldest was
    // written last), so that nothing that goes by write time instead of the stamp passes.
    void Seed(bool journaled = true) {
        const wchar_t* const rels[] = {L"2026\\11\\01\\plan_0800.dwg", L"2026\\11\\01\\plan_0900.dwg",
                                       L"202611\\15\\plan_1000.dwg",   L"2026\\1130\\plan_1100.dwg",
                                       L"plan_202612081200.dwg",       L"2026\\12\\08\\plan_1300.dwg",
                                       L"2026\\12\\10\\plan_0800.dwg", L"2026\\12\\08\\other_1300.dwg"};
        const SYSTEMTIME base{2026, 11, 0, 1, 0, 0, 0, 0};
        FILETIME baseTime{};
        SystemTimeToFileTime(&base, &baseTime);
        uint64_t written = uint64_t{baseTime.dwHighDateTime} << 32 | baseTime.dwLowDateTime;
        for (const wchar_t* rel : rels) {
            const std::wstring path = backups_ / rel;
            for (std::size_t p = path.find(L'\\', backups_.path().size() + 1); p != std::wstring::npos;
                 p = path.find(L'\\', p + 1))
                CreateDirectoryW(path.substr(0, p).c_str(), nullptr);
            WriteFileBytes(path, "1234");
            written -= 36000000000ull;  // an hour earlier than the one before
            const FILETIME time{static_cast<DWORD>(written), static_cast<DWORD>(written >> 32)};
            HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time)) << Utf8(path);
            CloseHandle(file);
        }
        // plan.dwg's copies, as the plug-in made them for this drawing.
        std::vector<std::wstring> made;
        for (const wchar_t* rel : rels)
            if (std::wstring(rel).find(L"other") == std::wstring::npos) made.push_back(backups_ / rel);
        if (journaled) EXPECT_TRUE(JournalAsMade(backups_.path(), drawing_, made));
    }

    // Opens the settings dialog, then the management dialog from its new button.
    ModalDriver& OpenBoth(ModalDriver& driver) {
        return driver.Then([this] { return (settings_ = FindSettingsDialog()) != nullptr; })
            .Then([this] { return PostClick(settings_, 12012), true; })
            .Then([this] { return (manage_ = FindManageDialog()) != nullptr; });
    }
    void Run(LoadedPlugin& plugin, ModalDriver& driver) {
        int result = -1;
        driver.Run([&] { result = plugin.Execute(7); });
        EXPECT_EQ(result, 0);
        EXPECT_FALSE(driver.TimedOut()) << driver.TimeoutReport();
        EXPECT_TRUE(driver.Finished());
    }
    // Waits for the management dialog to close, then ends the settings dialog with `button`.
    ModalDriver::Step CloseSettingsWhenManageClosed(int button) {
        return [this, button] {
            if (FindManageDialog()) return false;
            PostClick(settings_, button);
            return true;
        };
    }
    std::wstring Preview() const { return TextOf(GetDlgItem(manage_, 12025)); }
    static int RestartMessages() {
        int n = 0;
        for (int i = 0; i < SimCallCount(); ++i)
            n += SimCallKindAt(i) == SimMessageBox && std::wstring(SimCallTextAt(i)) == kRestart;
        return n;
    }

    ScratchDir work_;
    ScratchDir backups_;
    std::wstring drawing_;
    HWND settings_ = nullptr;
    HWND manage_ = nullptr;
};

TEST_F(BackupManageDialogTest, OpensFromTheNewButtonAllOffAndWritesNothing) {
    ClearSettingsKey();
    SimSetDrawingPath(nullptr);
    LoadedPlugin plugin(Watch);
    ASSERT_EQ(SettingValueCount(), 4);  // what Startup wrote back: the four values alone
    struct {
        HWND owner = nullptr;
        std::wstring caption, count, days, preview, last, skip, thin;
        UINT skipChecked = 9, thinChecked = 9;
    } seen;
    ModalDriver driver;
    OpenBoth(driver)
        .Then([&] {
            seen.owner = GetWindow(manage_, GW_OWNER);
            seen.caption = TextOf(manage_);
            seen.skipChecked = IsDlgButtonChecked(manage_, 12021);
            seen.thinChecked = IsDlgButtonChecked(manage_, 12024);
            seen.skip = TextOf(GetDlgItem(manage_, 12021));
            seen.thin = TextOf(GetDlgItem(manage_, 12024));
            seen.count = TextOf(GetDlgItem(manage_, 12022));
            seen.days = TextOf(GetDlgItem(manage_, 12023));
            seen.preview = Preview();
            seen.last = TextOf(GetDlgItem(manage_, 12026));
            PostClick(manage_, IDOK);
            return true;
        })
        .Then(CloseSettingsWhenManageClosed(IDCANCEL));
    Run(plugin, driver);
    EXPECT_EQ(seen.owner, settings_);
    EXPECT_EQ(seen.caption, L"백업 관리");
    EXPECT_EQ(seen.skipChecked, static_cast<UINT>(BST_UNCHECKED));
    EXPECT_EQ(seen.thinChecked, static_cast<UINT>(BST_UNCHECKED));
    EXPECT_EQ(seen.skip, L"이전 사본과 내용이 같으면 새 사본을 남기지 않음");
    EXPECT_EQ(seen.thin, L"오래된 사본 솎아내기 (하루 지나면 하루에 하나, 30일 지나면 한 주에 하나)");
    EXPECT_EQ(seen.count, L"0");
    EXPECT_EQ(seen.days, L"0");
    EXPECT_EQ(seen.preview, L"열린 도면이 없습니다.");
    EXPECT_EQ(seen.last, L"마지막 백업: 아직 없음");
    EXPECT_EQ(SettingValueCount(), 4);  // opening, OK in the management dialog, Cancel: nothing written
    EXPECT_EQ(SimCountOf(SimMessageBox), 0);
}

TEST_F(BackupManageDialogTest, PreviewFollowsEachBoxAndIsWhatTheNextTickDeletes) {
    Seed();
    LoadedPlugin plugin(Watch);
    std::vector<std::wstring> previews;
    ModalDriver driver;
    const auto type = [&](int id, const wchar_t* text) {
        SetDlgItemTextW(manage_, id, text);
        previews.push_back(Preview());
    };
    OpenBoth(driver).Then([&] {
        previews.push_back(Preview());
        type(12022, L"2");
        type(12022, L"abc");
        type(12022, L"0");
        type(12023, L"10");
        SendDlgItemMessageW(manage_, 12024, BM_CLICK, 0, 0);
        previews.push_back(Preview());
        type(12023, L"-1");
        type(12023, L"0");
        type(12022, L"3");
        SendDlgItemMessageW(manage_, 12032, BM_CLICK, 0, 0);
        PostClick(manage_, IDOK);
        return true;
    });
    driver.Then(CloseSettingsWhenManageClosed(IDOK));
    Run(plugin, driver);
    const std::wstring future = L"\r\n미래 날짜로 찍힌 사본 1개는 지우지 않습니다.";
    const std::wstring invalid = L"보관 개수와 기간에는 0부터 2147483647까지의 정수를 넣으세요.";
    EXPECT_EQ(previews, (std::vector<std::wstring>{
                            L"이 도면의 사본 6개 (24 B) · 다음 백업 때 지워질 사본 0개" + future,
                            L"이 도면의 사본 6개 (24 B) · 다음 백업 때 지워질 사본 5개 (20 B)" + future,
                            invalid,
                            L"이 도면의 사본 6개 (24 B) · 다음 백업 때 지워질 사본 0개" + future,
                            L"이 도면의 사본 6개 (24 B) · 다음 백업 때 지워질 사본 3개 (12 B)" + future,
                            L"이 도면의 사본 6개 (24 B) · 다음 백업 때 지워질 사본 3개 (12 B)" + future,
                            invalid,
                            L"이 도면의 사본 6개 (24 B) · 다음 백업 때 지워질 사본 1개 (4 B)" + future,
                            L"이 도면의 사본 6개 (24 B) · 다음 백업 때 지워질 사본 4개 (16 B)" + future,
                        }));
    // Stored: only what changed, after the four; no restart message for these.
    EXPECT_EQ(SettingDword(L"mKeepCount"), 3u);
    EXPECT_EQ(SettingDword(L"mThinOut"), 1u);
    EXPECT_EQ(SettingDword(L"mQuietFailures"), 1u);
    EXPECT_FALSE(HasSetting(L"mKeepDays"));
    EXPECT_FALSE(HasSetting(L"mSkipIdentical"));
    EXPECT_EQ(RestartMessages(), 0);
    // They reach the running plug-in at once: the next tick deletes the four the preview promised.
    ASSERT_TRUE(RunCapturedTick());
    int copies = 0;
    for (const std::wstring& rel : ListTree(backups_.path()))
        copies += rel.find(L"plan_") != std::wstring::npos && rel.find(L".dwg") != std::wstring::npos;
    EXPECT_EQ(copies, 3 + 1);  // the three kept, with the new one, and the future copy
    EXPECT_TRUE(PathExists(backups_ / L"2026\\12\\10\\plan_0800.dwg"));
    EXPECT_TRUE(PathExists(backups_ / L"2026\\12\\09\\plan_0905.dwg"));
}

// Copies the journal does not know are shown apart and never counted; the user registers them
// explicitly, after a question that names the drawing and the count, and only then do they count.
TEST_F(BackupManageDialogTest, ExistingCopiesCountOnlyOnceTheUserRegistersThem) {
    Seed(false);
    const std::vector<std::wstring> before = ListTree(backups_.path());
    LoadedPlugin plugin(Watch);
    struct {
        BOOL enabledOff = TRUE, enabledOn = FALSE, enabledAfter = TRUE;
        std::wstring before, question, after;
    } seen;
    ModalDriver driver;
    OpenBoth(driver)
        .Then([&] {
            seen.enabledOff = IsWindowEnabled(GetDlgItem(manage_, 12029));
            SetDlgItemTextW(manage_, 12022, L"2");
            seen.enabledOn = IsWindowEnabled(GetDlgItem(manage_, 12029));
            seen.before = Preview();
            PostClick(manage_, 12029);
            return true;
        })
        .Then([&] {
            HWND box = FindMessageBoxWindow();
            if (!box) return false;
            seen.question = TextOf(GetDlgItem(box, 0xFFFF));
            PostClick(box, IDYES);
            return true;
        })
        .Then([&] {
            if (FindMessageBoxWindow()) return false;
            seen.after = Preview();
            seen.enabledAfter = IsWindowEnabled(GetDlgItem(manage_, 12029));
            PostClick(manage_, IDCANCEL);  // registering was an action of its own: Cancel keeps it
            return true;
        })
        .Then(CloseSettingsWhenManageClosed(IDCANCEL));
    Run(plugin, driver);
    EXPECT_FALSE(seen.enabledOff);  // every option off: nothing to register for
    EXPECT_TRUE(seen.enabledOn);
    const std::wstring future = L"\r\n미래 날짜로 찍힌 사본 1개는 지우지 않습니다.";
    EXPECT_EQ(seen.before,
              L"이 도면의 사본 0개 (0 B) · 다음 백업 때 지워질 사본 0개\r\n기록에 없는 같은 이름의 사본 7개는 "
              L"지우지 않습니다");
    EXPECT_EQ(seen.question,
              L"백업 폴더의 기존 사본 7개를 이 도면의 사본으로 등록합니다.\r\n도면: " + drawing_ +
                  L"\r\n\r\n등록한 사본은 다음 백업부터 보관 규칙에 따라 지워질 수 있습니다. 다른 폴더에 "
                  L"있는 같은 이름의 도면 사본은 구별할 수 없어 함께 등록됩니다.\r\n등록할까요?");
    EXPECT_EQ(seen.after, L"이 도면의 사본 6개 (24 B) · 다음 백업 때 지워질 사본 5개 (20 B)" + future);
    EXPECT_FALSE(seen.enabledAfter);
    const std::string journal = ReadFileBytes(JournalFile());
    int adopted = 0;
    for (std::size_t p = 0; (p = journal.find("adopted\t", p)) != std::string::npos; ++p) ++adopted;
    EXPECT_EQ(adopted, 7);
    EXPECT_EQ(journal.find("other_1300"), std::string::npos);
    EXPECT_EQ(ListTree(backups_.path()), before);  // registering deletes nothing
    EXPECT_EQ(SettingValueCount(), 4);
}

// Copies journaled for a same-named drawing in another folder are shown apart and never
// registered: only the copies no line knows are.
TEST_F(BackupManageDialogTest, AnotherDrawingsCopiesAreShownApartAndNeverRegistered) {
    Seed(false);
    const std::wstring other = L"D:\\B\\plan.dwg";
    const std::vector<std::wstring> theirs{backups_ / L"2026\\11\\01\\plan_0800.dwg",
                                           backups_ / L"2026\\11\\01\\plan_0900.dwg",
                                           backups_ / L"202611\\15\\plan_1000.dwg"};
    ASSERT_TRUE(JournalAsMade(backups_.path(), other, theirs));
    const std::string journalBefore = ReadFileBytes(JournalFile());
    LoadedPlugin plugin(Watch);
    std::wstring before, question, after;
    ModalDriver driver;
    OpenBoth(driver)
        .Then([&] {
            SetDlgItemTextW(manage_, 12022, L"2");
            before = Preview();
            PostClick(manage_, 12029);
            return true;
        })
        .Then([&] {
            HWND box = FindMessageBoxWindow();
            if (!box) return false;
            question = TextOf(GetDlgItem(box, 0xFFFF));
            PostClick(box, IDYES);
            return true;
        })
        .Then([&] {
            if (FindMessageBoxWindow()) return false;
            after = Preview();
            PostClick(manage_, IDCANCEL);
            return true;
        })
        .Then(CloseSettingsWhenManageClosed(IDCANCEL));
    Run(plugin, driver);
    const std::wstring apart = L"\r\n다른 도면의 사본 3개는 지우지 않습니다";
    EXPECT_EQ(before,
              L"이 도면의 사본 0개 (0 B) · 다음 백업 때 지워질 사본 0개\r\n기록에 없는 같은 이름의 사본 4개는 "
              L"지우지 않습니다" +
                  apart);
    EXPECT_EQ(question.find(L"백업 폴더의 기존 사본 4개를 이 도면의 사본으로 등록합니다."), 0u);
    EXPECT_EQ(after,
              L"이 도면의 사본 3개 (12 B) · 다음 백업 때 지워질 사본 2개 (8 B)\r\n미래 날짜로 찍힌 사본 1개는 지우지 "
              L"않습니다." +
                  apart);
    const std::string journal = ReadFileBytes(JournalFile());
    ASSERT_EQ(journal.substr(0, journalBefore.size()), journalBefore);  // the other drawing's lines stay as they were
    int adopted = 0;
    for (std::size_t p = 0; (p = journal.find("adopted\t", p)) != std::string::npos; ++p) ++adopted;
    EXPECT_EQ(adopted, 4);
    for (const std::wstring& path : theirs) {
        const std::string name = Utf8(path);
        EXPECT_EQ(journal.find(name), journal.rfind(name)) << name;  // named by their made line alone
    }
}

// Made from the Linux side by tools/make-link-fixture.sh: the drive R:. Its root as the backup
// folder is what the dialog lists, whatever the current folder on R: holds.
TEST_F(BackupManageDialogTest, ADriveRootAsTheBackupFolderIsListedItself) {
    const std::wstring root = L"R:\\";
    ASSERT_TRUE(IsDirectory(root)) << "the fixture is missing: run tools/make-link-fixture.sh in the prefix first";
    const std::vector<std::wstring> copies{root + L"plan_202612081200.dwg", root + L"plan_202612081300.dwg",
                                           root + L"old\\plan_202612081400.dwg"};
    CreateDirectoryW((root + L"old").c_str(), nullptr);
    for (const std::wstring& c : copies) WriteFileBytes(c, "1234");
    WriteBackupSettings(root);
    wchar_t before[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, before);
    SetCurrentDirectoryW((root + L"old").c_str());
    std::wstring preview;
    {
        LoadedPlugin plugin(Watch);
        ModalDriver driver;
        OpenBoth(driver)
            .Then([&] {
                preview = Preview();
                PostClick(manage_, IDCANCEL);
                return true;
            })
            .Then(CloseSettingsWhenManageClosed(IDCANCEL));
        Run(plugin, driver);
    }
    SetCurrentDirectoryW(before);
    for (const std::wstring& c : copies) DeleteFileW(c.c_str());
    RemoveDirectoryW((root + L"old").c_str());
    EXPECT_EQ(preview, L"이 도면의 사본 2개 (8 B) · 다음 백업 때 지워질 사본 0개");
}

TEST_F(BackupManageDialogTest, ValuesThatAreNotCountsBringAPromptAndKeepTheDialogOpen) {
    LoadedPlugin plugin(Watch);
    for (int box : {12022, 12023}) {
        for (const wchar_t* bad : {L"abc", L"-1", L""}) {
            SCOPED_TRACE(testing::Message() << box << " " << Utf8(bad));
            std::wstring prompt;
            int focus = 0;
            bool open = false;
            ModalDriver driver;
            OpenBoth(driver)
                .Then([&] {
                    SetDlgItemTextW(manage_, box, bad);
                    PostClick(manage_, IDOK);
                    return true;
                })
                .Then([&] {
                    HWND box = FindMessageBoxWindow();
                    if (!box) return false;
                    prompt = TextOf(GetDlgItem(box, 0xFFFF));
                    PostMessageW(box, WM_COMMAND, IDOK, 0);
                    return true;
                })
                .Then([&] {
                    if (FindMessageBoxWindow()) return false;
                    focus = GetDlgCtrlID(GetFocus());
                    open = FindManageDialog() == manage_;
                    PostClick(manage_, IDCANCEL);
                    return true;
                })
                .Then(CloseSettingsWhenManageClosed(IDOK));
            Run(plugin, driver);
            EXPECT_NE(prompt.find(L"integer"), std::wstring::npos) << Utf8(prompt);
            EXPECT_EQ(focus, box);
            EXPECT_TRUE(open);
            EXPECT_EQ(SettingValueCount(), 4);
        }
    }
}

TEST_F(BackupManageDialogTest, OnlyTheSettingsDialogsOkStoresAndTheRestartMessageFollowsTheFour) {
    LoadedPlugin plugin(Watch);
    const auto session = [&](bool settingsOk, const wchar_t* interval) {
        SimClearCalls();
        ModalDriver driver;
        OpenBoth(driver)
            .Then([&] {
                SetDlgItemTextW(manage_, 12023, L"30");
                SendDlgItemMessageW(manage_, 12021, BM_CLICK, 0, 0);
                PostClick(manage_, IDOK);
                return true;
            })
            .Then([&] {
                if (FindManageDialog()) return false;
                if (interval) SetDlgItemTextW(settings_, 12003, interval);
                PostClick(settings_, settingsOk ? IDOK : IDCANCEL);
                return true;
            });
        Run(plugin, driver);
    };
    session(false, nullptr);
    EXPECT_EQ(SettingValueCount(), 4);
    session(true, nullptr);
    EXPECT_EQ(SettingValueCount(), 6);
    EXPECT_EQ(SettingDword(L"mKeepDays"), 30u);
    EXPECT_EQ(SettingDword(L"mSkipIdentical"), 1u);
    EXPECT_EQ(RestartMessages(), 0);
    session(true, L"20");  // the check box goes off again; the interval changes too
    EXPECT_EQ(SettingDword(L"mSkipIdentical"), 0u);
    EXPECT_EQ(SettingDword(L"mTime"), 20u);
    EXPECT_EQ(RestartMessages(), 1);
}

TEST_F(BackupManageDialogTest, LastBackupLineAfterSavedSkippedPrunedAndFailedTicks) {
    Seed();  // six copies before 12-09 14:30 and one at 12-10 08:00
    WriteSettingDw(L"mSkipIdentical", 1);
    WriteSettingDw(L"mKeepCount", 7);
    LoadedPlugin plugin(Watch);
    const auto lastLine = [&] {
        std::wstring line;
        ModalDriver driver;
        OpenBoth(driver).Then([&] {
            line = TextOf(GetDlgItem(manage_, 12026));
            PostClick(manage_, IDCANCEL);
            return true;
        });
        driver.Then(CloseSettingsWhenManageClosed(IDCANCEL));
        Run(plugin, driver);
        return line;
    };
    SetPluginClock(2026, 12, 9, 14, 30);
    ASSERT_TRUE(RunCapturedTick());  // seven copies with the new one: none goes, and no count is shown
    EXPECT_EQ(lastLine(), L"마지막 백업: 2026-12-09 14:30\r\n" + (backups_ / L"2026\\12\\09\\plan_1430.dwg"));
    SetPluginClock(2026, 12, 9, 14, 40);
    ASSERT_TRUE(RunCapturedTick());
    EXPECT_EQ(lastLine(), L"마지막 백업: 2026-12-09 14:40 이전 사본과 같아 새 사본을 남기지 않음\r\n" +
                              (backups_ / L"2026\\12\\09\\plan_1430.dwg"));
    // Nine copies now (the one at 08:00 is no longer in the future): the two of 11-01 go.
    WriteFileBytes(drawing_, "drawing changed");
    SetPluginClock(2026, 12, 10, 9, 0);
    ASSERT_TRUE(RunCapturedTick());
    EXPECT_EQ(lastLine(), L"마지막 백업: 2026-12-10 09:00 (오래된 사본 2개 지움)\r\n" +
                              (backups_ / L"2026\\12\\10\\plan_0900.dwg"));
    WriteFileBytes(backups_ / L"2027", "a file where the year folder goes");
    SetPluginClock(2027, 1, 1, 0, 0);
    ASSERT_TRUE(RunCapturedTick());
    EXPECT_EQ(lastLine(), L"마지막 백업 실패: 2027-01-01 00:00\r\n" + (backups_ / L"2027\\01\\01\\plan_0000.dwg"));
}

BOOL CALLBACK CountVisible(HWND window, LPARAM count) {
    *reinterpret_cast<int*>(count) += IsWindowVisible(window) ? 1 : 0;
    return TRUE;
}
int VisibleTopLevelWindows() {
    int count = 0;
    EnumWindows(CountVisible, reinterpret_cast<LPARAM>(&count));
    return count;
}

TEST_F(BackupManageDialogTest, PreviewAndOpenFolderForACopyNoCopyNoFolderAndAFile) {
    Seed();
    LoadedPlugin plugin(Watch);
    ScratchDir empty;
    const std::wstring missing = empty / L"gone\\";  // named as the settings dialog shows it, separator and all
    const std::wstring file = work_ / L"notes.txt";
    WriteFileBytes(file, "not a folder");
    const std::wstring day = backups_ / L"2026\\12\\08";
    const std::wstring newest = day + L"\\plan_1300.dwg";  // by stamp; the future copy is passed over
    const std::wstring today = backups_ / L"2026\\12\\09";
    const std::wstring made = today + L"\\plan_0900.dwg";
    const std::wstring seeded =
        L"이 도면의 사본 6개 (24 B) · 다음 백업 때 지워질 사본 0개\r\n미래 날짜로 찍힌 사본 1개는 지우지 않습니다.";
    const std::wstring unreadable = L"백업 폴더를 읽을 수 없습니다: ";
    const struct {
        const char* what;
        std::wstring folder;
        bool makeCopy;  // a newer copy appears after the dialog opened (it stays: later rows look elsewhere)
        HRESULT selectAnswer;
        std::vector<std::wstring> selected, executed;
        std::wstring preview, note;
    } cases[] = {
        {"a copy", backups_.path(), false, S_OK, {day + L"|0|" + newest}, {}, seeded, L""},
        {"a copy, no shell object",
         backups_.path(),
         false,
         REGDB_E_CLASSNOTREG,
         {day + L"|0|" + newest},
         {L"open|explorer.exe|/select,\"" + newest + L"\""},
         seeded,
         L""},
        {"a copy made while the dialog is open", backups_.path(), true, S_OK, {today + L"|0|" + made}, {}, seeded, L""},
        {"no copy",
         empty.path(),
         false,
         S_OK,
         {},
         {L"open|explorer.exe|\"" + empty.path() + L"\""},
         L"이 도면의 사본 0개 (0 B) · 다음 백업 때 지워질 사본 0개",
         L""},
        {"no folder", missing, false, S_OK, {}, {}, unreadable + missing, L"백업 폴더가 없습니다: " + missing},
        {"a file", file, false, S_OK, {}, {}, unreadable + file, L"백업 폴더가 없습니다: " + file},
    };
    const int windowsBefore = VisibleTopLevelWindows();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteSettingSz(L"mFolder", c.folder);
        shell = ShellRequests();
        shell.selectAnswer = c.selectAnswer;
        std::wstring preview, note;
        ModalDriver driver;
        OpenBoth(driver)
            .Then([&] {
                preview = Preview();
                if (c.makeCopy) {
                    CreateDirectoryW(today.c_str(), nullptr);
                    WriteFileBytes(made, "1234");
                }
                PostClick(manage_, 12027);
                return true;
            })
            .Then([&] {
                note = TextOf(GetDlgItem(manage_, 12028));
                PostClick(manage_, IDCANCEL);
                return true;
            });
        driver.Then(CloseSettingsWhenManageClosed(IDCANCEL));
        Run(plugin, driver);
        EXPECT_EQ(preview, c.preview);
        EXPECT_EQ(shell.selected, c.selected);
        EXPECT_EQ(shell.executed, c.executed);
        EXPECT_EQ(note, c.note);
        EXPECT_EQ(VisibleTopLevelWindows(), windowsBefore);  // nothing left open
    }
}

// Saves what the management dialog shows as a BMP beside the tests.
TEST_F(BackupManageDialogTest, ScreenshotOfTheDialog) {
    Seed();
    WriteSettingDw(L"mKeepCount", 3);
    WriteSettingDw(L"mThinOut", 1);
    LoadedPlugin plugin(Watch);
    ASSERT_TRUE(RunCapturedTick());
    bool saved = false;
    int ticks = 0;
    ModalDriver driver;
    OpenBoth(driver).Then([&] {
        if (++ticks < 20) return false;
        saved = SaveWindowScreenshot(manage_, L"backup-manage-dialog.bmp");
        PostClick(manage_, IDCANCEL);
        return true;
    });
    driver.Then(CloseSettingsWhenManageClosed(IDCANCEL));
    Run(plugin, driver);
    EXPECT_TRUE(saved);
}

}  // namespace
