#pragma once

#include <libpq-fe.h>

#include <map>
#include <set>
#include <string>
#include <utility>

namespace iqo {

// A table column as the PostgreSQL catalog describes it.
struct TPgBaseColumn {
    std::string Table;
    std::string Column;
    bool NotNull = false;
    bool IsKey = false;            // part of the table's primary key
    bool IsAutoIncrement = false;  // an identity column or one that takes its default from a sequence
};

// A result column's origin: the table's oid and the column's number in it.
using TPgColumnOrigin = std::pair<Oid, int>;

// Looks the given table columns up in the catalog, all in one query.
std::map<TPgColumnOrigin, TPgBaseColumn> PgBaseColumns(PGconn* connection, const std::set<TPgColumnOrigin>& origins);

}  // namespace iqo
