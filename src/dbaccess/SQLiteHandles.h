#pragma once

#include <sqlite3.h>

#include <memory>

namespace iqo {

// Owning handles of the SQLite library's connection and statement objects.
struct TSQLiteDatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct TSQLiteStatementFinalizer {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using TSQLiteDatabaseHandle = std::unique_ptr<sqlite3, TSQLiteDatabaseCloser>;
using TSQLiteStatementHandle = std::unique_ptr<sqlite3_stmt, TSQLiteStatementFinalizer>;

}  // namespace iqo
