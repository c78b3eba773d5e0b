// The library's entry: the application object was constructed with the module's
// objects; attaching initialises it and detaching runs its instance exit.
#include "Afx.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    CWinApp* app = AfxGetStaticModuleState()->m_pCurrentWinApp;
    if (!app) return TRUE;
    if (reason == DLL_PROCESS_ATTACH) return app->InitInstance();
    if (reason == DLL_PROCESS_DETACH) app->ExitInstance();
    return TRUE;
}
