#pragma once

#include <string>
#include <string_view>

namespace iqo {

// Names of the virtual tables, their schemas and columns as they appear in SQL text.

// A name needs quotes unless it starts with a letter (A to Z, a to z) and goes on with
// letters, digits, "_" or "$".
bool NameNeedsQuotes(std::string_view name);
// Reserved words of the engine's SQL dialect, without regard to case.
bool IsReservedWord(std::string_view name);
// The name without a surrounding pair of quotes ([], "", ``, ''); a quote character doubled
// inside "", `` or '' stands for itself.
std::string UnquoteName(std::string_view name);
// The name in the first pair of [], "", ``, '' whose characters do not occur in it; when
// every pair clashes, in double quotes with its own double quotes doubled.
std::string QuoteName(std::string_view name);
// The name unquoted, then quoted again when it needs quotes, is a reserved word or holds ".".
std::string NormalizeName(std::string_view name);

}  // namespace iqo
