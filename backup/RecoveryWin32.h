// What the notice after a crash asks of the system: this process's session, whether another
// session's process still runs, and how a copy and a drawing file are now.
#pragma once
#include "Journal.h"
#include "RecoveryNotice.h"

// This process: its id and creation time (read once).
SessionId CurrentSession();
// True when the session's process is gone: no process of that id, one created at another
// time (the id was used again), or one that has exited.
bool SessionOver(const SessionId& session);
// True when the file at the record's path is the one journaled (identity, size, write time),
// not a link, and its first 4 KiB are not all zero bytes (as a power cut can leave a file).
bool CopyGoodNow(const JournalRecord& record);
DrawingNow DrawingNowOf(const std::wstring& path);
