#pragma once

#include <array>
#include <string_view>

#include "dbaccess/FieldTypes.h"
#include "platform/DateTime.h"
#include "platform/Exception.h"
#include "platform/RegionalSettings.h"

namespace iqo {

// Date and time texts as the SQL of the combined query sees them: fixed formats whatever the
// host's regional settings say, apart from the decimal separator of a fraction of a second.

// A text that should hold a number and does not.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// Reads a date text: a fraction of a second after the last time separator ("," or ".",
// optionally followed by "Z") is taken apart; a text with two or more of the separators
// ",-./:" is read as "yyyy-mm-dd hh:nn:ss" (either part may stand alone) and gives 0 when it
// cannot be read; a text with one separator is a floating-point day serial, a text without
// separators an integer day serial; a text of fewer than two characters is 0. Raises
// EConvertError when a day serial is not a number.
TDateTime DateTextToDateTime(std::string_view text);

// The reading of filter values: as DateTextToDateTime, but a text of two or more separators
// that it cannot read is read once more with the regional date and time formats and gives 0
// only when that fails too.
TDateTime FilterDateTextToDateTime(std::string_view text, const TFormatSettings& regional);

// Room for any text FormatDateText writes.
using TDateTextBuffer = std::array<char, 64>;

// The text of a date-time value of a column of the given type: Date "yyyy-mm-dd"; Time
// "hh:nn:ss" and DateTime "yyyy-mm-dd hh:nn:ss", each with the milliseconds when the scale is
// not 0; TimeStamp always with them; TimeStampOffset as TimeStamp followed by a blank (the row
// store keeps local time, so the offset is always empty). Milliseconds are written after the
// decimal separator with three digits, trailing zeros removed (5 ms ".005", 500 ms ".5"),
// and not at all when they are 0. The text lives in the buffer.
std::string_view FormatDateText(TFieldType type, int scale, TDateTime value, std::string_view decimalSeparator,
                                TDateTextBuffer& buffer);

}  // namespace iqo
