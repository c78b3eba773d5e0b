#include "BackupRun.h"

#include <time.h>

#include <memory>
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

void BackupOnce(const BackupSettings& settings) {
    const wchar_t* reported = VylFilGetCadDrawingPath();
    const std::wstring drawingPath = reported ? reported : L"";
    if (drawingPath.empty()) return;

    DateStamp stamp;
    FillDateStamp(stamp);

    std::wstring target;
    if (ComposeTargetPath(settings.mFolder, drawingPath, settings.mMainItemNo, stamp, target) != ComposeResult::Ok)
        return;

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
    const HousekeepingSettings& options = PluginHousekeeping();
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
    if ((!options.AnyOn() && options.mRecoveryNotice != 1) || !StampOfDateStamp(outcome.stamp, made.stamp)) return;
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
    journal->CompactIfWorth(PluginHousekeeping().AnyOn());
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
