#pragma once

#include <array>
#include <string>
#include <string_view>

#include "DateTime.h"

namespace iqo {

// The host's regional settings as the service uses them. Formats use the tokens d, dd, m, mm,
// mmm, yy, yyyy, h, hh, n, nn, s, ss, z, zzz and ampm; in a format "/" stands for the date
// separator and ":" for the time separator; text in quotes is literal.
struct TFormatSettings {
    std::string ShortDateFormat = "mm/dd/yyyy";
    std::string LongTimeFormat = "hh:nn:ss";
    std::string DateSeparator = "/";
    std::string TimeSeparator = ":";
    std::string DecimalSeparator = ".";
    std::string TimeAMString = "AM";
    std::string TimePMString = "PM";
    std::array<std::string, 12> ShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

    // The settings of the locale the environment names (LC_ALL, LC_TIME, LC_NUMERIC, LANG),
    // read without changing the process locale. A two-digit year is widened to four digits;
    // a format with conversions other than the mapped ones falls back to "yyyy-mm-dd" and
    // "hh:nn:ss".
    static TFormatSettings FromEnvironmentLocale();
    // The settings that D_FMT and T_FMT texts give (strftime conversions).
    static TFormatSettings FromLocaleFormats(std::string_view dFmt, std::string_view tFmt,
                                             std::string_view decimalSeparator);
};

// The settings captured once, at the first call (the service calls it at start).
const TFormatSettings& RegionalSettings();

std::string FormatDateTime(std::string_view format, TDateTime value, const TFormatSettings& fs);
// Short date, a blank and the long time; at exactly midnight the date alone.
std::string DateTimeToStr(TDateTime value, const TFormatSettings& fs);
// Reads a text in the form DateTimeToStr writes (the time part optional, seconds and
// milliseconds optional, AM/PM honoured); false when it does not parse.
bool TryStrToDateTime(std::string_view text, const TFormatSettings& fs, TDateTime& result);

}  // namespace iqo
