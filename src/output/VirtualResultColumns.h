#pragma once

#include <sqlite3.h>

#include <string_view>
#include <vector>

#include "dbaccess/ColumnDescriptor.h"
#include "output/VirtualSpecificTypes.h"

namespace iqo {

// The column descriptors of the combined query's result, from the engine's names, origins,
// declared types and table-column metadata, and from the first row's values.

// A declared type read as a data type; -1 for a length or scale it does not give.
struct TDeclaredType {
    TFieldType DataType = TFieldType::Unknown;
    int Length = -1;
    int Scale = -1;
    bool Fixed = false;  // "CHAR", "WCHAR"
};

// Upper-cased, without quotes; "(a)" or "(a, b)" cut off as length and scale ("TIME(3)",
// "DATETIME(3)", "TIMESTAMP(3)": the scale). A name this system does not declare is looked
// up in the registry; a miss gives Unknown.
TDeclaredType ReadDeclaredType(std::string_view declared, const TSpecificTypeRegistry& specificTypes);

// Settles the data type, length, scale and size of a column of the given declared or
// derived type: Unknown is text, long text a memo, short byte columns blobs, lengths and
// scales within the type's bounds, long variants from 32 characters or bytes on.
void SettleResultColumnType(TColumnDescriptor& column, const TDeclaredType& type, bool useUnicode);

// The result's columns; the statement has been stepped once (hasRow: it gave a row).
// ReadOnly marks every column outside the updating table, the first table met; a name met
// before gets "_1", "_2", ... as in every result set of the data layer.
std::vector<TColumnDescriptor> DescribeResultColumns(sqlite3* db, sqlite3_stmt* stmt, bool hasRow,
                                                     const TSpecificTypeRegistry& specificTypes, bool useUnicode);

}  // namespace iqo
