// The cleanup tool for existing backup trees: lists every copy of one drawing (or of all
// drawings found) with its stamp and what the rules would do with it, and deletes only when
// asked to. Built on the same scanner and planner as the plug-in's tick. No Win32 here.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "backup/Housekeeping.h"

struct CleanupOptions {
    std::wstring folder;   // the backup folder
    std::wstring drawing;  // a drawing's file name (or path); empty: every drawing found
    RetentionRules rules;
    bool remove = false;  // without it nothing is changed
    bool hasNow = false;  // --now given
    CivilStamp now;
    bool help = false;
};

// Reads the command line (without the program name). False, with a message, when it cannot be used.
bool ParseCleanupArgs(const std::vector<std::wstring>& args, CleanupOptions& options, std::wstring& error);

extern const wchar_t kCleanupUsage[];

// The whole tool for a command line (without the program name): usage errors and --help, "now"
// from --now or else from `localNow` (false when the clock cannot be read), then RunCleanup.
// Returns the exit code: 0, 1 as RunCleanup, 2 for a command line or clock it cannot use.
int CleanupMain(const std::vector<std::wstring>& args, FileTree& tree, const std::function<bool(CivilStamp&)>& localNow,
                const std::function<void(const std::wstring&)>& print);

// Lists, plans and (with `remove`) deletes; every line of output goes to `print`.
// Returns 0, or 1 when a delete failed or the folder could not be listed.
int RunCleanup(FileTree& tree, const CleanupOptions& options, const CivilStamp& now,
               const std::function<void(const std::wstring&)>& print);
