#pragma once

#include <string>
#include <vector>

#include "../ColumnDescriptor.h"
#include "../RowStore.h"
#include "OdbcHandles.h"

namespace iqo {

// The descriptor of result column `column` (1-based) of an ODBC statement, from its column
// attributes: type, length, precision and scale, base table and column, nullability and
// auto-unique value; for SQL Server results also the catalog, schema and row-version flag.
struct TOdbcColumn {
    TColumnDescriptor Descriptor;
    SQLSMALLINT SqlType = SQL_UNKNOWN_TYPE;  // the concise type the driver reports
    std::string Catalog, Schema;             // of the base table, where the driver tells
};
TOdbcColumn DescribeOdbcColumn(const TOdbcHandle& statement, SQLUSMALLINT column, TProviderKind kind);

// Reads the rows of an executed ODBC statement into a row store, each value with SQLGetData in
// the C type its descriptor asks for; long text and binary values in pieces.
class TOdbcRowReader {
public:
    explicit TOdbcRowReader(const std::vector<TOdbcColumn>& columns);
    void Read(const TOdbcHandle& statement, TRowStore& rows) const;

private:
    enum class TKind { Integer, Unsigned, Float, Boolean, Date, Time, DateTime, DateTimeText, Text, Guid, Bytes, None };
    struct TColumnReader {
        TKind Kind = TKind::None;
        std::string Name;  // for error texts
    };
    void ReadValue(const TOdbcHandle& statement, const TColumnReader& reader, size_t column,
                   TRowStore::TRowBuilder& row) const;
    std::vector<TColumnReader> FColumns;
};

}  // namespace iqo
