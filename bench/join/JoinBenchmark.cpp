// Joins of two result sets of N rows on an integer key and on a text key:
//   BM_JoinVtab/<key>/<N>      the sources as virtual tables with local indexes
//   BM_JoinNative/<key>/<N>    the same rows copied into native tables with an index on the
//                              inner key (copying and indexing timed)
//   BM_JoinNoIndex/<key>/10000 the virtual tables with local indexes turned off
// Each iteration opens a fresh in-memory database, so index building is always timed.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "dbaccess/MemDataSet.h"
#include "dbaccess/SQLiteHandles.h"
#include "output/SQLiteError.h"
#include "output/VirtualTableModule.h"

using namespace iqo;

namespace {

// Columns K (integer key), T (text key "K0001234") and V (a payload); keys are 0..N-1 in a
// shuffled order of their own in each source.
std::unique_ptr<TMemDataSet> MakeSource(size_t rows, uint64_t seed) {
    std::vector<TColumnDescriptor> columns(3);
    columns[0].Name = "K";
    columns[0].DataType = TFieldType::Int64;
    columns[1].Name = "T";
    columns[1].DataType = TFieldType::AnsiString;
    columns[1].Length = 16;
    columns[2].Name = "V";
    columns[2].DataType = TFieldType::Int64;
    auto source = std::make_unique<TMemDataSet>(columns);
    source->Open();
    std::vector<int64_t> keys(rows);
    std::iota(keys.begin(), keys.end(), 0);
    std::shuffle(keys.begin(), keys.end(), std::mt19937_64(seed));
    auto row = source->NewRow();
    char text[32];
    for (const int64_t k : keys) {
        row.SetInteger(0, k);
        std::snprintf(text, sizeof text, "K%07lld", static_cast<long long>(k));
        row.SetBytes(1, text);
        row.SetInteger(2, k % 97);
        source->AppendRow(row);
    }
    return source;
}

struct TSources {
    std::unique_ptr<TMemDataSet> A, B;
};

const TSources& Sources(size_t rows) {
    static std::map<size_t, TSources> cache;
    TSources& s = cache[rows];
    if (!s.A) {
        s.A = MakeSource(rows, 1);
        s.B = MakeSource(rows, 2);
    }
    return s;
}

TSQLiteDatabaseHandle OpenMemoryDatabase() {
    sqlite3* db = nullptr;
    sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI | SQLITE_OPEN_PRIVATECACHE, nullptr);
    return TSQLiteDatabaseHandle(db);
}

void Exec(sqlite3* db, const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : sqlite3_errmsg(db);
        sqlite3_free(error);
        throw ESQLiteError(message, sqlite3_extended_errcode(db));
    }
}

// Runs the join; gives the number of joined rows.
int64_t JoinCount(sqlite3* db, const std::string& key) {
    const std::string sql = "SELECT count(*), sum(B.V) FROM A JOIN B ON A." + key + " = B." + key;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
        throw ESQLiteError(sqlite3_errmsg(db), sqlite3_extended_errcode(db));
    TSQLiteStatementHandle handle(stmt);
    if (sqlite3_step(stmt) != SQLITE_ROW) throw ESQLiteError(sqlite3_errmsg(db), sqlite3_extended_errcode(db));
    return sqlite3_column_int64(stmt, 0);
}

void Check(benchmark::State& state, int64_t joined, size_t rows) {
    if (joined != static_cast<int64_t>(rows)) state.SkipWithError("the join lost rows");
}

// Runs one iteration's work; an error ends the benchmark with its message.
template <class Work>
bool Guarded(benchmark::State& state, Work&& work) {
    try {
        work();
        return true;
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        return false;
    }
}

void JoinVirtual(benchmark::State& state, const std::string& key, size_t rows, bool localIndexes) {
    const TSources& sources = Sources(rows);
    for (auto _ : state) {
        const bool ok = Guarded(state, [&] {
            TSQLiteDatabaseHandle db = OpenMemoryDatabase();
            TSQLiteModule module(db.get());
            for (auto [name, source] : {std::pair{"A", sources.A.get()}, std::pair{"B", sources.B.get()}}) {
                auto data = std::make_unique<TVirtualMemData>(*source);
                data->SetCanUseLocalIndex(localIndexes);
                module.RegisterVirtualData("", name, std::move(data));
                module.DoCreateTable("", name);
            }
            Check(state, JoinCount(db.get(), key), rows);
        });
        if (!ok) break;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * rows));
}

void CopyRows(sqlite3* db, const char* table, const TMemDataSet& source) {
    Exec(db, std::string("CREATE TABLE ") + table + " (K INTEGER, T VARCHAR(16), V INTEGER)");
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, (std::string("INSERT INTO ") + table + " VALUES (?, ?, ?)").c_str(), -1, &stmt, nullptr);
    TSQLiteStatementHandle handle(stmt);
    const TRowStore& rows = source.Rows();
    for (size_t pos = 0; pos < rows.Count(); ++pos) {
        const TRowId id = rows.IdAt(pos);
        const std::string_view text = rows.Bytes(id, 1);
        sqlite3_bind_int64(stmt, 1, rows.Integer(id, 0));
        sqlite3_bind_text(stmt, 2, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
        sqlite3_bind_int64(stmt, 3, rows.Integer(id, 2));
        if (sqlite3_step(stmt) != SQLITE_DONE) throw ESQLiteError(sqlite3_errmsg(db), sqlite3_extended_errcode(db));
        sqlite3_reset(stmt);
    }
}

void JoinNative(benchmark::State& state, const std::string& key, size_t rows) {
    const TSources& sources = Sources(rows);
    for (auto _ : state) {
        const bool ok = Guarded(state, [&] {
            TSQLiteDatabaseHandle db = OpenMemoryDatabase();
            Exec(db.get(), "BEGIN");
            CopyRows(db.get(), "A", *sources.A);
            CopyRows(db.get(), "B", *sources.B);
            Exec(db.get(), "CREATE INDEX B_KEY ON B (" + key + ")");
            Exec(db.get(), "COMMIT");
            Check(state, JoinCount(db.get(), key), rows);
        });
        if (!ok) break;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * rows));
}

}  // namespace

int main(int argc, char** argv) {
    const std::pair<const char*, const char*> keys[] = {{"int", "K"}, {"text", "T"}};
    for (const auto& [label, column] : keys) {
        const std::string key = column;
        for (const size_t rows : {10000u, 100000u, 1000000u}) {
            const std::string suffix = std::string("/") + label + "/" + std::to_string(rows);
            benchmark::RegisterBenchmark(("BM_JoinVtab" + suffix).c_str(),
                                         [=](benchmark::State& s) { JoinVirtual(s, key, rows, true); })
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("BM_JoinNative" + suffix).c_str(),
                                         [=](benchmark::State& s) { JoinNative(s, key, rows); })
                ->Unit(benchmark::kMillisecond);
        }
    }
    for (const auto& [label, column] : keys) {
        const std::string key = column;
        benchmark::RegisterBenchmark((std::string("BM_JoinNoIndex/") + label + "/10000").c_str(),
                                     [=](benchmark::State& s) { JoinVirtual(s, key, 10000, false); })
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
