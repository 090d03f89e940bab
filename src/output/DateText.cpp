#include "DateText.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "output/SQLNumberText.h"
#include "platform/TextUtils.h"

namespace iqo {

namespace {

bool IsSeparator(char c) { return c == ',' || c == '-' || c == '.' || c == '/' || c == ':'; }

size_t LastSeparatorBefore(std::string_view s, size_t end) {
    for (size_t i = end; i-- > 0;)
        if (IsSeparator(s[i])) return i;
    return std::string_view::npos;
}

// The fixed formats: "yyyy-mm-dd" ("/" is the date separator in a format) and "hh:nn:ss".
const TFormatSettings& FixedFormats() {
    static const TFormatSettings fs = [] {
        TFormatSettings f;
        f.ShortDateFormat = "yyyy/mm/dd";
        f.DateSeparator = "-";
        f.LongTimeFormat = "hh:nn:ss";
        f.TimeSeparator = ":";
        f.DecimalSeparator = ".";
        return f;
    }();
    return fs;
}

// Up to two digits.
bool ReadTimePart(std::string_view s, size_t& i, int& value) {
    const size_t start = i;
    value = 0;
    while (i < s.size() && i - start < 2 && s[i] >= '0' && s[i] <= '9') value = value * 10 + (s[i++] - '0');
    return i > start;
}

// A time alone: "h:n" or "h:n:s" with the given separator.
bool TryReadTime(std::string_view s, std::string_view separator, TDateTime& result) {
    int parts[3] = {0, 0, 0};
    size_t i = 0;
    int count = 0;
    while (count < 3) {
        if (!ReadTimePart(s, i, parts[count++])) return false;
        if (i == s.size()) break;
        if (separator.empty() || s.substr(i, separator.size()) != separator) return false;
        i += separator.size();
    }
    if (i != s.size() || count < 2 || !IsValidTime(parts[0], parts[1], parts[2], 0)) return false;
    result = EncodeTime(parts[0], parts[1], parts[2], 0);
    return true;
}

TDateTime AddMilliseconds(TDateTime value, int ms) {
    const double fraction = static_cast<double>(ms) / kMSecsPerDay;
    return value >= 0 ? value + fraction : value - fraction;
}

// The rule with the given formats; empty when a text of two or more separators cannot be read.
std::optional<TDateTime> ReadDateText(std::string_view text, const TFormatSettings& fs) {
    const std::string trimmed = Trim(text);
    std::string_view s = trimmed;
    if (s.size() < 2) return 0.0;

    int ms = 0;
    const char timeSeparator = fs.TimeSeparator.size() == 1 ? fs.TimeSeparator[0] : ':';
    const size_t last = LastSeparatorBefore(s, s.size());
    if (last != std::string_view::npos && (s[last] == ',' || s[last] == '.')) {
        const size_t before = LastSeparatorBefore(s, last);
        if (before != std::string_view::npos && s[before] == timeSeparator) {
            std::string_view fraction = s.substr(last + 1);
            if (!fraction.empty() && (fraction.back() == 'Z' || fraction.back() == 'z')) fraction.remove_suffix(1);
            const bool digits = !fraction.empty() && std::all_of(fraction.begin(), fraction.end(),
                                                                 [](char c) { return c >= '0' && c <= '9'; });
            if (digits)
                for (size_t k = 0; k < 3; ++k) ms = ms * 10 + (k < fraction.size() ? fraction[k] - '0' : 0);
            s = s.substr(0, last);
        }
    }

    const auto separators = std::count_if(s.begin(), s.end(), IsSeparator);
    if (separators >= 2) {
        TDateTime value = 0;
        if (!TryStrToDateTime(s, fs, value) && !TryReadTime(s, fs.TimeSeparator, value)) return std::nullopt;
        return AddMilliseconds(value, ms);
    }
    if (separators == 1) {
        const auto value = TryReadFloat(s);
        if (!value) throw EConvertError("'" + std::string(s) + "' is not a valid floating point value");
        return AddMilliseconds(*value, ms);
    }
    const auto value = TryReadInt64(s);
    if (!value) throw EConvertError("'" + std::string(s) + "' is not a valid integer value");
    return AddMilliseconds(static_cast<double>(*value), ms);
}

}  // namespace

TDateTime DateTextToDateTime(std::string_view text) { return ReadDateText(text, FixedFormats()).value_or(0.0); }

TDateTime FilterDateTextToDateTime(std::string_view text, const TFormatSettings& regional) {
    if (const auto value = ReadDateText(text, FixedFormats())) return *value;
    return ReadDateText(text, regional).value_or(0.0);
}

std::string_view FormatDateText(TFieldType type, int scale, TDateTime value, std::string_view decimalSeparator,
                                TDateTextBuffer& buffer) {
    const TDateTimeParts p = DecodeDateTime(value);
    char* out = buffer.data();
    int n = 0;
    bool fraction = false;
    switch (type) {
        case TFieldType::Date:
            n = std::snprintf(out, buffer.size(), "%04d-%02d-%02d", p.Year, p.Month, p.Day);
            break;
        case TFieldType::Time:
            n = std::snprintf(out, buffer.size(), "%02d:%02d:%02d", p.Hour, p.Minute, p.Second);
            fraction = scale != 0;
            break;
        default:
            n = std::snprintf(out, buffer.size(), "%04d-%02d-%02d %02d:%02d:%02d", p.Year, p.Month, p.Day, p.Hour,
                              p.Minute, p.Second);
            fraction = scale != 0 || type == TFieldType::TimeStamp || type == TFieldType::TimeStampOffset;
            break;
    }
    // Only absurd serials give a longer text; the room after it holds the fraction and the blank.
    auto length = std::min<size_t>(static_cast<size_t>(std::max(n, 0)), 40);
    if (fraction && p.Millisecond != 0) {
        const size_t separator = std::min<size_t>(decimalSeparator.size(), 8);
        std::memcpy(out + length, decimalSeparator.data(), separator);
        length += separator;
        const char digits[3] = {static_cast<char>('0' + p.Millisecond / 100), static_cast<char>('0' + p.Millisecond / 10 % 10),
                                static_cast<char>('0' + p.Millisecond % 10)};
        size_t count = 3;
        while (digits[count - 1] == '0') --count;
        std::memcpy(out + length, digits, count);
        length += count;
    }
    if (type == TFieldType::TimeStampOffset) out[length++] = ' ';
    return {out, length};
}

}  // namespace iqo
