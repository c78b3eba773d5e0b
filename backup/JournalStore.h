// The journal's storage: a file that several processes of one user read and append to under
// one lock. No Win32 here.
#pragma once
#include <functional>
#include <string>
#include <string_view>

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
