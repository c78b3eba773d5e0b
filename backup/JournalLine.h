// One line of the journal: the record it holds, how it is written and read back, and where a
// run of bytes ends in complete lines. No Win32 here.
//
// Lines (UTF-8, fields separated by a tab, the last field the CRC-32 of everything before
// that tab in eight lower-case hex digits, the line ended by LF):
//   made     STAMP SIZE TIME VOLUME INDEX FOLDERS DIGEST SESSION DRAWING COPY CRC
//   adopted  STAMP SIZE TIME VOLUME INDEX FOLDERS -      SESSION DRAWING COPY CRC
//   gone     COPY CRC
//   start    SESSION CRC
//   end      SESSION CRC
//   reported SESSION CRC
// STAMP is YYYYMMDDhhmm; SIZE and TIME (the last write time, in 100 ns units since 1601)
// decimal; VOLUME and INDEX (the volume serial number and file index) hex; FOLDERS the hex
// file indexes of the date folders holding the copy, outermost first, joined by commas, or
// "-" (flat layout); DIGEST the copy's 128-bit digest in 32 hex digits, or "-" when it was
// not read; SESSION the process that wrote the line, its id and its creation time (100 ns
// units since 1601) in decimal joined by a dot (absent from copy lines written before
// sessions were recorded); DRAWING and COPY full paths. Numbers have no leading zero, hex is
// lower case. A line that does not end in LF, fails its checksum or breaks this grammar in
// any way counts for nothing. A torn last line (a writer that died midway) is closed off by
// kTornLineEnd before anything is appended.
//
// How the format grows: fields are positional, and a line of a kind this plug-in does not know,
// or with a field count it does not know, counts for nothing here. A newer plug-in may add a
// kind or a field; an older one then ignores that line, so the copy it names is never deleted
// on its word (it is neither counted nor gone for the older plug-in).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "CopyName.h"
#include "FileDigest.h"
#include "Housekeeping.h"

// One run of the plug-in in one host process.
struct SessionId {
    uint32_t pid = 0;
    uint64_t created = 0;  // the process's creation time; 0: not known
    bool Known() const { return created != 0; }
    bool operator==(const SessionId& o) const { return pid == o.pid && created == o.created; }
    bool operator!=(const SessionId& o) const { return !(*this == o); }
    bool operator<(const SessionId& o) const { return pid != o.pid ? pid < o.pid : created < o.created; }
};

struct JournalRecord {
    enum class Kind { Made, Adopted, Gone, Start, End, Reported };
    Kind kind = Kind::Made;
    SessionId session;     // made, adopted: the session that wrote it; start, end, reported: the session
    std::wstring path;     // the copy's full path
    std::wstring drawing;  // made, adopted: the drawing's full path as the host reported it
    CivilStamp stamp;
    uint64_t size = 0;
    uint64_t writeTime = 0;
    FileIdentity id;
    std::vector<uint64_t> folderIndexes;
    bool hasDigest = false;
    FileDigest digest;
    bool Live() const { return kind == Kind::Made || kind == Kind::Adopted; }  // a copy that is there
    TreeEntry Seen() const { return TreeEntry{L"", EntryKind::File, size, writeTime, id}; }
};

// What closes off a torn last line: its last field is then empty, so that it counts for
// nothing even where only its LF was lost (a plain LF would make such a line count again).
constexpr char kTornLineEnd[] = "\t\n";

// CRC-32 as zlib computes it (the one of zip and PNG).
uint32_t Crc32(const void* data, std::size_t size);
// The record as one line, LF included; false when it cannot be written (a path holding a
// control character, a stamp that is not real).
bool FormatJournalLine(const JournalRecord& record, std::string& line);
// One line without its LF; false for anything FormatJournalLine cannot have written.
bool ParseJournalLine(std::string_view line, JournalRecord& out);
// How far into `bytes` the complete lines reach.
std::size_t CompleteLinesEnd(std::string_view bytes);
