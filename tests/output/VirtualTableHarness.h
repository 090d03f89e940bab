#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

#include "dbaccess/DataSet.h"
#include "dbaccess/SQLiteHandles.h"
#include "output/SQLiteError.h"
#include "output/VirtualTableModule.h"

// An in-memory SQLite database with the module "LiteModule", its sources registered and
// their tables created, and SQL run over them: what the combined query does, in small.
class TVirtualTables {
public:
    TVirtualTables() {
        sqlite3* db = nullptr;
        const int rc = sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI | SQLITE_OPEN_PRIVATECACHE,
                                       nullptr);
        FDb.reset(db);
        if (rc != SQLITE_OK) throw iqo::ESQLiteError(sqlite3_errstr(rc), rc);
        sqlite3_extended_result_codes(db, 1);
        FModule = std::make_unique<iqo::TSQLiteModule>(db);
    }

    sqlite3* Db() const { return FDb.get(); }
    iqo::TSQLiteModule& Module() { return *FModule; }

    // Registers the source and creates its table; the adapter stays reachable for the test.
    iqo::TVirtualMemData& Add(const std::string& table, iqo::TDataSet& source, const std::string& schema = "",
                              const iqo::TFormatSettings& regional = iqo::RegionalSettings()) {
        auto data = std::make_unique<iqo::TVirtualMemData>(source, regional);
        iqo::TVirtualMemData& adapter = *data;
        FModule->RegisterVirtualData(schema, table, std::move(data));
        FModule->DoCreateTable(schema, table);
        return adapter;
    }

    // The rows of a statement, each value as the engine's text and NULL as "NULL", the
    // values of a row joined with "|".
    std::vector<std::string> Rows(const std::string& sql) const {
        std::vector<std::string> rows;
        Run(sql, [&](sqlite3_stmt* stmt) {
            std::string row;
            for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
                if (i > 0) row += '|';
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
                row += text ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(stmt, i))) : "NULL";
            }
            rows.push_back(std::move(row));
        });
        return rows;
    }

    // The single value of a statement that returns one row of one column.
    std::string Value(const std::string& sql) const {
        const std::vector<std::string> rows = Rows(sql);
        if (rows.size() != 1) throw iqo::Exception("expected one row from: " + sql);
        return rows.front();
    }

    // The column names of a statement's result.
    std::vector<std::string> ColumnNames(const std::string& sql) const {
        std::vector<std::string> names;
        iqo::TSQLiteStatementHandle stmt = Prepare(sql);
        for (int i = 0; i < sqlite3_column_count(stmt.get()); ++i) names.emplace_back(sqlite3_column_name(stmt.get(), i));
        return names;
    }

private:
    iqo::TSQLiteStatementHandle Prepare(const std::string& sql) const {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(FDb.get(), sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
            throw iqo::ESQLiteError(sqlite3_errmsg(FDb.get()), sqlite3_extended_errcode(FDb.get()));
        return iqo::TSQLiteStatementHandle(stmt);
    }

    template <class OnRow>
    void Run(const std::string& sql, OnRow&& onRow) const {
        iqo::TSQLiteStatementHandle stmt = Prepare(sql);
        int rc;
        while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) onRow(stmt.get());
        if (rc != SQLITE_DONE) throw iqo::ESQLiteError(sqlite3_errmsg(FDb.get()), sqlite3_extended_errcode(FDb.get()));
    }

    iqo::TSQLiteDatabaseHandle FDb;
    std::unique_ptr<iqo::TSQLiteModule> FModule;
};
