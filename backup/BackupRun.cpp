#include "BackupRun.h"

#include <time.h>

#include "FileTreeWin32.h"
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
int MakeDirectoryChain(std::wstring path) {
    const std::vector<std::wstring> attempts = PlanDirectoryChain(path);
    for (const std::wstring& folder : attempts) CreateDirectoryW(folder.c_str(), nullptr);
    return static_cast<int>(attempts.size());
}

namespace {

bool runInProgress = false;
BackupOutcome lastOutcome;

// The housekeeping of this library, and the file system it works on; both live as long as
// the library, so that the index of the drawing's copies carries from one tick to the next.
Housekeeper& Keeper() {
    static Housekeeper keeper;
    return keeper;
}
Win32FileTree& Tree() {
    static Win32FileTree tree;
    return tree;
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

    MakeDirectoryChain(target);
    const bool saved = VylFilSaveCadDrawingAsTmpFile(target.c_str()) != -1;
    // The record is complete before anything that may pump messages (and so open the dialog
    // that shows it) runs.
    BackupOutcome& outcome = lastOutcome;
    outcome.kind = saved ? BackupOutcome::Kind::Saved : BackupOutcome::Kind::Failed;
    outcome.stamp = std::move(stamp);
    outcome.target = target;
    outcome.twin.clear();
    outcome.removed = outcome.failedDeletes = 0;
    if (!saved) {
        const std::wstring message = L"[오류]" + target + L" 에 저장할수 없습니다.";
        VylDlgMessageBox(message.c_str());
        return;
    }
    const HousekeepingSettings& options = PluginHousekeeping();
    if (!options.AnyOn()) return;
    const TickReport report = Keeper().AfterSave(Tree(), settings.mFolder, drawingPath, target, options);
    if (report.identical) {
        outcome.kind = BackupOutcome::Kind::SkippedIdentical;
        outcome.twin = report.twin;
    }
    outcome.removed = report.removed;
    outcome.failedDeletes = report.failed;
}

}  // namespace

const BackupOutcome& LastBackupOutcome() { return lastOutcome; }

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
