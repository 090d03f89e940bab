#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbaccess/SQLiteHandles.h"
#include "output/VirtualData.h"
#include "output/VirtualFunctions.h"
#include "output/VirtualSpecificTypes.h"
#include "output/VirtualTableModule.h"

namespace iqo {

// The private in-memory database of the combined query, with its virtual tables, functions,
// collations and specific types. The SQL it runs may neither load extensions nor attach or
// create a database file: only the in-memory schemas of its own tables are attached.
class TVirtualConnection {
public:
    TVirtualConnection();
    ~TVirtualConnection();
    TVirtualConnection(const TVirtualConnection&) = delete;
    TVirtualConnection& operator=(const TVirtualConnection&) = delete;

    bool Connected() const { return FDb != nullptr; }
    // Opens ":memory:" (read-write, URI names, private cache) with the expression-depth limit
    // 1000, extended result codes, SQLite's defensive settings and no extension loading;
    // probes sqlite_master, sets the exclusive locking mode, synchronous off, read_uncommitted
    // off and foreign keys on, registers the functions, "UniNoCase" and the module
    // "LiteModule". Raises ESQLiteError; a failed connect leaves the connection closed.
    void Connect();
    // Drops every registered table, last registered first, forgets the tables, schemas,
    // functions, collations and specific types, and closes the database, which discards it.
    void Disconnect();

    sqlite3* Db() const { return FDb.get(); }
    TVirtualFunctionRegistry& Functions() { return FFunctions; }
    TSpecificTypeRegistry& SpecificTypes() { return FSpecificTypes; }
    // Valid while connected.
    TSQLiteModule& Module() { return *FModule; }

    void RegisterVirtualData(std::string_view schemaName, std::string_view tableName, std::unique_ptr<TVirtualData> data);
    bool TableCreated(std::string_view schemaName, std::string_view tableName) const;
    // Creates a registered table (attaching its schema's in-memory database first).
    void CreateTable(std::string_view schemaName, std::string_view tableName);

    // Runs a statement that returns no rows of interest.
    void Exec(const std::string& sql);
    // The connection's last error as ESQLiteError: the engine's message and extended code,
    // and for an attempt the guard refused, what it refused.
    [[noreturn]] void RaiseLastError();

private:
    static int Authorize(void* self, int action, const char* a, const char* b, const char* c, const char* d);

    TSQLiteDatabaseHandle FDb;
    std::unique_ptr<TSQLiteModule> FModule;
    TVirtualFunctionRegistry FFunctions;
    TSpecificTypeRegistry FSpecificTypes;
    std::vector<std::string> FCreatedTables;  // qualified names
    bool FAttachingOwnSchema = false;
    std::string FRefused;  // what the guard last refused, for the error text
};

}  // namespace iqo
