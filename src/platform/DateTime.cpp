#include "DateTime.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "Exception.h"

namespace iqo {

namespace {

// Days from the civil date to 1970-01-01 (proleptic Gregorian calendar).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

// Serials that far from the epoch (some 270 million years) would overflow the millisecond
// count; like the non-finite ones they name no instant.
constexpr double kSerialLimit = 1e11;

bool NamesInstant(TDateTime value) { return std::isfinite(value) && std::fabs(value) < kSerialLimit; }

const int64_t kSerialEpoch = DaysFromCivil(1899, 12, 30);
const int64_t kDayOne = DaysFromCivil(1, 1, 1) - 1;  // day 0 of the millisecond count

std::string TwoDigits(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

}  // namespace

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

bool IsValidDate(int year, int month, int day) {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= DaysInMonth(year, month);
}

bool IsValidTime(int hour, int minute, int second, int msec) {
    return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60 &&
           msec >= 0 && msec < 1000;
}

bool TryEncodeDateTime(const TDateTimeParts& p, TDateTime& result) {
    if (!IsValidDate(p.Year, p.Month, p.Day) ||
        !IsValidTime(p.Hour, p.Minute, p.Second, p.Millisecond))
        return false;
    const auto days = static_cast<double>(
        DaysFromCivil(p.Year, static_cast<unsigned>(p.Month), static_cast<unsigned>(p.Day)) - kSerialEpoch);
    const double time =
        ((p.Hour * 3600.0 + p.Minute * 60.0 + p.Second) * 1000.0 + p.Millisecond) / kMSecsPerDay;
    result = days >= 0 ? days + time : days - time;
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    return EncodeDateTime(year, month, day, 0, 0, 0, 0);
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
    if (!IsValidTime(hour, minute, second, msec)) throw Exception("Invalid argument to time encode");
    return ((hour * 3600.0 + minute * 60.0 + second) * 1000.0 + msec) / kMSecsPerDay;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec) {
    TDateTime result;
    if (!TryEncodeDateTime({year, month, day, hour, minute, second, msec}, result))
        throw Exception("Invalid argument to date encode");
    return result;
}

TDateTimeParts DecodeDateTime(TDateTime value) {
    TDateTimeParts p;
    if (!NamesInstant(value)) return p;
    const auto ms = static_cast<int64_t>(std::llround(value * kMSecsPerDay));
    const int64_t days = ms / kMSecsPerDay;  // toward zero: the date of a negative serial
    int64_t time = (ms < 0 ? -ms : ms) % kMSecsPerDay;
    CivilFromDays(days + kSerialEpoch, p.Year, p.Month, p.Day);
    p.Hour = static_cast<int>(time / 3600000);
    time %= 3600000;
    p.Minute = static_cast<int>(time / 60000);
    time %= 60000;
    p.Second = static_cast<int>(time / 1000);
    p.Millisecond = static_cast<int>(time % 1000);
    return p;
}

int64_t DateTimeToMilliseconds(TDateTime value) {
    if (!NamesInstant(value)) return 0;
    const auto ms = static_cast<int64_t>(std::llround(value * kMSecsPerDay));
    const int64_t days = ms / kMSecsPerDay + (kSerialEpoch - kDayOne);
    return days * kMSecsPerDay + (ms < 0 ? -ms : ms) % kMSecsPerDay;
}

TDateTime Now() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t secs = system_clock::to_time_t(now);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&secs, &local);
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                          local.tm_min, local.tm_sec, static_cast<int>(ms));
}

std::string FormatIsoDateTime(TDateTime value, std::string_view sep) {
    const TDateTimeParts p = DecodeDateTime(value);
    char year[16];
    std::snprintf(year, sizeof year, "%04d", p.Year);
    std::string s = year;
    s += '-' + TwoDigits(p.Month) + '-' + TwoDigits(p.Day) + ' ' + TwoDigits(p.Hour);
    s.append(sep).append(TwoDigits(p.Minute)).append(sep).append(TwoDigits(p.Second));
    return s;
}

std::string FormatLogDateTime(TDateTime value, std::string_view sep) {
    const TDateTimeParts p = DecodeDateTime(value);
    std::string s = TwoDigits(p.Day) + '-' + TwoDigits(p.Month) + '-' + TwoDigits(p.Year % 100) + ' ' +
                    TwoDigits(p.Hour);
    s.append(sep).append(TwoDigits(p.Minute)).append(sep).append(TwoDigits(p.Second));
    return s;
}

}  // namespace iqo
