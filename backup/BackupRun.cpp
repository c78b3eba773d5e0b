#include "BackupRun.h"

#include <time.h>

#include <memory>
#include <optional>
#include <set>

#include "FileTreeWin32.h"
#include "Housekeeper.h"
#include "JournalWin32.h"
#include "RecoveryWin32.h"
#include "host/VylLib.h"
#include "settings/PluginState.h"

int FillDateStamp(DateStamp& stamp) {
    const __time64_t now = _time64(nullptr);
    std::tm local{};
    FormatDateStamp(stamp, _localtime64_s(&local, &now) == 0 ? &local : nullptr);
    return 1;
}

// The path is taken by value: the function works on its own copy.
// cppcheck-suppress passedByValue
int MakeDirectoryChain(std::wstring path, bool* madeLast) {
    const std::vector<std::wstring> attempts = PlanDirectoryChain(path);
    bool made = false;
    for (const std::wstring& folder : attempts) made = CreateDirectoryW(folder.c_str(), nullptr) != FALSE;
    if (madeLast) *madeLast = made;
    return static_cast<int>(attempts.size());
}

namespace {

bool runInProgress = false;
BackupOutcome lastOutcome;

const wchar_t kJournalStarted[] =
    L"[백업 관리] 이제부터 이 컴퓨터에서 만든 사본만 정리합니다. 기존 사본은 백업 관리에서 등록할 수 있습니다.";

// Minutes after a taken name that a save may move to.
constexpr int kLaterMinutes = 10;

// True when a save to `target` replaces nothing but this drawing's own journaled copy: nothing
// is there, or the journal's latest line for it is a live copy of `drawingPath`.
bool FreeFor(const std::wstring& target, const std::wstring& drawingPath) {
    if (GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
    }
    Journal* journal = PluginJournal();
    const std::optional<Journal::Entry> own = journal ? journal->Find(target) : std::nullopt;
    return own && SystemNameOrder(own->record.drawing, drawingPath) == 0;
}

// Where the journal is kept, a save never replaces another drawing's copy (a same-named
// drawing in another folder saved in the same minute) or any file the journal does not give
// this drawing: the copy takes the next free minute's name instead, at most kLaterMinutes on,
// and the message line names both. False, with a message line, when none is free: no save.
bool TakeFreeName(const BackupSettings& settings, const std::wstring& drawingPath, DateStamp& stamp,
                  std::wstring& target) {
    if (FreeFor(target, drawingPath)) return true;
    for (int later = 1; later <= kLaterMinutes; ++later) {
        DateStamp next;
        std::wstring path;
        if (!DateStampLater(stamp, later, next) ||
            ComposeTargetPath(settings.mFolder, drawingPath, settings.mMainItemNo, next, path) != ComposeResult::Ok)
            break;
        if (!FreeFor(path, drawingPath)) continue;
        VylMsgPutMessage(LastingText(L"[백업] " + target + L" 에 다른 파일이 있어 " + path + L" 에 저장합니다"));
        stamp = std::move(next);
        target = std::move(path);
        return true;
    }
    VylMsgPutMessage(LastingText(L"[백업] " + target + L" 과 그 뒤 " + std::to_wstring(kLaterMinutes) +
                                 L"분의 이름에 모두 다른 파일이 있어 저장하지 않았습니다"));
    return false;
}

void BackupOnce(const BackupSettings& settings) {
    const wchar_t* reported = VylFilGetCadDrawingPath();
    const std::wstring drawingPath = reported ? reported : L"";
    if (drawingPath.empty()) return;

    DateStamp stamp;
    FillDateStamp(stamp);

    std::wstring target;
    if (ComposeTargetPath(settings.mFolder, drawingPath, settings.mMainItemNo, stamp, target) != ComposeResult::Ok)
        return;
    const HousekeepingSettings& options = PluginHousekeeping();
    const bool journaled = options.AnyOn() || options.mRecoveryNotice == 1;
    if (journaled && !TakeFreeName(settings, drawingPath, stamp, target)) return;

    bool folderIsNew = false;
    MakeDirectoryChain(target, &folderIsNew);
    const bool saved = VylFilSaveCadDrawingAsTmpFile(target.c_str()) != -1;
    // The record is complete before anything that may pump messages (and so open the dialog
    // that shows it) runs.
    BackupOutcome& outcome = lastOutcome;
    const int failedBefore = outcome.failuresInRow;
    outcome.failuresInRow = saved ? 0 : failedBefore + 1;
    outcome.kind = saved ? BackupOutcome::Kind::Saved : BackupOutcome::Kind::Failed;
    outcome.stamp = std::move(stamp);
    outcome.target = target;
    outcome.twin.clear();
    outcome.removed = outcome.failedDeletes = 0;
    outcome.journalFailed = false;
    const bool quiet = options.mQuietFailures == 1;
    if (!saved) {
        const std::wstring message = L"[오류]" + target + L" 에 저장할수 없습니다.";
        // Warn once: a box for the first failure of a run of them, the message line for the rest.
        if (quiet && failedBefore > 0)
            VylMsgPutMessage(LastingText(message));
        else
            VylDlgMessageBox(message.c_str());
        return;
    }
    if (quiet && failedBefore > 0) VylMsgPutMessage(LastingText(L"[백업] 다시 저장되었습니다: " + target));
    MadeCopy made;
    if (!journaled || !StampOfDateStamp(outcome.stamp, made.stamp)) return;
    made.path = target;
    made.session = CurrentSession();
    made.folderIsNew = folderIsNew;
    made.layout = static_cast<CopyLayout>(settings.mMainItemNo);  // the patterns are the layouts, 1 to 4
    Journal* journal = PluginJournal();
    if (!journal) {
        outcome.journalFailed = true;
        return;
    }
    static std::vector<unsigned char> readBuffer;  // kept from tick to tick
    Win32FileTree tree(&readBuffer);               // for this tick alone
    const TickReport report = HousekeepAfterSave(tree, *journal, settings.mFolder, drawingPath, made, options);
    if (report.journalCreated && options.AnyOn()) VylMsgPutMessage(kJournalStarted);
    outcome.journalFailed = report.journalFailed;
    if (report.empty) outcome.kind = BackupOutcome::Kind::Empty;
    if (report.identical) {
        outcome.kind = BackupOutcome::Kind::SkippedIdentical;
        outcome.twin = report.twin;
    }
    outcome.removed = report.removed;
    outcome.failedDeletes = report.failed;
}

// The journal, and this library's session in it.
struct PluginJournalHolder {
    bool looked = false;
    std::unique_ptr<Win32JournalStore> store;
    std::unique_ptr<Journal> journal;
    bool started = false;  // this library wrote its session's start line
    ~PluginJournalHolder() {
        // The library is unloaded (a host that was ended outright never gets here): its session
        // ended cleanly. The path was found at the start; the lock is waited for a bounded time.
        if (!started || !journal) return;
        JournalRecord end;
        end.kind = JournalRecord::Kind::End;
        end.session = CurrentSession();
        try {
            journal->Write({end});
        } catch (...) {
            // Out of memory at unload: the next start may name this session's copies.
        }
    }
};

PluginJournalHolder& Holder() {
    static PluginJournalHolder holder;
    return holder;
}

}  // namespace

const wchar_t* LastingText(const std::wstring& text) {
    static std::set<std::wstring> texts;
    return texts.insert(text).first->c_str();
}

void StartPluginSession() {
    PluginJournalHolder& holder = Holder();
    Journal* journal = PluginJournal();
    if (holder.started || !journal || !CurrentSession().Known()) return;
    JournalRecord start;
    start.kind = JournalRecord::Kind::Start;
    start.session = CurrentSession();
    holder.started = journal->Write({start});
}

void ShowRecoveryNotice() {
    static bool shown = false;
    Journal* journal = PluginJournal();
    if (shown || !journal) return;
    shown = true;
    std::vector<Journal::EndedSession> ended;
    if (!journal->ClaimEndedSessions(CurrentSession(), SessionOver, ended) || ended.empty()) return;
    const RecoveryTexts texts =
        RecoveryNoticeTexts(PlanRecoveryNotice(*journal, ended, CopyGoodNow, DrawingNowOf, SystemNameOrder));
    if (!texts.box.empty()) VylDlgMessageBox(texts.box.c_str());
    for (const std::wstring& line : texts.lines) VylMsgPutMessage(LastingText(line));
    journal->CompactIfWorth();
}

const BackupOutcome& LastBackupOutcome() { return lastOutcome; }

Journal* PluginJournal() {
    PluginJournalHolder& holder = Holder();
    if (!holder.looked) {
        holder.looked = true;
        const std::wstring path = DefaultJournalPath();
        if (!path.empty()) {
            holder.store = std::make_unique<Win32JournalStore>(path);
            holder.journal = std::make_unique<Journal>(*holder.store, SystemNameOrder, SystemNameFold);
        }
    }
    return holder.journal.get();
}

std::wstring StampText(const DateStamp& stamp) {
    return stamp.mYear + L'-' + stamp.mMonth + L'-' + stamp.mDay + L' ' + stamp.mHour + L':' + stamp.mMinute;
}

void CALLBACK RunBackup(HWND, UINT, UINT_PTR, DWORD) {
    // The host's save and message box may pump messages, and with them this timer:
    // a nested tick would stack one more box per tick, so it is skipped instead.
    if (runInProgress) return;
    runInProgress = true;
    try {
        BackupOnce(PluginSettings());
    } catch (...) {
        // Out of memory: this tick saves nothing; the next one tries again.
    }
    runInProgress = false;
}
