#include "BackupRun.h"

#include <time.h>

#include "host/PluginState.h"
#include "host/VylLib.h"

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
    if (VylFilSaveCadDrawingAsTmpFile(target.c_str()) == -1) {
        const std::wstring message = L"[오류]" + target + L" 에 저장할수 없습니다.";
        VylDlgMessageBox(message.c_str());
    }
}

}  // namespace

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
