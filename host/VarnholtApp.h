// The plug-in's entry, its handlers and its application object.
#pragma once
#include <windows.h>

#include <cstdint>

#include "framework/Afx.h"

// The identifier passed to SetTimer for the backup timer.
constexpr UINT_PTR BackupTimerId = 1;

// What SetTimer returned for the running backup timer; 0 when none runs.
extern UINT_PTR RunningTimerId;

class CVarnholtApp : public CWinApp {
public:
    CVarnholtApp();
    // Kills the backup timer if one runs.
    ~CVarnholtApp() override;
    // Never fails the library's attach.
    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};

extern "C" {
// The host's entry: 0 when the host accepted the registration, -1 otherwise.
__declspec(dllexport) int Startup();
int OnPluginInit();
bool OnPluginSecond();
void OnPluginThird();
}
