#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace iqo {

// Removes characters up to U+0020 (blanks and control characters) from both ends.
std::string Trim(std::string_view text);
std::string TrimLeft(std::string_view text);
std::string TrimRight(std::string_view text);

// Letters a to z turned into capitals; every other byte unchanged.
std::string UpperCaseAscii(std::string_view text);
// Unicode upper case of a UTF-8 text (simple case mapping).
std::string UpperCase(std::string_view text);
// Equality without regard to letter case (Unicode simple case folding).
bool SameText(std::string_view a, std::string_view b);

// Conversion of an integer text as the INI readers do it: optional sign, then decimal digits
// or "$" and hexadecimal digits; nothing else. Empty when the text does not convert or the
// value lies outside the signed 32-bit range.
std::optional<int32_t> TryStrToInt(std::string_view text);

// Replaces every occurrence of one text by another.
std::string ReplaceAll(std::string text, std::string_view from, std::string_view to);

}  // namespace iqo
