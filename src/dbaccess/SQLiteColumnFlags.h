#pragma once

#include <sqlite3.h>

#include "ColumnDescriptor.h"
#include "platform/TextUtils.h"

namespace iqo {

// Fills Required, IsKey and IsAutoIncrement of a result column that comes straight from a
// table column, from the engine's table-column metadata: an INTEGER primary key counts as
// auto-increment, since the engine numbers it itself. Returns the table column's declared type
// (empty when the engine has no metadata for the column).
inline const char* ReadSQLiteColumnFlags(sqlite3* db, sqlite3_stmt* stmt, int column, TColumnDescriptor& c) {
    const char* table = sqlite3_column_table_name(stmt, column);
    const char* origin = sqlite3_column_origin_name(stmt, column);
    const char* declared = nullptr;
    const char* collation = nullptr;
    int notNull = 0, primaryKey = 0, autoIncrement = 0;
    if (!table || !origin ||
        sqlite3_table_column_metadata(db, sqlite3_column_database_name(stmt, column), table, origin, &declared,
                                      &collation, &notNull, &primaryKey, &autoIncrement) != SQLITE_OK)
        return nullptr;
    c.Required = notNull != 0;
    c.IsKey = primaryKey != 0;
    c.IsAutoIncrement = autoIncrement != 0 || (primaryKey != 0 && declared && SameText(declared, "INTEGER"));
    return declared;
}

}  // namespace iqo
