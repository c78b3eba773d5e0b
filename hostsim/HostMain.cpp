// The stand-in host program: loads VylLib.dll and Varnholt.dll the way the host does
// (LoadLibrary, Startup, the initialisation handler, a message loop, the execute
// handler on request, FreeLibrary) and prints what the plug-in asks of the host.
//
//   host.exe [--drawing PATH] [--backups N] [--tick-ms MS] [--simulated-clock]
//            [--settings] [--screenshot FILE.bmp] [--manage-screenshot FILE.bmp]
//            [--list-screenshot FILE.bmp]
//
// --tick-ms runs the plug-in's timer every MS milliseconds instead of what it asks for;
// --simulated-clock moves the clock the plug-in reads forward by its interval at every
// backup, so that a short demonstration shows the folder layout of real minutes.
// --manage-screenshot also opens the backup management dialog from the settings dialog and
// saves a picture of it; --list-screenshot opens the copy list from the management dialog (and
// that dialog on the way) and saves a picture of the list.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <time.h>

#include "IatHook.h"
#include "Screenshot.h"
#include "VylSim.h"

namespace {

struct Options {
    std::wstring drawing;
    int backups = 0;
    UINT tickMs = 0;
    bool simulatedClock = false;
    bool settings = false;
    std::wstring screenshot;
    std::wstring manageScreenshot;
    std::wstring listScreenshot;
};

Options options;
int savesSeen = 0;
UINT requestedMs = 0;
__time64_t simulatedNow = 0;
HWND mainWindow = nullptr;
constexpr UINT WM_OPEN_SETTINGS = WM_APP + 1;

void Say(const wchar_t* format, ...) {
    wchar_t text[1024];
    va_list args;
    va_start(args, format);
    _vsnwprintf(text, 1023, format, args);
    va_end(args);
    text[1023] = 0;
    char utf8[4096];
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8, n > 0 ? n - 1 : 0, &written, nullptr);
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "\n", 1, &written, nullptr);
}

decltype(&SetTimer) realSetTimer = nullptr;
UINT_PTR WINAPI WatchSetTimer(HWND window, UINT_PTR id, UINT ms, TIMERPROC proc) {
    requestedMs = ms;
    const UINT used = options.tickMs ? options.tickMs : ms;
    Say(L"[host] plug-in starts its backup timer: %u ms asked, running every %u ms", ms, used);
    return realSetTimer(window, id, used, proc);
}

__time64_t __cdecl SimulatedTime64(__time64_t* out) {
    simulatedNow += requestedMs / 1000;  // one interval of the plug-in per reading
    if (out) *out = simulatedNow;
    return simulatedNow;
}

void CountSave(const wchar_t*) {
    if (options.backups > 0 && ++savesSeen >= options.backups) PostQuitMessage(0);
}

HWND FindVisibleDialogWith(int controlId) {
    struct Search {
        int id;
        HWND found;
    } search{controlId, nullptr};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND w, LPARAM p) -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            if (IsWindowVisible(w) && GetDlgItem(w, s->id)) return s->found = w, FALSE;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void Click(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void Shot(HWND dialog, const std::wstring& file) {
    Say(SaveWindowScreenshot(dialog, file) ? L"[host] screenshot saved to %ls" : L"[host] screenshot FAILED: %ls",
        file.c_str());
}

// Takes the screenshots once each dialog has painted: the settings dialog, then (when asked)
// the backup management dialog opened from its button, then (when asked) the copy list opened
// from the management dialog's button; then closes them again, the innermost first.
void CALLBACK ScreenshotTick(HWND, UINT, UINT_PTR timer, DWORD) {
    static int stage = 0, ticks = 0;
    HWND settings = FindVisibleDialogWith(12011);
    HWND manage = FindVisibleDialogWith(12021);
    HWND list = FindVisibleDialogWith(12041);
    if (!settings) return;
    if (stage == 0 && ++ticks >= 20) {
        Shot(settings, options.screenshot);
        ticks = 0;
        if (options.manageScreenshot.empty() && options.listScreenshot.empty()) {
            stage = 2;
        } else {
            Click(settings, 12012);
            stage = 1;
        }
    } else if (stage == 1 && manage && ++ticks >= 20) {
        if (!options.manageScreenshot.empty()) Shot(manage, options.manageScreenshot);
        ticks = 0;
        if (options.listScreenshot.empty()) {
            Click(manage, IDCANCEL);
            stage = 2;
        } else {
            Click(manage, 12030);
            stage = 3;
        }
    } else if (stage == 3 && list && ++ticks >= 20) {
        Shot(list, options.listScreenshot);
        Click(list, IDCANCEL);
        stage = 4;
    } else if (stage == 4 && manage && !list) {
        Click(manage, IDCANCEL);
        stage = 2;
    } else if (stage == 2 && !manage) {
        KillTimer(nullptr, timer);
        Click(settings, IDOK);
    }
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_OPEN_SETTINGS) {
        if (!options.screenshot.empty()) SetTimer(nullptr, 0, 20, ScreenshotTick);
        Say(L"[host] running the plug-in's command 7 (settings)");
        const int result = SimExecuteHandler() ? SimExecuteHandler()(7) : -1;
        Say(L"[host] command 7 returned %d", result);
        if (options.backups == 0) PostQuitMessage(0);
        return 0;
    }
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        const bool more = i + 1 < argc;
        if (a == L"--drawing" && more)
            options.drawing = argv[++i];
        else if (a == L"--backups" && more)
            options.backups = _wtoi(argv[++i]);
        else if (a == L"--tick-ms" && more)
            options.tickMs = static_cast<UINT>(_wtoi(argv[++i]));
        else if (a == L"--simulated-clock")
            options.simulatedClock = true;
        else if (a == L"--settings")
            options.settings = true;
        else if (a == L"--screenshot" && more)
            options.screenshot = argv[++i];
        else if (a == L"--manage-screenshot" && more)
            options.manageScreenshot = argv[++i];
        else if (a == L"--list-screenshot" && more)
            options.listScreenshot = argv[++i];
        else {
            Say(L"unknown argument: %ls", a.c_str());
            return 2;
        }
    }
    SimSetEcho(1);
    SimSetDrawingPath(options.drawing.empty() ? nullptr : options.drawing.c_str());
    SimSetSaveHook(CountSave);

    WNDCLASSW wc{};
    wc.lpfnWndProc = MainProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VarnholtStandInHost";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    RegisterClassW(&wc);
    mainWindow = CreateWindowW(wc.lpszClassName, L"Stand-in host", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, nullptr,
                               nullptr, wc.hInstance, nullptr);
    ShowWindow(mainWindow, SW_SHOW);

    HMODULE plugin = LoadLibraryW(L"Varnholt.dll");
    if (!plugin) {
        Say(L"[host] cannot load Varnholt.dll (error %lu)", GetLastError());
        return 1;
    }
    realSetTimer = reinterpret_cast<decltype(&SetTimer)>(
        PatchImport(plugin, "user32.dll", "SetTimer", reinterpret_cast<void*>(WatchSetTimer)));
    if (options.simulatedClock) {
        simulatedNow = _time64(nullptr);
        PatchImport(plugin, "msvcrt.dll", "_time64", reinterpret_cast<void*>(SimulatedTime64));
    }
    auto startup = reinterpret_cast<int (*)()>(GetProcAddress(plugin, "Startup"));
    const int started = startup ? startup() : -1;
    Say(L"[host] Startup returned %d", started);
    if (SimInitHandler()) Say(L"[host] initialisation handler returned %d", SimInitHandler()());

    if (options.settings) PostMessageW(mainWindow, WM_OPEN_SETTINGS, 0, 0);
    if (options.backups == 0 && !options.settings) PostQuitMessage(0);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    FreeLibrary(plugin);
    Say(L"[host] plug-in unloaded after %d backup(s)", savesSeen);
    DestroyWindow(mainWindow);
    return 0;
}
