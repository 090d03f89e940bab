// Fetching a result of 1,000,000 rows of (integer key, double, 20-character text, timestamp,
// mostly-NULL integer) whole into the row store, through TDbConnection and TDbQuery:
//   BM_FetchSQLite     from a database file in /tmp
//   BM_FetchFirebird   from a database on the Firebird test server (IQO_FB_SERVER, IQO_FB_USER,
//                      IQO_FB_PASSWORD, IQO_FB_DIR, as scripts/test-servers env prints them)
// The databases are made once per run and removed at its end. Counters: rows_per_s, and
// bytes_per_row, the row store's memory beyond the text bytes, per row.

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dbaccess/DbConnection.h"
#include "dbaccess/DbQuery.h"
#include "platform/Exception.h"
#include "platform/TextUtils.h"

using namespace iqo;

namespace {

constexpr int kRows = 1000000;
constexpr const char* kSelect = "SELECT K, D, T, TS, N FROM R";

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string SqlQuoted(const std::string& text) { return "'" + ReplaceAll(text, "'", "''") + "'"; }

// A database made on first use.
struct TBenchDatabase {
    std::string Path;
    std::string Error;  // why it could not be made
    bool Made = false;
};

// What removes the databases made in this run, called at its end.
std::vector<std::function<void()>>& Removals() {
    static std::vector<std::function<void()>> removals;
    return removals;
}

bool RunIsql(const std::string& script, std::string& output) {
    const std::string file = "/tmp/iqo-bench-fetch-" + std::to_string(getpid()) + ".sql";
    std::ofstream(file) << script;
    const std::string command = "isql-fb -q -b -i '" + file + "' 2>&1";
    output.clear();
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return false;
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
    const bool ok = pclose(pipe) == 0;
    std::remove(file.c_str());
    return ok;
}

TBenchDatabase& SQLiteDatabase() {
    static TBenchDatabase db = [] {
        TBenchDatabase d;
        d.Path = "/tmp/iqo-bench-fetch-" + std::to_string(getpid()) + ".db";
        std::remove(d.Path.c_str());
        sqlite3* handle = nullptr;
        if (sqlite3_open(d.Path.c_str(), &handle) != SQLITE_OK) {
            d.Error = sqlite3_errmsg(handle);
        } else {
            char* message = nullptr;
            const std::string sql =
                "CREATE TABLE R (K INTEGER PRIMARY KEY, D DOUBLE, T VARCHAR(20), TS TIMESTAMP, N INTEGER);"
                "INSERT INTO R WITH RECURSIVE C(X) AS (SELECT 1 UNION ALL SELECT X + 1 FROM C WHERE X < " +
                std::to_string(kRows) +
                ") SELECT X, X * 0.25, printf('Text %015d', X), "
                "strftime('%Y-%m-%d %H:%M:%S', 1707833109 + X, 'unixepoch'), "
                "CASE WHEN X % 100 = 0 THEN X END FROM C;";
            if (sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
                d.Error = message ? message : "SQLite error";
                sqlite3_free(message);
            } else {
                d.Made = true;
            }
        }
        sqlite3_close(handle);
        Removals().push_back([path = d.Path] { std::remove(path.c_str()); });
        return d;
    }();
    return db;
}

TBenchDatabase& FirebirdDatabase() {
    static TBenchDatabase db = [] {
        TBenchDatabase d;
        const std::string server = Env("IQO_FB_SERVER"), user = Env("IQO_FB_USER"),
                          password = Env("IQO_FB_PASSWORD"), folder = Env("IQO_FB_DIR");
        if (server.empty() || folder.empty()) {
            d.Error = "IQO_FB_SERVER and IQO_FB_DIR are not set: run scripts/test-servers start and env";
            return d;
        }
        d.Path = folder + "/iqo-bench-fetch-" + std::to_string(getpid()) + ".fdb";
        const std::string login = " USER " + SqlQuoted(user) + " PASSWORD " + SqlQuoted(password);
        const std::string name = SqlQuoted(server + ":" + d.Path);
        // One EXECUTE BLOCK fills the table on the server; the page cache of a bigger page
        // size keeps it quick.
        const std::string script =
            "SET NAMES UTF8;\nCREATE DATABASE " + name + login + " PAGE_SIZE 16384 DEFAULT CHARACTER SET UTF8;\n" +
            "CREATE TABLE R (K INTEGER NOT NULL PRIMARY KEY, D DOUBLE PRECISION, T VARCHAR(20), TS TIMESTAMP, "
            "N INTEGER);\nCOMMIT;\nSET TERM ^;\n"
            "EXECUTE BLOCK AS DECLARE X INTEGER = 1; BEGIN WHILE (X <= " +
            std::to_string(kRows) +
            ") DO BEGIN INSERT INTO R VALUES (:X, :X * 0.25, 'Text ' || LPAD(:X, 15, '0'), "
            "DATEADD(:X SECOND TO TIMESTAMP '2024-02-13 14:05:09'), IIF(MOD(:X, 100) = 0, :X, NULL)); "
            "X = X + 1; END END^\nSET TERM ;^\nCOMMIT;\n";
        std::string output;
        d.Made = RunIsql(script, output);
        if (!d.Made) d.Error = "isql-fb could not make the database: " + output;
        Removals().push_back([name, login] {
            std::string ignored;
            RunIsql("CONNECT " + name + login + ";\nDROP DATABASE;\n", ignored);
        });
        return d;
    }();
    return db;
}

// Opens the query once per iteration and fetches every row.
void FetchAll(benchmark::State& state, TDbConnection& connection) {
    TDbQuery query(&connection);
    query.SetSQL(kSelect);
    query.Prepare();
    size_t memory = 0, textBytes = 0;
    int64_t rows = 0;
    for (auto _ : state) {
        query.Open();
        rows = query.RecordCount();
        state.PauseTiming();
        const TRowStore& store = query.Rows();
        memory = store.MemoryUsage();
        textBytes = 0;
        for (size_t i = 0; i < store.Count(); ++i) {
            const TRowId id = store.IdAt(i);
            if (!store.IsNull(id, 2)) textBytes += store.Bytes(id, 2).size();
        }
        query.Close();
        state.ResumeTiming();
    }
    if (rows != kRows) {
        state.SkipWithError(("fetched " + std::to_string(rows) + " rows").c_str());
        return;
    }
    state.counters["rows_per_s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bytes_per_row"] = static_cast<double>(memory - textBytes) / static_cast<double>(rows);
}

// Connects as configure says to the database, made on first use, and fetches from it.
void FetchFrom(benchmark::State& state, const TBenchDatabase& db, const std::function<void(TDbConnection&)>& configure) {
    if (!db.Made) {
        state.SkipWithError(db.Error.c_str());
        return;
    }
    try {
        TDbConnection connection;
        connection.SetLoginPrompt(false);
        configure(connection);
        connection.SetDatabase(db.Path);
        connection.Open();
        FetchAll(state, connection);
    } catch (const Exception& e) {
        state.SkipWithError(e.what());
    }
}

void BM_FetchSQLite(benchmark::State& state) {
    FetchFrom(state, SQLiteDatabase(), [](TDbConnection& c) { c.SetProviderName("SQLite"); });
}

void BM_FetchFirebird(benchmark::State& state) {
    FetchFrom(state, FirebirdDatabase(), [](TDbConnection& c) {
        c.SetProviderName("Interbase");
        c.SetServer(Env("IQO_FB_SERVER"));
        c.SetUsername(Env("IQO_FB_USER"));
        c.SetPassword(Env("IQO_FB_PASSWORD"));
    });
}

}  // namespace

BENCHMARK(BM_FetchSQLite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FetchFirebird)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const auto& remove : Removals()) remove();
    return 0;
}
