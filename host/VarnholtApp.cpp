#include "VarnholtApp.h"

#include "settings/PluginState.h"
#include "VylLib.h"
#include "backup/BackupRun.h"
#include "settings/RegistryWin32.h"
#include "settings/TimerInterval.h"
#include "ui/VarnholtDlg.h"

UINT_PTR RunningTimerId = 0;

BEGIN_MESSAGE_MAP(CVarnholtApp, CWinApp)
END_MESSAGE_MAP()

CVarnholtApp::CVarnholtApp() : CWinApp(nullptr) {}

CVarnholtApp::~CVarnholtApp() {
    // The timer was made without a window, so it is killed without one: a window looked
    // up now could miss it, and it would then fire into an unloaded library.
    if (RunningTimerId != 0 && KillTimer(nullptr, RunningTimerId)) RunningTimerId = 0;
}

BOOL CVarnholtApp::InitInstance() {
    CWinApp::InitInstance();
    return TRUE;
}

extern "C" int Startup() {
    try {
        if (VylCtlRegisterVylLib2(OnPluginInit, OnPluginSecond, OnPluginThird) <= 0) return -1;
        BackupSettings& settings = PluginSettings();
        LoadSettings(SettingsSection, settings);
        LoadHousekeeping(SettingsSection, PluginHousekeeping());
        if (PluginHousekeeping().mRecoveryNotice == 1) StartPluginSession();
        // A second Startup keeps the timer that runs: a new one would replace the only
        // record of the old, which would then outlive the library.
        if (settings.mIsAutoBackup != 0 && RunningTimerId == 0) {
            // A thread timer: the plug-in owns no window, and one of the host's could
            // already use this identifier for a timer of its own.
            RunningTimerId = SetTimer(nullptr, BackupTimerId, BackupIntervalMs(settings.mTime), RunBackup);
        }
    } catch (...) {
        // Out of memory while loading: the plug-in is registered but runs no timer.
    }
    return 0;
}

extern "C" int OnPluginInit() {
    VylEvtSetEventMask(0x20000);
    VylMsgPutMessage(L"설정값을 변경하시려면 종료버튼을 누르세요.");
    VylCtlSetExecuteFunc(OnExecuteCommand, L"");
    try {
        if (PluginHousekeeping().mRecoveryNotice == 1) ShowRecoveryNotice();
    } catch (...) {
        // Out of memory: no notice this time; the sessions it would name stay unreported.
    }
    return 0;
}

extern "C" bool OnPluginSecond() { return false; }

extern "C" void OnPluginThird() {}
