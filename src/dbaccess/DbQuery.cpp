#include "DbQuery.h"

#include "platform/Exception.h"
#include "platform/TextUtils.h"

namespace iqo {

TDbQuery::TDbQuery(TDbConnection* connection) { SetConnection(connection); }

TDbQuery::~TDbQuery() {
    Close();
    FStatement.reset();
    if (FConnection) FConnection->Detach(this);
}

void TDbQuery::SetConnection(TDbConnection* connection) {
    if (connection == FConnection) return;
    Close();
    FStatement.reset();
    if (FConnection) FConnection->Detach(this);
    FConnection = connection;
    if (FConnection) FConnection->Attach(this);
}

void TDbQuery::SetSQL(std::string sql) {
    Close();
    FStatement.reset();
    FSQL = std::move(sql);
}

TProviderKind TDbQuery::ProviderKind() const {
    return FConnection ? FConnection->ProviderKind() : TProviderKind::Generic;
}

void TDbQuery::ConnectionClosing() {
    Close();
    FStatement.reset();
}

void TDbQuery::Prepare() {
    if (FStatement) return;
    if (!FConnection) throw Exception("Connection is not defined");
    FConnection->Open();
    auto statement = FConnection->Session().Prepare(FSQL);
    SetColumns(Settle(statement->Describe()));
    FStatement = std::move(statement);
}

void TDbQuery::Unprepare() {
    Close();
    FStatement.reset();
}

void TDbQuery::DoOpen() {
    Prepare();
    if (Columns().empty()) throw Exception("SQL statement doesn't return rows");
    FStatement->Execute();
    SetColumns(Settle(FStatement->Describe()));
    FStatement->Fetch(Rows());
}

std::vector<TColumnDescriptor> TDbQuery::Settle(std::vector<TColumnDescriptor> columns) const {
    const TProviderKind kind = ProviderKind();
    std::string updatingTable;
    for (const auto& c : columns)
        if (!c.TableName.empty()) {
            updatingTable = c.TableName;
            break;
        }
    for (size_t i = 0; i < columns.size(); ++i) {
        TColumnDescriptor& c = columns[i];
        c.FieldNo = static_cast<uint16_t>(i + 1);
        if (c.Size == 0) c.Size = FieldValueSize(c.DataType, c.Length, kind);
        c.ReadOnly = c.ReadOnly || c.TableName.empty() || !SameText(c.TableName, updatingTable);
    }
    MakeColumnNamesUnique(columns);
    return columns;
}

}  // namespace iqo
