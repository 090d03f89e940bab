#pragma once

#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "dbaccess/DbConnection.h"
#include "dbaccess/DbQuery.h"
#include "dbaccess/SQLiteHandles.h"
#include "platform/Exception.h"

// Source databases whose query results the tests read: a SQLite file, or a
// database on the Firebird test server. Each is made from a list of SQL statements.
class TSourceDatabase {
public:
    virtual ~TSourceDatabase() = default;
    // An open query over the database.
    std::unique_ptr<iqo::TDbQuery> Query(const std::string& sql) {
        auto query = std::make_unique<iqo::TDbQuery>(&FConnection);
        query->SetSQL(sql);
        query->Open();
        return query;
    }
    iqo::TDbConnection& Connection() { return FConnection; }

protected:
    iqo::TDbConnection FConnection;
};

class TSQLiteSourceDatabase final : public TSourceDatabase {
public:
    explicit TSQLiteSourceDatabase(const std::vector<std::string>& statements) {
        sqlite3* db = nullptr;
        if (sqlite3_open(FPath.c_str(), &db) != SQLITE_OK) throw iqo::Exception("cannot create " + FPath);
        iqo::TSQLiteDatabaseHandle handle(db);
        Exec(db, "BEGIN");
        for (const std::string& sql : statements) Exec(db, sql);
        Exec(db, "COMMIT");
        handle.reset();
        FConnection.SetProviderName("SQLite");
        FConnection.SetDatabase(FPath);
        FConnection.SetLoginPrompt(false);
        FConnection.Open();
    }

private:
    static void Exec(sqlite3* db, const std::string& sql) {
        char* error = nullptr;
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string message = error ? error : "";
            sqlite3_free(error);
            throw iqo::Exception(message + ": " + sql);
        }
    }

    TTempFolder FDir;
    std::string FPath = FDir.File("source.db");
};

inline std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// A fresh database on the Firebird test server (IQO_FB_SERVER, IQO_FB_USER, IQO_FB_PASSWORD,
// IQO_FB_DIR), made with isql-fb and dropped at the end. Raises when the server is not there.
class TFirebirdSourceDatabase final : public TSourceDatabase {
public:
    explicit TFirebirdSourceDatabase(const std::vector<std::string>& statements) {
        FServer = EnvironmentValue("IQO_FB_SERVER");
        FUser = EnvironmentValue("IQO_FB_USER");
        FPassword = EnvironmentValue("IQO_FB_PASSWORD");
        const std::string dir = EnvironmentValue("IQO_FB_DIR");
        if (FServer.empty() || dir.empty())
            throw iqo::Exception("IQO_FB_SERVER or IQO_FB_DIR is not set: start scripts/test-servers");
        FPath = dir + "/test-" + std::to_string(getpid()) + "-" + std::to_string(std::random_device{}()) + ".fdb";
        std::string script = "create database '" + FServer + ":" + FPath + "' user '" + FUser + "' password '" +
                             FPassword + "' default character set UTF8;\n";
        for (const std::string& sql : statements) script += sql + ";\n";
        script += "commit;\n";
        if (!RunIsql(script)) throw iqo::Exception("isql-fb failed: " + ReadBytes(FScripts.File("isql.log")));
        FCreated = true;
        FConnection.SetProviderName("InterBase");
        FConnection.SetServer(FServer);
        FConnection.SetDatabase(FPath);
        FConnection.SetUsername(FUser);
        FConnection.SetPassword(FPassword);
        FConnection.SetLoginPrompt(false);
        FConnection.Open();
    }
    ~TFirebirdSourceDatabase() override {
        FConnection.Close();
        if (FCreated)
            RunIsql("connect '" + FServer + ":" + FPath + "' user '" + FUser + "' password '" + FPassword +
                    "';\ndrop database;\n");
    }

private:
    bool RunIsql(const std::string& script) {
        const std::string file = FScripts.File("script.sql");
        WriteBytes(file, script);
        const std::string command = "isql-fb -q -bail -user '" + FUser + "' -password '" + FPassword + "' -i '" + file +
                                    "' >'" + FScripts.File("isql.log") + "' 2>&1";
        return std::system(command.c_str()) == 0;
    }

    TTempFolder FScripts;
    std::string FServer, FUser, FPassword, FPath;
    bool FCreated = false;
};
