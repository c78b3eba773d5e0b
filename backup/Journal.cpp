#include "Journal.h"

#include <algorithm>

Journal::Journal(JournalStore& store, NameOrder order, NameFold fold) : store_(store), order_(order), fold_(fold) {}

std::wstring Journal::Folded(const std::wstring& path) const {
    std::wstring folded = path;
    fold_(folded);
    return folded;
}

void Journal::Clear() {
    latest_.clear();
    byDrawing_.clear();
    sessions_.clear();
    lines_ = ignored_ = live_ = 0;
}

void Journal::Apply(std::string_view bytes) {
    for (std::size_t start = 0; start < bytes.size();) {
        const std::size_t lf = bytes.find('\n', start);
        if (lf == std::string_view::npos) break;
        JournalRecord record;
        if (ParseJournalLine(bytes.substr(start, lf - start), record))
            ApplyLine(std::move(record));
        else
            ++ignored_;
        start = lf + 1;
    }
}

void Journal::ApplyLine(JournalRecord record) {
    ++lines_;
    const uint64_t order = next_++;
    const std::wstring drawing = record.Live() ? Folded(record.drawing) : std::wstring();
    if (record.session.Known() && record.kind != JournalRecord::Kind::Adopted) NoteSession(record, order, drawing);
    if (!record.Live() && record.kind != JournalRecord::Kind::Gone) return;
    // A later line for the path takes the earlier one's place.
    std::wstring key = Folded(record.path);
    const auto [at, fresh] = latest_.try_emplace(key);
    PathState& latest = at->second;
    if (!fresh && latest.entry.record.Live()) {
        --live_;
        const auto d = byDrawing_.find(latest.drawing);
        if (d != byDrawing_.end()) {
            d->second.erase(key);
            if (d->second.empty()) byDrawing_.erase(d);
        }
    }
    if (record.Live()) {
        ++live_;
        byDrawing_[drawing].insert(std::move(key));
    }
    latest.entry = Entry{std::move(record), order};
    latest.drawing = drawing;
}

void Journal::NoteSession(const JournalRecord& line, uint64_t order, const std::wstring& drawing) {
    Session& session = sessions_[line.session];
    switch (line.kind) {
    case JournalRecord::Kind::Start:  // after an end: the library was loaded again in the same process
        if (!session.Open()) session.order = order;
        session.started = true;
        session.ended = session.reported = false;
        break;
    case JournalRecord::Kind::End:
    case JournalRecord::Kind::Reported:
        // Over: what it made is no longer asked for.
        (line.kind == JournalRecord::Kind::End ? session.ended : session.reported) = true;
        session.made.clear();
        session.madeAt.clear();
        break;
    case JournalRecord::Kind::Made: {
        // The same drawing, however spelt, keeps its place.
        const auto at = session.madeAt.try_emplace(drawing, session.made.size());
        if (at.second)
            session.made.push_back(line);
        else
            session.made[at.first->second] = line;
        break;
    }
    default:
        break;
    }
}

bool Journal::TakeLock() {
    if (locked_) return true;
    locked_ = store_.Lock();
    return locked_;
}

void Journal::LeaveLock() {
    if (keepLock_ || !locked_) return;
    store_.Unlock();
    locked_ = false;
}

Journal::Lock Journal::KeepLock() {
    keepLock_ = true;
    return Lock(*this);
}

void Journal::ReleaseLock() {
    keepLock_ = false;
    LeaveLock();
}

bool Journal::ReadLocked() {
    if (!store_.ReadNewInRuns([this] { Clear(); }, [this](std::string_view lines) { Apply(lines); })) return false;
    loaded_ = true;
    return true;
}

bool Journal::Refresh() {
    if (!TakeLock()) return false;
    const bool ok = ReadLocked();
    LeaveLock();
    return ok;
}

bool Journal::ReadIfNeverRead() { return loaded_ || Refresh(); }

bool Journal::Write(const std::vector<JournalRecord>& records, bool* created) {
    std::string text;
    for (const JournalRecord& r : records) {
        std::string line;
        if (FormatJournalLine(r, line)) text += line;
    }
    if (text.empty()) return records.empty();
    if (!TakeLock()) return false;
    // The first reading of a long journal goes through the store's runs, not one buffer.
    if (!loaded_ && !ReadLocked()) {
        LeaveLock();
        return false;
    }
    bool made = false, restarted = false;
    std::string read;
    // What others added comes first, so that these lines supersede theirs as the file says.
    const bool ok = store_.ReadNewThenAppend(text, read, restarted, made);
    if (restarted) Clear();
    Apply(read);
    if (ok) Apply(text);
    LeaveLock();
    if (created) *created = made;
    return ok;
}

bool Journal::Adopt(const std::vector<JournalRecord>& adopted, std::size_t& skipped) {
    skipped = 0;
    const Lock kept = KeepLock();
    bool ok = TakeLock() && ReadLocked();
    std::vector<JournalRecord> lines;
    for (const JournalRecord& r : adopted) {
        if (!ok) break;
        const std::optional<Entry> now = Find(r.path);
        if (now && order_(now->record.drawing, r.drawing) != 0)
            ++skipped;
        else
            lines.push_back(r);
    }
    return ok && Write(lines);
}

std::vector<const Journal::Entry*> Journal::InOrder() const {
    std::vector<const Entry*> out;
    out.reserve(live_);
    for (const auto& e : latest_)
        if (e.second.entry.record.Live()) out.push_back(&e.second.entry);
    std::sort(out.begin(), out.end(), [](const Entry* a, const Entry* b) { return a->order < b->order; });
    return out;
}

std::size_t Journal::Needed(std::string* text) const {
    std::size_t count = 0;
    const auto put = [&](const JournalRecord& r) {
        std::string line;
        if (!FormatJournalLine(r, line)) return;
        ++count;
        if (text) *text += line;
    };
    std::vector<std::pair<uint64_t, SessionId>> open;
    for (const auto& s : sessions_)
        if (s.second.Open()) open.emplace_back(s.second.order, s.first);
    std::sort(open.begin(), open.end());
    for (const auto& o : open) {
        JournalRecord start;
        start.kind = JournalRecord::Kind::Start;
        start.session = o.second;
        put(start);
        for (const JournalRecord& made : sessions_.find(o.second)->second.made) {
            const auto now = latest_.find(Folded(made.path));
            if (now != latest_.end() && now->second.entry.record.Live() &&
                now->second.entry.record.session == made.session)
                continue;  // written with the live copies
            // The copy went, but the session made it: what the notice after a crash needs.
            put(made);
            JournalRecord gone;
            gone.kind = JournalRecord::Kind::Gone;
            gone.path = made.path;
            put(gone);
        }
    }
    if (!text) return count + live_;
    for (const Entry* e : InOrder()) put(e->record);
    return count;
}

bool Journal::CompactIfWorth(std::size_t minLines) {
    const auto worth = [&] { return lines_ >= minLines && lines_ - std::min(lines_, Needed(nullptr)) > lines_ / 2; };
    if (!worth()) return true;
    if (!TakeLock()) return false;
    bool ok = ReadLocked();
    if (ok && worth()) {
        std::string whole;
        Needed(&whole);
        // The new file is then read as any rewrite is: from its start.
        ok = store_.Replace(whole) && ReadLocked();
    }
    LeaveLock();
    return ok;
}

bool Journal::ClaimEndedSessions(const SessionId& self, const std::function<bool(const SessionId&)>& over,
                                 std::vector<EndedSession>& out) {
    out.clear();
    if (!TakeLock()) return false;
    bool ok = ReadLocked();
    std::vector<std::pair<uint64_t, SessionId>> ended;
    if (ok)
        for (const auto& s : sessions_)
            if (s.second.Open() && s.first != self && over(s.first)) ended.emplace_back(s.second.order, s.first);
    std::sort(ended.begin(), ended.end());
    std::string text;
    std::vector<EndedSession> claimed;
    for (const auto& e : ended) {
        JournalRecord reported;
        reported.kind = JournalRecord::Kind::Reported;
        reported.session = e.second;
        std::string line;
        if (FormatJournalLine(reported, line)) text += line;
        EndedSession session{e.second, {}};
        for (const JournalRecord& m : sessions_[e.second].made) session.drawings.push_back(m.drawing);
        claimed.push_back(std::move(session));
    }
    bool created = false;
    if (ok && !text.empty()) ok = store_.Append(text, created);
    if (ok) {
        Apply(text);
        out = std::move(claimed);
    }
    LeaveLock();
    return ok;
}

std::vector<Journal::Entry> Journal::Live() {
    std::vector<Entry> out;
    if (!ReadIfNeverRead()) return out;
    for (const Entry* e : InOrder()) out.push_back(*e);
    return out;
}

std::vector<Journal::Entry> Journal::LiveOf(const std::wstring& drawing) {
    std::vector<Entry> out;
    if (!ReadIfNeverRead()) return out;
    const auto d = byDrawing_.find(Folded(drawing));
    if (d == byDrawing_.end()) return out;
    out.reserve(d->second.size());
    for (const std::wstring& key : d->second) out.push_back(latest_.at(key).entry);
    return out;
}

std::optional<Journal::Entry> Journal::Find(const std::wstring& path) {
    if (!ReadIfNeverRead()) return std::nullopt;
    const auto e = latest_.find(Folded(path));
    if (e == latest_.end() || !e->second.entry.record.Live()) return std::nullopt;
    return e->second.entry;
}

const JournalRecord* Journal::Latest(const std::wstring& path) const {
    const auto e = latest_.find(Folded(path));
    return e == latest_.end() ? nullptr : &e->second.entry.record;
}
