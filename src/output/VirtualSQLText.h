#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace iqo {

// The SQL text of the combined query on its way to the engine. Quoted text ('', "", ``, [])
// and comments (-- and /* */) are never scanned.

struct TVirtualSQLText {
    // Every macro reference ("&" directly followed by a name) removed, and every quoted
    // parameter name (:"a b") written plain (:a_b), each character that cannot stand in a
    // name turned into "_".
    std::string Text;
    // The named parameters as the engine reports them (":name"), each once, in text order.
    std::vector<std::string> Parameters;
};

TVirtualSQLText ParseVirtualSQLText(std::string_view sql);

// Whether the text holds anything besides blanks, control characters, ";" and comments.
bool HoldsStatement(std::string_view sql);

// Whether a name outside quoted text and comments, or a quoted identifier, equals the table
// name (itself possibly quoted) without regard to case.
bool SQLTextNamesTable(std::string_view sql, std::string_view tableName);

}  // namespace iqo
