#include "JournalLine.h"

#include <zlib.h>

#include <charconv>

#include "Utf8.h"

namespace {

// A number in `base` (10 or 16, lower-case digits): exactly `width` digits where `width` is
// given, or else 1 to as many as fit, without a leading zero. False for anything else.
bool ParseNumber(std::string_view text, int base, std::size_t width, uint64_t& out) {
    if (text.empty() || (width != 0 ? text.size() != width : text.size() > 1 && text[0] == '0')) return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (base == 16 && c >= 'a' && c <= 'f'))) return false;
    uint64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return false;
    out = value;
    return true;
}

void PutHex(uint64_t value, int digits, std::string& out) {
    static const char kHex[] = "0123456789abcdef";
    for (int i = digits - 1; i >= 0; --i) out += kHex[(value >> (4 * i)) & 0xF];
}

// Lower-case hex without leading zeros ("0" for zero).
void PutHexShort(uint64_t value, std::string& out) {
    int digits = 1;
    while (digits < 16 && (value >> (4 * digits)) != 0) ++digits;
    PutHex(value, digits, out);
}

void PutDecimal(uint64_t value, int width, std::string& out) {
    const std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < width) out.append(static_cast<std::size_t>(width) - digits.size(), '0');
    out += digits;
}

// A path as a field: not empty, no control character (a tab or LF would break the line).
bool PutPath(const std::wstring& path, std::string& out) {
    if (path.empty()) return false;
    for (const wchar_t c : path)
        if (c < 0x20 || c == 0x7F) return false;
    std::string utf8;
    if (!WideToUtf8(path, utf8)) return false;
    out += utf8;
    return true;
}

bool ParsePath(std::string_view text, std::wstring& out) {
    if (text.empty()) return false;
    // A control character is one byte in UTF-8: no byte of a longer sequence is below 0x80.
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    return Utf8ToWide(text, out);
}

void PutSession(const SessionId& id, std::string& out) {
    out += std::to_string(id.pid) + '.' + std::to_string(id.created);
}

bool ParseSession(std::string_view text, SessionId& out) {
    const std::size_t dot = text.find('.');
    uint64_t pid = 0, created = 0;
    if (dot == std::string_view::npos || !ParseNumber(text.substr(0, dot), 10, 0, pid) || pid > 0xFFFFFFFFu ||
        !ParseNumber(text.substr(dot + 1), 10, 0, created) || created == 0)
        return false;
    out = SessionId{static_cast<uint32_t>(pid), created};
    return true;
}

bool ParseStamp(std::string_view text, CivilStamp& out) {
    uint64_t v[5] = {};
    const std::size_t at[5] = {0, 4, 6, 8, 10}, width[5] = {4, 2, 2, 2, 2};
    if (text.size() != 12) return false;
    for (int i = 0; i < 5; ++i)
        if (!ParseNumber(text.substr(at[i], width[i]), 10, width[i], v[i])) return false;
    const CivilStamp s{static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]), static_cast<int>(v[3]),
                       static_cast<int>(v[4])};
    if (!IsRealStamp(s)) return false;
    out = s;
    return true;
}

struct SessionWord {
    JournalRecord::Kind kind;
    const char* word;
};
constexpr SessionWord kSessionWords[] = {{JournalRecord::Kind::Start, "start"},
                                         {JournalRecord::Kind::End, "end"},
                                         {JournalRecord::Kind::Reported, "reported"}};

std::vector<std::string_view> Split(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t tab = line.find('\t');
        fields.push_back(line.substr(0, tab));
        if (tab == std::string_view::npos) return fields;
        line.remove_prefix(tab + 1);
    }
}

// The fields of a made or adopted line after its word, the optional session taken out.
bool ParseCopyFields(const std::vector<std::string_view>& f, JournalRecord& r) {
    if (!ParseStamp(f[1], r.stamp) || !ParseNumber(f[2], 10, 0, r.size) || !ParseNumber(f[3], 10, 0, r.writeTime) ||
        !ParseNumber(f[4], 16, 0, r.id.volume) || !ParseNumber(f[5], 16, 0, r.id.index))
        return false;
    if (f[6] != "-") {
        for (std::string_view rest = f[6];;) {
            const std::size_t comma = rest.find(',');
            uint64_t index = 0;
            if (r.folderIndexes.size() == 3 || !ParseNumber(rest.substr(0, comma), 16, 0, index)) return false;
            r.folderIndexes.push_back(index);
            if (comma == std::string_view::npos) break;
            rest.remove_prefix(comma + 1);
        }
    }
    if (f[7] != "-") {
        if (r.kind != JournalRecord::Kind::Made || f[7].size() != 32 ||
            !ParseNumber(f[7].substr(0, 16), 16, 16, r.digest.high) ||
            !ParseNumber(f[7].substr(16), 16, 16, r.digest.low))
            return false;
        r.hasDigest = true;
    }
    return ParsePath(f[8], r.drawing) && ParsePath(f[9], r.path);
}

}  // namespace

uint32_t Crc32(const void* data, std::size_t size) {
    uLong crc = crc32(0L, Z_NULL, 0);
    const auto* p = static_cast<const Bytef*>(data);
    while (size > 0) {  // zlib takes at most a uInt at a time
        const uInt chunk = size > 0x40000000u ? 0x40000000u : static_cast<uInt>(size);
        crc = crc32(crc, p, chunk);
        p += chunk;
        size -= chunk;
    }
    return static_cast<uint32_t>(crc);
}

bool FormatJournalLine(const JournalRecord& r, std::string& line) {
    std::string s;
    bool sessionLine = false;
    for (const SessionWord& w : kSessionWords) {
        if (w.kind != r.kind) continue;
        if (!r.session.Known()) return false;
        s = std::string(w.word) + '\t';
        PutSession(r.session, s);
        sessionLine = true;
    }
    if (sessionLine) {
    } else if (r.kind == JournalRecord::Kind::Gone) {
        s = "gone\t";
        if (!PutPath(r.path, s)) return false;
    } else {
        if (!IsRealStamp(r.stamp)) return false;
        s = r.kind == JournalRecord::Kind::Made ? "made\t" : "adopted\t";
        PutDecimal(static_cast<uint64_t>(r.stamp.year), 4, s);
        for (const int v : {r.stamp.month, r.stamp.day, r.stamp.hour, r.stamp.minute})
            PutDecimal(static_cast<uint64_t>(v), 2, s);
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
        if (!PutPath(r.drawing, s)) return false;
        s += '\t';
        if (!PutPath(r.path, s)) return false;
    }
    const uint32_t crc = Crc32(s.data(), s.size());
    s += '\t';
    PutHex(crc, 8, s);
    s += '\n';
    line = std::move(s);
    return true;
}

bool ParseJournalLine(std::string_view line, JournalRecord& out) {
    const std::size_t last = line.rfind('\t');
    uint64_t crc = 0;
    if (last == std::string_view::npos || !ParseNumber(line.substr(last + 1), 16, 8, crc) ||
        Crc32(line.data(), last) != crc)
        return false;
    std::vector<std::string_view> f = Split(line.substr(0, last));
    JournalRecord r;
    for (const SessionWord& w : kSessionWords) {
        if (f[0] != w.word) continue;
        if (f.size() != 2 || !ParseSession(f[1], r.session)) return false;
        r.kind = w.kind;
        out = std::move(r);
        return true;
    }
    if (f[0] == "gone") {
        if (f.size() != 2 || !ParsePath(f[1], r.path)) return false;
        r.kind = JournalRecord::Kind::Gone;
        out = std::move(r);
        return true;
    }
    if (f[0] == "made")
        r.kind = JournalRecord::Kind::Made;
    else if (f[0] == "adopted")
        r.kind = JournalRecord::Kind::Adopted;
    else
        return false;
    if (f.size() == 11) {  // with the session that wrote it
        if (!ParseSession(f[8], r.session)) return false;
        f.erase(f.begin() + 8);
    }
    if (f.size() != 10 || !ParseCopyFields(f, r)) return false;
    out = std::move(r);
    return true;
}

std::size_t CompleteLinesEnd(std::string_view bytes) {
    const std::size_t lf = bytes.rfind('\n');
    return lf == std::string_view::npos ? 0 : lf + 1;
}
