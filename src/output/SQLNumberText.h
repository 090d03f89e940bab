#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace iqo {

// Numbers in the texts of SQL values: read with "." as decimal point whatever the locale,
// blanks and control characters around them allowed; written as the SQLite engine writes them.

// An optional sign and decimal digits within the signed 64-bit range.
std::optional<int64_t> TryReadInt64(std::string_view text);
// A finite decimal number, with optional fraction and exponent.
std::optional<double> TryReadFloat(std::string_view text);

// The engine's text of an integer ("-12") and of a floating-point value ("0.1", "1.0", "1.0e+20").
std::string EngineNumberText(int64_t value);
std::string EngineNumberText(double value);

}  // namespace iqo
