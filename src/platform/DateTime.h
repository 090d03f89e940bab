#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace iqo {

// A date and time as a day serial: days since 30 December 1899, the fraction being the time
// of day. A negative serial holds the date in its integer part and the time of day in the
// magnitude of its fraction, as the CRM product's own tools read it.
using TDateTime = double;

constexpr int64_t kMSecsPerDay = 86400000;

struct TDateTimeParts {
    int Year = 1899, Month = 12, Day = 30;
    int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

bool IsValidDate(int year, int month, int day);
bool IsValidTime(int hour, int minute, int second, int msec);
// Raise Exception when a part is out of range.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int msec);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec);
// Same without raising: false when a part is out of range.
bool TryEncodeDateTime(const TDateTimeParts& parts, TDateTime& result);

// The instant rounded to the nearest millisecond, split into its parts; 23:59:59.9996 rounds
// into the next day. A serial that is not finite or lies 10^11 days or more from the epoch
// gives the parts of the epoch, 30 December 1899.
TDateTimeParts DecodeDateTime(TDateTime value);
int DaysInMonth(int year, int month);

// Milliseconds since 1 January of year 1 (day number 1), of the value rounded to the
// millisecond: differences of two of them are exact. 0 for a serial that names no instant.
int64_t DateTimeToMilliseconds(TDateTime value);

// The current local time.
TDateTime Now();

// "yyyy-mm-dd hh:nn:ss" with the given time separator between the time parts.
std::string FormatIsoDateTime(TDateTime value, std::string_view timeSeparator);
// "dd-mm-yy hh:nn:ss" with the given time separator (the text-log line stamp).
std::string FormatLogDateTime(TDateTime value, std::string_view timeSeparator);

}  // namespace iqo
