#include "VirtualQuery.h"

#include <algorithm>

#include "output/SQLiteError.h"
#include "output/VirtualResultColumns.h"
#include "output/VirtualSQLText.h"
#include "platform/TextUtils.h"

namespace iqo {

TVirtualQuery::TVirtualQuery() = default;

TVirtualQuery::~TVirtualQuery() {
    Close();
    TearDown();
}

void TVirtualQuery::DoOpen() {
    try {
        if (FOptions.AutoOpenSources)
            for (size_t i = 0; i < FSources.Count(); ++i)
                if (FSources[i].DataSet) FSources[i].DataSet->Open();
        if (!FConnection.Connected()) {
            FConnection.Connect();
            RegisterSources();
        }
        CreateTables();
        Execute();
        SetColumns(DescribeResultColumns(FConnection.Db(), FStatement.get(), FHasRow, FConnection.SpecificTypes(),
                                         FOptions.UseUnicode));
        FImporter = std::make_unique<TVirtualValueImporter>(Columns());
        FetchMore();
    } catch (...) {
        // A failed open leaves nothing behind: the in-memory database goes at once.
        TearDown();
        throw;
    }
}

void TVirtualQuery::DoClose() { TearDown(); }

void TVirtualQuery::TearDown() {
    FImporter.reset();
    FStatement.reset();
    FHasRow = false;
    FConnection.Disconnect();
}

void TVirtualQuery::RegisterSources() {
    for (size_t i = 0; i < FSources.Count(); ++i) {
        const TDataSetLink& link = FSources[i];
        std::unique_ptr<TVirtualData> data;
        if (link.DataSet) data = std::make_unique<TVirtualMemData>(*link.DataSet);
        FConnection.RegisterVirtualData(link.SchemaName, link.TableName, std::move(data));
    }
}

void TVirtualQuery::CreateTables() {
    const bool onDemand = FOptions.TableCreationMode == TTableCreationMode::cmOnDemand;
    std::vector<std::pair<std::string, std::string>> names;
    for (const auto& t : FConnection.Module().Tables()) names.emplace_back(t->SchemaName(), t->TableName());
    for (const auto& [schema, table] : names) {
        if (FConnection.TableCreated(schema, table)) continue;
        if (onDemand && !SQLTextNamesTable(FSQL, table)) continue;
        FConnection.CreateTable(schema, table);
    }
}

void TVirtualQuery::Execute() {
    // The engine reads a text only up to a NUL, as the side-file loader does: what follows one
    // is no statement, and handing it on would make no progress.
    const TVirtualSQLText text = ParseVirtualSQLText(std::string_view(FSQL).substr(0, FSQL.find('\0')));
    if (Trim(text.Text).empty()) throw Exception("No SQL statement provided");
    sqlite3* db = FConnection.Db();
    const char* next = text.Text.data();
    const char* const end = next + text.Text.size();
    while (next < end && HoldsStatement(std::string_view(next, static_cast<size_t>(end - next)))) {
        sqlite3_stmt* stmt = nullptr;
        const char* tail = nullptr;
        if (sqlite3_prepare_v2(db, next, static_cast<int>(end - next), &stmt, &tail) != SQLITE_OK)
            FConnection.RaiseLastError();
        TSQLiteStatementHandle handle(stmt);
        next = tail;
        // A statement of a comment only is an empty statement.
        if (!stmt) continue;
        for (int p = 1; p <= sqlite3_bind_parameter_count(stmt); ++p) {
            const char* name = sqlite3_bind_parameter_name(stmt, p);
            if (!name || std::find(text.Parameters.begin(), text.Parameters.end(), name) == text.Parameters.end())
                throw Exception("Incorrect parameter.");
            sqlite3_bind_null(stmt, p);
        }
        FStatement = std::move(handle);
        if (HoldsStatement(std::string_view(next, static_cast<size_t>(end - next)))) {
            int rc;
            while ((rc = sqlite3_step(FStatement.get())) == SQLITE_ROW) {}
            if (rc != SQLITE_DONE) FConnection.RaiseLastError();
            FStatement.reset();
        }
    }
    if (!FStatement || sqlite3_column_count(FStatement.get()) == 0) throw Exception("SQL statement doesn't return rows");
    Step();
}

void TVirtualQuery::Step() {
    const int rc = sqlite3_step(FStatement.get());
    if (rc == SQLITE_ROW) {
        FHasRow = true;
        return;
    }
    FHasRow = false;
    if (rc != SQLITE_DONE) FConnection.RaiseLastError();
}

bool TVirtualQuery::FetchMore() {
    if (!FStatement || !FHasRow) return false;
    TRowStore::TRowBuilder row(Rows());
    for (size_t n = 0; n < kFetchBlock && FHasRow; ++n) {
        FImporter->Import(FStatement.get(), row);
        Rows().Append(row);
        Step();
    }
    // After the last row the statement is finished.
    if (!FHasRow) FStatement.reset();
    return true;
}

}  // namespace iqo
