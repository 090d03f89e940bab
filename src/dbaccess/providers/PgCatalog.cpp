#include "PgCatalog.h"

#include <cstdlib>

#include "PgHandles.h"

namespace iqo {

namespace {

constexpr const char* kBaseColumnsQuery =
    "SELECT a.attrelid, a.attnum, c.relname, a.attname, a.attnotnull,"
    " EXISTS (SELECT 1 FROM pg_catalog.pg_index i"
    "         WHERE i.indrelid = a.attrelid AND i.indisprimary AND a.attnum = ANY (i.indkey)),"
    " a.attidentity <> '' OR COALESCE(pg_catalog.pg_get_expr(d.adbin, d.adrelid) LIKE 'nextval(%', false)"
    " FROM pg_catalog.pg_attribute a"
    " JOIN pg_catalog.pg_class c ON c.oid = a.attrelid"
    " LEFT JOIN pg_catalog.pg_attrdef d ON d.adrelid = a.attrelid AND d.adnum = a.attnum"
    " WHERE (a.attrelid, a.attnum) IN (SELECT * FROM unnest($1::pg_catalog.oid[], $2::pg_catalog.int2[]))";

bool IsTrue(const PGresult* result, int row, int column) { return PQgetvalue(result, row, column)[0] == 't'; }

}  // namespace

std::map<TPgColumnOrigin, TPgBaseColumn> PgBaseColumns(PGconn* connection, const std::set<TPgColumnOrigin>& origins) {
    std::map<TPgColumnOrigin, TPgBaseColumn> columns;
    if (origins.empty()) return columns;
    std::string tables = "{", numbers = "{";
    for (const auto& [table, number] : origins) {
        if (tables.size() > 1) tables += ',', numbers += ',';
        tables += std::to_string(table);
        numbers += std::to_string(number);
    }
    tables += '}', numbers += '}';
    const char* values[] = {tables.c_str(), numbers.c_str()};
    const auto result = PgCheckResult(
        connection, PQexecParams(connection, kBaseColumnsQuery, 2, nullptr, values, nullptr, nullptr, 0), PGRES_TUPLES_OK);
    const PGresult* r = result.get();
    for (int row = 0; row < PQntuples(r); ++row) {
        TPgBaseColumn c;
        c.Table = PQgetvalue(r, row, 2);
        c.Column = PQgetvalue(r, row, 3);
        c.NotNull = IsTrue(r, row, 4);
        c.IsKey = IsTrue(r, row, 5);
        c.IsAutoIncrement = IsTrue(r, row, 6);
        const auto table = static_cast<Oid>(std::strtoul(PQgetvalue(r, row, 0), nullptr, 10));
        columns.emplace(TPgColumnOrigin(table, std::atoi(PQgetvalue(r, row, 1))), std::move(c));
    }
    return columns;
}

}  // namespace iqo
