// The journal of the copies this plug-in made, on this computer, for this user: the only
// record housekeeping deletes by, and the record of the plug-in's sessions that the notice
// after a crash reads. It is a text file of lines (JournalLine.h), each added once and never
// edited in place; the latest line for a copy's path says what is known of it. No Win32 here:
// the bytes are reached through JournalStore.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "JournalLine.h"
#include "JournalStore.h"

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

    class Lock;
    // From now on until the guard lets go (or goes), the lock that the next call takes is kept,
    // so that a short run of writes (a tick's made line, then its gone lines) waits for it once
    // and goes through one opening of the file. Every other writer waits meanwhile: nothing slow
    // between.
    [[nodiscard]] Lock KeepLock();

    struct Entry {
        JournalRecord record;
        uint64_t order = 0;  // position of its line in the journal
    };
    // The latest record of every copy whose latest line is made or adopted, in journal order.
    // These three read the journal first where it was never read; where that fails they find
    // nothing.
    std::vector<Entry> Live();
    // The same for the copies of one drawing path, in no particular order.
    std::vector<Entry> LiveOf(const std::wstring& drawing);
    std::optional<Entry> Find(const std::wstring& path);
    // The latest line for `path`, gone lines included; null when no line names it (or the
    // journal was never read).
    const JournalRecord* Latest(const std::wstring& path) const;
    std::size_t Lines() const { return lines_; }
    // Complete lines that counted for nothing (torn, a bad checksum, outside the grammar, or of
    // a newer plug-in's format) since the file's start.
    std::size_t Ignored() const { return ignored_; }
    std::size_t LiveCount() const { return live_; }
    bool Loaded() const { return loaded_; }

private:
    void ReleaseLock();
    struct Session {
        uint64_t order = 0;  // position of its start line
        bool started = false, ended = false, reported = false;
        std::vector<JournalRecord> made;                       // the latest made line of each drawing, first made first
        std::unordered_map<std::wstring, std::size_t> madeAt;  // folded drawing: its place in `made`
        bool Open() const { return started && !ended && !reported; }
    };
    bool TakeLock();   // the store's, unless held already
    void LeaveLock();  // the store's, unless it is to be kept
    bool ReadLocked();
    bool ReadIfNeverRead();
    void Apply(std::string_view bytes);
    void ApplyLine(JournalRecord record);
    // `drawing`: the line's drawing folded (copy lines).
    void NoteSession(const JournalRecord& line, uint64_t order, const std::wstring& drawing);
    void Clear();
    std::wstring Folded(const std::wstring& path) const;
    std::vector<const Entry*> InOrder() const;  // the live copies in journal order
    // What a compaction writes (`text` null: only counts its lines).
    std::size_t Needed(std::string* text) const;

    JournalStore& store_;
    NameOrder order_;
    NameFold fold_;
    struct PathState {
        Entry entry;
        std::wstring drawing;  // folded, of a live copy
    };
    std::unordered_map<std::wstring, PathState> latest_;  // by folded path, gone lines too
    // Folded drawing: its live copies' folded paths.
    std::unordered_map<std::wstring, std::unordered_set<std::wstring>> byDrawing_;
    std::map<SessionId, Session> sessions_;
    uint64_t next_ = 0;
    std::size_t lines_ = 0;    // lines that counted since the file's start
    std::size_t ignored_ = 0;  // lines that did not
    std::size_t live_ = 0;     // paths whose latest line is made or adopted
    bool loaded_ = false;
    bool locked_ = false;    // the store's lock taken
    bool keepLock_ = false;  // and kept until ReleaseLock
};

// The journal's lock as Journal::KeepLock keeps it: one owner, moved and never copied; it lets
// go when it goes, or at LetGo, whichever comes first.
class Journal::Lock {
public:
    Lock() = default;
    Lock(Lock&& other) noexcept : journal_(other.journal_) { other.journal_ = nullptr; }
    Lock& operator=(Lock&& other) noexcept {
        if (this != &other) {
            LetGo();
            journal_ = other.journal_;
            other.journal_ = nullptr;
        }
        return *this;
    }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    ~Lock() { LetGo(); }
    void LetGo() {
        if (!journal_) return;
        Journal* const journal = journal_;
        journal_ = nullptr;
        journal->ReleaseLock();
    }

private:
    friend class Journal;
    explicit Lock(Journal& journal) : journal_(&journal) {}
    Journal* journal_ = nullptr;
};
