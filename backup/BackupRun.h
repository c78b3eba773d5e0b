// One timed backup of the drawing open in the host.
#pragma once
#include <windows.h>

#include <string>

#include "BackupPath.h"

// Fills the six fields from one reading of the clock in local time; always returns 1.
int FillDateStamp(DateStamp& stamp);

// Attempts CreateDirectoryW on every folder along the target path (with '/'
// separators), ignoring outcomes. Returns the number of attempts; `madeLast`, where not
// null, tells whether the last of them made its folder.
int MakeDirectoryChain(std::wstring path, bool* madeLast = nullptr);

// Timer procedure: one backup run with the plug-in's current settings. A tick that
// arrives while an earlier run is still inside a host call is skipped. After a successful
// save it applies the housekeeping options; none of that ever shows a message.
void CALLBACK RunBackup(HWND window, UINT message, UINT_PTR timerId, DWORD tickCount);

// What the last backup run of this library did, kept in memory only.
struct BackupOutcome {
    enum class Kind { None, Saved, Failed, SkippedIdentical, Empty };
    Kind kind = Kind::None;
    DateStamp stamp;      // the run's clock reading
    std::wstring target;  // the copy saved, or the path the save was tried at
    std::wstring twin;    // skipped as identical: the earlier copy kept in its place
    int removed = 0;      // copies the retention rules deleted
    int failedDeletes = 0;
    bool journalFailed = false;  // housekeeping could not read or write its journal: nothing was deleted
    int failuresInRow = 0;       // failed saves since the last success (or since the library was loaded)
};
const BackupOutcome& LastBackupOutcome();

class Journal;
// The journal of this library's copies, found (the user's folder looked up) at the first call
// and read from then on only where it grew; null when that folder cannot be found. Called only
// once a housekeeping option or the notice after a crash is on.
Journal* PluginJournal();
// Writes this library's start line (once; the first call looks up the journal). When the
// library is unloaded, its end line follows.
void StartPluginSession();
// Names, in one host box and on the message line, the newest copies of the drawings of
// sessions that ended without unloading the library, and marks those sessions reported.
// Once per library load; nothing when there are none or the journal cannot be read.
void ShowRecoveryNotice();
// Texts handed to the host's message line: the host may keep the pointer, so each stays,
// once, as long as the library.
const wchar_t* LastingText(const std::wstring& text);
// "2026-12-09 14:30" for a stamp.
std::wstring StampText(const DateStamp& stamp);
