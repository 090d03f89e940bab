// SQL over real result sets registered as virtual tables: query results of a SQLite database
// and of a database on the Firebird test server, with the same rows.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "SourceDatabases.h"
#include "VirtualTableHarness.h"
#include "platform/TextUtils.h"

using namespace iqo;

namespace {

struct TBackend {
    const char* Name;
    const char* AmountType;
    const char* DateType;
    bool Firebird;
};

// Names the source kind in test listings instead of the struct's bytes.
void PrintTo(const TBackend& backend, std::ostream* out) { *out << backend.Name; }

const TBackend kBackends[] = {
    {"SQLite", "NUMERIC(15,2)", "DATETIME", false},
    {"Firebird", "DOUBLE PRECISION", "TIMESTAMP", true},
};

// PASTEL: ID, ACC, NAME, AMOUNT, DOCDATE, QTY; IQO: ID, ACC, BALANCE.
std::vector<std::string> Statements(const TBackend& b) {
    std::vector<std::string> s = {
        std::string("CREATE TABLE PASTEL (ID INTEGER NOT NULL PRIMARY KEY, ACC VARCHAR(10), NAME VARCHAR(20), AMOUNT ") +
            b.AmountType + ", DOCDATE " + b.DateType + ", QTY INTEGER)",
        "CREATE TABLE IQO (ID INTEGER NOT NULL PRIMARY KEY, ACC VARCHAR(10), BALANCE DOUBLE PRECISION)",
    };
    const char* const pastel[] = {
        "1, 'C', 'abc', 0.1000000000001, '2024-01-10 00:00:00', 3",
        "2, 'A', 'ABC', 12.5, '2024-01-04 08:00:00', 1",
        "3, 'B', NULL, 0.1001, '2024-02-13 10:20:30.005', 2",
        "4, NULL, 'x', 2.25, NULL, NULL",
        "5, 'D', 'abc  ', 7, '2024-01-05 00:00:00', 4",
        "6, 'E', 'Abc', 0.1, '2023-12-31 23:59:59', 5",
    };
    for (const char* row : pastel) s.push_back(std::string("INSERT INTO PASTEL VALUES (") + row + ")");
    const char* const iqo[] = {"1, 'A', 100", "2, 'C', 300", "3, NULL, 999", "4, 'Z', 0", "5, 'C', 301"};
    for (const char* row : iqo) s.push_back(std::string("INSERT INTO IQO VALUES (") + row + ")");
    return s;
}

// One database per backend for the whole program: the Firebird one takes a while to make.
TSourceDatabase& Database(const TBackend& backend) {
    static std::map<std::string, std::unique_ptr<TSourceDatabase>> databases;
    auto& db = databases[backend.Name];
    if (!db) {
        if (backend.Firebird) db = std::make_unique<TFirebirdSourceDatabase>(Statements(backend));
        else db = std::make_unique<TSQLiteSourceDatabase>(Statements(backend));
    }
    return *db;
}

class VirtualTableEdgeCases : public ::testing::TestWithParam<TBackend> {
protected:
    void SetUp() override {
        FDatabase = &Database(GetParam());
        FPastel = FDatabase->Query("SELECT ID, ACC, NAME, AMOUNT, DOCDATE, QTY FROM PASTEL ORDER BY ID");
        FIqo = FDatabase->Query("SELECT ID, ACC, BALANCE FROM IQO ORDER BY ID");
        FPastelData = &FTables.Add("PASTELSQL", *FPastel);
        FIqoData = &FTables.Add("IQOSQL", *FIqo);
    }

    std::vector<std::string> Rows(const std::string& sql) { return FTables.Rows(sql); }

    TSourceDatabase* FDatabase = nullptr;
    std::unique_ptr<TDbQuery> FPastel, FIqo;
    TVirtualTables FTables;
    TVirtualMemData* FPastelData = nullptr;
    TVirtualMemData* FIqoData = nullptr;
};

using TRows = std::vector<std::string>;

TEST_P(VirtualTableEdgeCases, SelectingAllColumnsGivesTheSourceRowsInSourceOrder) {
    EXPECT_EQ(Rows("SELECT ID, ACC, NAME, QTY FROM PASTELSQL"),
              (TRows{"1|C|abc|3", "2|A|ABC|1", "3|B|NULL|2", "4|NULL|x|NULL", "5|D|abc  |4", "6|E|Abc|5"}));
    std::vector<std::string> names = FTables.ColumnNames("SELECT * FROM PASTELSQL");
    for (std::string& n : names) n = UpperCase(n);
    EXPECT_EQ(names, (TRows{"ID", "ACC", "NAME", "AMOUNT", "DOCDATE", "QTY"}));
}

struct TQueryCase {
    const char* Title;
    const char* Sql;
    TRows Expected;
};

const TQueryCase kQueryCases[] = {
    {"a date-time column with scale 0 shows no milliseconds",
     "SELECT DOCDATE FROM PASTELSQL WHERE ID IN (1, 3) ORDER BY ID", {"2024-01-10 00:00:00", "2024-02-13 10:20:30"}},
    {"text compares exactly", "SELECT ID FROM PASTELSQL WHERE NAME = 'abc'", {"1"}},
    {"COLLATE NOCASE ignores case", "SELECT ID FROM PASTELSQL WHERE NAME = 'abc' COLLATE NOCASE ORDER BY ID",
     {"1", "2", "6"}},
    {"COLLATE RTRIM ignores trailing blanks", "SELECT ID FROM PASTELSQL WHERE NAME = 'abc ' COLLATE RTRIM ORDER BY ID",
     {"1", "5"}},
    {"NOCASE holds for <> too", "SELECT ID FROM PASTELSQL WHERE NAME <> 'abc' COLLATE NOCASE ORDER BY ID", {"4", "5"}},
    {"floating-point equality within the tolerance", "SELECT ID FROM PASTELSQL WHERE AMOUNT = 0.1 ORDER BY ID",
     {"1", "6"}},
    {"a date text with one-digit parts compares as a date",
     "SELECT ID FROM PASTELSQL WHERE DOCDATE >= '2024-1-5' ORDER BY ID", {"1", "3", "5"}},
    {"<> skips NULL", "SELECT ID FROM PASTELSQL WHERE NAME <> 'x' ORDER BY ID", {"1", "2", "5", "6"}},
    {"LIKE is the engine's (case-insensitive)", "SELECT ID FROM PASTELSQL WHERE NAME LIKE 'ab%' ORDER BY ID",
     {"1", "2", "5", "6"}},
    {"GLOB is the engine's (case-sensitive)", "SELECT ID FROM PASTELSQL WHERE NAME GLOB 'ab*' ORDER BY ID", {"1", "5"}},
    {"a range without ORDER BY comes in index order", "SELECT ACC FROM PASTELSQL WHERE ACC >= 'B'",
     {"B", "C", "D", "E"}},
    {"a join; NULL keys never join",
     "SELECT P.ID, I.BALANCE FROM PASTELSQL P JOIN IQOSQL I ON P.ACC = I.ACC ORDER BY P.ID, I.BALANCE",
     {"1|300.0", "1|301.0", "2|100.0"}},
    {"a self-join", "SELECT a.ACC, b.ACC FROM PASTELSQL a JOIN PASTELSQL b ON a.QTY = b.QTY + 1 ORDER BY a.ACC",
     {"B|A", "C|B", "D|C", "E|D"}},
    {"IS NULL and IS NOT NULL", "SELECT count(*), count(ACC) FROM PASTELSQL WHERE ACC IS NULL OR NAME IS NOT NULL",
     {"5|4"}},
    {"columns of the same name told apart by table",
     "SELECT PASTELSQL.ID, IQOSQL.ID FROM PASTELSQL, IQOSQL WHERE PASTELSQL.ACC = IQOSQL.ACC AND IQOSQL.ID = 1",
     {"2|1"}},
};

TEST_P(VirtualTableEdgeCases, ConditionsSeeTheRowsTheComparisonRulesSelect) {
    for (const TQueryCase& c : kQueryCases) EXPECT_EQ(Rows(c.Sql), c.Expected) << c.Title << ": " << c.Sql;
}

TEST_P(VirtualTableEdgeCases, AJoinBuildsOneLocalIndexOnTheInnerColumnOnce) {
    const char* sql = "SELECT count(*) FROM PASTELSQL P JOIN IQOSQL I ON P.ACC = I.ACC";
    EXPECT_EQ(FTables.Value(sql), "3");
    EXPECT_EQ(FTables.Value(sql), "3");
    // Both tables are planned as the inner one; only the one the engine reads that way sorts.
    for (TVirtualMemData* data : {FPastelData, FIqoData}) {
        const std::vector<std::string> keys = data->LocalIndexKeys();
        ASSERT_LE(keys.size(), 1u);
        if (!keys.empty()) {
            EXPECT_EQ(UpperCase(keys.front()), "ACC_1;");
        }
    }
    EXPECT_EQ(FPastelData->LocalIndexBuilds() + FIqoData->LocalIndexBuilds(), 1u);
}

TEST_P(VirtualTableEdgeCases, AnEmptySourceDeclaresItsColumnsAndYieldsNoRows) {
    auto empty = FDatabase->Query("SELECT ID, ACC, NAME FROM PASTEL WHERE ID < 0");
    FTables.Add("EMPTYSQL", *empty);
    std::vector<std::string> columns = FTables.Rows("SELECT name FROM pragma_table_info('EMPTYSQL')");
    for (std::string& n : columns) n = UpperCase(n);
    EXPECT_EQ(columns, (TRows{"ID", "ACC", "NAME"}));
    EXPECT_TRUE(Rows("SELECT * FROM EMPTYSQL").empty());
    EXPECT_TRUE(Rows("SELECT * FROM PASTELSQL P JOIN EMPTYSQL E ON P.ACC = E.ACC").empty());
    EXPECT_EQ(FTables.Value("SELECT count(*) FROM EMPTYSQL"), "0");
}

TEST_P(VirtualTableEdgeCases, TheSourceKeepsItsPositionThroughAQuery) {
    FPastel->First();
    FPastel->Next();
    FPastel->Next();
    const TRowId before = FPastel->Bookmark();
    EXPECT_EQ(Rows("SELECT a.ID FROM PASTELSQL a JOIN PASTELSQL b ON a.ID = b.ID WHERE a.ACC >= 'B'").size(), 4u);
    EXPECT_EQ(FPastel->Bookmark(), before);
    EXPECT_EQ(FPastel->AsInteger(0), 3);
}

INSTANTIATE_TEST_SUITE_P(Sources, VirtualTableEdgeCases, ::testing::ValuesIn(kBackends),
                         [](const ::testing::TestParamInfo<TBackend>& info) { return std::string(info.param.Name); });

}  // namespace
