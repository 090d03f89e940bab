#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace iqo {

// The number forms of the remote data file. Values are rounded from their exact binary
// value, half away from zero; a negative value that rounds to zero has no "-". The decimal
// point is always "." and there are no separators, whatever the host's locale says.
// Infinity is "INF" or "-INF", not-a-number "NAN".

// The general form: `precision` significant digits (held to 2..18), positional unless the
// decimal exponent is above the precision or below -3, then d.dddE-x with at least
// `exponentDigits` exponent digits (more than 4 counts as none).
void AppendGeneralNumber(std::string& out, double value, int precision, int exponentDigits);

// The fixed form: rounded to `precision` significant digits (held to 2..18) and `decimals`
// digits after the point (at most 18), written with exactly that many decimals; a value too
// large for the precision takes the general form with the same precision and decimals.
void AppendFixedNumber(std::string& out, double value, int precision, int decimals);

// A fixed-point value with four decimals, held as value * 10000: the integer digits, then
// "." and the fraction without trailing zeros when it is not zero.
void AppendCurrency(std::string& out, int64_t scaled);

// The integer in decimal, "-" before a negative one, with "0" put in front up to `width`
// characters: what "%<width>d" gives with its blanks turned into "0".
void AppendZeroPadded(std::string& out, int64_t value, int width);

// An exact decimal text (optional sign, digits, optional "." and digits) in canonical form:
// "-" only when not zero, no leading zeros ("0" when there are none), no trailing fraction
// zeros, no point when the fraction is zero. False, with nothing appended, for any other text.
bool AppendExactDecimal(std::string& out, std::string_view text);

}  // namespace iqo
