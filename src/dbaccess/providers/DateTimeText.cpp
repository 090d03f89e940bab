#include "DateTimeText.h"

#include <ctime>

namespace iqo {

namespace {

struct TParsedDateTime {
    bool HasDate = false;
    int Year = 1899, Month = 12, Day = 30;
    int Hour = 0, Minute = 0, Second = 0, Microsecond = 0;
    bool HasOffset = false;
    int OffsetSeconds = 0;  // east of UTC
};

class TScanner {
public:
    explicit TScanner(std::string_view text) : FText(text) {}

    bool AtEnd() const { return FPos == FText.size(); }
    bool Peek(char c) const { return FPos < FText.size() && FText[FPos] == c; }
    bool Skip(char c) {
        if (!Peek(c)) return false;
        ++FPos;
        return true;
    }
    bool PeekDigit(size_t ahead = 0) const {
        return FPos + ahead < FText.size() && FText[FPos + ahead] >= '0' && FText[FPos + ahead] <= '9';
    }
    // Exactly `digits` digits, or at least that many with `more`.
    bool Number(int digits, int& out, bool more = false) {
        out = 0;
        int n = 0;
        while (PeekDigit() && (more || n < digits)) {
            if (out > 99999) return false;
            out = out * 10 + (FText[FPos++] - '0');
            ++n;
        }
        return n >= digits;
    }
    // The digits of a fraction, as microseconds (rounded at the seventh digit).
    int Fraction() {
        int64_t micro = 0;
        int n = 0;
        bool roundUp = false;
        while (PeekDigit()) {
            const int d = FText[FPos++] - '0';
            if (n < 6) micro = micro * 10 + d;
            else if (n == 6) roundUp = d >= 5;
            ++n;
        }
        while (n++ < 6) micro *= 10;
        return static_cast<int>(micro + (roundUp ? 1 : 0));
    }
    bool Rest(std::string_view expected) {
        if (FText.substr(FPos) != expected) return false;
        FPos = FText.size();
        return true;
    }

private:
    std::string_view FText;
    size_t FPos = 0;
};

bool ParseOffset(TScanner& s, TParsedDateTime& p) {
    if (s.Skip('Z')) {
        p.HasOffset = true;
        return true;
    }
    const bool minus = s.Peek('-');
    if (!s.Skip('+') && !s.Skip('-')) return false;
    int hours = 0, minutes = 0, seconds = 0;
    if (!s.Number(2, hours)) return false;
    if (s.Skip(':') && !s.Number(2, minutes)) return false;
    if (s.Skip(':') && !s.Number(2, seconds)) return false;
    p.HasOffset = true;
    p.OffsetSeconds = (minus ? -1 : 1) * (hours * 3600 + minutes * 60 + seconds);
    return true;
}

std::optional<TParsedDateTime> Parse(std::string_view text) {
    TParsedDateTime p;
    TScanner s(text);
    // A time of day has its colon where a date has its third year digit.
    if (s.PeekDigit() && s.PeekDigit(2)) {
        if (!s.Number(4, p.Year, true) || !s.Skip('-') || !s.Number(2, p.Month) || !s.Skip('-') || !s.Number(2, p.Day))
            return std::nullopt;
        p.HasDate = true;
        if (s.AtEnd()) return p;
        if (!s.Skip(' ') && !s.Skip('T')) return std::nullopt;
    }
    if (!p.HasDate || !s.Peek('B')) {
        if (!s.Number(2, p.Hour) || !s.Skip(':') || !s.Number(2, p.Minute)) return std::nullopt;
        if (s.Skip(':')) {
            if (!s.Number(2, p.Second)) return std::nullopt;
            if (s.Skip('.')) p.Microsecond = s.Fraction();
        }
        s.Skip(' ');
        if ((s.Peek('+') || s.Peek('-') || s.Peek('Z')) && !ParseOffset(s, p)) return std::nullopt;
        s.Skip(' ');
    }
    if (p.HasDate && s.Rest("BC")) p.Year = 1 - p.Year;
    if (!s.AtEnd()) return std::nullopt;
    return p;
}

// The local clock time of a UTC instant given by its parts; false outside the C library's range.
bool ToLocalTime(TParsedDateTime& p) {
    std::tm utc{};
    utc.tm_year = p.Year - 1900;
    utc.tm_mon = p.Month - 1;
    utc.tm_mday = p.Day;
    utc.tm_hour = p.Hour;
    utc.tm_min = p.Minute;
    utc.tm_sec = p.Second - p.OffsetSeconds;
    const std::time_t instant = timegm(&utc);
    std::tm local{};
    if (!localtime_r(&instant, &local)) return false;
    p.Year = local.tm_year + 1900;
    p.Month = local.tm_mon + 1;
    p.Day = local.tm_mday;
    p.Hour = local.tm_hour;
    p.Minute = local.tm_min;
    p.Second = local.tm_sec;
    return true;
}

}  // namespace

std::optional<TDateTime> TimeSerialOf(int hour, int minute, int second, int microsecond) {
    // A leap second reads as the last moment of its minute.
    if (second == 60) second = 59, microsecond = 999999;
    const bool endOfDay = hour == 24 && minute == 0 && second == 0 && microsecond == 0;
    if (!endOfDay && (!IsValidTime(hour, minute, second, 0) || microsecond < 0 || microsecond > 999999))
        return std::nullopt;
    return (hour * 3600.0 + minute * 60.0 + second + microsecond / 1e6) / 86400.0;
}

std::optional<TDateTime> DateTimeSerialOf(int year, int month, int day, int hour, int minute, int second,
                                          int microsecond) {
    const auto time = TimeSerialOf(hour, minute, second, microsecond);
    if (!time || !IsValidDate(year, month, day)) return std::nullopt;
    const double date = EncodeDate(year, month, day);
    // Before 30 December 1899 the time of day is the magnitude of the fraction.
    return date >= 0 ? date + *time : date - *time;
}

std::optional<TDateTime> DateTimeSerialOfText(std::string_view text) {
    auto parsed = Parse(text);
    if (!parsed) return std::nullopt;
    TParsedDateTime& p = *parsed;
    if (!p.HasDate) return TimeSerialOf(p.Hour, p.Minute, p.Second, p.Microsecond);
    if (p.HasOffset && !ToLocalTime(p)) return std::nullopt;
    return DateTimeSerialOf(p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second, p.Microsecond);
}

}  // namespace iqo
