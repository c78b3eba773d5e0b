// Asserts: whatever the journal's parser accepts as a line is exactly what its writer writes
// for the record read (so no line means anything but what the writer meant), and a journal
// read from any bytes holds only records with a path.
#include <cstdlib>
#include <string>

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

private:
    std::string bytes_;
};

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
    for (const Journal::Entry& e : journal.Live())
        if (e.record.path.empty() || !e.record.Live()) abort();
    return 0;
}
