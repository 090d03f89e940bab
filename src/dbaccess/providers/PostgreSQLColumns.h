#pragma once

#include <libpq-fe.h>

#include <vector>

#include "../ColumnDescriptor.h"
#include "../RowStore.h"
#include "PgCatalog.h"

namespace iqo {

// The descriptor of one result column of a described PostgreSQL statement: its type from the
// type oid and modifier, its origin (table, base column, NOT NULL, key, auto-increment) from
// the catalog's entry for it (null for expressions).
TColumnDescriptor DescribePostgreSQLColumn(const PGresult* description, int column, const TPgBaseColumn* base);

// Reads the rows of a result in text format into a row store, each column as its type asks:
// integers, floating-point and NUMERIC values as doubles, day serials (a timestamp with time
// zone in local time), bytea's hex form as its bytes, a uuid upper case in braces, any other
// text whole.
class TPostgreSQLRowReader {
public:
    TPostgreSQLRowReader(const PGresult* description, const std::vector<TColumnDescriptor>& columns);
    void Read(const PGresult* result, TRowStore& rows) const;

private:
    enum class TKind { Integer, Float, Boolean, DateTime, Bytea, Guid, Text };
    struct TColumnReader {
        TKind Kind = TKind::Text;
        std::string Name;  // for error texts
    };
    void ReadValue(const TColumnReader& reader, std::string_view text, size_t column, TRowStore::TRowBuilder& row) const;
    std::vector<TColumnReader> FColumns;
};

}  // namespace iqo
