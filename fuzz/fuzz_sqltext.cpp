// The SQL text of the combined query on its way to the engine: macro references go, quoted
// parameter names are written plain, and nothing else changes. A text without "&" and ":" is
// left as it is; one without ":" only loses characters; a text of blanks, ";" and comments
// only holds no statement before and after; every parameter reported stands in the text that
// the engine gets and is made of name characters; handling the result again changes nothing
// (unless a removed macro or an empty quoted name left a lone colon).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "output/VirtualSQLText.h"

namespace {

bool IsNameChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || c == '_' || c == '$' ||
           u >= 0x80;
}

bool IsSubsequence(std::string_view part, std::string_view whole) {
    size_t j = 0;
    for (const char c : whole)
        if (j < part.size() && part[j] == c) ++j;
    return j == part.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view sql(reinterpret_cast<const char*>(data), size);
    const iqo::TVirtualSQLText parsed = iqo::ParseVirtualSQLText(sql);
    const std::string& text = parsed.Text;

    FUZZ_CHECK(text.size() <= sql.size(), "the text grew");
    if (sql.find_first_of("&:") == std::string_view::npos) FUZZ_CHECK(text == sql, "a text without & and : changed");
    if (sql.find(':') == std::string_view::npos) FUZZ_CHECK(IsSubsequence(text, sql), "more than macros went");
    if (!iqo::HoldsStatement(sql)) FUZZ_CHECK(text == sql, "a text without statements changed");

    for (size_t i = 0; i < parsed.Parameters.size(); ++i) {
        const std::string& name = parsed.Parameters[i];
        // Made of name characters only, a quoted name cannot turn into SQL.
        FUZZ_CHECK(name[0] == ':' && std::all_of(name.begin() + 1, name.end(), IsNameChar), name);
        FUZZ_CHECK(text.find(name) != std::string::npos, name);
        FUZZ_CHECK(std::count(parsed.Parameters.begin(), parsed.Parameters.end(), name) == 1, name);
    }

    // Unless a removed macro or an empty quoted name leaves a ":" to join what follows it
    // (the engine then meets a lone ":").
    const bool loneColon = std::find(parsed.Parameters.begin(), parsed.Parameters.end(), ":") != parsed.Parameters.end();
    if (sql.find(":&") == std::string_view::npos && !loneColon)
        FUZZ_CHECK(iqo::ParseVirtualSQLText(text).Text == text, "handling the text twice changes it");

    // The on-demand table creation: a table name the text holds as it is is always found.
    FUZZ_CHECK(!iqo::SQLTextNamesTable(sql, "PASTELSQL") || iqo::SQLTextNamesTable(sql, "pastelsql"),
               "table names compare with regard to case");
    if (sql.size() >= 2) iqo::SQLTextNamesTable(sql.substr(2), sql.substr(0, 2));
    return 0;
}
