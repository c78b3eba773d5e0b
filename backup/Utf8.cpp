#include "Utf8.h"

#include <cstdint>

namespace {

constexpr bool kUtf16 = sizeof(wchar_t) == 2;

void Put(uint32_t cp, std::string& s) {
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | cp >> 6);
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        s += static_cast<char>(0xE0 | cp >> 12);
        s += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | cp >> 18);
        s += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        s += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

bool Utf8ToWide(std::string_view in, std::wstring& out) {
    // Decoded in place, never longer than the bytes: a caller's buffer keeps its capacity.
    out.resize(in.size());
    wchar_t* const first = &out[0];
    wchar_t* w = first;
    for (std::size_t i = 0; i < in.size();) {
        const auto b = static_cast<unsigned char>(in[i]);
        if (b < 0x80) {  // most of a path
            *w++ = static_cast<wchar_t>(b);
            ++i;
            continue;
        }
        uint32_t cp = 0;
        std::size_t n = 0;
        if ((b & 0xE0) == 0xC0) {
            cp = b & 0x1F;
            n = 1;
        } else if ((b & 0xF0) == 0xE0) {
            cp = b & 0x0F;
            n = 2;
        } else if ((b & 0xF8) == 0xF0) {
            cp = b & 0x07;
            n = 3;
        } else {
            return false;
        }
        if (i + n >= in.size()) return false;
        for (std::size_t k = 1; k <= n; ++k) {
            const auto c = static_cast<unsigned char>(in[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            cp = cp << 6 | (c & 0x3F);
        }
        static const uint32_t smallest[] = {0, 0x80, 0x800, 0x10000};
        if (cp < smallest[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        if (kUtf16 && cp >= 0x10000) {  // four bytes make two code units
            *w++ = static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
            *w++ = static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            *w++ = static_cast<wchar_t>(cp);
        }
        i += n + 1;
    }
    out.resize(static_cast<std::size_t>(w - first));
    return true;
}

bool WideToUtf8(const std::wstring& in, std::string& out) {
    std::string s;
    s.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        auto cp = static_cast<uint32_t>(in[i]);  // NOLINT(bugprone-signed-char-misuse): checked below
        if (kUtf16 && cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size()) {
            const auto low = static_cast<uint32_t>(in[i + 1]);  // NOLINT(bugprone-signed-char-misuse): a code unit
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        Put(cp, s);
    }
    out = std::move(s);
    return true;
}
