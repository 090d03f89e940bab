#include "VirtualConnection.h"

#include <algorithm>

#include "output/SQLiteError.h"
#include "platform/TextUtils.h"

namespace iqo {

namespace {

constexpr int kExpressionDepth = 1000;

std::string Qualified(const TSQLiteVirtualTable& table) { return table.QualifiedName(); }

}  // namespace

TVirtualConnection::TVirtualConnection() = default;

TVirtualConnection::~TVirtualConnection() { Disconnect(); }

void TVirtualConnection::Connect() {
    if (Connected()) return;
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI | SQLITE_OPEN_PRIVATECACHE, nullptr);
    FDb.reset(db);
    if (rc != SQLITE_OK) {
        const std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        FDb.reset();
        throw ESQLiteError(message, rc);
    }
    try {
        sqlite3_limit(db, SQLITE_LIMIT_EXPR_DEPTH, kExpressionDepth);
        sqlite3_extended_result_codes(db, 1);
        sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
        sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
        sqlite3_set_authorizer(db, Authorize, this);

        sqlite3_stmt* probe = nullptr;
        int probeRc = sqlite3_prepare_v2(db, "select * from sqlite_master", -1, &probe, nullptr);
        TSQLiteStatementHandle probeHandle(probe);
        if (probeRc == SQLITE_OK)
            while ((probeRc = sqlite3_step(probe)) == SQLITE_ROW) {}
        // Busy, locked and the lock of a shared cache are no failure of the probe.
        if (probeRc != SQLITE_OK && probeRc != SQLITE_DONE && probeRc != 5 && probeRc != 6 && probeRc != 262)
            RaiseLastError();
        probeHandle.reset();

        Exec("PRAGMA locking_mode = EXCLUSIVE");
        Exec("PRAGMA synchronous = OFF");
        Exec("PRAGMA read_uncommitted = false");
        Exec("PRAGMA foreign_keys = ON");

        FFunctions.RegisterDefaults();
        FFunctions.Bind(db);
        FModule = std::make_unique<TSQLiteModule>(db);
    } catch (...) {
        Disconnect();
        throw;
    }
}

void TVirtualConnection::Disconnect() {
    if (FModule) {
        std::vector<std::pair<std::string, std::string>> names;
        for (const auto& t : FModule->Tables()) names.emplace_back(t->SchemaName(), t->TableName());
        for (auto it = names.rbegin(); it != names.rend(); ++it) {
            try {
                FModule->DoDropTable(it->first, it->second);
            } catch (const ESQLiteError&) {
                // The database is discarded below whatever the drop says.
            }
        }
    }
    FModule.reset();
    FFunctions.Unbind();
    FFunctions.Clear();
    FSpecificTypes.Clear();
    FCreatedTables.clear();
    FDb.reset();
}

void TVirtualConnection::RegisterVirtualData(std::string_view schemaName, std::string_view tableName,
                                             std::unique_ptr<TVirtualData> data) {
    Module().RegisterVirtualData(schemaName, tableName, std::move(data));
}

bool TVirtualConnection::TableCreated(std::string_view schemaName, std::string_view tableName) const {
    const TSQLiteVirtualTable* table = FModule ? FModule->FindTable(schemaName, tableName) : nullptr;
    return table && std::find(FCreatedTables.begin(), FCreatedTables.end(), Qualified(*table)) != FCreatedTables.end();
}

void TVirtualConnection::CreateTable(std::string_view schemaName, std::string_view tableName) {
    FAttachingOwnSchema = true;
    try {
        Module().DoCreateTable(schemaName, tableName);
    } catch (...) {
        FAttachingOwnSchema = false;
        throw;
    }
    FAttachingOwnSchema = false;
    if (const TSQLiteVirtualTable* table = Module().FindTable(schemaName, tableName))
        FCreatedTables.push_back(Qualified(*table));
}

void TVirtualConnection::Exec(const std::string& sql) {
    if (sqlite3_exec(FDb.get(), sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) RaiseLastError();
}

void TVirtualConnection::RaiseLastError() {
    const int code = sqlite3_extended_errcode(FDb.get());
    std::string message = sqlite3_errmsg(FDb.get());
    if (code == SQLITE_AUTH && !FRefused.empty()) message += ": " + FRefused;
    FRefused.clear();
    throw ESQLiteError(message, code);
}

int TVirtualConnection::Authorize(void* self, int action, const char* a, const char* b, const char*, const char*) {
    auto& connection = *static_cast<TVirtualConnection*>(self);
    if (action == SQLITE_ATTACH) {
        const std::string_view file = a ? a : "";
        if (connection.FAttachingOwnSchema && file == ":memory:") return SQLITE_OK;
        connection.FRefused = "the combined query cannot attach or create a database file ('" + std::string(file) + "')";
        return SQLITE_DENY;
    }
    // Extension loading is off; the denial also covers a build whose switch would not hold.
    if (action == SQLITE_FUNCTION && b && SameText(b, "load_extension")) return SQLITE_DENY;
    return SQLITE_OK;
}

}  // namespace iqo
