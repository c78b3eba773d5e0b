#include "BackupManageDlg.h"

#include "CopyListDlg.h"
#include "ShowInFolder.h"
#include "backup/BackupPath.h"
#include "backup/BackupRun.h"
#include "backup/FileTreeWin32.h"
#include "backup/Journal.h"
#include "backup/RecoveryWin32.h"
#include "host/VylLib.h"
#include "resource.h"

namespace {

constexpr int kLargest = 0x7FFFFFFF;

std::wstring Text(HWND dialog, int id) {
    HWND box = GetDlgItem(dialog, id);
    const int length = GetWindowTextLengthW(box);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(box, text.data(), length + 1)));
    return text;
}

bool BoxValue(HWND dialog, int id, int64_t& out) {
    int value = 0;
    if (!AfxParseInt(Text(dialog, id), value) || value < 0) return false;
    out = value;
    return true;
}

// "Now" as the next backup would stamp it; false when the clock cannot be read.
bool NowMinutes(int64_t& now) {
    DateStamp stamp;
    FillDateStamp(stamp);
    CivilStamp civil;
    if (!StampOfDateStamp(stamp, civil)) return false;
    now = StampMinutes(civil);
    return true;
}

}  // namespace

std::wstring LastBackupText() {
    const BackupOutcome& last = LastBackupOutcome();
    switch (last.kind) {
    case BackupOutcome::Kind::None:
        break;
    case BackupOutcome::Kind::Failed:
        return (last.failuresInRow >= 2 ? L"마지막 백업 실패 (연속 " + std::to_wstring(last.failuresInRow) + L"회): "
                                        : std::wstring(L"마지막 백업 실패: ")) +
               StampText(last.stamp) + L"\r\n" + last.target;
    case BackupOutcome::Kind::Empty:
        return L"마지막 백업: " + StampText(last.stamp) + L" 빈 사본\r\n" + last.target;
    case BackupOutcome::Kind::SkippedIdentical:
        return L"마지막 백업: " + StampText(last.stamp) + L" 이전 사본과 같아 새 사본을 남기지 않음\r\n" + last.twin;
    case BackupOutcome::Kind::Saved: {
        std::wstring text = L"마지막 백업: " + StampText(last.stamp);
        if (last.removed > 0) text += L" (오래된 사본 " + std::to_wstring(last.removed) + L"개 지움)";
        if (last.journalFailed) text += L" (백업 기록에 쓸 수 없어 정리하지 않음)";
        return text + L"\r\n" + last.target;
    }
    }
    return L"마지막 백업: 아직 없음";
}

IMPLEMENT_DYNAMIC(BackupManageDlg, CDialog)

BEGIN_MESSAGE_MAP(BackupManageDlg, CDialog)
ON_BN_CLICKED(IDC_SKIP_IDENTICAL, OnOptionChanged)
ON_BN_CLICKED(IDC_THIN_OUT, OnOptionChanged)
ON_EN_CHANGE(IDC_KEEP_COUNT, OnOptionChanged)
ON_EN_CHANGE(IDC_KEEP_DAYS, OnOptionChanged)
ON_BN_CLICKED(IDC_OPEN_FOLDER, OnOpenFolder)
ON_BN_CLICKED(IDC_ADOPT_COPIES, OnAdoptCopies)
ON_BN_CLICKED(IDC_COPY_LIST, OnCopyList)
END_MESSAGE_MAP()

BackupManageDlg::BackupManageDlg(CWnd* parent) : CDialog(IDD_BACKUP_MANAGE, parent) {}

void BackupManageDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Check(pDX, IDC_SKIP_IDENTICAL, mValues.mSkipIdentical);
    DDX_Text(pDX, IDC_KEEP_COUNT, mValues.mKeepCount);
    DDV_MinMaxInt(pDX, mValues.mKeepCount, 0, kLargest);
    DDX_Text(pDX, IDC_KEEP_DAYS, mValues.mKeepDays);
    DDV_MinMaxInt(pDX, mValues.mKeepDays, 0, kLargest);
    DDX_Check(pDX, IDC_THIN_OUT, mValues.mThinOut);
    DDX_Check(pDX, IDC_QUIET_FAILURES, mValues.mQuietFailures);
    DDX_Check(pDX, IDC_RECOVERY_NOTICE, mValues.mRecoveryNotice);
}

BOOL BackupManageDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetDlgItemTextW(m_hWnd, IDC_LAST_BACKUP, LastBackupText().c_str());
    const wchar_t* reported = VylFilGetCadDrawingPath();
    hasDrawing_ = reported && *reported && DrawingKeyOfPath(reported, drawing_);
    if (hasDrawing_) {
        drawingPath_ = reported;
        Win32FileTree tree;
        ScanStats stats;
        copies_ = ScanCopies(tree, TrimFolder(mFolder), &drawing_, &stats);
        folderListed_ = stats.listed;
    }
    ready_ = true;
    UpdatePreview();
    return TRUE;
}

bool BackupManageDlg::RulesShown(RetentionRules& rules) const {
    RetentionRules r;
    if (!BoxValue(m_hWnd, IDC_KEEP_COUNT, r.keepCount) || !BoxValue(m_hWnd, IDC_KEEP_DAYS, r.keepDays)) return false;
    r.thinOut = IsDlgButtonChecked(m_hWnd, IDC_THIN_OUT) == BST_CHECKED;
    rules = r;
    return true;
}

void BackupManageDlg::UpdatePreview() {
    std::wstring text;
    RetentionRules rules;
    int64_t now = 0;
    if (!hasDrawing_) {
        text = L"열린 도면이 없습니다.";
    } else if (!RulesShown(rules)) {
        text = L"보관 개수와 기간에는 0부터 2147483647까지의 정수를 넣으세요.";
    } else if (!folderListed_) {
        text = L"백업 폴더를 읽을 수 없습니다: " + mFolder;
    } else if (!NowMinutes(now)) {
        text = L"시계를 읽을 수 없어 미리 볼 수 없습니다.";
    } else {
        const bool any = rules.Any() || IsDlgButtonChecked(m_hWnd, IDC_SKIP_IDENTICAL) == BST_CHECKED;
        if (any) MatchJournal();
        const RetentionPreview p = PreviewNextBackup(any ? groups_.candidates : copies_, now, rules);
        text = L"이 도면의 사본 " + std::to_wstring(p.copies) + L"개 (" + FormatBytes(p.bytes) +
               L") · 다음 백업 때 지워질 사본 " + std::to_wstring(p.removable) + L"개";
        if (p.removable > 0) text += L" (" + FormatBytes(p.removableBytes) + L")";
        if (p.removable > static_cast<std::size_t>(kMaxDeletesPerTick))
            text += L", 백업 때마다 오래된 것부터 " + std::to_wstring(kMaxDeletesPerTick) + L"개씩";
        if (p.future > 0) text += L"\r\n미래 날짜로 찍힌 사본 " + std::to_wstring(p.future) + L"개는 지우지 않습니다.";
        if (any && !journalRead_) text += L"\r\n백업 기록을 읽을 수 없어 다음 백업 때 아무것도 지우지 않습니다.";
        if (any && !groups_.unknown.empty())
            text += L"\r\n기록에 없는 같은 이름의 사본 " + std::to_wstring(groups_.unknown.size()) +
                    L"개는 지우지 않습니다";
        if (any && !groups_.otherDrawing.empty())
            text += L"\r\n다른 도면의 사본 " + std::to_wstring(groups_.otherDrawing.size()) + L"개는 지우지 않습니다";
        if (any && groups_.unverifiable > 0)
            text += L"\r\n확인할 수 없는 사본 " + std::to_wstring(groups_.unverifiable) + L"개는 지우지 않습니다";
    }
    SetDlgItemTextW(m_hWnd, IDC_RETENTION_PREVIEW, text.c_str());
    const bool adoptable =
        hasDrawing_ && matched_ && journalRead_ && !groups_.unknown.empty() &&
        (IsDlgButtonChecked(m_hWnd, IDC_SKIP_IDENTICAL) == BST_CHECKED || (RulesShown(rules) && rules.Any()));
    EnableWindow(GetDlgItem(m_hWnd, IDC_ADOPT_COPIES), adoptable ? TRUE : FALSE);
}

void BackupManageDlg::MatchJournal() {
    if (matched_) return;
    matched_ = true;
    Journal* journal = PluginJournal();
    journalRead_ = journal && journal->Refresh();
    groups_ = AdoptionGroups();
    if (journalRead_) {
        groups_ = GroupForAdoption(copies_, *journal, drawingPath_, SystemNameOrder);
    } else {
        groups_.unknown = copies_;
    }
}

void BackupManageDlg::OnAdoptCopies() {
    Journal* journal = PluginJournal();
    if (!journal || groups_.unknown.empty()) return;
    const std::wstring question =
        L"백업 폴더의 기존 사본 " + std::to_wstring(groups_.unknown.size()) +
        L"개를 이 도면의 사본으로 등록합니다.\r\n도면: " + drawingPath_ +
        L"\r\n\r\n등록한 사본은 다음 백업부터 보관 규칙에 따라 지워질 수 있습니다. 다른 폴더에 있는 같은 이름의 도면 "
        L"사본은 구별할 수 없어 함께 등록됩니다.\r\n등록할까요?";
    if (MessageBoxW(m_hWnd, question.c_str(), L"기존 사본 등록", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;
    // Identity, size and time as they are now; nothing is read.
    Win32FileTree tree;
    const std::vector<JournalRecord> lines =
        AdoptionRecords(tree, TrimFolder(mFolder), groups_.unknown, drawingPath_, CurrentSession());
    std::wstring note;
    std::size_t skipped = 0;
    if (!journal->Adopt(lines, skipped)) note = L"백업 기록에 쓸 수 없어 등록하지 못했습니다.";
    // The listing's size and time stand for the file from now on.
    for (BackupCopy& c : copies_)
        for (const JournalRecord& r : lines)
            if (SystemNameOrder(c.path, r.path) == 0) {
                c.size = r.size;
                c.writeTime = r.writeTime;
            }
    matched_ = false;
    SetDlgItemTextW(m_hWnd, IDC_OPEN_FOLDER_NOTE, note.c_str());
    UpdatePreview();
}

void BackupManageDlg::OnOptionChanged() {
    if (ready_) UpdatePreview();
}

void BackupManageDlg::OnOpenFolder() {
    const std::wstring folder = TrimFolder(mFolder);
    std::wstring note;
    int64_t now = 0;
    const BackupCopy* newest = nullptr;
    std::vector<BackupCopy> copies;
    if (hasDrawing_ && NowMinutes(now)) {
        // Looked up afresh: a backup may have run since the dialog opened.
        Win32FileTree tree;
        copies = ScanCopies(tree, folder, &drawing_);
        newest = NewestCopy(copies, now);
    }
    const DWORD attributes = GetFileAttributesW((folder + L"\\").c_str());
    if (newest) {
        if (!ShowInShellWindow(newest->folder, newest->path)) note = L"파일 창을 열 수 없습니다.";
    } else if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        if (!ShowInShellWindow(folder, L"")) note = L"파일 창을 열 수 없습니다.";
    } else {
        note = L"백업 폴더가 없습니다: " + mFolder;
    }
    SetDlgItemTextW(m_hWnd, IDC_OPEN_FOLDER_NOTE, note.c_str());
}

void BackupManageDlg::OnCopyList() {
    CopyListDlg list(this);
    list.mFolder = mFolder;
    list.DoModal();
}
