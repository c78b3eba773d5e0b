#include "PluginHarness.h"

#include <commctrl.h>
#include <shlobj.h>
#include <time.h>

#include <ctime>

#include "WinTestUtil.h"
#include "backup/Journal.h"
#include "hostsim/IatHook.h"

namespace {
const wchar_t kKey[] = L"SOFTWARE\\Quarnstead\\VYL\\Varnholt";
ModalDriver* activeDriver = nullptr;

struct Search {
    std::function<bool(HWND)> match;
    HWND found = nullptr;
};

BOOL CALLBACK EnumProc(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<Search*>(lParam);
    if (IsWindowVisible(window) && search->match(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindThreadWindow(std::function<bool(HWND)> match) {
    Search search{std::move(match)};
    EnumThreadWindows(GetCurrentThreadId(), EnumProc, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool IsDialogClass(HWND window) {
    wchar_t name[64] = L"";
    GetClassNameW(window, name, 64);
    return std::wstring(name) == L"#32770";
}

BOOL CALLBACK FindTree(HWND child, LPARAM lParam) {
    wchar_t name[64] = L"";
    GetClassNameW(child, name, 64);
    if (std::wstring(name) == L"SysTreeView32") {
        *reinterpret_cast<bool*>(lParam) = true;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

LoadedPlugin::LoadedPlugin(const std::function<void(HMODULE)>& beforeStartup) {
    module = LoadLibraryW(L"Varnholt.dll");
    if (!module) return;
    if (beforeStartup) beforeStartup(module);
    auto startup = reinterpret_cast<int (*)()>(GetProcAddress(module, "Startup"));
    startupResult = startup();
    if (SimInitHandler()) SimInitHandler()();
}

LoadedPlugin::~LoadedPlugin() {
    if (module) FreeLibrary(module);
}

bool PumpUntil(const std::function<bool()>& done, int maxTicks) {
    // A thread timer of our own bounds the wait; each of its ticks re-checks the condition.
    const UINT_PTR watchdog = SetTimer(nullptr, 0, 10, nullptr);
    int ticks = 0;
    MSG msg;
    while (!done() && ticks < maxTicks && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr && msg.wParam == watchdog) ++ticks;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    KillTimer(nullptr, watchdog);
    return done();
}

void ModalDriver::Run(const std::function<void()>& body) {
    activeDriver = this;
    const UINT_PTR timer = SetTimer(nullptr, 0, 10, Tick);
    body();
    KillTimer(nullptr, timer);
    activeDriver = nullptr;
}

void CALLBACK ModalDriver::Tick(HWND, UINT, UINT_PTR, DWORD) {
    ModalDriver* d = activeDriver;
    if (!d || d->inStep_ || d->Finished()) return;
    d->inStep_ = true;
    if (d->steps_[d->next_]()) {
        ++d->next_;
        d->waited_ = 0;
    } else if (++d->waited_ > kStepTicks) {
        // A step that never came true: close whatever is open so the test can report it.
        d->timedOut_ = true;
        d->timeoutReport_ = "step " + std::to_string(d->next_ + 1) + " of " + std::to_string(d->steps_.size()) +
                            " waited " + std::to_string(kStepTicks / 100) + " s in vain; open then:";
        d->next_ = d->steps_.size();
        for (HWND w : OpenDialogs()) d->timeoutReport_ += " [" + DescribeWindow(w) + "]";
        for (HWND w; (w = FindThreadWindow(IsDialogClass)) != nullptr;) {
            EndDialog(w, IDCANCEL);
            DestroyWindow(w);
        }
    }
    d->inStep_ = false;
}

bool ModalDriverWaiting() { return activeDriver && !activeDriver->inStep_ && !activeDriver->Finished(); }

namespace {
BOOL CALLBACK CollectDialog(HWND window, LPARAM list) {
    if (IsWindowVisible(window) && IsDialogClass(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}
BOOL CALLBACK DescribeChild(HWND child, LPARAM out) {
    auto& text = *reinterpret_cast<std::string*>(out);
    text += " " + std::to_string(GetDlgCtrlID(child));
    const std::wstring caption = TextOf(child);
    if (!caption.empty()) text += "=\"" + Utf8(caption.substr(0, 60)) + "\"";
    return TRUE;
}
}  // namespace

std::vector<HWND> OpenDialogs() {
    std::vector<HWND> dialogs;
    EnumThreadWindows(GetCurrentThreadId(), CollectDialog, reinterpret_cast<LPARAM>(&dialogs));
    return dialogs;
}

std::string DescribeWindow(HWND window) {
    wchar_t cls[64] = L"";
    GetClassNameW(window, cls, 64);
    std::string text = "class " + Utf8(cls) + ", caption \"" + Utf8(TextOf(window)) + "\", controls:";
    EnumChildWindows(window, DescribeChild, reinterpret_cast<LPARAM>(&text));
    return text;
}

ModalDriver::Step ConfirmFolderInBrowser(const std::wstring& path) {
    return [path] {
        HWND browser = FindFolderBrowser();
        if (!browser) return false;
        SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path.c_str()));
        PostMessageW(browser, WM_COMMAND, IDOK, 0);
        return true;
    };
}

HWND FindSettingsDialog() {
    return FindThreadWindow([](HWND w) { return IsDialogClass(w) && GetDlgItem(w, 12011) != nullptr; });
}

HWND FindManageDialog() {
    return FindThreadWindow([](HWND w) { return IsDialogClass(w) && GetDlgItem(w, 12021) != nullptr; });
}

namespace {
__time64_t pluginClock = 0;
TIMERPROC capturedTimer = nullptr;
decltype(&SetTimer) realSetTimer = nullptr;

__time64_t __cdecl PluginTime(__time64_t* out) {
    if (out) *out = pluginClock;
    return pluginClock;
}
UINT_PTR WINAPI CaptureSetTimer(HWND window, UINT_PTR id, UINT ms, TIMERPROC proc) {
    capturedTimer = proc;
    return realSetTimer(window, id, ms, proc);
}
}  // namespace

void ControlPluginClockAndTimer(HMODULE module) {
    capturedTimer = nullptr;
    SetPluginClock(2026, 12, 9, 9, 5);
    PatchImport(module, "msvcrt.dll", "_time64", reinterpret_cast<void*>(PluginTime));
    realSetTimer = reinterpret_cast<decltype(&SetTimer)>(
        PatchImport(module, "user32.dll", "SetTimer", reinterpret_cast<void*>(CaptureSetTimer)));
}

void SetPluginClock(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    pluginClock = _mktime64(&t);
}

bool RunCapturedTick() {
    if (!capturedTimer) return false;
    capturedTimer(nullptr, WM_TIMER, 1, 0);
    return true;
}

HWND FindMessageBoxWindow() {
    return FindThreadWindow([](HWND w) { return IsDialogClass(w) && GetDlgItem(w, 0xFFFF) != nullptr; });
}

HWND FindFolderBrowser() {
    return FindThreadWindow([](HWND w) {
        bool tree = false;
        if (IsDialogClass(w)) EnumChildWindows(w, FindTree, reinterpret_cast<LPARAM>(&tree));
        return tree;
    });
}

std::wstring TextOf(HWND window) {
    wchar_t text[1024] = L"";
    GetWindowTextW(window, text, 1024);
    return text;
}

void PostClick(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void ClickPatternRow(HWND dialog, int row) {
    HWND list = GetDlgItem(dialog, 12011);
    POINT point{};
    RECT rect{};
    if (row >= 0) {
        rect.left = LVIR_BOUNDS;
        SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
        point = {rect.left + 10, (rect.top + rect.bottom) / 2};
    } else {
        const int last = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) - 1;
        rect.left = LVIR_BOUNDS;
        SendMessageW(list, LVM_GETITEMRECT, last, reinterpret_cast<LPARAM>(&rect));
        point = {rect.left + 10, rect.bottom + 8};
    }
    LVHITTESTINFO hit{};
    hit.pt = point;
    SendMessageW(list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    NMITEMACTIVATE click{};
    click.hdr.hwndFrom = list;
    click.hdr.idFrom = 12011;
    click.hdr.code = NM_CLICK;
    click.iItem = hit.iItem;
    click.ptAction = point;
    SendMessageW(dialog, WM_NOTIFY, 12011, reinterpret_cast<LPARAM>(&click));
}

void ClearSettingsKey() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
    RegDeleteKeyW(HKEY_CURRENT_USER, kKey);
}

bool ReadSetting(const wchar_t* name, DWORD& type, std::vector<uint8_t>& data) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD size = 0;
    bool ok = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    if (ok) {
        data.resize(size);
        ok = RegQueryValueExW(key, name, nullptr, &type, data.data(), &size) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return ok;
}

void WriteSettingSz(const wchar_t* name, const std::wstring& text) {
    HKEY key;
    RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * 2));
    RegCloseKey(key);
}

void WriteSettingDw(const wchar_t* name, DWORD value) {
    HKEY key;
    RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
    RegCloseKey(key);
}

std::wstring SettingText(const wchar_t* name) {
    DWORD type = 0;
    std::vector<uint8_t> data;
    if (!ReadSetting(name, type, data)) return L"<missing>";
    return std::wstring(reinterpret_cast<const wchar_t*>(data.data()), data.size() / 2).c_str();
}

DWORD SettingDword(const wchar_t* name) {
    DWORD type = 0;
    std::vector<uint8_t> data;
    if (!ReadSetting(name, type, data) || data.size() != 4) return 0xDEADBEEF;
    return *reinterpret_cast<const DWORD*>(data.data());
}

int SettingValueCount() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return -1;
    DWORD values = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(key);
    return static_cast<int>(values);
}

std::wstring JournalFolder() {
    PWSTR local = nullptr;
    std::wstring folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local)))
        folder = std::wstring(local) + L"\\Varnholt";
    CoTaskMemFree(local);
    return folder;
}

std::wstring JournalFile() { return JournalFolder() + L"\\backup-journal.txt"; }

void RemoveJournal() {
    DeleteFileW(JournalFile().c_str());
    SetFileAttributesW(JournalFolder().c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(JournalFolder().c_str());  // a file put where the folder should be
    RemoveDirectoryW(JournalFolder().c_str());
}

namespace {
bool Identity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = GetFileInformationByHandle(h, &info) != FALSE;
    CloseHandle(h);
    return ok;
}
uint64_t Join(DWORD high, DWORD low) { return static_cast<uint64_t>(high) << 32 | low; }
}  // namespace

bool JournalAsMade(const std::wstring& backupFolder, const std::wstring& drawing,
                   const std::vector<std::wstring>& copies) {
    std::string text;
    for (const std::wstring& path : copies) {
        ParsedCopy parsed;
        BY_HANDLE_FILE_INFORMATION info;
        if (!ParseCopyPathBelow(backupFolder, path, parsed) || !Identity(path, info)) return false;
        JournalRecord r;
        r.path = path;
        r.drawing = drawing;
        r.stamp = parsed.stamp;
        r.size = Join(info.nFileSizeHigh, info.nFileSizeLow);
        r.writeTime = Join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime);
        r.id = FileIdentity{info.dwVolumeSerialNumber, Join(info.nFileIndexHigh, info.nFileIndexLow)};
        std::wstring folder = path.substr(0, path.rfind(L'\\'));
        for (int depth = DateDepth(parsed.layout); depth > 0; --depth) {
            BY_HANDLE_FILE_INFORMATION f;
            if (!Identity(folder, f)) return false;
            r.folderIndexes.insert(r.folderIndexes.begin(), Join(f.nFileIndexHigh, f.nFileIndexLow));
            folder.resize(folder.rfind(L'\\'));
        }
        std::string line;
        if (!FormatJournalLine(r, line)) return false;
        text += line;
    }
    CreateDirectoryW(JournalFolder().c_str(), nullptr);
    HANDLE h = CreateFileW(JournalFile().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
    CloseHandle(h);
    return ok;
}

void WriteBackupSettings(const std::wstring& folder) {
    WriteSettingSz(L"mIsAutoBackup", L"1");
    WriteSettingDw(L"mTime", 10);
    WriteSettingSz(L"mFolder", folder);
    WriteSettingDw(L"mMainItemNo", 1);
}
