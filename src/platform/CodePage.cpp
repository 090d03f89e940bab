#include "CodePage.h"

#include <array>

namespace iqo {

namespace {

// Characters of the bytes 80 to 9F; the undefined five map to the C1 control of the same value.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr char32_t kReplacement = 0xFFFD;

int AnsiByteOf(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    for (size_t i = 0; i < kHighControls.size(); ++i)
        if (kHighControls[i] == cp) return static_cast<int>(0x80 + i);
    return -1;
}

char32_t CharOfAnsiByte(unsigned char b) {
    if (b >= 0x80 && b < 0xA0) return kHighControls[b - 0x80];
    return b;
}

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

char32_t DecodeUtf8(std::string_view s, size_t& pos) {
    const auto c0 = static_cast<unsigned char>(s[pos]);
    if (c0 < 0x80) {
        ++pos;
        return c0;
    }
    size_t need;
    char32_t cp;
    char32_t min;
    if ((c0 & 0xE0) == 0xC0) {
        need = 1, cp = c0 & 0x1F, min = 0x80;
    } else if ((c0 & 0xF0) == 0xE0) {
        need = 2, cp = c0 & 0x0F, min = 0x800;
    } else if ((c0 & 0xF8) == 0xF0) {
        need = 3, cp = c0 & 0x07, min = 0x10000;
    } else {
        ++pos;
        return kReplacement;
    }
    if (pos + need >= s.size()) {
        ++pos;
        return kReplacement;
    }
    for (size_t i = 1; i <= need; ++i) {
        const auto c = static_cast<unsigned char>(s[pos + i]);
        if (!IsContinuation(c)) {
            ++pos;
            return kReplacement;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return kReplacement;
    }
    pos += need + 1;
    return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string Utf8ToAnsi(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t pos = 0; pos < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[pos]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++pos;
            continue;
        }
        const int b = AnsiByteOf(DecodeUtf8(utf8, pos));
        out += b < 0 ? '?' : static_cast<char>(b);
    }
    return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
    std::string out;
    out.reserve(ansi.size() + ansi.size() / 4);
    for (char ch : ansi) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x80)
            out += ch;
        else
            AppendUtf8(out, CharOfAnsiByte(b));
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (size_t pos = 0; pos < utf8.size();) {
        const char32_t cp = DecodeUtf8(utf8, pos);
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

namespace {

template <typename UnitAt>
std::string Utf16UnitsToUtf8(size_t count, UnitAt unitAt) {
    std::string out;
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const char16_t u = unitAt(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < count) {
            const char16_t lo = unitAt(i + 1);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (lo - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : u);
    }
    return out;
}

}  // namespace

std::string Utf16ToUtf8(std::u16string_view utf16) {
    return Utf16UnitsToUtf8(utf16.size(), [&](size_t i) { return utf16[i]; });
}

std::string Utf16LeBytesToUtf8(std::string_view bytes) {
    return Utf16UnitsToUtf8(bytes.size() / 2, [&](size_t i) {
        return static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    });
}

std::string Utf16BeBytesToUtf8(std::string_view bytes) {
    return Utf16UnitsToUtf8(bytes.size() / 2, [&](size_t i) {
        return static_cast<char16_t>((static_cast<unsigned char>(bytes[2 * i]) << 8) |
                                     static_cast<unsigned char>(bytes[2 * i + 1]));
    });
}

std::string Utf8ToUtf16LeBytes(std::string_view utf8) {
    const std::u16string units = Utf8ToUtf16(utf8);
    std::string out;
    out.reserve(units.size() * 2);
    for (char16_t u : units) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    }
    return out;
}

std::string SanitizeUtf8(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t pos = 0; pos < utf8.size();) {
        const size_t start = pos;
        const char32_t cp = DecodeUtf8(utf8, pos);
        if (cp == kReplacement && pos - start == 1)
            AppendUtf8(out, cp);
        else
            out.append(utf8.substr(start, pos - start));
    }
    return out;
}

size_t Utf8Length(std::string_view utf8) {
    size_t n = 0;
    for (size_t pos = 0; pos < utf8.size(); ++n) DecodeUtf8(utf8, pos);
    return n;
}

std::string_view Utf8Left(std::string_view utf8, size_t maxChars) {
    size_t pos = 0;
    for (size_t n = 0; n < maxChars && pos < utf8.size(); ++n) DecodeUtf8(utf8, pos);
    return utf8.substr(0, pos);
}

}  // namespace iqo
