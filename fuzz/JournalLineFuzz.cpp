// Asserts: whatever the journal's parser accepts as a line is exactly what its writer writes
// for the record read (so no line means anything but what the writer meant), and a journal
// read from any bytes holds only records with a path, each found again by it.
#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "backup/Journal.h"

namespace {

class BytesStore : public JournalStore {
public:
    explicit BytesStore(std::string bytes) : bytes_(std::move(bytes)) {}
    bool Lock() override { return true; }
    void Unlock() override {}
    bool ReadNew(std::string& out, bool& restarted) override {
        restarted = false;
        out = bytes_.substr(0, CompleteLinesEnd(bytes_));
        bytes_.clear();
        return true;
    }
    bool Append(const std::string&, bool& created) override { return created = false; }
    bool Replace(const std::string&) override { return false; }
    bool Rewind() override {
        bytes_ = whole_;
        return true;
    }

private:
    std::string bytes_;
    const std::string whole_ = bytes_;
};

std::vector<std::wstring> PathsOf(std::vector<Journal::Entry> entries) {
    std::vector<std::wstring> out;
    for (const Journal::Entry& e : entries) out.push_back(e.record.path);
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string line = bytes.substr(0, bytes.find('\n'));
    JournalRecord record;
    if (ParseJournalLine(line, record)) {
        std::string written;
        if (!FormatJournalLine(record, written) || written != line + "\n") abort();
    }
    BytesStore store(bytes);
    Journal journal(store, AsciiFoldedOrder, AsciiFold);
    if (!journal.Refresh()) abort();
    const std::vector<Journal::Entry> live = journal.Live();
    for (const Journal::Entry& e : live) {
        if (e.record.path.empty() || !e.record.Live()) abort();
        // Found again by its path as a caller spells it (hashed from the decoded path).
        const std::optional<Journal::Entry> found = journal.Find(e.record.path);
        if (!found || found->order != e.order) abort();
    }
    // Kept whole for one drawing only, the journal finds the same copies of every drawing.
    if (!live.empty()) {
        BytesStore again(bytes);
        Journal narrowed(again, AsciiFoldedOrder, AsciiFold);
        narrowed.KeepWholeOnly(live.front().record.drawing);
        if (!narrowed.Refresh() || narrowed.LiveCount() != live.size()) abort();
        for (const Journal::Entry& e : live)
            if (PathsOf(narrowed.LiveOf(e.record.drawing)) != PathsOf(journal.LiveOf(e.record.drawing))) abort();
    }
    return 0;
}
