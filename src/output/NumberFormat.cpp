#include "NumberFormat.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>

namespace iqo {

namespace {

constexpr int kMaxPrecision = 18;
// Significant digits of the first, correctly rounded reading of a value: enough above any
// precision that a tie can only hide behind a tail of "5000".
constexpr int kReadDigits = kMaxPrecision + 4;
// Every double's exact decimal expansion has at most 767 significant digits.
constexpr int kExactDigits = 770;

// A positive value rounded to decimal digits: 0.d1d2...dn x 10^Exponent, no trailing zero
// among the digits; no digits is zero.
struct TDecimal {
    char Digits[kMaxPrecision + 2];
    int Count = 0;
    int Exponent = 0;
};

// Turns the scientific text of to_chars ("d.ddde+xx" or "de-xx") into its digits, moved to
// the front, and returns their count; exponent receives E of the 0.ddd form.
int SplitScientific(char* text, const char* end, int& exponent) {
    char* e = std::find(text, const_cast<char*>(end), 'e');
    int count = 1;
    if (e - text > 1) {
        count = static_cast<int>(e - text) - 1;
        std::memmove(text + 1, text + 2, static_cast<size_t>(count - 1));
    }
    int exp10 = 0;
    std::from_chars(e + 1 + (e[1] == '+'), end, exp10);
    exponent = exp10 + 1;
    return count;
}

int KeptDigits(int precision, int decimals, int exponent) {
    return decimals < 0 ? precision : std::min(precision, exponent + decimals);
}

void StripTrailingZeros(TDecimal& d) {
    while (d.Count > 0 && d.Digits[d.Count - 1] == '0') --d.Count;
    if (d.Count == 0) d.Exponent = 0;
}

// The quick way for the values most columns hold, decimals of few digits: when value x 10^k,
// rounded once, is an integer N of no more digits than are kept, the value lies within 2^-53
// of N x 10^-k, which is closer than half a unit of the 15th digit: N's digits are the
// rounded value. False when no k up to 15 gives such an integer.
bool RoundScaledInteger(double value, int precision, int decimals, TDecimal& d) {
    static constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8,
                                         1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const double limit = kPowers[precision];
    for (int k = 0; k <= 15; ++k) {
        const double scaled = value * kPowers[k];
        if (scaled >= limit) return false;
        // Below 10^15 the conversion to an integer is exact exactly when scaled is whole.
        const auto whole = static_cast<uint64_t>(scaled);
        if (static_cast<double>(whole) != scaled) continue;
        char text[24];
        const auto r = std::to_chars(text, text + sizeof text, whole);
        const int count = static_cast<int>(r.ptr - text);
        d.Exponent = count - k;
        if (count > KeptDigits(precision, decimals, d.Exponent)) return false;
        std::memcpy(d.Digits, text, static_cast<size_t>(count));
        d.Count = count;
        StripTrailingZeros(d);
        return true;
    }
    return false;
}

// Rounds a positive finite value to `precision` significant digits and, when decimals is not
// negative, to that many digits after the point, half away from zero of its exact value.
TDecimal RoundDecimal(double value, int precision, int decimals) {
    TDecimal d;
    char text[kExactDigits + 16];
    // The shortest text that reads back as a normal value lies within half a unit in its
    // last place (2^-53 of it); at 15 digits or fewer that is closer than half a unit of the
    // last kept digit, so when it has no more digits than are kept it is the rounded value
    // itself. Subnormal values carry fewer bits and take the long way.
    if (precision <= 15 && value >= DBL_MIN) {
        if (RoundScaledInteger(value, precision, decimals, d)) return d;
        const auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
        const int count = SplitScientific(text, r.ptr, d.Exponent);
        if (count <= KeptDigits(precision, decimals, d.Exponent)) {
            std::memcpy(d.Digits, text, static_cast<size_t>(count));
            d.Count = count;
            StripTrailingZeros(d);
            return d;
        }
    }
    auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, kReadDigits - 1);
    SplitScientific(text, r.ptr, d.Exponent);
    const int kept = KeptDigits(precision, decimals, d.Exponent);
    if (kept < 0) return TDecimal{};
    // A read ending in 5000... may be a tie or may have been rounded up to one: only the
    // exact expansion tells.
    if (text[kept] == '5' && std::all_of(text + kept + 1, text + kReadDigits, [](char c) { return c == '0'; })) {
        r = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, kExactDigits);
        int exponent;
        SplitScientific(text, r.ptr, exponent);
    }
    std::memcpy(d.Digits, text, static_cast<size_t>(kept));
    d.Count = kept;
    if (text[kept] >= '5') {
        int i = kept - 1;
        while (i >= 0 && d.Digits[i] == '9') d.Digits[i--] = '0';
        if (i >= 0) {
            ++d.Digits[i];
        } else {
            d.Digits[0] = '1';
            d.Count = 1;
            ++d.Exponent;
        }
    }
    StripTrailingZeros(d);
    return d;
}

// NaN and the infinities; false for a finite value.
bool AppendNonFinite(std::string& out, double value) {
    if (std::isnan(value)) {
        out += "NAN";
    } else if (std::isinf(value)) {
        out += value < 0 ? "-INF" : "INF";
    } else {
        return false;
    }
    return true;
}

int HeldPrecision(int precision) { return std::clamp(precision, 2, kMaxPrecision); }

void AppendGeneral(std::string& out, const TDecimal& d, bool negative, int precision, int exponentDigits) {
    if (d.Count == 0) {
        out += '0';
        return;
    }
    if (negative) out += '-';
    const int e = d.Exponent;
    const auto count = static_cast<size_t>(d.Count);
    if (e > precision || e < -3) {
        out += d.Digits[0];
        if (count > 1) out.append(1, '.').append(d.Digits + 1, count - 1);
        out += 'E';
        if (e - 1 < 0) out += '-';
        AppendZeroPadded(out, std::abs(e - 1), exponentDigits > 4 ? 0 : exponentDigits);
    } else if (e <= 0) {
        out.append("0.").append(static_cast<size_t>(-e), '0').append(d.Digits, count);
    } else if (count <= static_cast<size_t>(e)) {
        out.append(d.Digits, count).append(static_cast<size_t>(e) - count, '0');
    } else {
        out.append(d.Digits, static_cast<size_t>(e)).append(1, '.').append(d.Digits + e, count - static_cast<size_t>(e));
    }
}

}  // namespace

void AppendGeneralNumber(std::string& out, double value, int precision, int exponentDigits) {
    if (AppendNonFinite(out, value)) return;
    precision = HeldPrecision(precision);
    const TDecimal d = value == 0 ? TDecimal{} : RoundDecimal(std::fabs(value), precision, -1);
    AppendGeneral(out, d, value < 0, precision, exponentDigits);
}

void AppendFixedNumber(std::string& out, double value, int precision, int decimals) {
    if (AppendNonFinite(out, value)) return;
    precision = HeldPrecision(precision);
    decimals = std::clamp(decimals, 0, kMaxPrecision);
    const TDecimal d = value == 0 ? TDecimal{} : RoundDecimal(std::fabs(value), precision, decimals);
    if (d.Exponent > precision) {
        AppendGeneral(out, d, value < 0, precision, decimals);
        return;
    }
    if (d.Count > 0 && value < 0) out += '-';
    const int e = d.Exponent;
    const int count = d.Count;
    if (e <= 0) {
        out += '0';
    } else {
        out.append(d.Digits, static_cast<size_t>(std::min(e, count)));
        if (count < e) out.append(static_cast<size_t>(e - count), '0');
    }
    if (decimals == 0) return;
    out += '.';
    const size_t start = out.size();
    if (e < 0) out.append(static_cast<size_t>(-e), '0');
    if (count > std::max(e, 0)) out.append(d.Digits + std::max(e, 0), static_cast<size_t>(count - std::max(e, 0)));
    out.append(static_cast<size_t>(decimals) - (out.size() - start), '0');
}

void AppendZeroPadded(std::string& out, int64_t value, int width) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    const int count = static_cast<int>(r.ptr - buf);
    if (count < width) out.append(static_cast<size_t>(width - count), '0');
    out.append(buf, static_cast<size_t>(r.ptr - buf));
}

void AppendCurrency(std::string& out, int64_t scaled) {
    const uint64_t magnitude = scaled < 0 ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
    // The digits of value * 10000 with at least one before the four decimals.
    char text[32] = {'0', '0', '0', '0', '0'};
    const auto r = std::to_chars(text + 5, text + sizeof text, magnitude);
    const int count = std::max(static_cast<int>(r.ptr - text - 5), 5);
    const char* digits = r.ptr - count;
    const int whole = count - 4;
    int fraction = 4;
    while (fraction > 0 && digits[whole + fraction - 1] == '0') --fraction;
    if (scaled < 0) out += '-';
    out.append(digits, static_cast<size_t>(whole));
    if (fraction > 0) out.append(1, '.').append(digits + whole, static_cast<size_t>(fraction));
}

bool AppendExactDecimal(std::string& out, std::string_view text) {
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) text.remove_prefix(1);
    const size_t point = text.find('.');
    std::string_view whole = text.substr(0, point);
    std::string_view fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    const auto allDigits = [](std::string_view s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if ((whole.empty() && fraction.empty()) || !allDigits(whole) || !allDigits(fraction)) return false;
    while (!whole.empty() && whole.front() == '0') whole.remove_prefix(1);
    while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
    if (negative && !(whole.empty() && fraction.empty())) out += '-';
    if (whole.empty()) {
        out += '0';
    } else {
        out += whole;
    }
    if (!fraction.empty()) out.append(1, '.').append(fraction);
    return true;
}

}  // namespace iqo
