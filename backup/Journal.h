// The journal of the copies this plug-in made, on this computer, for this user: the only
// record housekeeping deletes by, and the record of the plug-in's sessions that the notice
// after a crash reads. It is a text file of lines, each added once and never edited in place;
// the latest line for a copy's path says what is known of it. No Win32 here: the bytes are
// reached through JournalStore.
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
// sessions were recorded); DRAWING and COPY full paths. A line that does not end in LF,
// fails its checksum or breaks this grammar in any way counts for nothing. A torn last line
// (a writer that died midway) is closed off by kTornLineEnd before anything is appended.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
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

uint32_t Crc32(const void* data, std::size_t size);
// The record as one line, LF included; false when it cannot be written (a path holding a
// control character, a stamp that is not real).
bool FormatJournalLine(const JournalRecord& record, std::string& line);
// One line without its LF; false for anything FormatJournalLine cannot have written.
bool ParseJournalLine(const std::string& line, JournalRecord& out);

// Where the journal's bytes live. Every call but Lock and Unlock is made with the lock held.
class JournalStore {
public:
    virtual ~JournalStore() = default;
    // The lock that every writer of the journal, in any process of this user, takes.
    virtual bool Lock() = 0;
    virtual void Unlock() = 0;
    // The complete lines (up to the last LF) added since the last call. When the file was
    // replaced or shrank since, `restarted` is set and `out` holds it from its start. A
    // missing file reads as empty. False when it could not be read.
    virtual bool ReadNew(std::string& out, bool& restarted) = 0;
    // Adds complete lines at the end, after kTornLineEnd when the file does not end in LF; creates
    // the file (and its folder) when there is none and then sets `created`. Made right after
    // ReadNew under the same lock, it moves the reading position past what it wrote: the
    // caller knows those lines already.
    virtual bool Append(const std::string& lines, bool& created) = 0;
    // Puts `whole` in the file's place at once: a reader sees the old file or the new one.
    virtual bool Replace(const std::string& whole) = 0;
    // ReadNew, with the lines handed on in runs as they are read, so that a store may read a
    // long journal through a small buffer: `restart` first when the file was replaced or shrank
    // since, then `take` with runs of complete lines, in order. False when it could not be read
    // (runs handed on before stay read).
    virtual bool ReadNewInRuns(const std::function<void()>& restart,
                               const std::function<void(std::string_view)>& take) {
        std::string bytes;
        bool restarted = false;
        if (!ReadNew(bytes, restarted)) return false;
        if (restarted) restart();
        take(bytes);
        return true;
    }
    // The next read starts at the file's start, as the first did (without `restart`). False
    // when it cannot.
    virtual bool Rewind() = 0;
    // ReadNew, then Append (a store may do both through one opening of the file). False when
    // either failed; whenever the read worked, `out` and `restarted` hold what it read.
    virtual bool ReadNewThenAppend(const std::string& lines, std::string& out, bool& restarted, bool& created) {
        created = false;
        return ReadNew(out, restarted) && Append(lines, created);
    }
};

// The record of the file `seen` at `path` below `root` as a copy of `drawing` in `layout`:
// its identity, size and write time as seen, and the file indexes of its date folders as they
// are now (0 for one that cannot be looked at).
JournalRecord RecordOfCopy(FileTree& tree, const std::wstring& root, JournalRecord::Kind kind, const std::wstring& path,
                           const std::wstring& drawing, CopyLayout layout, const CivilStamp& stamp,
                           const TreeEntry& seen);
// The same with the date folders' indexes as given.
JournalRecord RecordOfCopy(JournalRecord::Kind kind, const std::wstring& path, const std::wstring& drawing,
                           const CivilStamp& stamp, const TreeEntry& seen, std::vector<uint64_t> folderIndexes);

// How far into `bytes` the complete lines reach.
std::size_t CompleteLinesEnd(std::string_view bytes);

// A line's fields, its paths as UTF-8 (views into the line, or into the journal's own store
// of them): the journal keeps a copy's line in this form, without strings of its own.
struct JournalLineFields {
    JournalRecord::Kind kind = JournalRecord::Kind::Made;
    SessionId session;
    std::string_view path, drawing;
    CivilStamp stamp;
    uint64_t size = 0;
    uint64_t writeTime = 0;
    FileIdentity id;
    uint64_t folders[3] = {};
    uint8_t folderCount = 0;
    bool hasDigest = false;
    FileDigest digest;
};

// The journal as this process knows it: read once, then only what was added since.
class Journal {
public:
    // `order` and `fold` are the file system's rule for names (equal under one exactly when
    // equal under the other).
    Journal(JournalStore& store, NameOrder order, NameFold fold);
    ~Journal() { ReleaseLock(); }
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Reads what was added since the last look. False when the journal could not be read:
    // nothing may then be deleted on its word.
    bool Refresh();
    // Appends the records under the lock, reading first what others added. False when they
    // were not written. `created`: this write made the journal file.
    bool Write(const std::vector<JournalRecord>& records, bool* created = nullptr);
    // Appends the adopted lines under one taking of the lock, after reading what others added,
    // leaving out each whose path is by then a live copy of another drawing path (a host that
    // made it meanwhile, or another adoption): it is that drawing's. `skipped` counts those.
    // False when nothing could be read or written.
    bool Adopt(const std::vector<JournalRecord>& adopted, std::size_t& skipped);
    // When more than half of the lines are no longer needed (and there are at least
    // `minLines`), writes what is needed afresh and puts that file in place. Needed: the
    // start lines of open sessions and the copies they made (a made line with its gone line
    // where the copy went), then every live copy in its order, whichever options this
    // process has on: other hosts' copies and the user's adoptions are theirs to keep.
    bool CompactIfWorth(std::size_t minLines = 64);

    // A session with a start line and neither an end nor a reported line.
    struct EndedSession {
        SessionId id;
        std::vector<std::wstring> drawings;  // the drawings it made copies of, first made first
    };
    // Under the lock, after reading what others added: the open sessions other than `self`
    // that `over` says are no longer running. Their reported lines are written before the
    // lock is let go, so that no other reader claims them too. False, and nothing claimed,
    // when the journal could not be read or written.
    bool ClaimEndedSessions(const SessionId& self, const std::function<bool(const SessionId&)>& over,
                            std::vector<EndedSession>& out);

    // From the next reading of the journal from its start on, keeps whole only the lines of the
    // copies of `drawing` and of the drawings named before; of the other copies it keeps what
    // tells one line's copy from another's (the hash of the folded path, the drawing, the
    // session, the position), so that a long journal of other drawings' copies costs little
    // memory. Asking for any other drawing's records reads the journal again from its start,
    // with that drawing kept whole too. Without a call every line is kept whole; a journal read
    // whole already stays so.
    void KeepWholeOnly(const std::wstring& drawing);
    // From now on until ReleaseLock, the lock that the next call takes is kept, so that a short
    // run of writes (a tick's made line, then its gone lines) waits for it once and goes through
    // one opening of the file. Every other writer waits meanwhile: nothing slow between.
    void KeepLock();
    void ReleaseLock();
    // Reads again what is not kept whole, and keeps every line whole from now on. False, and
    // kept as it was, when the journal could not be read.
    bool ReadWhole();

    struct Entry {
        JournalRecord record;
        uint64_t order = 0;  // position of its line in the journal
    };
    // The latest record of every copy whose latest line is made or adopted, in journal order.
    // These three read the journal again first where the lines asked for are not kept whole
    // (Live through ReadWhole), and finish a reading that was cut short; where that fails they
    // find nothing.
    std::vector<Entry> Live();
    // The same for the copies of one drawing path, in no particular order.
    std::vector<Entry> LiveOf(const std::wstring& drawing);
    std::optional<Entry> Find(const std::wstring& path);
    std::size_t Lines() const { return lines_; }
    std::size_t LiveCount() const { return live_.Size(); }
    bool Loaded() const { return loaded_; }

private:
    // The UTF-8 paths of the lines kept, in blocks that never move until Clear.
    class PathStore {
    public:
        std::string_view Keep(std::string_view text);
        void Clear();

    private:
        std::vector<std::unique_ptr<char[]>> blocks_;
        std::size_t used_ = 0, room_ = 0;  // of the last block
    };
    struct DrawingCopies;
    // A live copy's line as kept: its paths in `paths_`, its drawing by number in `drawings_`.
    struct Kept {
        JournalLineFields line;
        uint32_t drawing = 0;
        uint64_t order = 0;  // position of its line
    };
    // Values in blocks of 256 that stay where they are until Clear; one freed is handed out
    // again (as a fresh value).
    template <typename T>
    class BlockPool {
    public:
        T* New() {
            if (!spare_.empty()) {
                T* const value = spare_.back();
                spare_.pop_back();
                *value = T{};
                return value;
            }
            if (blocks_.empty() || usedInLast_ == kBlock) {
                blocks_.emplace_back(new T[kBlock]);
                usedInLast_ = 0;
            }
            return &blocks_.back()[usedInLast_++];
        }
        void Free(T* value) { spare_.push_back(value); }
        void Clear() {
            blocks_.clear();
            usedInLast_ = 0;
            spare_.clear();
        }

    private:
        static constexpr std::size_t kBlock = 256;
        std::vector<std::unique_ptr<T[]>> blocks_;
        std::size_t usedInLast_ = 0;  // of the last block
        std::vector<T*> spare_;
    };
    // A live copy in the index, linked with the other live copies of its drawing. A copy whose
    // line is not kept whole is told apart from others by the hash of its path alone: a later
    // line with the same hash takes its place (for two paths that share a hash, the earlier
    // copy is then forgotten, never taken for the other).
    struct Slot {
        std::size_t hash = 0;  // of its folded path
        uint64_t order = 0;    // position of its line
        uint32_t drawing = 0;
        SessionId session;
        Kept* kept = nullptr;  // its whole line, where its drawing's lines are kept whole
        Slot* prevOfDrawing = nullptr;
        Slot* nextOfDrawing = nullptr;
    };
    // The live copies by the hash of the folded path: open addressing with linear probing, over
    // slots that stay where they are until Clear (the slot of a copy that went is used again).
    class LiveIndex {
    public:
        static constexpr std::size_t kNone = ~std::size_t{0};
        std::size_t Size() const { return count_; }
        Slot* At(std::size_t at) const { return table_[at]; }
        // The position of the first slot with `hash` that `match` takes; kNone when none does.
        template <typename Match>
        std::size_t Find(std::size_t hash, Match&& match) const {
            if (table_.empty()) return kNone;
            const std::size_t mask = table_.size() - 1;
            for (std::size_t at = hash & mask; table_[at]; at = (at + 1) & mask)
                if (table_[at]->hash == hash && match(*table_[at])) return at;
            return kNone;
        }
        template <typename Each>
        void ForEach(Each&& each) const {
            for (const Slot* slot : table_)
                if (slot) each(*slot);
        }
        Slot& Add(std::size_t hash);  // a fresh slot, indexed under `hash`
        void Remove(std::size_t at);  // the slot at `at` out of the index, to be used again
        void Reserve(std::size_t count);
        void Clear();

    private:
        void Place(Slot* slot);
        std::vector<Slot*> table_;  // a power of two long, at most half full
        std::size_t count_ = 0;
        BlockPool<Slot> slots_;
    };
    struct DrawingCopies {
        Slot* first = nullptr;
        std::size_t count = 0;
        bool whole = true;  // its copies' lines kept whole
    };
    // One spelling of a drawing path, and the copies of every spelling its fold shares.
    struct Drawing {
        std::string_view utf8;  // in paths_
        std::wstring wide;
        DrawingCopies* copies = nullptr;  // in byDrawing_
    };
    // A made line a session wrote: whole, or (its drawing's lines not kept whole) its drawing,
    // session, position and the hash of its path.
    struct SessionCopy {
        Kept kept;
        std::size_t hash = 0;
        bool whole = false;
    };
    struct Session {
        uint64_t order = 0;  // position of its start line
        bool started = false, ended = false, reported = false;
        std::vector<SessionCopy> made;  // the latest made line of each drawing, first made first
        bool Open() const { return started && !ended && !reported; }
    };
    bool TakeLock();   // the store's, unless held already
    void LeaveLock();  // the store's, unless it is to be kept
    bool ReadLocked();
    // Forgets what was read and reads the whole journal again (under the lock, or taking it).
    bool ReadAgainLocked();
    bool ReadAgain();
    bool AllWhole() const;
    void KeepWhole(uint32_t drawing);  // its lines, from the next reading from the start on
    void Apply(std::string_view bytes);
    void Clear();
    // The hash of the folded path, the fold made in `folded` (a buffer kept for it).
    std::size_t PathHash(const std::wstring& path, std::wstring& folded) const;
    // The same from a path spelt in ASCII alone (as a line's field was found to be); false where
    // the fold does not keep ASCII in ASCII.
    bool AsciiPathHash(std::string_view ascii, std::size_t& hash) const;
    // The position in the index of the live copy at `path` (`utf8` its spelling in a line, or
    // empty; `path` null where only that is at hand), whose folded path hashes to `hash`: the
    // copy kept whole at that path, or else the first not kept whole with that hash;
    // LiveIndex::kNone when there is none.
    std::size_t FindLive(const std::wstring* path, std::string_view utf8, std::size_t hash) const;
    std::size_t FindLive(std::string_view utf8) const;
    std::vector<const Kept*> InOrder() const;  // the live copies in journal order
    static constexpr uint32_t kNoDrawing = ~uint32_t{0};
    uint32_t FindDrawing(std::string_view utf8) const;  // kNoDrawing for a spelling not met yet
    uint32_t AddDrawing(std::string_view utf8, const std::wstring& wide);
    void Index(Slot& slot);    // links it to its drawing's copies
    void Unindex(Slot& slot);  // and back out
    // `made`: the whole line where it is kept whole; `drawing` and `hash` those of its copy.
    void NoteSession(const JournalLineFields& line, const Kept* made, uint64_t order, uint32_t drawing,
                     std::size_t hash);
    JournalRecord Record(const Kept& kept) const;
    Entry EntryOf(const Kept& kept) const { return Entry{Record(kept), kept.order}; }
    // What a compaction writes (`text` null: only counts its lines).
    std::size_t Needed(std::string* text) const;

    JournalStore& store_;
    NameOrder order_;
    NameFold fold_;
    LiveIndex live_;
    BlockPool<Kept> kept_;
    PathStore paths_;
    std::vector<Drawing> drawings_;
    std::unordered_multimap<std::size_t, uint32_t> drawingsBySpelling_;  // by the hash of the UTF-8 path
    std::unordered_map<std::wstring, DrawingCopies> byDrawing_;          // by the folded path; kept until Clear
    uint32_t lastDrawing_ = 0;                  // the drawing of the last copy line (lines run in batches)
    std::wstring wide_, folded_, drawingWide_;  // the paths of the line being applied, decoded
    std::map<SessionId, Session> sessions_;
    uint64_t next_ = 0;
    std::size_t lines_ = 0;  // lines that counted since the file's start
    bool loaded_ = false;
    uint8_t asciiFold_[128] = {};       // the fold of each ASCII code unit
    bool asciiFolds_ = false;           // to an ASCII one
    bool locked_ = false;               // the store's lock taken
    bool keepLock_ = false;             // and kept until ReleaseLock
    bool narrowed_ = false;             // not every line kept whole
    bool someCompact_ = false;          // a slot may not be kept whole (until Clear)
    std::set<std::wstring> wholeOnly_;  // the folded drawings kept whole where narrowed_
};

// A copy of the drawing that a tick may count and delete: its latest line is made or adopted
// from the same drawing path, it lies below the backup folder in the name grammar, and it
// has a file index.
struct Candidate {
    JournalRecord record;  // a copy: the journal may change under it when it is read again
    uint64_t order = 0;
    ParsedCopy parsed;
    int64_t minutes = 0;
};
// Oldest first (stamp, then journal order). `folder`: the backup folder, trailing separators removed.
std::vector<Candidate> CandidatesOf(Journal& journal, const std::wstring& folder, const std::wstring& drawing,
                                    NameOrder order);
// True when `path` lies below `folder` as the file system compares names.
bool IsBelow(const std::wstring& folder, const std::wstring& path, NameOrder order);
// True when the file name of `copyPath` is one a backup run gives a copy of the drawing at
// `drawingPath` (its base name and extension, in one of the layouts' name grammars) and the
// copy is not the drawing itself. A journal line that says otherwise (edited by hand, with a
// good checksum) never makes a copy of the drawing.
bool NamesCopyOf(const std::wstring& copyPath, const std::wstring& drawingPath, NameOrder order);
