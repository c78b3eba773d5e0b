// Loads Varnholt.dll the way the host does and drives its windows from inside their
// modal loops: a thread timer runs scripted steps, each of which waits for a condition.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "hostsim/VylSim.h"

class LoadedPlugin {
public:
    // Loads the library, runs `beforeStartup` (to patch its imports), then calls Startup
    // and the initialisation handler.
    explicit LoadedPlugin(const std::function<void(HMODULE)>& beforeStartup = nullptr);
    ~LoadedPlugin();  // unloads the library
    int startupResult = 0;
    HMODULE module = nullptr;
    int Execute(int command) { return SimExecuteHandler()(command); }
};

class ModalDriver {
public:
    using Step = std::function<bool()>;  // true when done; false: try again on the next tick
    ModalDriver& Then(Step step) {
        steps_.push_back(std::move(step));
        return *this;
    }
    // Runs `body` (which enters a modal loop) while the steps are played inside it.
    void Run(const std::function<void()>& body);
    bool Finished() const { return next_ == steps_.size(); }
    bool TimedOut() const { return timedOut_; }
    // Which step waited in vain, and the windows that were open then.
    const std::string& TimeoutReport() const { return timeoutReport_; }
    // A step waits at most this many ticks of 10 ms.
    static constexpr int kStepTicks = 500;

private:
    friend bool ModalDriverWaiting();
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    int waited_ = 0;
    bool inStep_ = false;
    bool timedOut_ = false;
    std::string timeoutReport_;
};

// True while a ModalDriver runs and one of its steps still waits for something (not while a
// step runs: a modal window that opens inside a step is one that no step waits for).
bool ModalDriverWaiting();
// The visible dialog windows (class #32770) of this thread, and a description of one: its
// class, caption, and the ids and texts of its controls.
std::vector<HWND> OpenDialogs();
std::string DescribeWindow(HWND window);

// Dispatches this thread's messages until `done` is true, for at most `maxTicks` ticks of
// 10 ms; false if it never came true.
bool PumpUntil(const std::function<bool()>& done, int maxTicks = 500);

// A step that waits for the folder browser, highlights `path` in it and confirms.
ModalDriver::Step ConfirmFolderInBrowser(const std::wstring& path);

// Visible top-level windows of this thread.
HWND FindSettingsDialog();
HWND FindMessageBoxWindow();
HWND FindFolderBrowser();
std::wstring TextOf(HWND window);
// Posts a button click as the button itself would report it.
void PostClick(HWND dialog, int id);
// Sends NM_CLICK for a point inside row `row` of the pattern list, or below the last row when row is -1.
void ClickPatternRow(HWND dialog, int row);

// The backup management dialog (it holds control 12021).
HWND FindManageDialog();

// The clock the loaded plug-in reads (its _time64 import) is the test's: set it to a local
// wall-clock time with SetPluginClock. The timer procedure the plug-in hands to SetTimer is
// captured (and the timer still made) so that a test can run a tick as the host's dispatch would.
void ControlPluginClockAndTimer(HMODULE module);
void SetPluginClock(int year, int month, int day, int hour, int minute, int second = 33);
// Runs one tick of the captured timer procedure; false when the plug-in started no timer.
bool RunCapturedTick();

// Registry helpers for the settings key.
void ClearSettingsKey();
bool ReadSetting(const wchar_t* name, DWORD& type, std::vector<uint8_t>& data);
void WriteSettingSz(const wchar_t* name, const std::wstring& text);
void WriteSettingDw(const wchar_t* name, DWORD value);
std::wstring SettingText(const wchar_t* name);
// How many values the settings key holds; -1 when there is no key.
int SettingValueCount();
DWORD SettingDword(const wchar_t* name);
// Automatic backup on, every 10 minutes, pattern 1, into `folder`: the settings most tests start from.
void WriteBackupSettings(const std::wstring& folder);

// The plug-in's journal file for this user, and its folder.
std::wstring JournalFolder();
std::wstring JournalFile();
// Removes the journal (and anything standing where its folder would be).
void RemoveJournal();
// Writes made lines for `copies` (full paths below `backupFolder`, in the name grammar) of
// `drawing`, with their identities as they are now, as if the plug-in had made them; false
// when one of them cannot be read or written.
bool JournalAsMade(const std::wstring& backupFolder, const std::wstring& drawing,
                   const std::vector<std::wstring>& copies);
