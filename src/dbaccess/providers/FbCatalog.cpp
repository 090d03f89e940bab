#include "FbCatalog.h"

#include "FbStatement.h"

namespace iqo {

namespace {

std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c;
        if (c == '\'') quoted += '\'';
    }
    return quoted + "'";
}

}  // namespace

bool TFbCatalog::HasIdentityColumns(TFbTransaction& transaction) {
    if (!FHasIdentityColumns) {
        TFbStatement probe(FAttachment);
        probe.Prepare(transaction,
                      "SELECT COUNT(*) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = 'RDB$RELATION_FIELDS' "
                      "AND RDB$FIELD_NAME = 'RDB$IDENTITY_TYPE'");
        probe.Execute(transaction);
        FHasIdentityColumns = probe.Fetch() && probe.Integer(0) > 0;
        probe.CloseCursor();
    }
    return *FHasIdentityColumns;
}

std::map<TFbCatalog::TColumnKey, TFbBaseColumn> TFbCatalog::BaseColumns(TFbTransaction& transaction,
                                                                        const std::set<std::string>& tables) {
    std::map<TColumnKey, TFbBaseColumn> columns;
    if (tables.empty()) return columns;
    std::string list;
    for (const auto& table : tables) list += (list.empty() ? "" : ", ") + Quoted(table);
    const std::string identity = HasIdentityColumns(transaction) ? "RF.RDB$IDENTITY_TYPE" : "CAST(NULL AS SMALLINT)";
    const std::string sql =
        "SELECT TRIM(RF.RDB$RELATION_NAME), TRIM(RF.RDB$FIELD_NAME), "
        "IIF(COALESCE(RF.RDB$NULL_FLAG, 0) = 1 OR COALESCE(F.RDB$NULL_FLAG, 0) = 1, 1, 0), "
        "COALESCE(F.RDB$FIELD_PRECISION, 0), " +
        identity +
        ", (SELECT COUNT(*) FROM RDB$RELATION_CONSTRAINTS RC "
        "JOIN RDB$INDEX_SEGMENTS S ON S.RDB$INDEX_NAME = RC.RDB$INDEX_NAME "
        "WHERE RC.RDB$RELATION_NAME = RF.RDB$RELATION_NAME AND RC.RDB$CONSTRAINT_TYPE = 'PRIMARY KEY' "
        "AND S.RDB$FIELD_NAME = RF.RDB$FIELD_NAME) "
        "FROM RDB$RELATION_FIELDS RF JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE "
        "WHERE RF.RDB$RELATION_NAME IN (" +
        list + ")";
    TFbStatement query(FAttachment);
    query.Prepare(transaction, sql);
    query.Execute(transaction);
    while (query.Fetch()) {
        TFbBaseColumn column;
        column.NotNull = query.Integer(2) != 0;
        column.Precision = static_cast<int>(query.Integer(3));
        column.IsIdentity = !query.IsNull(4);
        column.IsKey = query.Integer(5) > 0;
        columns[{std::string(query.Text(0)), std::string(query.Text(1))}] = column;
    }
    query.CloseCursor();
    return columns;
}

}  // namespace iqo
