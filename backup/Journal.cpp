#include "Journal.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "Utf8.h"

namespace {

const char kHex[] = "0123456789abcdef";

// CRC-32 (the one of zip and PNG: polynomial 0xEDB88320, reflected) eight bytes at a step:
// table k gives the remainder of a byte followed by k zero bytes.
struct CrcTables {
    uint32_t t[8][256];
};
CrcTables MakeCrcTables() {
    CrcTables tables{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        tables.t[0][n] = c;
    }
    for (int k = 1; k < 8; ++k)
        for (uint32_t n = 0; n < 256; ++n)
            tables.t[k][n] = (tables.t[k - 1][n] >> 8) ^ tables.t[0][tables.t[k - 1][n] & 0xFF];
    return tables;
}

uint32_t Word(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

void PutHex(uint64_t value, int digits, std::string& out) {
    for (int i = digits - 1; i >= 0; --i) out += kHex[(value >> (4 * i)) & 0xF];
}

// Lower-case hex without leading zeros ("0" for zero).
void PutHexShort(uint64_t value, std::string& out) {
    int digits = 1;
    while (digits < 16 && (value >> (4 * digits)) != 0) ++digits;
    PutHex(value, digits, out);
}

bool PathField(const std::wstring& path, std::string& out) {
    if (path.empty()) return false;
    for (wchar_t c : path)
        if (c < 0x20 || c == 0x7F) return false;
    std::string utf8;
    if (!WideToUtf8(path, utf8)) return false;
    out += utf8;
    return true;
}

// The hash of a sequence of `count` UTF-16 code units (a folded path), `unit(i)` the i-th, four
// to a word. (A wider unit, as a native wide string may hold, is taken by its low 16 bits xor the
// rest.)
template <typename UnitAt>
std::size_t HashOfUnits(std::size_t count, UnitAt&& unit) {
    const auto u = [&](std::size_t i) {
        const auto v = static_cast<uint64_t>(unit(i));
        return (v ^ (v >> 16)) & 0xFFFFu;
    };
    uint64_t h = 0x243F6A8885A308D3u;
    const auto mix = [&h](uint64_t word) {
        h = (h ^ word) * 0x9E3779B97F4A7C15u;
        h ^= h >> 29;
    };
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) mix(u(i) | u(i + 1) << 16 | u(i + 2) << 32 | u(i + 3) << 48);
    if (i < count) {
        uint64_t word = 0;
        for (int shift = 0; i < count; ++i, shift += 16) word |= u(i) << shift;
        mix(word);
    }
    h ^= h >> 32;
    return static_cast<std::size_t>(h * 0xD6E8FEB86659FD93u);
}

// The tab-separated fields of a line, as views into it; false for more than `kMaxFields`.
constexpr std::size_t kMaxFields = 12;
struct Fields {
    std::string_view at[kMaxFields];
    std::size_t size = 0;
    std::string_view operator[](std::size_t i) const { return at[i]; }
    void Erase(std::size_t i) {
        for (std::size_t k = i; k + 1 < size; ++k) at[k] = at[k + 1];
        --size;
    }
};

// Where `c` first stands in `text` at or after `from`; npos when it does not. Eight bytes at a
// step, in place: the fields and lines searched are short, and a call into the C runtime's memchr
// for each costs more than the search (several times a plain loop under Wine).
std::size_t FindByte(std::string_view text, char c, std::size_t from = 0) {
    constexpr uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
    const uint64_t pattern = kOnes * static_cast<unsigned char>(c);
    std::size_t i = from;
    for (; i + 8 <= text.size(); i += 8) {
        uint64_t word = 0;
        std::memcpy(&word, text.data() + i, 8);
        // The lowest high bit set marks the first byte equal to `c` (little-endian order).
        const uint64_t x = word ^ pattern;
        const uint64_t equal = (x - kOnes) & ~x & kHighs;
        if (equal != 0) return i + static_cast<std::size_t>(__builtin_ctzll(equal) >> 3);
    }
    for (; i < text.size(); ++i)
        if (text[i] == c) return i;
    return std::string_view::npos;
}

bool Split(std::string_view line, Fields& f) {
    f.size = 0;
    for (;;) {
        if (f.size == kMaxFields) return false;
        const std::size_t p = FindByte(line, '\t');
        f.at[f.size++] = line.substr(0, p);
        if (p == std::string_view::npos) return true;
        line.remove_prefix(p + 1);
    }
}

bool ParseDecimal(std::string_view text, uint64_t& out) {
    if (text.empty() || text.size() > 20 || (text.size() > 1 && text[0] == '0')) return false;
    uint64_t v = 0;
    // Nineteen digits always fit: only a twentieth can overflow.
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned d = static_cast<unsigned char>(text[i]) - unsigned{'0'};
        if (d > 9 || (i == 19 && v > (~uint64_t{0} - d) / 10)) return false;
        v = v * 10 + d;
    }
    out = v;
    return true;
}

// The value of each byte as a lower-case hex digit, or -1.
struct HexDigits {
    int8_t of[256];
};
constexpr HexDigits MakeHexDigits() {
    HexDigits h{};
    for (int c = 0; c < 256; ++c)
        h.of[c] = static_cast<int8_t>(c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1);
    return h;
}
constexpr HexDigits kHexDigits = MakeHexDigits();

int HexValue(char c) { return kHexDigits.of[static_cast<unsigned char>(c)]; }

// Exactly `digits` hex digits, or (digits 0) 1 to 16 without a leading zero.
bool ParseHex(std::string_view text, std::size_t digits, uint64_t& out) {
    if (digits == 0 ? (text.empty() || text.size() > 16 || (text.size() > 1 && text[0] == '0')) : text.size() != digits)
        return false;
    uint64_t v = 0;
    for (char c : text) {
        const int h = HexValue(c);
        if (h < 0) return false;
        v = v << 4 | static_cast<uint64_t>(h);
    }
    out = v;
    return true;
}

bool ParseStampField(std::string_view text, CivilStamp& out) {
    if (text.size() != 12) return false;
    int v[5] = {};
    const std::size_t widths[5] = {4, 2, 2, 2, 2};
    std::size_t pos = 0;
    for (int f = 0; f < 5; ++f) {
        for (std::size_t i = 0; i < widths[f]; ++i, ++pos) {
            if (text[pos] < '0' || text[pos] > '9') return false;
            v[f] = v[f] * 10 + (text[pos] - '0');
        }
    }
    const CivilStamp s{v[0], v[1], v[2], v[3], v[4]};
    if (!IsRealStamp(s)) return false;
    out = s;
    return true;
}

void PutSession(const SessionId& id, std::string& out) {
    out += std::to_string(id.pid) + '.' + std::to_string(id.created);
}

bool ParseSession(std::string_view text, SessionId& out) {
    const std::size_t dot = text.find('.');
    uint64_t pid = 0, created = 0;
    if (dot == std::string_view::npos || !ParseDecimal(text.substr(0, dot), pid) || pid > 0xFFFFFFFFu ||
        !ParseDecimal(text.substr(dot + 1), created) || created == 0)
        return false;
    out = SessionId{static_cast<uint32_t>(pid), created};
    return true;
}

const char* SessionWord(JournalRecord::Kind kind) {
    switch (kind) {
    case JournalRecord::Kind::Start:
        return "start";
    case JournalRecord::Kind::End:
        return "end";
    case JournalRecord::Kind::Reported:
        return "reported";
    default:
        return nullptr;
    }
}

// A path field of ASCII letters and signs alone: its own decoding.
bool AsciiPathField(std::string_view text) {
    if (text.empty()) return false;
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) return false;
    return true;
}

// Decodes into `out` (keeping its capacity); false for a path no line can hold.
bool ParsePathField(std::string_view text, std::wstring& out) {
    if (text.empty()) return false;
    // A control character is one byte in UTF-8: no byte of a longer sequence is below 0x80.
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    return Utf8ToWide(text, out);
}

}  // namespace

uint32_t Crc32(const void* data, std::size_t size) {
    static const CrcTables tables = MakeCrcTables();
    const auto& t = tables.t;
    uint32_t c = 0xFFFFFFFFu;
    const auto* p = static_cast<const unsigned char*>(data);
    for (; size >= 8; p += 8, size -= 8) {
        const uint32_t lo = c ^ Word(p), hi = Word(p + 4);
        c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^ t[3][hi & 0xFF] ^
            t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
    }
    for (; size > 0; ++p, --size) c = t[0][(c ^ *p) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

bool FormatJournalLine(const JournalRecord& r, std::string& line) {
    std::string s;
    if (const char* word = SessionWord(r.kind)) {
        if (!r.session.Known()) return false;
        s = std::string(word) + '\t';
        PutSession(r.session, s);
    } else if (r.kind == JournalRecord::Kind::Gone) {
        s = "gone\t";
        if (!PathField(r.path, s)) return false;
    } else {
        if (!IsRealStamp(r.stamp)) return false;
        s = r.kind == JournalRecord::Kind::Made ? "made\t" : "adopted\t";
        const CivilStamp& t = r.stamp;
        s += std::to_string(t.year / 1000) + std::to_string(t.year / 100 % 10) + std::to_string(t.year / 10 % 10) +
             std::to_string(t.year % 10);
        for (int v : {t.month, t.day, t.hour, t.minute}) {
            s += static_cast<char>('0' + v / 10);
            s += static_cast<char>('0' + v % 10);
        }
        s += '\t' + std::to_string(r.size) + '\t' + std::to_string(r.writeTime) + '\t';
        PutHexShort(r.id.volume, s);
        s += '\t';
        PutHexShort(r.id.index, s);
        s += '\t';
        if (r.folderIndexes.empty()) s += '-';
        for (std::size_t i = 0; i < r.folderIndexes.size(); ++i) {
            if (i > 0) s += ',';
            PutHexShort(r.folderIndexes[i], s);
        }
        s += '\t';
        if (r.hasDigest && r.kind == JournalRecord::Kind::Made) {
            PutHex(r.digest.high, 16, s);
            PutHex(r.digest.low, 16, s);
        } else {
            s += '-';
        }
        s += '\t';
        if (r.session.Known()) {
            PutSession(r.session, s);
            s += '\t';
        }
        if (!PathField(r.drawing, s)) return false;
        s += '\t';
        if (!PathField(r.path, s)) return false;
    }
    const uint32_t crc = Crc32(s.data(), s.size());
    s += '\t';
    PutHex(crc, 8, s);
    s += '\n';
    line = std::move(s);
    return true;
}

namespace {

// The fields of a line; `path` and `drawing` receive its paths decoded (where it has them),
// but a drawing spelling that `known` takes (a drawing path known to be good) is taken as it is.
// With `pathDecoded`, a copy's path of ASCII alone is not decoded, and `*pathDecoded` says whether
// `path` was.
template <typename Known>
bool ParseFields(std::string_view line, JournalLineFields& out, std::wstring& path, std::wstring& drawing,
                 Known&& known, bool* pathDecoded = nullptr) {
    const auto copyPath = [&](std::string_view text) {
        if (pathDecoded) *pathDecoded = !AsciiPathField(text);
        return (pathDecoded && !*pathDecoded) || ParsePathField(text, path);
    };
    const std::size_t last = line.rfind('\t');
    uint64_t crc = 0;
    if (last == std::string_view::npos || !ParseHex(line.substr(last + 1), 8, crc) || Crc32(line.data(), last) != crc)
        return false;
    Fields f;
    if (!Split(line.substr(0, last), f)) return false;
    JournalLineFields r;
    for (const auto kind : {JournalRecord::Kind::Start, JournalRecord::Kind::End, JournalRecord::Kind::Reported}) {
        if (f[0] != SessionWord(kind)) continue;
        if (f.size != 2 || !ParseSession(f[1], r.session)) return false;
        r.kind = kind;
        out = r;
        return true;
    }
    if (f[0] == "gone") {
        if (f.size != 2 || !copyPath(f[1])) return false;
        r.kind = JournalRecord::Kind::Gone;
        r.path = f[1];
        out = r;
        return true;
    }
    if (f.size == 11) {
        if (!ParseSession(f[8], r.session)) return false;
        f.Erase(8);
    }
    if (f.size != 10) return false;
    if (f[0] == "made")
        r.kind = JournalRecord::Kind::Made;
    else if (f[0] == "adopted")
        r.kind = JournalRecord::Kind::Adopted;
    else
        return false;
    if (!ParseStampField(f[1], r.stamp) || !ParseDecimal(f[2], r.size) || !ParseDecimal(f[3], r.writeTime) ||
        !ParseHex(f[4], 0, r.id.volume) || !ParseHex(f[5], 0, r.id.index))
        return false;
    if (f[6] != "-") {
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = f[6].find(',', start);
            uint64_t index = 0;
            if (r.folderCount == 3 ||
                !ParseHex(f[6].substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start),
                          0, index))
                return false;
            r.folders[r.folderCount++] = index;
            if (comma == std::string_view::npos) break;
            start = comma + 1;
        }
    }
    if (f[7] != "-") {
        if (r.kind != JournalRecord::Kind::Made || !ParseHex(f[7].substr(0, 16), 16, r.digest.high) ||
            f[7].size() != 32 || !ParseHex(f[7].substr(16), 16, r.digest.low))
            return false;
        r.hasDigest = true;
    }
    if (!known(f[8]) && !ParsePathField(f[8], drawing)) return false;
    if (!copyPath(f[9])) return false;
    r.drawing = f[8];
    r.path = f[9];
    out = r;
    return true;
}

// The record of a line's fields, its paths given decoded.
JournalRecord RecordOf(const JournalLineFields& f, std::wstring path, std::wstring drawing) {
    JournalRecord r;
    r.kind = f.kind;
    r.session = f.session;
    r.path = std::move(path);
    r.drawing = std::move(drawing);
    r.stamp = f.stamp;
    r.size = f.size;
    r.writeTime = f.writeTime;
    r.id = f.id;
    r.folderIndexes.assign(f.folders, f.folders + f.folderCount);
    r.hasDigest = f.hasDigest;
    r.digest = f.digest;
    return r;
}

}  // namespace

bool ParseJournalLine(const std::string& line, JournalRecord& out) {
    JournalLineFields f;
    std::wstring path, drawing;
    if (!ParseFields(line, f, path, drawing, [](std::string_view) { return false; })) return false;
    out = RecordOf(f, std::move(path), std::move(drawing));
    return true;
}

JournalRecord RecordOfCopy(FileTree& tree, const std::wstring& root, JournalRecord::Kind kind, const std::wstring& path,
                           const std::wstring& drawing, CopyLayout layout, const CivilStamp& stamp,
                           const TreeEntry& seen) {
    return RecordOfCopy(kind, path, drawing, stamp, seen, tree.FolderIndexes(root, path, DateDepth(layout)));
}

JournalRecord RecordOfCopy(JournalRecord::Kind kind, const std::wstring& path, const std::wstring& drawing,
                           const CivilStamp& stamp, const TreeEntry& seen, std::vector<uint64_t> folderIndexes) {
    JournalRecord r;
    r.kind = kind;
    r.path = path;
    r.drawing = drawing;
    r.stamp = stamp;
    r.size = seen.size;
    r.writeTime = seen.writeTime;
    r.id = seen.id;
    r.folderIndexes = std::move(folderIndexes);
    return r;
}

std::size_t CompleteLinesEnd(std::string_view bytes) {
    const std::size_t lf = bytes.rfind('\n');
    return lf == std::string_view::npos ? 0 : lf + 1;
}

// ---- Journal ----------------------------------------------------------------------

Journal::Journal(JournalStore& store, NameOrder order, NameFold fold) : store_(store), order_(order), fold_(fold) {
    // The fold is made code unit by code unit: its table for the ASCII letters and signs serves
    // a path that holds no other, where it keeps them ASCII.
    std::wstring ascii(128, L'\0');
    for (std::size_t c = 0; c < ascii.size(); ++c) ascii[c] = static_cast<wchar_t>(c);
    fold_(ascii);
    asciiFolds_ = ascii.size() == 128;
    for (std::size_t c = 0; asciiFolds_ && c < 128; ++c) {
        asciiFolds_ = static_cast<uint32_t>(ascii[c]) < 0x80;
        asciiFold_[c] = static_cast<uint8_t>(ascii[c]);
    }
}

std::string_view Journal::PathStore::Keep(std::string_view text) {
    constexpr std::size_t kBlock = std::size_t{64} << 10;
    if (text.empty()) return {};
    if (text.size() > room_ - used_) {
        room_ = std::max(kBlock, text.size());
        blocks_.emplace_back(new char[room_]);
        used_ = 0;
    }
    char* at = blocks_.back().get() + used_;
    std::memcpy(at, text.data(), text.size());
    used_ += text.size();
    return {at, text.size()};
}

void Journal::PathStore::Clear() {
    blocks_.clear();
    used_ = room_ = 0;
}

std::size_t Journal::PathHash(const std::wstring& path, std::wstring& folded) const {
    folded = path;
    fold_(folded);
    return HashOfUnits(folded.size(), [&](std::size_t i) { return static_cast<uint32_t>(folded[i]); });
}

bool Journal::AsciiPathHash(std::string_view ascii, std::size_t& hash) const {
    if (!asciiFolds_) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(ascii.data());
    hash = HashOfUnits(ascii.size(), [&](std::size_t i) { return asciiFold_[p[i]]; });
    return true;
}

Journal::Slot& Journal::LiveIndex::Add(std::size_t hash) {
    Reserve(count_ + 1);
    Slot* const slot = slots_.New();
    slot->hash = hash;
    Place(slot);
    ++count_;
    return *slot;
}

void Journal::LiveIndex::Place(Slot* slot) {
    const std::size_t mask = table_.size() - 1;
    std::size_t at = slot->hash & mask;
    while (table_[at]) at = (at + 1) & mask;
    table_[at] = slot;
}

void Journal::LiveIndex::Remove(std::size_t at) {
    const std::size_t mask = table_.size() - 1;
    slots_.Free(table_[at]);
    table_[at] = nullptr;
    --count_;
    // The slots after it in its run move back to where a probe from their hash's place finds them.
    for (std::size_t next = (at + 1) & mask; table_[next]; next = (next + 1) & mask) {
        const std::size_t home = table_[next]->hash & mask;
        const bool stays = at <= next ? (home > at && home <= next) : (home > at || home <= next);
        if (stays) continue;
        table_[at] = table_[next];
        table_[next] = nullptr;
        at = next;
    }
}

void Journal::LiveIndex::Reserve(std::size_t count) {
    if (count * 2 <= table_.size()) return;
    std::size_t size = table_.empty() ? 64 : table_.size();
    while (size < count * 2) size *= 2;
    const std::vector<Slot*> old = std::move(table_);
    table_.assign(size, nullptr);
    for (Slot* slot : old)
        if (slot) Place(slot);
}

void Journal::LiveIndex::Clear() {
    table_.clear();
    count_ = 0;
    slots_.Clear();
}

std::size_t Journal::FindLive(const std::wstring* path, std::string_view utf8, std::size_t hash) const {
    std::wstring other, decoded;
    // The same spelling, or a path the order takes for the same one.
    const std::size_t whole = live_.Find(hash, [&](const Slot& slot) {
        if (!slot.kept) return false;
        const std::string_view kept = slot.kept->line.path;
        if (!utf8.empty() && kept == utf8) return true;
        if (!path) {
            if (!Utf8ToWide(utf8, decoded)) return false;
            path = &decoded;
        }
        return Utf8ToWide(kept, other) && order_(other, *path) == 0;
    });
    if (whole != LiveIndex::kNone || !someCompact_) return whole;
    return live_.Find(hash, [](const Slot& slot) { return slot.kept == nullptr; });
}

std::size_t Journal::FindLive(std::string_view utf8) const {
    std::wstring path, folded;
    if (!Utf8ToWide(utf8, path)) return LiveIndex::kNone;
    return FindLive(&path, utf8, PathHash(path, folded));
}

uint32_t Journal::FindDrawing(std::string_view utf8) const {
    if (lastDrawing_ < drawings_.size() && drawings_[lastDrawing_].utf8 == utf8) return lastDrawing_;
    const auto range = drawingsBySpelling_.equal_range(std::hash<std::string_view>()(utf8));
    for (auto it = range.first; it != range.second; ++it)
        if (drawings_[it->second].utf8 == utf8) return it->second;
    return kNoDrawing;
}

uint32_t Journal::AddDrawing(std::string_view utf8, const std::wstring& wide) {
    Drawing d;
    d.utf8 = paths_.Keep(utf8);
    d.wide = wide;
    std::wstring key = d.wide;
    fold_(key);
    const auto copies = byDrawing_.try_emplace(key);
    if (copies.second) copies.first->second.whole = !narrowed_ || wholeOnly_.count(key) != 0;
    d.copies = &copies.first->second;
    lastDrawing_ = static_cast<uint32_t>(drawings_.size());
    drawings_.push_back(std::move(d));
    drawingsBySpelling_.emplace(std::hash<std::string_view>()(utf8), lastDrawing_);
    return lastDrawing_;
}

void Journal::Index(Slot& slot) {
    DrawingCopies& copies = *drawings_[slot.drawing].copies;
    slot.prevOfDrawing = nullptr;
    slot.nextOfDrawing = copies.first;
    if (copies.first) copies.first->prevOfDrawing = &slot;
    copies.first = &slot;
    ++copies.count;
}

void Journal::Unindex(Slot& slot) {
    DrawingCopies& copies = *drawings_[slot.drawing].copies;
    (slot.prevOfDrawing ? slot.prevOfDrawing->nextOfDrawing : copies.first) = slot.nextOfDrawing;
    if (slot.nextOfDrawing) slot.nextOfDrawing->prevOfDrawing = slot.prevOfDrawing;
    slot.prevOfDrawing = slot.nextOfDrawing = nullptr;
    --copies.count;
}

void Journal::NoteSession(const JournalLineFields& line, const Kept* made, uint64_t order, uint32_t drawing,
                          std::size_t hash) {
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
        std::vector<SessionCopy>().swap(session.made);
        break;
    case JournalRecord::Kind::Made: {
        if (drawing == kNoDrawing) break;
        SessionCopy copy;
        if (made) {
            copy.kept = *made;
            copy.whole = true;
        } else {
            copy.kept.drawing = drawing;
            copy.kept.order = order;
            copy.kept.line.kind = line.kind;
            copy.kept.line.session = line.session;
        }
        copy.hash = hash;
        const DrawingCopies* copies = drawings_[drawing].copies;
        for (SessionCopy& m : session.made)
            if (drawings_[m.kept.drawing].copies == copies) {  // the same drawing, however spelt
                m = copy;
                return;
            }
        session.made.push_back(copy);
        break;
    }
    default:
        break;
    }
}

JournalRecord Journal::Record(const Kept& kept) const {
    std::wstring path;
    Utf8ToWide(kept.line.path, path);  // checked when its line was read
    return RecordOf(kept.line, std::move(path), drawings_[kept.drawing].wide);
}

void Journal::Apply(std::string_view bytes) {
    live_.Reserve(live_.Size() + bytes.size() / 128);  // once for a long reading: a copy's line is longer
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t lf = FindByte(bytes, '\n', start);
        if (lf == std::string_view::npos) break;
        JournalLineFields f;
        uint32_t drawing = kNoDrawing;  // a spelling read before: decoded and checked then
        const auto known = [&](std::string_view utf8) { return (drawing = FindDrawing(utf8)) != kNoDrawing; };
        bool decoded = true;  // the copy's path in wide_
        if (ParseFields(bytes.substr(start, lf - start), f, wide_, drawingWide_, known, &decoded)) {
            ++lines_;
            const uint64_t order = next_++;
            const bool live = f.kind == JournalRecord::Kind::Made || f.kind == JournalRecord::Kind::Adopted;
            const Kept* made = nullptr;
            std::size_t hash = 0;
            if (live || f.kind == JournalRecord::Kind::Gone) {
                // A later line for the path takes the earlier one's place.
                if (decoded || !AsciiPathHash(f.path, hash)) {
                    if (!decoded) decoded = Utf8ToWide(f.path, wide_);
                    hash = PathHash(wide_, folded_);
                }
                const std::size_t at = FindLive(decoded ? &wide_ : nullptr, f.path, hash);
                Slot* const earlier = at != LiveIndex::kNone ? live_.At(at) : nullptr;
                if (earlier) Unindex(*earlier);
                if (!live) {
                    if (earlier) {
                        if (earlier->kept) kept_.Free(earlier->kept);
                        live_.Remove(at);
                    }
                } else {
                    drawing = lastDrawing_ = drawing != kNoDrawing ? drawing : AddDrawing(f.drawing, drawingWide_);
                    Slot& slot = earlier ? *earlier : live_.Add(hash);
                    slot.order = order;
                    slot.drawing = drawing;
                    slot.session = f.session;
                    if (drawings_[drawing].copies->whole) {
                        const bool same = slot.kept && slot.kept->line.path == f.path;
                        if (!slot.kept) slot.kept = kept_.New();
                        Kept& kept = *slot.kept;
                        const std::string_view path = same ? kept.line.path : paths_.Keep(f.path);
                        kept.line = f;
                        kept.line.path = path;
                        kept.line.drawing = drawings_[drawing].utf8;
                        kept.drawing = drawing;
                        kept.order = order;
                        made = &kept;
                    } else {
                        if (slot.kept) kept_.Free(slot.kept);
                        slot.kept = nullptr;
                        someCompact_ = true;
                    }
                    Index(slot);
                }
            }
            if (f.session.Known() && f.kind != JournalRecord::Kind::Adopted) NoteSession(f, made, order, drawing, hash);
        }
        start = lf + 1;
    }
}

void Journal::Clear() {
    live_.Clear();
    kept_.Clear();
    someCompact_ = false;
    byDrawing_.clear();
    drawings_.clear();
    drawingsBySpelling_.clear();
    lastDrawing_ = 0;
    sessions_.clear();
    paths_.Clear();
    lines_ = 0;
}

bool Journal::ReadLocked() {
    if (!store_.ReadNewInRuns([this] { Clear(); }, [this](std::string_view lines) { Apply(lines); })) return false;
    loaded_ = true;
    return true;
}

bool Journal::ReadAgainLocked() {
    if (!store_.Rewind()) return false;
    Clear();
    loaded_ = false;
    return ReadLocked();
}

bool Journal::ReadAgain() {
    if (!TakeLock()) return false;
    const bool ok = ReadAgainLocked();
    LeaveLock();
    return ok;
}

bool Journal::AllWhole() const {
    for (const auto& d : byDrawing_)
        if (!d.second.whole) return false;
    return true;
}

void Journal::KeepWholeOnly(const std::wstring& drawing) {
    if (loaded_ && !narrowed_) return;  // read whole already
    std::wstring key = drawing;
    fold_(key);
    narrowed_ = true;
    wholeOnly_.insert(std::move(key));
}

void Journal::KeepWhole(uint32_t drawing) {
    std::wstring key = drawings_[drawing].wide;
    fold_(key);
    wholeOnly_.insert(std::move(key));
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

void Journal::KeepLock() { keepLock_ = true; }

void Journal::ReleaseLock() {
    keepLock_ = false;
    LeaveLock();
}

bool Journal::Refresh() {
    if (!TakeLock()) return false;
    const bool ok = ReadLocked();
    LeaveLock();
    return ok;
}

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
    if (ok) {
        loaded_ = true;
        Apply(text);
    }
    LeaveLock();
    if (created) *created = made;
    return ok;
}

bool Journal::Adopt(const std::vector<JournalRecord>& adopted, std::size_t& skipped) {
    skipped = 0;
    KeepLock();
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
    ok = ok && Write(lines);
    ReleaseLock();
    return ok;
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
        for (const SessionCopy& m : sessions_.find(o.second)->second.made) {
            const std::size_t now =
                m.whole ? FindLive(m.kept.line.path) : live_.Find(m.hash, [](const Slot&) { return true; });
            if (now != LiveIndex::kNone && live_.At(now)->session == m.kept.line.session)
                continue;    // written with the live copies
            if (!m.whole) {  // counted only: a compaction reads every line whole first
                count += 2;
                continue;
            }
            // The copy went, but the session made it: what the notice after a crash needs.
            const JournalRecord made = Record(m.kept);
            put(made);
            JournalRecord gone;
            gone.kind = JournalRecord::Kind::Gone;
            gone.path = made.path;
            put(gone);
        }
    }
    if (!text) return count + live_.Size();
    for (const Kept* k : InOrder()) put(Record(*k));
    return count;
}

bool Journal::CompactIfWorth(std::size_t minLines) {
    const auto worth = [&] { return lines_ >= minLines && lines_ - std::min(lines_, Needed(nullptr)) > lines_ / 2; };
    if (!worth()) return true;
    if (!TakeLock()) return false;
    bool ok = ReadLocked();
    if (ok && worth()) {
        // Every needed line is written afresh, so each is read whole for it; the new file is
        // then read as before.
        const bool narrowed = narrowed_;
        if (!AllWhole()) {
            narrowed_ = false;
            ok = ReadAgainLocked();
        }
        if (ok && AllWhole() && worth()) {
            std::string whole;
            Needed(&whole);
            ok = store_.Replace(whole);
        }
        narrowed_ = narrowed;
        ok = ok && ReadLocked();
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
    const auto find = [&] {
        ended.clear();
        for (const auto& s : sessions_)
            if (s.second.Open() && s.first != self && over(s.first)) ended.emplace_back(s.second.order, s.first);
    };
    if (ok) find();
    // The notice asks for the copies of the drawings claimed: read whole before the claim is
    // written, under this lock, so that no later failure to read loses them.
    bool again = false;
    for (const auto& e : ended)
        for (const SessionCopy& m : sessions_[e.second].made) {
            if (drawings_[m.kept.drawing].copies->whole) continue;
            KeepWhole(m.kept.drawing);
            again = true;
        }
    if (again) {
        ok = ReadAgainLocked();
        if (ok)
            find();
        else
            ended.clear();
    }
    std::sort(ended.begin(), ended.end());
    std::string text;
    for (const auto& e : ended) {
        JournalRecord reported;
        reported.kind = JournalRecord::Kind::Reported;
        reported.session = e.second;
        std::string line;
        if (FormatJournalLine(reported, line)) text += line;
    }
    std::vector<EndedSession> claimed;
    for (const auto& e : ended) {
        EndedSession session{e.second, {}};
        for (const SessionCopy& m : sessions_[e.second].made)
            session.drawings.push_back(drawings_[m.kept.drawing].wide);
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

std::vector<const Journal::Kept*> Journal::InOrder() const {
    std::vector<const Kept*> out;
    out.reserve(live_.Size());
    live_.ForEach([&](const Slot& slot) {
        if (slot.kept) out.push_back(slot.kept);
    });
    std::sort(out.begin(), out.end(), [](const Kept* a, const Kept* b) { return a->order < b->order; });
    return out;
}

bool Journal::ReadWhole() {
    if (!loaded_ && !Refresh()) return false;
    if (AllWhole()) {
        narrowed_ = false;
        return true;
    }
    const bool narrowed = narrowed_;
    narrowed_ = false;
    if (ReadAgain() && AllWhole()) return true;
    narrowed_ = narrowed;  // as it was: lines read since may not be kept whole
    return false;
}

std::vector<Journal::Entry> Journal::Live() {
    std::vector<Entry> out;
    if (!ReadWhole()) return out;
    const std::vector<const Kept*> kept = InOrder();
    out.reserve(kept.size());
    for (const Kept* k : kept) out.push_back(EntryOf(*k));
    return out;
}

std::vector<Journal::Entry> Journal::LiveOf(const std::wstring& drawing) {
    std::vector<Entry> out;
    if (!loaded_ && !Refresh()) return out;  // a reading cut short: not answered from a part
    std::wstring key = drawing;
    fold_(key);
    if (narrowed_) wholeOnly_.insert(key);  // asked for: kept whole from now on
    auto d = byDrawing_.find(key);
    if (d != byDrawing_.end() && !d->second.whole) {
        if (!ReadAgain()) return out;
        d = byDrawing_.find(key);
    }
    if (d == byDrawing_.end() || !d->second.whole) return out;
    out.reserve(d->second.count);
    for (const Slot* s = d->second.first; s; s = s->nextOfDrawing) out.push_back(EntryOf(*s->kept));
    return out;
}

std::optional<Journal::Entry> Journal::Find(const std::wstring& path) {
    if (!loaded_ && !Refresh()) return std::nullopt;
    std::wstring folded;
    const std::size_t hash = PathHash(path, folded);
    for (int tries = 0;; ++tries) {
        const std::size_t at = FindLive(&path, {}, hash);
        if (at == LiveIndex::kNone) return std::nullopt;
        const Slot& slot = *live_.At(at);
        if (slot.kept) return EntryOf(*slot.kept);
        // Known by the hash of its path alone: read again with its drawing kept whole.
        KeepWhole(slot.drawing);
        if (tries == 2 || !ReadAgain()) return std::nullopt;
    }
}

bool IsBelow(const std::wstring& folder, const std::wstring& path, NameOrder order) {
    return path.size() > folder.size() + 1 && path[folder.size()] == L'\\' &&
           order(path.substr(0, folder.size()), folder) == 0;
}

bool NamesCopyOf(const std::wstring& copyPath, const std::wstring& drawingPath, NameOrder order) {
    DrawingKey drawing;
    if (order(copyPath, drawingPath) == 0 || !DrawingKeyOfPath(drawingPath, drawing)) return false;
    const std::wstring name = copyPath.substr(copyPath.rfind(L'\\') + 1);
    for (const LayoutShape& shape : kCopyLayouts) {
        CivilStamp stamp;
        std::wstring base, ext;
        if (ParseCopyFileName(name, shape, stamp, base, ext) && SameDrawing(MakeDrawingKey(base, ext), drawing, order))
            return true;
    }
    return false;
}

std::vector<Candidate> CandidatesOf(Journal& journal, const std::wstring& folder, const std::wstring& drawing,
                                    NameOrder order) {
    std::vector<Candidate> out;
    for (Journal::Entry& e : journal.LiveOf(drawing)) {
        const JournalRecord& r = e.record;
        if (!r.id.Known() || !IsBelow(folder, r.path, order) || !NamesCopyOf(r.path, drawing, order)) continue;
        Candidate c;
        if (!ParseCopyPathBelow(r.path.substr(0, folder.size()), r.path, c.parsed)) continue;
        c.record = std::move(e.record);
        c.order = e.order;
        c.minutes = StampMinutes(c.parsed.stamp);
        out.push_back(std::move(c));
    }
    std::sort(out.begin(), out.end(), [](const Candidate& a, const Candidate& b) {
        return a.minutes != b.minutes ? a.minutes < b.minutes : a.order < b.order;
    });
    return out;
}
