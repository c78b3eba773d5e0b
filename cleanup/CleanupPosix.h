// What varnholt-cleanup's main wires together on a POSIX system: its clock and its tree.
#pragma once
#include <string>
#include <vector>

#include "CleanupTool.h"
#include "PosixFileTree.h"

// UTC from the system clock, and the machine's zone (TZ) as localtime_r converts that moment.
bool ReadPosixClock(ClockReading& reading);

// The tree for a command line (without the program name): one that knows the backup folder
// it names, so that it lists that folder through a link and what lies below it without; a
// plain one for a command line CleanupMain refuses.
PosixFileTree PosixTreeFor(const std::vector<std::wstring>& args);
