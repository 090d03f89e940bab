#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "output/VirtualData.h"

namespace iqo {

class TSQLiteVirtualTable;

// One scan of a virtual table by the engine. It reads its own row by row id, so that cursors
// of one table (a self-join) never disturb each other.
class TSQLiteVirtualTableCursor {
public:
    explicit TSQLiteVirtualTableCursor(TSQLiteVirtualTable& table);
    TSQLiteVirtualTableCursor(const TSQLiteVirtualTableCursor&) = delete;
    TSQLiteVirtualTableCursor& operator=(const TSQLiteVirtualTableCursor&) = delete;

    TSQLiteVirtualTable& Table() const { return FTable; }
    // The current row (kNoRow at the end).
    TRowId Row() const { return FScan.Row; }

    // The engine's side: the cursor object it holds, and the callbacks it makes.
    sqlite3_vtab_cursor* EngineCursor() { return &FEngine; }
    static TSQLiteVirtualTableCursor& Of(sqlite3_vtab_cursor* cursor);
    void Filter(int planNumber, int argc, sqlite3_value** argv);
    void Next();
    bool Eof() const { return TVirtualData::Eof(FScan); }
    void Column(sqlite3_context* context, int column);

private:
    struct TEngineCursor : sqlite3_vtab_cursor {
        TSQLiteVirtualTableCursor* Owner = nullptr;
    };
    TEngineCursor FEngine;
    TSQLiteVirtualTable& FTable;
    TVirtualScan FScan;
    TDateTextBuffer FBuffer{};
};

// A registered source under its schema and table name; owns the adapter.
class TSQLiteVirtualTable {
public:
    TSQLiteVirtualTable(std::string schemaName, std::string tableName, std::unique_ptr<TVirtualData> data);
    ~TSQLiteVirtualTable();
    TSQLiteVirtualTable(const TSQLiteVirtualTable&) = delete;
    TSQLiteVirtualTable& operator=(const TSQLiteVirtualTable&) = delete;

    // Normalized names; the schema is empty for "main".
    const std::string& SchemaName() const { return FSchemaName; }
    const std::string& TableName() const { return FTableName; }
    // "schema.table", or the table name alone.
    std::string QualifiedName() const;
    TVirtualData& Data() { return *FData; }
    const TVirtualData& Data() const { return *FData; }

    // The engine's side. Declare describes the columns and declares them on the connection,
    // raising the errors the engine is to report.
    static TSQLiteVirtualTable& Of(sqlite3_vtab* table);
    void Declare(sqlite3* db);
    // The engine dropped the table: its constraint sets and local indexes go.
    void Destroyed();
    void BestIndex(sqlite3_index_info* info);
    TSQLiteVirtualTableCursor& OpenCursor();
    void CloseCursor(TSQLiteVirtualTableCursor& cursor);
    void Update(int argc, sqlite3_value** argv, sqlite3_int64* rowId);

private:
    std::string FSchemaName;
    std::string FTableName;
    std::unique_ptr<TVirtualData> FData;
    std::vector<std::unique_ptr<TSQLiteVirtualTableCursor>> FCursors;
    TRowId FSavedPosition = kNoRow;  // the source's row when the first open cursor opened
};

// The virtual-table module "LiteModule" on one connection, with its registered tables.
// Statements that use its tables must not run after it is destroyed; closing the connection
// before or after that is safe, as the engine's table objects are the engine's own.
class TSQLiteModule {
public:
    static constexpr const char* kModuleName = "LiteModule";

    // Registers the module with the connection (borrowed).
    explicit TSQLiteModule(sqlite3* db);
    ~TSQLiteModule();
    TSQLiteModule(const TSQLiteModule&) = delete;
    TSQLiteModule& operator=(const TSQLiteModule&) = delete;

    // Raises "Table name cannot be empty" and "Table %s already registered" (names equal
    // without regard to case; an empty schema or "main" is no schema).
    void RegisterVirtualData(std::string_view schemaName, std::string_view tableName, std::unique_ptr<TVirtualData> data);
    // "CREATE VIRTUAL TABLE name USING LiteModule", attaching an in-memory database for a
    // schema first seen. Raises "Table %s is not found", or the engine's error.
    void DoCreateTable(std::string_view schemaName, std::string_view tableName);
    // "DROP TABLE IF EXISTS name", then forgets the table and frees its adapter.
    void DoDropTable(std::string_view schemaName, std::string_view tableName);

    // By schema and name without regard to case; an empty schema matches any schema.
    TSQLiteVirtualTable* FindTable(std::string_view schemaName, std::string_view tableName) const;
    const std::vector<std::unique_ptr<TSQLiteVirtualTable>>& Tables() const { return FTables; }

private:
    void Exec(const std::string& sql);

    sqlite3* FDb;
    std::vector<std::unique_ptr<TSQLiteVirtualTable>> FTables;
    std::vector<std::string> FAttachedSchemas;
};

}  // namespace iqo
