// The cleanup tool for existing backup trees: lists the copies of the drawings named (or of
// every drawing found) with their stamps and what the rules would do with each, and deletes
// only when asked to and only copies the command line names. Built on the same scanner and
// planner as the plug-in's tick. No Win32 here.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "backup/Housekeeping.h"

struct CleanupOptions {
    std::wstring folder;                 // the backup folder
    std::vector<std::wstring> drawings;  // --drawing: drawings' file names (or paths); none: every drawing
    std::vector<std::wstring> exts;      // --ext: extensions, without the dot; none: any
    RetentionRules rules;
    bool remove = false;  // without it nothing is changed
    bool hasNow = false;  // --now given
    CivilStamp now;
    bool hasZone = false;  // --zone given
    int zoneMinutes = 0;   // local time minus UTC
    bool help = false;
};

// Reads the command line (without the program name). False, with a message, when it cannot be
// used, and for --delete without --drawing or --ext.
bool ParseCleanupArgs(const std::vector<std::wstring>& args, CleanupOptions& options, std::wstring& error);

extern const wchar_t kCleanupUsage[];

// Exit codes.
constexpr int kCleanupDone = 0;
constexpr int kCleanupIncomplete = 1;  // some planned deletes were not carried out, or date folders could not be read
constexpr int kCleanupRefused = 2;     // a command line that cannot be used, or a refused one
constexpr int kCleanupNoFolder = 3;    // the backup folder is missing, not a folder, or cannot be listed

// What the clock reads: UTC, and the machine's local time zone at that moment.
struct ClockReading {
    int64_t utcMinutes = 0;  // minutes since 1970-01-01 00:00 UTC
    int offsetMinutes = 0;   // the machine's local time minus UTC
};
using CleanupClock = std::function<bool(ClockReading&)>;  // false when it cannot be read
using CleanupSink = std::function<void(const std::wstring&)>;

// The local time a run plans against, and the zone the stamps and it are in.
struct CleanupNow {
    CivilStamp now;
    bool zoneKnown = true;  // false: no --zone, and the machine's could not be read
    int zoneMinutes = 0;    // local time minus UTC
};

// "+09:00", "-05:30", "+00:00".
std::wstring FormatZone(int minutes);

// The whole tool for a command line (without the program name): usage errors and --help, "now"
// from --now or else from the clock in the zone of --zone or else of the machine, then
// RunCleanup. The listing goes to `print`, errors and warnings to `error`. Returns an exit code.
int CleanupMain(const std::vector<std::wstring>& args, FileTree& tree, const CleanupClock& clock,
                const CleanupSink& print, const CleanupSink& error);

// Lists, plans and (with `remove`) deletes. Returns kCleanupDone, kCleanupIncomplete or
// kCleanupNoFolder.
int RunCleanup(FileTree& tree, const CleanupOptions& options, const CleanupNow& now, const CleanupSink& print,
               const CleanupSink& error);
