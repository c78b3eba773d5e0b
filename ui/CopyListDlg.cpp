#include "CopyListDlg.h"

#include <climits>

#include "ShowInFolder.h"
#include "backup/BackupPath.h"
#include "backup/BackupRun.h"
#include "backup/FileTreeWin32.h"
#include "backup/JournalWin32.h"
#include "framework/UniqueHandle.h"
#include "host/VylLib.h"
#include "resource.h"

namespace {

// The journal's path where its file exists, else empty: a user who never turned housekeeping
// on has none, and opening the list then makes no journal, takes no lock and looks up nothing
// but the journal's name. Where it exists it is read as every reader reads it, under its lock.
std::wstring ExistingJournalPath() {
    const std::wstring path = DefaultJournalPath();
    if (path.empty()) return path;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return L"";
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        return L"";
    }
    return path;
}

// "Now" as a backup would stamp it; the largest minute when the clock cannot be read (then no
// copy counts as stamped in the future).
int64_t NowMinutes() {
    DateStamp stamp;
    FillDateStamp(stamp);
    CivilStamp civil;
    return StampOfDateStamp(stamp, civil) ? StampMinutes(civil) : INT64_MAX;
}

// The system's own text for an error, without its line end.
std::wstring SystemReason(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring reason = length > 0 && text ? std::wstring(text, length) : std::wstring();
    LocalFree(text);
    while (!reason.empty() && (reason.back() == L'\r' || reason.back() == L'\n' || reason.back() == L' '))
        reason.pop_back();
    return reason.empty() ? L"오류 " + std::to_wstring(error) : reason;
}

// Reads the whole file behind `file` from where it stands; false with the system's error.
bool ReadWhole(HANDLE file, uint64_t& size, FileDigest& digest, DWORD& error) {
    std::vector<unsigned char> buffer(1 << 20);
    FileDigester digester;
    size = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            error = GetLastError();
            return false;
        }
        if (got == 0) break;
        digester.Update(buffer.data(), got);
        size += got;
    }
    digest = digester.Finish();
    return true;
}

// Copies `copy` beside the drawing under a name no file has, created fail-if-exists, and keeps
// it only once it reads back as the copy's bytes; returns what happened, for the user.
std::wstring CopyBesideOriginal(const BackupCopy& copy, const std::wstring& drawingPath) {
    // Held open throughout, writers shut out: what was read is what gets copied.
    const unique_file source(CreateFileW(copy.path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT,
                                         nullptr));
    uint64_t size = 0;
    FileDigest digest;
    DWORD error = 0;
    if (!source) error = GetLastError();
    if (!source || !ReadWhole(source.get(), size, digest, error))
        return L"사본을 읽을 수 없습니다: " + SystemReason(error) + L"\r\n" + copy.path;

    error = ERROR_SUCCESS;
    const std::wstring target = BesideOriginalPath(drawingPath, copy.stamp, [&](const std::wstring& path) {
        if (CopyFileW(copy.path.c_str(), path.c_str(), TRUE)) {
            error = ERROR_SUCCESS;
            return false;
        }
        error = GetLastError();
        return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
    });
    if (target.empty())
        return L"원본 옆의 이름이 모두 쓰이고 있어 복사하지 못했습니다: " + DrawingFolderOf(drawingPath);
    if (error != ERROR_SUCCESS) return L"복사하지 못했습니다: " + SystemReason(error) + L"\r\n" + target;

    // Nobody writes to it while it is read back; it is deleted through this handle if it differs.
    const unique_file made(CreateFileW(target.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!made) return L"복사한 파일을 확인할 수 없습니다: " + SystemReason(GetLastError()) + L"\r\n" + target;
    uint64_t madeSize = 0;
    FileDigest madeDigest;
    const bool read = ReadWhole(made.get(), madeSize, madeDigest, error);
    if (read && madeSize == size && madeDigest == digest) return L"복사했습니다: " + target;
    const std::wstring why =
        read ? L"복사한 파일이 사본과 다릅니다" : L"복사한 파일을 읽을 수 없습니다: " + SystemReason(error);
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (!SetFileInformationByHandle(made.get(), FileDispositionInfo, &disposition, sizeof disposition))
        return why + L"\r\n지우지도 못했습니다 (" + SystemReason(GetLastError()) + L"): " + target;
    return why + L"\r\n그 파일은 지웠습니다: " + target;
}

}  // namespace

IMPLEMENT_DYNAMIC(CopyListDlg, CDialog)

BEGIN_MESSAGE_MAP(CopyListDlg, CDialog)
ON_NOTIFY(LVN_ITEMCHANGED, IDC_COPY_ROWS, OnRowsChanged)
ON_BN_CLICKED(IDC_COPY_SHOW, OnShowInFolder)
ON_BN_CLICKED(IDC_COPY_BESIDE, OnCopyBesideOriginal)
END_MESSAGE_MAP()

CopyListDlg::CopyListDlg(CWnd* parent) : CDialog(IDD_COPY_LIST, parent) {}

void CopyListDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_COPY_ROWS, list_);
}

BOOL CopyListDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    list_.SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    list_.InsertColumn(0, L"시각", LVCFMT_LEFT, 110);
    list_.InsertColumn(1, L"크기", LVCFMT_RIGHT, 70);
    list_.InsertColumn(2, L"상태", LVCFMT_LEFT, 110);
    list_.InsertColumn(3, L"위치", LVCFMT_LEFT, 360);

    std::wstring note;
    const wchar_t* reported = VylFilGetCadDrawingPath();
    DrawingKey key;
    if (!reported || !*reported || !DrawingKeyOfPath(reported, key)) {
        note = L"열린 도면이 없습니다.";
    } else {
        drawingPath_ = reported;
        const std::wstring folder = DrawingFolderOf(drawingPath_);
        const DWORD attributes = folder.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(folder.c_str());
        drawingFolder_ = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
        Win32FileTree tree;
        ScanStats stats;
        const std::vector<BackupCopy> copies = ScanCopies(tree, TrimFolder(mFolder), &key, &stats);
        if (!stats.listed) {
            note = L"백업 폴더를 읽을 수 없습니다: " + mFolder;
            const std::wstring reason = tree.LastErrorText();
            if (!reason.empty()) note += L"\r\n" + reason;
        }
        const std::wstring journalPath = copies.empty() ? std::wstring() : ExistingJournalPath();
        Win32JournalStore store(journalPath);
        Journal journal(store, SystemNameOrder, SystemNameFold);
        const bool read = !journalPath.empty() && journal.Refresh();
        if (!journalPath.empty() && !read) note = L"백업 기록을 읽을 수 없어 기록에 따른 상태는 보이지 않습니다.";
        rows_ = CopyListRows(copies, read ? &journal : nullptr, drawingPath_, NowMinutes(), SystemNameOrder);
    }
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const BackupCopy& c = rows_[i].copy;
        const int row = list_.InsertItem(static_cast<int>(i), FormatStamp(c.stamp).c_str());
        list_.SetItemText(row, 1, FormatBytes(c.size).c_str());
        list_.SetItemText(row, 2, CopyStateText(rows_[i].state));
        list_.SetItemText(row, 3, c.path.c_str());
    }
    Note(note);
    UpdateButtons();
    return TRUE;
}

int CopyListDlg::Selected() const {
    const int row =
        static_cast<int>(SendMessageW(list_.m_hWnd, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    return row >= 0 && static_cast<std::size_t>(row) < rows_.size() ? row : -1;
}

void CopyListDlg::UpdateButtons() {
    const bool selected = Selected() >= 0;
    EnableWindow(GetDlgItem(m_hWnd, IDC_COPY_SHOW), selected ? TRUE : FALSE);
    EnableWindow(GetDlgItem(m_hWnd, IDC_COPY_BESIDE), selected && drawingFolder_ ? TRUE : FALSE);
}

void CopyListDlg::Note(const std::wstring& text) { SetDlgItemTextW(m_hWnd, IDC_COPY_NOTE, text.c_str()); }

void CopyListDlg::OnRowsChanged(NMHDR*, LRESULT* result) {
    UpdateButtons();
    *result = 0;
}

void CopyListDlg::OnShowInFolder() {
    const int row = Selected();
    if (row < 0) return;
    const BackupCopy& c = rows_[static_cast<std::size_t>(row)].copy;
    Note(ShowInShellWindow(c.folder, c.path) ? L"" : L"파일 창을 열 수 없습니다.");
}

void CopyListDlg::OnCopyBesideOriginal() {
    const int row = Selected();
    if (row < 0 || !drawingFolder_) return;
    Note(CopyBesideOriginal(rows_[static_cast<std::size_t>(row)].copy, drawingPath_));
}
