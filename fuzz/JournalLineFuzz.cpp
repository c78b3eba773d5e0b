// Asserts: whatever the journal's parser accepts as a line is exactly what its writer writes
// for the record read (so no line means anything but what the writer meant), and a journal
// read from any bytes holds only records with a path, each found again by it in any case of
// its letters. Each input is also read with every line's checksum made good, so that changed
// fields get past it and reach the parsing of the fields.
#include <algorithm>
#include <cstdlib>
#include <cwctype>
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

// Each line's last field replaced by the checksum of what comes before it.
std::string Sealed(const std::string& bytes) {
    std::string out;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t end = std::min(bytes.find('\n', at), bytes.size());
        const std::string line = bytes.substr(at, end - at);
        const std::string body = line.substr(0, std::min(line.rfind('\t'), line.size()));
        static const char kHex[] = "0123456789abcdef";
        const uint32_t crc = Crc32(body.data(), body.size());
        out += body + '\t';
        for (int shift = 28; shift >= 0; shift -= 4) out += kHex[(crc >> shift) & 0xF];
        if (end < bytes.size()) out += '\n';
        at = end + 1;
    }
    return out;
}

std::wstring OtherCase(std::wstring path) {
    for (wchar_t& c : path)
        if (c < 0x80 && iswalpha(c)) c = static_cast<wchar_t>(iswupper(c) ? towlower(c) : towupper(c));
    return path;
}

void Check(const std::string& bytes) {
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
        for (const std::wstring& spelling : {e.record.path, OtherCase(e.record.path)}) {
            const std::optional<Journal::Entry> found = journal.Find(spelling);
            if (!found || found->order != e.order) abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    Check(bytes);
    Check(Sealed(bytes));
    return 0;
}
