#include "VarnholtDlg.h"

#include <cwchar>

#include "BackupManageDlg.h"
#include "FolderPicker.h"
#include "backup/BackupRun.h"
#include "framework/UniqueHandle.h"
#include "settings/PluginState.h"
#include "host/VylLib.h"
#include "resource.h"
#include "settings/BackupSettings.h"
#include "settings/RegistryWin32.h"
#include "settings/SettingsChange.h"

namespace {

struct PatternRow {
    const wchar_t* number;
    const wchar_t* method;
};
const PatternRow kPatternRows[] = {
    {L"01", L"[패턴A] Year-Month-Day"},
    {L"02", L"[패턴B] YearMonth-Day"},
    {L"03", L"[패턴C] Year-MonthDay"},
    {L"04", L"[패턴D] 파일명_YearMonthDayHourMinute"},
};

BackupSettings CopyOf(const VarnholtDlg& d) {
    return BackupSettings{d.mIsAutoBackup, d.mTime, d.mFolder, d.mMainItemNo};
}

void SelectRow(CListCtrl& list, int row) {
    list.SetSelectionMark(row);
    list.SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

}  // namespace

IMPLEMENT_DYNAMIC(VarnholtDlg, CDialog)

BEGIN_MESSAGE_MAP(VarnholtDlg, CDialog)
ON_BN_CLICKED(IDC_AUTO_BACKUP, OnAutoBackupClicked)
ON_NOTIFY(NM_CLICK, IDC_PATTERN_LIST, OnPatternListClick)
ON_EN_KILLFOCUS(IDC_INTERVAL, OnIntervalKillFocus)
ON_BN_CLICKED(IDC_CHOOSE_FOLDER, OnBrowseFolder)
ON_BN_CLICKED(IDC_MANAGE_BACKUPS, OnManageBackups)
END_MESSAGE_MAP()

VarnholtDlg::VarnholtDlg() : CDialog(IDD_VARNHOLT_DIALOG), mSection(L"Varnholt"), mMainItemNo(1) {}

VarnholtDlg::~VarnholtDlg() = default;

void VarnholtDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Check(pDX, IDC_AUTO_BACKUP, mIsAutoBackup);
    DDX_Text(pDX, IDC_INTERVAL, mTime);
    DDX_Text(pDX, IDC_FOLDER, mFolder);
    DDX_Control(pDX, IDC_PATTERN_LIST, mPatternList);
}

BOOL VarnholtDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    mPatternList.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    mPatternList.InsertColumn(0, L"구분", LVCFMT_CENTER, 50);
    mPatternList.InsertColumn(1, L"백업방식", LVCFMT_LEFT, 220);
    EnableWindow(GetDlgItem(mPatternList.m_hWnd, 0), FALSE);  // the header: no clicking, no resizing
    mPatternList.ModifyStyle(0, LVS_SHOWSELALWAYS);
    for (int row = 0; row < 4; ++row) {
        mPatternList.InsertItem(row, kPatternRows[row].number);
        mPatternList.SetItemText(row, 1, kPatternRows[row].method);
    }

    BackupSettings loaded = CopyOf(*this);
    LoadSettings(mSection, loaded);
    mIsAutoBackup = loaded.mIsAutoBackup;
    mTime = loaded.mTime;
    mFolder = loaded.mFolder;
    mMainItemNo = loaded.mMainItemNo;
    LoadHousekeeping(mSection, mHousekeepingLoaded);
    mHousekeeping = mHousekeepingLoaded;

    CheckDlgButton(m_hWnd, IDC_AUTO_BACKUP, mIsAutoBackup == 1 ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemTextW(m_hWnd, IDC_INTERVAL, std::to_wstring(mTime).c_str());
    SetDlgItemTextW(m_hWnd, IDC_FOLDER, mFolder.c_str());
    if (mMainItemNo >= 1 && mMainItemNo <= 4) SelectRow(mPatternList, mMainItemNo - 1);
    ShowPatternPreview(mMainItemNo);

    SetFocus(mPatternList.m_hWnd);
    return FALSE;
}

void VarnholtDlg::ShowPatternPreview(int n) {
    if (n < 1 || n > 4) return;
    const LPCWSTR id = MAKEINTRESOURCEW(IDB_PATTERN_BASE + n);
    unique_hbitmap bitmap(LoadBitmapW(AfxFindResourceHandle(id, MAKEINTRESOURCEW(2) /*RT_BITMAP*/), id));
    const unique_hbitmap previous(reinterpret_cast<HBITMAP>(
        SendDlgItemMessageW(m_hWnd, IDC_PREVIEW, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap.get()))));
    bitmap.release();  // the picture control owns it now; `previous` is deleted here
}

void VarnholtDlg::OnDestroy() {
    unique_hbitmap shown(
        reinterpret_cast<HBITMAP>(SendDlgItemMessageW(m_hWnd, IDC_PREVIEW, STM_SETIMAGE, IMAGE_BITMAP, 0)));
}

void VarnholtDlg::OnAutoBackupClicked() { mIsAutoBackup = mIsAutoBackup ? 0 : 1; }

void VarnholtDlg::OnPatternListClick(NMHDR* header, LRESULT* result) {
    const int row = reinterpret_cast<NMITEMACTIVATE*>(header)->iItem;
    if (row != -1) {
        mMainItemNo = row + 1;
        SelectRow(mPatternList, row);
        ShowPatternPreview(mMainItemNo);
    }
    *result = 0;
}

void VarnholtDlg::OnIntervalKillFocus() {
    wchar_t text[64] = L"";
    GetDlgItemTextW(m_hWnd, IDC_INTERVAL, text, 64);
    mTime = static_cast<int>(std::wcstol(text, nullptr, 10));
}

void VarnholtDlg::OnBrowseFolder() {
    const std::wstring title = L"폴더를 선택하세요!";
    std::wstring path;
    CWinThread* thread = AfxGetThread();
    CWnd* main = thread ? thread->GetMainWnd() : nullptr;
    if (BrowseForFolder(main ? main->m_hWnd : nullptr, title, path) != -1) {
        mFolder = path;
        SetDlgItemTextW(m_hWnd, IDC_FOLDER, mFolder.c_str());
    }
}

void VarnholtDlg::OnManageBackups() {
    BackupManageDlg manage(this);
    manage.mValues = mHousekeeping;
    manage.mFolder = mFolder;
    if (manage.DoModal() == IDOK) mHousekeeping = manage.mValues;
}

extern "C" int OnExecuteCommand(int command) {
    if (command != 7) return 3;
    try {
        BackupSettings& record = PluginSettings();
        const BackupSettings before = record;
        AFX_MANAGE_STATE(AfxGetStaticModuleState());
        VarnholtDlg dialog;
        if (dialog.DoModal() == IDOK) {
            SaveSettings(dialog.mSection, CopyOf(dialog));
            SaveHousekeepingChanges(dialog.mSection, dialog.mHousekeepingLoaded, dialog.mHousekeeping);
            record = CopyOf(dialog);
            LoadHousekeeping(dialog.mSection, PluginHousekeeping());
            if (PluginHousekeeping().mRecoveryNotice == 1) StartPluginSession();
            if (SettingsChanged(before, record)) VylDlgMessageBox(L"설정값을 적용시키려면 재구동 시키셔야 합니다.");
        }
    } catch (...) {
        // Out of memory: nothing more is done; the host goes on.
    }
    return 0;
}
