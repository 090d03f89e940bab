#include "RegionalSettings.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdio>
#include <optional>
#include <vector>

#include "TextUtils.h"

namespace iqo {

namespace {

struct MappedFormat {
    std::string format;
    std::string separator;
};

// Maps a strftime format of date or time conversions to our tokens; empty on anything unmapped.
std::optional<MappedFormat> MapLocaleFormat(std::string_view fmt) {
    MappedFormat out;
    for (size_t i = 0; i < fmt.size(); ++i) {
        const char c = fmt[i];
        if (c == ' ') {
            out.format += ' ';
            continue;
        }
        if (c != '%') {
            if (out.separator.empty()) out.separator = std::string(1, c);
            else if (out.separator != std::string(1, c)) return std::nullopt;
            out.format += '\x01';  // placeholder for the separator
            continue;
        }
        if (++i >= fmt.size()) return std::nullopt;
        switch (fmt[i]) {
            case 'd': out.format += "dd"; break;
            case 'e': out.format += "d"; break;
            case 'm': out.format += "mm"; break;
            case 'y':
            case 'Y': out.format += "yyyy"; break;
            case 'b': out.format += "mmm"; break;
            case 'H':
            case 'I': out.format += "hh"; break;
            case 'M': out.format += "nn"; break;
            case 'S': out.format += "ss"; break;
            case 'p': out.format += "ampm"; break;
            case 'r': out.format += "hh\x01nn\x01ss ampm"; if (out.separator.empty()) out.separator = ":"; break;
            case 'T': out.format += "hh\x01nn\x01ss"; if (out.separator.empty()) out.separator = ":"; break;
            case 'D': out.format += "mm\x01" "dd\x01" "yyyy"; if (out.separator.empty()) out.separator = "/"; break;
            case 'F': out.format += "yyyy\x01" "mm\x01" "dd"; if (out.separator.empty()) out.separator = "-"; break;
            default: return std::nullopt;
        }
    }
    // Parts separated by blanks alone ("%e %b %Y").
    if (out.separator.empty() && out.format.find(' ') != std::string::npos) out.separator = " ";
    return out;
}

std::string WithPlaceholder(const std::string& format, char token) {
    std::string s = format;
    for (char& c : s)
        if (c == '\x01') c = token;
    return s;
}

std::string Pad(int value, int width) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*d", width, value);
    return buf;
}

size_t RunLength(std::string_view s, size_t i) {
    size_t n = 1;
    while (i + n < s.size() && (s[i + n] | 0x20) == (s[i] | 0x20)) ++n;
    return n;
}

bool StartsWithNoCase(std::string_view s, size_t i, std::string_view what) {
    return !what.empty() && s.size() - i >= what.size() && SameText(s.substr(i, what.size()), what);
}

// Reads 1 to 4 digits; returns the digit count (0 when none).
int ReadNumber(std::string_view s, size_t& i, int& value) {
    int n = 0;
    value = 0;
    while (i < s.size() && n < 4 && s[i] >= '0' && s[i] <= '9') value = value * 10 + (s[i++] - '0'), ++n;
    return n;
}

void SkipBlanks(std::string_view s, size_t& i) {
    while (i < s.size() && s[i] == ' ') ++i;
}

bool ReadSeparator(std::string_view s, size_t& i, std::string_view sep) {
    const size_t start = i;
    SkipBlanks(s, i);
    if (sep == " ") return i > start;
    if (sep.empty() || s.substr(i, sep.size()) != sep) return false;
    i += sep.size();
    SkipBlanks(s, i);
    return true;
}

int CurrentYear() {
    return DecodeDateTime(Now()).Year;
}

// A year given with one or two digits lies within 50 years of the current one.
int WidenYear(int year, int digits) {
    if (digits > 2) return year;
    const int current = CurrentYear();
    year += current / 100 * 100;
    if (year < current - 50) year += 100;
    else if (year > current + 50) year -= 100;
    return year;
}

}  // namespace

TFormatSettings TFormatSettings::FromLocaleFormats(std::string_view dFmt, std::string_view tFmt,
                                                   std::string_view decimalSeparator) {
    TFormatSettings fs;
    const auto date = MapLocaleFormat(dFmt);
    if (date && !date->separator.empty()) {
        fs.ShortDateFormat = WithPlaceholder(date->format, '/');
        fs.DateSeparator = date->separator;
    } else {
        fs.ShortDateFormat = "yyyy/mm/dd";
        fs.DateSeparator = "-";
    }
    const auto time = MapLocaleFormat(tFmt);
    if (time && !time->separator.empty()) {
        fs.LongTimeFormat = WithPlaceholder(time->format, ':');
        fs.TimeSeparator = time->separator;
    } else {
        fs.LongTimeFormat = "hh:nn:ss";
        fs.TimeSeparator = ":";
    }
    if (!decimalSeparator.empty()) fs.DecimalSeparator = std::string(decimalSeparator);
    return fs;
}

TFormatSettings TFormatSettings::FromEnvironmentLocale() {
    locale_t loc = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(nullptr));
    if (!loc) loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    TFormatSettings fs = FromLocaleFormats(nl_langinfo_l(D_FMT, loc), nl_langinfo_l(T_FMT, loc),
                                           nl_langinfo_l(RADIXCHAR, loc));
    const std::string am = nl_langinfo_l(AM_STR, loc), pm = nl_langinfo_l(PM_STR, loc);
    if (!am.empty()) fs.TimeAMString = am;
    if (!pm.empty()) fs.TimePMString = pm;
    for (int m = 0; m < 12; ++m) {
        const std::string name = nl_langinfo_l(static_cast<nl_item>(ABMON_1 + m), loc);
        if (!name.empty()) fs.ShortMonthNames[m] = name;
    }
    freelocale(loc);
    return fs;
}

const TFormatSettings& RegionalSettings() {
    static const TFormatSettings settings = TFormatSettings::FromEnvironmentLocale();
    return settings;
}

std::string FormatDateTime(std::string_view f, TDateTime value, const TFormatSettings& fs) {
    const TDateTimeParts p = DecodeDateTime(value);
    const bool twelveHour = f.find("ampm") != std::string_view::npos ||
                            f.find("AMPM") != std::string_view::npos;
    std::string out;
    for (size_t i = 0; i < f.size();) {
        const char c = f[i];
        const char lc = static_cast<char>(c | 0x20);
        if (c == '\'' || c == '"') {
            const size_t end = f.find(c, i + 1);
            const size_t stop = end == std::string_view::npos ? f.size() : end;
            out.append(f.substr(i + 1, stop - i - 1));
            i = stop + 1;
            continue;
        }
        if (StartsWithNoCase(f, i, "ampm")) {
            out += p.Hour < 12 ? fs.TimeAMString : fs.TimePMString;
            i += 4;
            continue;
        }
        const size_t n = (lc >= 'a' && lc <= 'z') ? RunLength(f, i) : 1;
        switch (lc) {
            case 'd': out += n >= 2 ? Pad(p.Day, 2) : std::to_string(p.Day); break;
            case 'm':
                out += n >= 3 ? fs.ShortMonthNames[p.Month - 1] : n == 2 ? Pad(p.Month, 2) : std::to_string(p.Month);
                break;
            case 'y': out += n >= 3 ? Pad(p.Year, 4) : Pad(p.Year % 100, 2); break;
            case 'h': {
                int h = p.Hour;
                if (twelveHour) h = h % 12 == 0 ? 12 : h % 12;
                out += n >= 2 ? Pad(h, 2) : std::to_string(h);
                break;
            }
            case 'n': out += n >= 2 ? Pad(p.Minute, 2) : std::to_string(p.Minute); break;
            case 's': out += n >= 2 ? Pad(p.Second, 2) : std::to_string(p.Second); break;
            case 'z': out += n >= 3 ? Pad(p.Millisecond, 3) : std::to_string(p.Millisecond); break;
            case '/': out += fs.DateSeparator; break;
            case ':': out += fs.TimeSeparator; break;
            default: out.append(f.substr(i, n)); break;
        }
        i += n;
    }
    return out;
}

std::string DateTimeToStr(TDateTime value, const TFormatSettings& fs) {
    const TDateTimeParts p = DecodeDateTime(value);
    std::string s = FormatDateTime(fs.ShortDateFormat, value, fs);
    if (p.Hour || p.Minute || p.Second || p.Millisecond) s += ' ' + FormatDateTime(fs.LongTimeFormat, value, fs);
    return s;
}

bool TryStrToDateTime(std::string_view text, const TFormatSettings& fs, TDateTime& result) {
    const std::string trimmed = Trim(text);
    const std::string_view s = trimmed;
    // The order of day, month and year follows the short date format.
    std::vector<char> order;
    for (char c : fs.ShortDateFormat) {
        const char lc = static_cast<char>(c | 0x20);
        if ((lc == 'd' || lc == 'm' || lc == 'y') && (order.empty() || order.back() != lc)) order.push_back(lc);
    }
    if (order.size() != 3) order = {'m', 'd', 'y'};

    size_t i = 0;
    int values[3] = {0, 0, 0};
    int digits[3] = {0, 0, 0};
    int parts = 0;
    for (; parts < 3; ++parts) {
        if (parts > 0 && !ReadSeparator(s, i, fs.DateSeparator)) break;
        if (order[parts] == 'm' && i < s.size() && !(s[i] >= '0' && s[i] <= '9')) {
            int month = 0;
            for (int m = 0; m < 12 && !month; ++m)
                if (StartsWithNoCase(s, i, fs.ShortMonthNames[m])) month = m + 1, i += fs.ShortMonthNames[m].size();
            if (!month) return false;
            values[parts] = month, digits[parts] = 2;
            continue;
        }
        digits[parts] = ReadNumber(s, i, values[parts]);
        if (!digits[parts]) return false;
    }
    TDateTimeParts p;
    if (parts == 3) {
        for (int k = 0; k < 3; ++k) {
            if (order[k] == 'd') p.Day = values[k];
            if (order[k] == 'm') p.Month = values[k];
            if (order[k] == 'y') p.Year = WidenYear(values[k], digits[k]);
        }
    } else if (parts == 2) {
        // Day and month alone: the current year.
        int k = 0;
        for (char o : order) {
            if (o == 'y') continue;
            (o == 'd' ? p.Day : p.Month) = values[k++];
        }
        p.Year = CurrentYear();
    } else {
        return false;
    }

    SkipBlanks(s, i);
    if (i < s.size()) {
        int hour = 0, minute = 0, second = 0, msec = 0;
        if (!ReadNumber(s, i, hour)) return false;
        if (ReadSeparator(s, i, fs.TimeSeparator)) {
            if (!ReadNumber(s, i, minute)) return false;
            if (ReadSeparator(s, i, fs.TimeSeparator)) {
                if (!ReadNumber(s, i, second)) return false;
                if (i < s.size() && s.substr(i, fs.DecimalSeparator.size()) == fs.DecimalSeparator) {
                    i += fs.DecimalSeparator.size();
                    int msDigits = ReadNumber(s, i, msec);
                    if (!msDigits) return false;
                    while (msDigits++ < 3) msec *= 10;
                }
            }
        }
        SkipBlanks(s, i);
        if (i < s.size()) {
            const bool pm = StartsWithNoCase(s, i, fs.TimePMString) || StartsWithNoCase(s, i, "PM");
            const bool am = !pm && (StartsWithNoCase(s, i, fs.TimeAMString) || StartsWithNoCase(s, i, "AM"));
            if (!am && !pm) return false;
            if (hour < 1 || hour > 12) return false;
            if (pm && hour < 12) hour += 12;
            if (am && hour == 12) hour = 0;
            i += StartsWithNoCase(s, i, pm ? fs.TimePMString : fs.TimeAMString)
                     ? (pm ? fs.TimePMString : fs.TimeAMString).size()
                     : 2;
            SkipBlanks(s, i);
            if (i < s.size()) return false;
        }
        p.Hour = hour, p.Minute = minute, p.Second = second, p.Millisecond = msec;
    }
    return TryEncodeDateTime(p, result);
}

}  // namespace iqo
