// The settings command and dialog of the loaded plug-in, driven by control id from
// inside the dialog's modal loop; results read back from the registry and the host's record.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>

#include "PluginHarness.h"
#include "hostsim/IatHook.h"
#include "hostsim/Screenshot.h"
#include "WinTestUtil.h"

namespace {

const wchar_t kRestart[] = L"설정값을 적용시키려면 재구동 시키셔야 합니다.";

// The plug-in's calls to the shell's folder browser, observed through its imports and passed on.
struct BrowserCalls {
    std::vector<UINT> flags;                 // BROWSEINFOW.ulFlags of each browse
    std::vector<PIDLIST_ABSOLUTE> returned;  // what each browse returned (null: cancelled)
    std::vector<void*> freed;                // every CoTaskMemFree
} browser;
decltype(&SHBrowseForFolderW) realBrowse = nullptr;
decltype(&CoTaskMemFree) realFree = nullptr;

PIDLIST_ABSOLUTE WINAPI WatchedBrowse(LPBROWSEINFOW info) {
    browser.flags.push_back(info->ulFlags);
    PIDLIST_ABSOLUTE item = realBrowse(info);
    browser.returned.push_back(item);
    return item;
}
void WINAPI WatchedFree(void* p) {
    browser.freed.push_back(p);
    realFree(p);
}
void WatchBrowser(HMODULE module) {
    browser = BrowserCalls();
    realBrowse = reinterpret_cast<decltype(&SHBrowseForFolderW)>(
        PatchImport(module, "shell32.dll", "SHBrowseForFolderW", reinterpret_cast<void*>(WatchedBrowse)));
    realFree = reinterpret_cast<decltype(&CoTaskMemFree)>(
        PatchImport(module, "ole32.dll", "CoTaskMemFree", reinterpret_cast<void*>(WatchedFree)));
}
// Every browse asked for file-system folders only, and every item list it returned was released once.
void ExpectBrowsesReleased(std::size_t browses) {
    EXPECT_EQ(browser.flags, std::vector<UINT>(browses, BIF_RETURNONLYFSDIRS));
    ASSERT_EQ(browser.returned.size(), browses);
    for (PIDLIST_ABSOLUTE item : browser.returned)
        if (item) EXPECT_EQ(std::count(browser.freed.begin(), browser.freed.end(), item), 1) << item;
}

class SettingsDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearSettingsKey();
        SimReset();
    }
    void TearDown() override { ClearSettingsKey(); }

    // Opens the dialog with code 7, plays `driver` inside it and expects it to finish.
    void RunDialog(LoadedPlugin& plugin, ModalDriver& driver) {
        int result = -1;
        driver.Run([&] { result = plugin.Execute(7); });
        EXPECT_EQ(result, 0);
        EXPECT_FALSE(driver.TimedOut()) << driver.TimeoutReport();
        EXPECT_TRUE(driver.Finished());
    }
    static int RestartMessages() {
        int n = 0;
        for (int i = 0; i < SimCallCount(); ++i)
            n += SimCallKindAt(i) == SimMessageBox && std::wstring(SimCallTextAt(i)) == kRestart;
        return n;
    }
    static int SelectedRow(HWND dialog) {
        return static_cast<int>(SendDlgItemMessageW(dialog, 12011, LVM_GETNEXTITEM, -1, LVNI_SELECTED));
    }
    static HBITMAP Picture(HWND dialog) {
        return reinterpret_cast<HBITMAP>(SendDlgItemMessageW(dialog, 12010, STM_GETIMAGE, IMAGE_BITMAP, 0));
    }

    HWND dialog_ = nullptr;
    ModalDriver::Step WaitForDialog() {
        return [this] { return (dialog_ = FindSettingsDialog()) != nullptr; };
    }
};

TEST_F(SettingsDialogTest, OpensWithDefaultsOnAnEmptyRegistryAndCancelKeepsOnlyThem) {
    LoadedPlugin plugin;
    ASSERT_NE(plugin.module, nullptr);
    ClearSettingsKey();  // Startup wrote the defaults; the dialog must do it again
    struct Seen {
        int checked = -1;
        std::wstring interval, folder, headers[2], rows[4][2];
        int columnWidths[2] = {};
        int selected = -2, mark = -2, focusedId = 0;
        BOOL folderEnabled = TRUE, headerEnabled = TRUE;
        DWORD extended = 0, style = 0;
        BITMAP picture{};
    } seen;
    ModalDriver driver;
    driver.Then(WaitForDialog()).Then([&] {
        HWND list = GetDlgItem(dialog_, 12011);
        seen.checked = static_cast<int>(IsDlgButtonChecked(dialog_, 12000));
        seen.interval = TextOf(GetDlgItem(dialog_, 12003));
        seen.folder = TextOf(GetDlgItem(dialog_, 12002));
        seen.folderEnabled = IsWindowEnabled(GetDlgItem(dialog_, 12002));
        seen.headerEnabled = IsWindowEnabled(reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0)));
        seen.extended = static_cast<DWORD>(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
        seen.style = static_cast<DWORD>(GetWindowLongPtrW(list, GWL_STYLE));
        seen.selected = SelectedRow(dialog_);
        seen.mark = static_cast<int>(SendMessageW(list, LVM_GETSELECTIONMARK, 0, 0));
        seen.focusedId = GetDlgCtrlID(GetFocus());
        GetObjectW(Picture(dialog_), sizeof seen.picture, &seen.picture);
        for (int c = 0; c < 2; ++c) {
            wchar_t text[64] = L"";
            LVCOLUMNW column{};
            column.mask = LVCF_TEXT | LVCF_WIDTH;
            column.pszText = text;
            column.cchTextMax = 64;
            SendMessageW(list, LVM_GETCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
            seen.headers[c] = text;
            seen.columnWidths[c] = column.cx;
        }
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 2; ++c) {
                wchar_t text[128] = L"";
                LVITEMW item{};
                item.iSubItem = c;
                item.pszText = text;
                item.cchTextMax = 128;
                SendMessageW(list, LVM_GETITEMTEXTW, r, reinterpret_cast<LPARAM>(&item));
                seen.rows[r][c] = text;
            }
        PostClick(dialog_, IDCANCEL);
        return true;
    });
    RunDialog(plugin, driver);

    EXPECT_EQ(seen.checked, BST_UNCHECKED);
    EXPECT_EQ(seen.interval, L"30");
    EXPECT_EQ(seen.folder, L"C:\\");
    EXPECT_FALSE(seen.folderEnabled);
    EXPECT_FALSE(seen.headerEnabled);
    EXPECT_EQ(seen.extended, static_cast<DWORD>(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT));
    EXPECT_TRUE(seen.style & LVS_SHOWSELALWAYS);
    EXPECT_EQ(seen.selected, 0);
    EXPECT_EQ(seen.mark, 0);
    EXPECT_EQ(seen.focusedId, 12011);
    EXPECT_EQ(seen.picture.bmWidth, 206);
    EXPECT_EQ(seen.picture.bmHeight, 169);
    EXPECT_EQ(seen.headers[0], L"구분");
    EXPECT_EQ(seen.headers[1], L"백업방식");
    EXPECT_EQ(seen.columnWidths[0], 50);
    EXPECT_EQ(seen.columnWidths[1], 220);
    const wchar_t* rows[4][2] = {{L"01", L"[패턴A] Year-Month-Day"},
                                 {L"02", L"[패턴B] YearMonth-Day"},
                                 {L"03", L"[패턴C] Year-MonthDay"},
                                 {L"04", L"[패턴D] 파일명_YearMonthDayHourMinute"}};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 2; ++c) EXPECT_EQ(seen.rows[r][c], rows[r][c]) << r << "," << c;

    // Cancel saved nothing but the defaults the load wrote back, and showed nothing.
    EXPECT_EQ(SettingText(L"mIsAutoBackup"), L"0");
    EXPECT_EQ(SettingDword(L"mTime"), 30u);
    EXPECT_EQ(SettingText(L"mFolder"), L"C:\\");
    EXPECT_EQ(SettingDword(L"mMainItemNo"), 1u);
    EXPECT_EQ(SimCountOf(SimMessageBox), 0);
}

TEST_F(SettingsDialogTest, OtherCodesReturnThreeAndTouchNothing) {
    LoadedPlugin plugin;
    ClearSettingsKey();
    for (int code : {0, 6, 8, -7, 1 << 30}) {
        EXPECT_EQ(plugin.Execute(code), 3);
        EXPECT_EQ(FindSettingsDialog(), nullptr);
    }
    HKEY key;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Quarnstead\\VYL\\Varnholt", 0, KEY_READ, &key),
              ERROR_SUCCESS);
}

TEST_F(SettingsDialogTest, OkWithoutChangesSavesAllFourAndShowsNoMessage) {
    WriteSettingSz(L"mIsAutoBackup", L"1");
    WriteSettingDw(L"mTime", 12);
    WriteSettingSz(L"mFolder", L"C:\\백업");
    WriteSettingDw(L"mMainItemNo", 4);
    LoadedPlugin plugin;
    ClearSettingsKey();
    WriteSettingSz(L"mIsAutoBackup", L"1");
    WriteSettingDw(L"mTime", 12);
    WriteSettingSz(L"mFolder", L"C:\\백업");
    WriteSettingDw(L"mMainItemNo", 4);
    ModalDriver driver;
    driver.Then(WaitForDialog()).Then([&] { return PostClick(dialog_, IDOK), true; });
    RunDialog(plugin, driver);
    EXPECT_EQ(RestartMessages(), 0);
    EXPECT_EQ(SettingText(L"mIsAutoBackup"), L"1");
    EXPECT_EQ(SettingDword(L"mTime"), 12u);
    EXPECT_EQ(SettingText(L"mFolder"), L"C:\\백업");
    EXPECT_EQ(SettingDword(L"mMainItemNo"), 4u);
}

TEST_F(SettingsDialogTest, ChangesShowTheRestartMessageExactlyOnce) {
    LoadedPlugin plugin;  // record: the defaults
    {
        SCOPED_TRACE("only a row click");
        SimClearCalls();
        ModalDriver driver;
        HBITMAP shown = nullptr;
        driver.Then(WaitForDialog()).Then([&] {
            ClickPatternRow(dialog_, 2);
            shown = Picture(dialog_);
            BITMAP b{};
            GetObjectW(shown, sizeof b, &b);
            EXPECT_EQ(b.bmHeight, 148);
            EXPECT_EQ(SelectedRow(dialog_), 2);
            PostClick(dialog_, IDOK);
            return true;
        });
        RunDialog(plugin, driver);
        EXPECT_EQ(RestartMessages(), 1);
        EXPECT_EQ(SettingDword(L"mMainItemNo"), 3u);
    }
    {
        SCOPED_TRACE("interval, folder case, auto backup and pattern");
        SimClearCalls();
        WriteSettingSz(L"mFolder", L"c:\\");  // differs from the record only in case
        ModalDriver driver;
        driver.Then(WaitForDialog()).Then([&] {
            SetDlgItemTextW(dialog_, 12003, L"-5");
            SendDlgItemMessageW(dialog_, 12000, BM_CLICK, 0, 0);
            ClickPatternRow(dialog_, 3);
            PostClick(dialog_, IDOK);
            return true;
        });
        RunDialog(plugin, driver);
        EXPECT_EQ(RestartMessages(), 1);
        EXPECT_EQ(SimCountOf(SimMessageBox), 1);
        EXPECT_EQ(SettingDword(L"mTime"), static_cast<DWORD>(-5));
        EXPECT_EQ(SettingText(L"mIsAutoBackup"), L"1");
        EXPECT_EQ(SettingText(L"mFolder"), L"c:\\");
        EXPECT_EQ(SettingDword(L"mMainItemNo"), 4u);
    }
    {
        SCOPED_TRACE("opening again shows what was saved; OK unchanged is silent");
        SimClearCalls();
        std::wstring interval;
        int selected = -2;
        UINT checked = 0;
        ModalDriver driver;
        driver.Then(WaitForDialog()).Then([&] {
            interval = TextOf(GetDlgItem(dialog_, 12003));
            selected = SelectedRow(dialog_);
            checked = IsDlgButtonChecked(dialog_, 12000);
            PostClick(dialog_, IDOK);
            return true;
        });
        RunDialog(plugin, driver);
        EXPECT_EQ(interval, L"-5");
        EXPECT_EQ(selected, 3);
        EXPECT_EQ(checked, static_cast<UINT>(BST_CHECKED));
        EXPECT_EQ(RestartMessages(), 0);
    }
}

TEST_F(SettingsDialogTest, OnlyAMouseClickOnARowChangesThePattern) {
    LoadedPlugin plugin;
    ModalDriver driver;
    HBITMAP before = nullptr, after = nullptr;
    driver.Then(WaitForDialog()).Then([&] {
        ClickPatternRow(dialog_, 1);  // pattern 2
        before = Picture(dialog_);
        ClickPatternRow(dialog_, -1);  // below the last row
        after = Picture(dialog_);
        HWND list = GetDlgItem(dialog_, 12011);
        SetFocus(list);
        SendMessageW(list, WM_KEYDOWN, VK_DOWN, 0);
        SendMessageW(list, WM_KEYUP, VK_DOWN, 0);
        EXPECT_EQ(SelectedRow(dialog_), 2);
        PostClick(dialog_, IDOK);
        return true;
    });
    RunDialog(plugin, driver);
    EXPECT_EQ(before, after);
    EXPECT_EQ(SettingDword(L"mMainItemNo"), 2u);
}

TEST_F(SettingsDialogTest, IntervalThatIsNotAnIntegerKeepsTheDialogOpen) {
    for (const wchar_t* bad : {L"abc", L"", L"99999999999", L"12x", L"2147483648", L"-2147483649"}) {
        SCOPED_TRACE(Utf8(bad));
        ClearSettingsKey();
        WriteSettingDw(L"mTime", 45);
        LoadedPlugin plugin;
        SimClearCalls();
        std::wstring prompt;
        int focusAfterPrompt = 0;
        bool stillOpen = false;
        ModalDriver driver;
        driver.Then(WaitForDialog())
            .Then([&] {
                SetDlgItemTextW(dialog_, 12003, bad);
                ClickPatternRow(dialog_, 3);
                PostClick(dialog_, IDOK);
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
                focusAfterPrompt = GetDlgCtrlID(GetFocus());
                stillOpen = FindSettingsDialog() == dialog_;
                PostClick(dialog_, IDCANCEL);
                return true;
            });
        RunDialog(plugin, driver);
        EXPECT_NE(prompt.find(L"integer"), std::wstring::npos) << Utf8(prompt);
        EXPECT_EQ(focusAfterPrompt, 12003);
        EXPECT_TRUE(stillOpen);
        EXPECT_EQ(SettingDword(L"mTime"), 45u);
        EXPECT_EQ(SettingDword(L"mMainItemNo"), 1u);
        EXPECT_EQ(SimCountOf(SimMessageBox), 0);
    }
}

TEST_F(SettingsDialogTest, IntervalsAtTheEndsOfTheIntegerRangeAreSaved) {
    LoadedPlugin plugin;
    for (const auto& c : {std::make_pair(L"2147483647", 0x7FFFFFFFu), std::make_pair(L"-2147483648", 0x80000000u)}) {
        SCOPED_TRACE(Utf8(c.first));
        SimClearCalls();
        ModalDriver driver;
        driver.Then(WaitForDialog()).Then([&] {
            SetDlgItemTextW(dialog_, 12003, c.first);
            PostClick(dialog_, IDOK);
            return true;
        });
        RunDialog(plugin, driver);
        EXPECT_EQ(SettingDword(L"mTime"), static_cast<DWORD>(c.second));
        EXPECT_EQ(RestartMessages(), 1);
    }
}

TEST_F(SettingsDialogTest, StoredPatternOutsideTheListSelectsNothingAndIsSavedBack) {
    for (DWORD stored : {0u, 9u}) {
        ClearSettingsKey();
        WriteSettingDw(L"mMainItemNo", stored);
        LoadedPlugin plugin;
        SimClearCalls();
        int selected = -2;
        HBITMAP picture = reinterpret_cast<HBITMAP>(1);
        ModalDriver driver;
        driver.Then(WaitForDialog()).Then([&] {
            selected = SelectedRow(dialog_);
            picture = Picture(dialog_);
            PostClick(dialog_, IDOK);
            return true;
        });
        RunDialog(plugin, driver);
        EXPECT_EQ(selected, -1);
        EXPECT_EQ(picture, nullptr);
        EXPECT_EQ(SettingDword(L"mMainItemNo"), stored);
        EXPECT_EQ(RestartMessages(), 0);
    }
}

TEST_F(SettingsDialogTest, SwitchingPicturesDeletesEveryReplacedBitmap) {
    LoadedPlugin plugin;
    std::vector<HBITMAP> replaced;
    HBITMAP lastShown = nullptr;
    int stillAlive = 0;
    ModalDriver driver;
    driver.Then(WaitForDialog()).Then([&] {
        for (int i = 0; i < 200; ++i) {
            replaced.push_back(Picture(dialog_));
            ClickPatternRow(dialog_, i % 4);
        }
        // A deleted handle's value may come back for the bitmap shown now; any other still alive leaked.
        for (HBITMAP b : replaced) stillAlive += GetObjectType(b) != 0 && b != Picture(dialog_);
        lastShown = Picture(dialog_);
        EXPECT_NE(GetObjectType(lastShown), 0u);  // the one shown is alive
        PostClick(dialog_, IDCANCEL);
        return true;
    });
    RunDialog(plugin, driver);
    EXPECT_EQ(replaced.size(), 200u);
    EXPECT_EQ(stillAlive, 0);
    EXPECT_EQ(GetObjectType(lastShown), 0u);  // and the last one goes with the dialog
}

TEST_F(SettingsDialogTest, FolderPickerCancelledKeepsTheFolderAndConfirmedSetsIt) {
    ScratchDir chosen(L"C:\\");
    LoadedPlugin plugin(WatchBrowser);
    std::wstring afterCancel, afterChoice;
    HWND browserOwner = nullptr;
    std::wstring browserTitle;
    ModalDriver driver;
    driver.Then(WaitForDialog())
        .Then([&] { return PostClick(dialog_, 12001), true; })
        .Then([&] {
            HWND browser = FindFolderBrowser();
            if (!browser) return false;
            browserOwner = GetWindow(browser, GW_OWNER);
            PostMessageW(browser, WM_COMMAND, IDCANCEL, 0);
            return true;
        })
        .Then([&] {
            if (FindFolderBrowser()) return false;
            afterCancel = TextOf(GetDlgItem(dialog_, 12002));
            PostClick(dialog_, 12001);
            return true;
        })
        .Then(ConfirmFolderInBrowser(chosen.path()))
        .Then([&] {
            if (FindFolderBrowser()) return false;
            afterChoice = TextOf(GetDlgItem(dialog_, 12002));
            PostClick(dialog_, IDOK);
            return true;
        });
    RunDialog(plugin, driver);
    EXPECT_EQ(browserOwner, dialog_);
    EXPECT_EQ(afterCancel, L"C:\\");
    EXPECT_EQ(afterChoice, chosen.path());
    EXPECT_EQ(SettingText(L"mFolder"), chosen.path());
    EXPECT_EQ(RestartMessages(), 1);
    ExpectBrowsesReleased(2);
    EXPECT_EQ(browser.returned[0], nullptr);  // cancelled
    EXPECT_NE(browser.returned[1], nullptr);
}

TEST_F(SettingsDialogTest, ItemOutsideTheFileSystemChangesNothing) {
    WriteSettingSz(L"mFolder", L"D:\\kept");
    LoadedPlugin plugin(WatchBrowser);
    SimClearCalls();
    PIDLIST_ABSOLUTE computer = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer), S_OK);
    std::wstring shown;
    ModalDriver driver;
    driver.Then(WaitForDialog())
        .Then([&] { return PostClick(dialog_, 12001), true; })
        .Then([&] {
            HWND browser = FindFolderBrowser();
            if (!browser) return false;
            SendMessageW(browser, BFFM_SETSELECTIONW, FALSE, reinterpret_cast<LPARAM>(computer));
            PostMessageW(browser, WM_COMMAND, IDOK, 0);
            return true;
        })
        .Then([&] {
            if (FindFolderBrowser()) return false;
            shown = TextOf(GetDlgItem(dialog_, 12002));
            PostClick(dialog_, IDOK);
            return true;
        });
    RunDialog(plugin, driver);
    CoTaskMemFree(computer);
    EXPECT_EQ(shown, L"D:\\kept");
    EXPECT_EQ(SettingText(L"mFolder"), L"D:\\kept");
    ExpectBrowsesReleased(1);
    EXPECT_NE(browser.returned[0], nullptr);  // an item, but not a file-system one
}

TEST_F(SettingsDialogTest, ChosenFolderIsLostOnCancel) {
    ScratchDir chosen(L"C:\\");
    LoadedPlugin plugin;
    ModalDriver driver;
    driver.Then(WaitForDialog())
        .Then([&] { return PostClick(dialog_, 12001), true; })
        .Then(ConfirmFolderInBrowser(chosen.path()))
        .Then([&] {
            if (FindFolderBrowser()) return false;
            PostClick(dialog_, IDCANCEL);
            return true;
        });
    RunDialog(plugin, driver);
    EXPECT_EQ(SettingText(L"mFolder"), L"C:\\");
    EXPECT_EQ(SimCountOf(SimMessageBox), 0);
}

// Saves what the dialog shows on the screen as a BMP beside the tests.
TEST_F(SettingsDialogTest, ScreenshotOfTheDialog) {
    LoadedPlugin plugin;
    bool saved = false;
    ModalDriver driver;
    int ticks = 0;
    driver.Then(WaitForDialog()).Then([&] {
        // Let the loop paint everything before the screen is read.
        if (++ticks < 20) return false;
        saved = SaveWindowScreenshot(dialog_, L"settings-dialog.bmp");
        PostClick(dialog_, IDCANCEL);
        return true;
    });
    RunDialog(plugin, driver);
    EXPECT_TRUE(saved);
}

}  // namespace
