#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace iqo {

// The comparison rules of the virtual tables' conditions and local indexes. Each gives -1, 0
// or 1 for the first value against the second. They run for every row a scan tests and for
// every step of a sort, so they never allocate.

enum class TVirtualCollationType { vcBinary, vcNocase, vcRTrim, vcCustom };

inline int CompareInteger(int64_t a, int64_t b) { return (a > b) - (a < b); }

// Floating point with a tolerance of 1e-12, relative to the larger magnitude above 1.
inline int CompareFloat(double a, double b) {
    const double e = std::max(1e-12, 1e-12 * std::max(std::fabs(a), std::fabs(b)));
    if (a - b > e) return 1;
    if (b - a > e) return -1;
    return 0;
}

inline int CompareExact(double a, double b) { return (a > b) - (a < b); }

namespace detail {

// Two UTF-8 texts differ first in bytes x and y. UTF-8 bytes sort like code points; UTF-16
// code units differ from that only in putting U+E000..U+FFFF (lead bytes EE, EF) after the
// surrogate pairs of U+10000 and above (lead bytes F0..F4). At a difference inside a
// character both bytes are continuation bytes (80..BF) and keep their order.
inline int Utf16Order(unsigned char x, unsigned char y) {
    if (x >= 0xEE && y >= 0xEE) {
        if (x <= 0xEF) x = static_cast<unsigned char>(x + 0x10);
        if (y <= 0xEF) y = static_cast<unsigned char>(y + 0x10);
    }
    return x < y ? -1 : 1;
}

inline int CompareBinary(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    if (n != 0 && std::memcmp(a.data(), b.data(), n) != 0) {
        size_t i = 0;
        while (a[i] == b[i]) ++i;
        return Utf16Order(static_cast<unsigned char>(a[i]), static_cast<unsigned char>(b[i]));
    }
    return (a.size() > b.size()) - (a.size() < b.size());
}

inline unsigned char FoldAscii(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u + 32) : u;
}

// Letters A to Z fold to a to z, as the engine's own NOCASE does.
inline int CompareNocase(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = FoldAscii(a[i]), y = FoldAscii(b[i]);
        if (x != y) return Utf16Order(x, y);
    }
    return (a.size() > b.size()) - (a.size() < b.size());
}

inline std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    return s;
}

}  // namespace detail

// Texts are UTF-8 and compare in the order of their UTF-16 code units. vcRTrim first removes
// blanks and control characters from both ends; vcCustom compares as vcBinary.
inline int CompareText(std::string_view a, std::string_view b, TVirtualCollationType collation) {
    switch (collation) {
        case TVirtualCollationType::vcNocase: return detail::CompareNocase(a, b);
        case TVirtualCollationType::vcRTrim: return detail::CompareBinary(detail::TrimBlanks(a), detail::TrimBlanks(b));
        default: return detail::CompareBinary(a, b);
    }
}

// Bytes in byte order, a shorter prefix first.
inline int CompareBytes(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    const int c = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
    if (c != 0) return c < 0 ? -1 : 1;
    return (a.size() > b.size()) - (a.size() < b.size());
}

}  // namespace iqo
