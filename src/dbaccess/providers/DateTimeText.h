#pragma once

#include <optional>
#include <string_view>

#include "platform/DateTime.h"

namespace iqo {

// Reads the ISO forms that database servers print for dates and times: "yyyy-mm-dd",
// "hh:nn[:ss[.fraction]]", both separated by a blank or "T", optionally followed by an offset
// ("+hh", "-hh:nn", "Z", after a blank or not) and, after a date, " BC". A value with a date
// and an offset is converted to local time and its offset dropped; a time of day with an offset
// keeps its clock time. Fractions are kept to the microsecond. Empty when the text is not such
// a value or lies outside the day serials' years 1 to 9999 ("infinity" among them).
std::optional<TDateTime> DateTimeSerialOfText(std::string_view text);

// The day serial of a date and time of day given by parts; empty when a part is out of range.
std::optional<TDateTime> DateTimeSerialOf(int year, int month, int day, int hour, int minute, int second,
                                          int microsecond);
// The day fraction of a time of day; "24:00:00" is 1. Empty when a part is out of range.
std::optional<TDateTime> TimeSerialOf(int hour, int minute, int second, int microsecond);

}  // namespace iqo
