// The copy list of the loaded plug-in, opened from the management dialog's 사본 목록... button
// and driven by control id inside the three modal loops; rows read back from the list view,
// results from the file system and the shell calls the plug-in makes.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>

#include "PluginHarness.h"
#include "WinTestUtil.h"
#include "backup/FileDigest.h"
#include "backup/Journal.h"
#include "hostsim/IatHook.h"

namespace {

std::vector<std::wstring> shellSelected;  // SHOpenFolderAndSelectItems: folder, flags and each item

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
    shellSelected.push_back(request);
    return S_OK;
}

// A CopyFileW whose copies come out one byte longer than the file they copy.
decltype(&CopyFileW) realCopyFile = nullptr;
BOOL WINAPI CopyFileBadly(LPCWSTR from, LPCWSTR to, BOOL failIfExists) {
    if (!realCopyFile(from, to, failIfExists)) return FALSE;
    HANDLE file = CreateFileW(to, FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, "!", 1, &written, nullptr);
    CloseHandle(file);
    return TRUE;
}

void Watch(HMODULE module) {
    ControlPluginClockAndTimer(module);
    PatchImport(module, "shell32.dll", "SHOpenFolderAndSelectItems", reinterpret_cast<void*>(RecordSelect));
}
void WatchAndCopyBadly(HMODULE module) {
    Watch(module);
    realCopyFile = reinterpret_cast<decltype(&CopyFileW)>(
        PatchImport(module, "kernel32.dll", "CopyFileW", reinterpret_cast<void*>(CopyFileBadly)));
}

std::wstring Reason(DWORD error) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring reason = text ? text : L"";
    LocalFree(text);
    while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' || reason.back() == L' '))
        reason.pop_back();
    return reason;
}

// The highest of 64 fresh kernel handles, closed again: a handle left open anywhere below it
// since the last look moves it up (a single probe would take a free slot below a leaked one).
uintptr_t HandleSpan() {
    std::vector<HANDLE> events;
    uintptr_t highest = 0;
    for (int i = 0; i < 64; ++i) {
        events.push_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        highest = std::max(highest, reinterpret_cast<uintptr_t>(events.back()));
    }
    for (HANDLE e : events) CloseHandle(e);
    return highest;
}

HWND FindCopyList() {
    for (HWND w : OpenDialogs())
        if (GetDlgItem(w, 12041)) return w;
    return nullptr;
}

std::wstring CellText(HWND list, int row, int column) {
    wchar_t text[512] = L"";
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 512;
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return text;
}
// Each row as "시각 | 크기 | 상태 | 위치".
std::vector<std::wstring> RowsOf(HWND dialog) {
    HWND list = GetDlgItem(dialog, 12041);
    std::vector<std::wstring> rows;
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row)
        rows.push_back(CellText(list, row, 0) + L" | " + CellText(list, row, 1) + L" | " + CellText(list, row, 2) +
                       L" | " + CellText(list, row, 3));
    return rows;
}
std::vector<std::wstring> HeadingsOf(HWND dialog) {
    HWND list = GetDlgItem(dialog, 12041);
    std::vector<std::wstring> headings;
    for (int column = 0;; ++column) {
        wchar_t text[64] = L"";
        LVCOLUMNW c{};
        c.mask = LVCF_TEXT;
        c.pszText = text;
        c.cchTextMax = 64;
        if (!SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&c))) break;
        headings.push_back(text);
    }
    return headings;
}
void SelectRow(HWND dialog, int row) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendDlgItemMessageW(dialog, 12041, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}
std::wstring NoteOf(HWND dialog) { return TextOf(GetDlgItem(dialog, 12044)); }
bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

// A made line for the file at `path`, with its identity as it is now and, when asked, its digest.
JournalRecord MadeLine(const std::wstring& path, const std::wstring& drawing, CivilStamp stamp, bool digest) {
    JournalRecord r;
    r.path = path;
    r.drawing = drawing;
    r.stamp = stamp;
    HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    EXPECT_TRUE(GetFileInformationByHandle(h, &info)) << Utf8(path);
    CloseHandle(h);
    r.size = uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow;
    r.writeTime = uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32 | info.ftLastWriteTime.dwLowDateTime;
    r.id = FileIdentity{info.dwVolumeSerialNumber, uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow};
    if (digest) {
        const std::string bytes = ReadFileBytes(path);
        r.hasDigest = true;
        r.digest = DigestOf(bytes.data(), bytes.size());
    }
    return r;
}
void AppendJournal(const std::vector<JournalRecord>& records) {
    std::string text;
    for (const JournalRecord& r : records) {
        std::string line;
        EXPECT_TRUE(FormatJournalLine(r, line));
        text += line;
    }
    CreateDirectoryW(JournalFolder().c_str(), nullptr);
    HANDLE h = CreateFileW(JournalFile().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
    CloseHandle(h);
}

void MakeFile(const std::wstring& root, const std::wstring& rel, const std::string& bytes) {
    const std::wstring path = root + L"\\" + rel;
    for (std::size_t p = path.find(L'\\', root.size() + 1); p != std::wstring::npos; p = path.find(L'\\', p + 1))
        CreateDirectoryW(path.substr(0, p).c_str(), nullptr);
    WriteFileBytes(path, bytes);
}

class CopyListDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearSettingsKey();
        SimReset();
        shellSelected.clear();
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

    // Settings dialog, management dialog, then the copy list from its button.
    ModalDriver& OpenList(ModalDriver& driver) {
        return driver.Then([this] { return (settings_ = FindSettingsDialog()) != nullptr; })
            .Then([this] { return PostClick(settings_, 12012), true; })
            .Then([this] { return (manage_ = FindManageDialog()) != nullptr; })
            .Then([this] { return PostClick(manage_, 12030), true; })
            .Then([this] { return (list_ = FindCopyList()) != nullptr; });
    }
    // Closes the list with 닫기, then the two dialogs under it.
    ModalDriver& CloseAll(ModalDriver& driver) {
        return driver.Then([this] { return PostClick(list_, IDCANCEL), true; })
            .Then([this] {
                if (FindCopyList()) return false;
                PostClick(manage_, IDCANCEL);
                return true;
            })
            .Then([this] {
                if (FindManageDialog()) return false;
                PostClick(settings_, IDCANCEL);
                return true;
            });
    }
    // A step that clicks `id` once and is done when the note shows something new.
    ModalDriver::Step ClickAndReadNote(int id, std::wstring& note) {
        return [this, id, &note, clicked = false]() mutable {
            if (!clicked) {
                SetDlgItemTextW(list_, 12044, L"…");
                PostClick(list_, id);
                clicked = true;
                return false;
            }
            note = NoteOf(list_);
            return note != L"…";
        };
    }
    void Run(LoadedPlugin& plugin, ModalDriver& driver) {
        int result = -1;
        driver.Run([&] { result = plugin.Execute(7); });
        EXPECT_EQ(result, 0);
        EXPECT_FALSE(driver.TimedOut()) << driver.TimeoutReport();
        EXPECT_TRUE(driver.Finished());
    }

    ScratchDir work_;
    ScratchDir backups_;
    std::wstring drawing_;
    HWND settings_ = nullptr;
    HWND manage_ = nullptr;
    HWND list_ = nullptr;
};

TEST_F(CopyListDialogTest, ListsTheDrawingsCopiesNewestFirstWithTheirStates) {
    const std::wstring B = backups_.path() + L"\\";
    const std::wstring other = L"D:\\archive\\plan.dwg";
    MakeFile(backups_.path(), L"2026\\12\\10\\plan_0800.dwg", "1234");  // stamped after 14:30 today
    MakeFile(backups_.path(), L"2026\\12\\09\\plan_1400.dwg", "same");
    MakeFile(backups_.path(), L"plan_202612091300.dwg", "same");
    MakeFile(backups_.path(), L"202612\\09\\plan_1200.dwg", std::string(1536, 'x'));  // not in the journal
    MakeFile(backups_.path(), L"2026\\1209\\plan_1100.dwg", "same");                  // from the other drawing
    MakeFile(backups_.path(), L"2026\\12\\09\\plan_1000.dwg", "");
    MakeFile(backups_.path(), L"2026\\12\\08\\plan_0900.dwg", "older!!");
    MakeFile(backups_.path(), L"2026\\12\\07\\plan_0800.dwg", "1234");  // deleted by the plug-in, then put back
    MakeFile(backups_.path(), L"2026\\12\\06\\plan_0700.dwg", "abcd");
    MakeFile(backups_.path(), L"2026\\12\\08\\other_1300.dwg", "1234");  // another drawing's name
    const std::vector<std::wstring> tree = ListTree(backups_.path());

    const struct {
        const char* what;
        bool journal;
        std::vector<std::wstring> rows;
    } cases[] = {
        {"with the journal",
         true,
         {
             L"2026-12-10 08:00 | 4 B | 미래 날짜 | " + B + L"2026\\12\\10\\plan_0800.dwg",
             L"2026-12-09 14:00 | 4 B | 이전 사본과 같음 | " + B + L"2026\\12\\09\\plan_1400.dwg",
             L"2026-12-09 13:00 | 4 B |  | " + B + L"plan_202612091300.dwg",
             L"2026-12-09 12:00 | 1.5 KB | 기록 없음 | " + B + L"202612\\09\\plan_1200.dwg",
             L"2026-12-09 11:00 | 4 B | 다른 도면 | " + B + L"2026\\1209\\plan_1100.dwg",
             L"2026-12-09 10:00 | 0 B | 빈 사본 | " + B + L"2026\\12\\09\\plan_1000.dwg",
             L"2026-12-08 09:00 | 7 B |  | " + B + L"2026\\12\\08\\plan_0900.dwg",
             L"2026-12-06 07:00 | 4 B |  | " + B + L"2026\\12\\06\\plan_0700.dwg",
         }},
        {"without a journal",
         false,
         {
             L"2026-12-10 08:00 | 4 B | 미래 날짜 | " + B + L"2026\\12\\10\\plan_0800.dwg",
             L"2026-12-09 14:00 | 4 B |  | " + B + L"2026\\12\\09\\plan_1400.dwg",
             L"2026-12-09 13:00 | 4 B |  | " + B + L"plan_202612091300.dwg",
             L"2026-12-09 12:00 | 1.5 KB |  | " + B + L"202612\\09\\plan_1200.dwg",
             L"2026-12-09 11:00 | 4 B |  | " + B + L"2026\\1209\\plan_1100.dwg",
             L"2026-12-09 10:00 | 0 B | 빈 사본 | " + B + L"2026\\12\\09\\plan_1000.dwg",
             L"2026-12-08 09:00 | 7 B |  | " + B + L"2026\\12\\08\\plan_0900.dwg",
             L"2026-12-07 08:00 | 4 B |  | " + B + L"2026\\12\\07\\plan_0800.dwg",
             L"2026-12-06 07:00 | 4 B |  | " + B + L"2026\\12\\06\\plan_0700.dwg",
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveJournal();
        std::string journal;
        if (c.journal) {
            ASSERT_TRUE(JournalAsMade(backups_.path(), drawing_,
                                      {B + L"2026\\12\\10\\plan_0800.dwg", B + L"2026\\12\\09\\plan_1000.dwg",
                                       B + L"2026\\12\\07\\plan_0800.dwg", B + L"2026\\12\\06\\plan_0700.dwg"}));
            JournalRecord gone;
            gone.kind = JournalRecord::Kind::Gone;
            gone.path = B + L"2026\\12\\07\\PLAN_0800.DWG";  // names compared as Windows compares them
            AppendJournal({MadeLine(B + L"2026\\12\\09\\plan_1400.dwg", drawing_, {2026, 12, 9, 14, 0}, true),
                           MadeLine(B + L"plan_202612091300.dwg", drawing_, {2026, 12, 9, 13, 0}, true),
                           MadeLine(B + L"2026\\1209\\plan_1100.dwg", other, {2026, 12, 9, 11, 0}, true),
                           MadeLine(B + L"2026\\12\\08\\plan_0900.dwg", drawing_, {2026, 12, 8, 9, 0}, true), gone});
            journal = ReadFileBytes(JournalFile());
        }
        LoadedPlugin plugin(Watch);
        SetPluginClock(2026, 12, 9, 14, 30);
        struct {
            std::wstring caption, note;
            HWND owner = nullptr;
            std::vector<std::wstring> headings, rows;
            bool show = true, beside = true;
        } seen;
        ModalDriver driver;
        OpenList(driver).Then([&] {
            seen.caption = TextOf(list_);
            seen.owner = GetWindow(list_, GW_OWNER);
            seen.headings = HeadingsOf(list_);
            seen.rows = RowsOf(list_);
            seen.note = NoteOf(list_);
            seen.show = Enabled(list_, 12042);
            seen.beside = Enabled(list_, 12043);
            return true;
        });
        CloseAll(driver);
        Run(plugin, driver);
        EXPECT_EQ(seen.caption, L"사본 목록");
        EXPECT_EQ(seen.owner, manage_);
        EXPECT_EQ(seen.headings, (std::vector<std::wstring>{L"시각", L"크기", L"상태", L"위치"}));
        EXPECT_EQ(seen.rows, c.rows);
        EXPECT_EQ(seen.note, L"");
        EXPECT_FALSE(seen.show);  // nothing selected yet
        EXPECT_FALSE(seen.beside);
        // Opening wrote nothing: the tree as it was, the journal as it was or still none.
        EXPECT_EQ(ListTree(backups_.path()), tree);
        if (c.journal) {
            EXPECT_EQ(ReadFileBytes(JournalFile()), journal);
        } else {
            EXPECT_FALSE(PathExists(JournalFolder()));
        }
        EXPECT_EQ(ListTree(work_.path()), std::vector<std::wstring>{L"plan.dwg"});
    }
}

TEST_F(CopyListDialogTest, CopiesBesideTheOriginalTwiceUnderTwoNamesAndLeavesTheDrawingAlone) {
    drawing_ = work_ / L"평면도.dwg";
    WriteFileBytes(drawing_, "the drawing");
    SimSetDrawingPath(drawing_.c_str());
    const std::string bytes = "copy of 14:30, not the drawing";
    MakeFile(backups_.path(), L"2026\\12\\09\\평면도_1430.dwg", bytes);
    MakeFile(backups_.path(), L"2026\\12\\09\\평면도_1300.dwg", "older");
    const std::vector<std::wstring> tree = ListTree(backups_.path());
    WIN32_FILE_ATTRIBUTE_DATA before{}, after{};
    ASSERT_TRUE(GetFileAttributesExW(drawing_.c_str(), GetFileExInfoStandard, &before));
    const std::wstring first = work_ / L"평면도 (백업 2026-12-09 1430).dwg";
    const std::wstring second = work_ / L"평면도 (백업 2026-12-09 1430) (2).dwg";

    LoadedPlugin plugin(Watch);
    SetPluginClock(2026, 12, 9, 14, 30);
    std::wstring one, two;
    bool enabledShow = false, enabledBeside = false;
    uintptr_t probeBefore = 0, probeAfter = 0;
    ModalDriver driver;
    OpenList(driver)
        .Then([&] {
            SelectRow(list_, 0);
            enabledShow = Enabled(list_, 12042);
            enabledBeside = Enabled(list_, 12043);
            probeBefore = HandleSpan();
            return true;
        })
        .Then(ClickAndReadNote(12043, one))
        .Then(ClickAndReadNote(12043, two))
        .Then([&] { return probeAfter = HandleSpan(), true; });
    CloseAll(driver);
    Run(plugin, driver);
    EXPECT_TRUE(enabledShow);
    EXPECT_TRUE(enabledBeside);
    EXPECT_EQ(one, L"복사했습니다: " + first);
    EXPECT_EQ(two, L"복사했습니다: " + second);
    EXPECT_EQ(ReadFileBytes(first), bytes);
    EXPECT_EQ(ReadFileBytes(second), bytes);
    EXPECT_EQ(probeAfter, probeBefore);  // every file handle closed again
    EXPECT_EQ(ListTree(work_.path()), (std::vector<std::wstring>{L"plan.dwg", L"평면도 (백업 2026-12-09 1430) (2).dwg",
                                                                 L"평면도 (백업 2026-12-09 1430).dwg", L"평면도.dwg"}));
    EXPECT_EQ(ReadFileBytes(drawing_), "the drawing");
    ASSERT_TRUE(GetFileAttributesExW(drawing_.c_str(), GetFileExInfoStandard, &after));
    EXPECT_EQ(CompareFileTime(&before.ftLastWriteTime, &after.ftLastWriteTime), 0);
    EXPECT_EQ(ListTree(backups_.path()), tree);
}

TEST_F(CopyListDialogTest, ACopyThatCannotBeMadeOrVerifiedShowsWhyAndLeavesNothing) {
    const std::wstring copy = backups_ / L"2026\\12\\09\\plan_1430.dwg";
    const struct {
        const char* what;
        std::wstring drawing;
        bool vanish;     // the copy is deleted after the list was shown
        bool copyBadly;  // the system's copy comes out different
        std::wstring target;
        std::wstring note;
    } cases[] = {
        {"a folder that refuses writes", L"Z:\\sys\\kernel\\plan.dwg", false, false,
         L"Z:\\sys\\kernel\\plan (백업 2026-12-09 1430).dwg",
         L"복사하지 못했습니다: " + Reason(ERROR_ACCESS_DENIED) +
             L"\r\nZ:\\sys\\kernel\\plan (백업 2026-12-09 1430).dwg"},
        {"the copy vanished", drawing_, true, false, work_ / L"plan (백업 2026-12-09 1430).dwg",
         L"사본을 읽을 수 없습니다: " + Reason(ERROR_FILE_NOT_FOUND) + L"\r\n" + copy},
        {"the copy came out different", drawing_, false, true, work_ / L"plan (백업 2026-12-09 1430).dwg",
         L"복사한 파일이 사본과 다릅니다\r\n그 파일은 지웠습니다: " + (work_ / L"plan (백업 2026-12-09 1430).dwg")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MakeFile(backups_.path(), L"2026\\12\\09\\plan_1430.dwg", "copy");
        SimSetDrawingPath(c.drawing.c_str());
        LoadedPlugin plugin(c.copyBadly ? WatchAndCopyBadly : Watch);
        SetPluginClock(2026, 12, 9, 14, 30);
        std::wstring note;
        ModalDriver driver;
        OpenList(driver)
            .Then([&] {
                SelectRow(list_, 0);
                if (c.vanish) EXPECT_TRUE(DeleteFileW(copy.c_str()));
                return true;
            })
            .Then(ClickAndReadNote(12043, note));
        CloseAll(driver);
        Run(plugin, driver);
        EXPECT_EQ(note, c.note);
        EXPECT_FALSE(PathExists(c.target));
        EXPECT_EQ(ListTree(work_.path()), std::vector<std::wstring>{L"plan.dwg"});
        EXPECT_EQ(ReadFileBytes(drawing_), "drawing!");
    }
}

TEST_F(CopyListDialogTest, ShowsTheSelectedCopyInItsFolderAndCopiesOnlyWhereTheDrawingHasAFolder) {
    MakeFile(backups_.path(), L"2026\\12\\09\\plan_1400.dwg", "1234");
    MakeFile(backups_.path(), L"plan_202612091300.dwg", "1234");
    const struct {
        const char* what;
        std::wstring drawing;
        bool beside;
    } cases[] = {
        {"a drawing in a folder", drawing_, true},
        {"a drawing not saved to a folder", L"plan.dwg", false},
        {"a drawing whose folder is gone", work_ / L"gone\\plan.dwg", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimSetDrawingPath(c.drawing.c_str());
        shellSelected.clear();
        LoadedPlugin plugin(Watch);
        SetPluginClock(2026, 12, 9, 14, 30);
        bool show = false, beside = true;
        std::wstring note = L"?";
        ModalDriver driver;
        OpenList(driver)
            .Then([&] {
                SelectRow(list_, 1);
                show = Enabled(list_, 12042);
                beside = Enabled(list_, 12043);
                PostClick(list_, 12042);
                PostClick(list_, 12043);  // posted as a click would be, disabled or not
                return true;
            })
            .Then([&] { return note = NoteOf(list_), true; });
        CloseAll(driver);
        Run(plugin, driver);
        EXPECT_TRUE(show);
        EXPECT_EQ(beside, c.beside);
        EXPECT_EQ(shellSelected,
                  std::vector<std::wstring>{backups_.path() + L"|0|" + (backups_ / L"plan_202612091300.dwg")});
        EXPECT_EQ(note, c.beside ? L"복사했습니다: " + (work_ / L"plan (백업 2026-12-09 1300).dwg") : L"");
    }
}

}  // namespace
