// The module "LiteModule" and its adapter over result sets: declaration, values, filters,
// registration, the write path and what bad input gives.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <memory>
#include <string>
#include <vector>

#include "SourceDatabases.h"
#include "VirtualTableHarness.h"
#include "dbaccess/MemDataSet.h"
#include "output/VirtualDeclaration.h"
#include "platform/DateTime.h"

using namespace iqo;

namespace {

using TRows = std::vector<std::string>;

TColumnDescriptor Column(std::string name, TFieldType type, uint16_t length = 0, uint16_t scale = 0) {
    TColumnDescriptor c;
    c.Name = std::move(name);
    c.DataType = type;
    c.Length = length;
    c.Scale = scale;
    return c;
}

bool IsOrdering(TVirtualOperation op) { return static_cast<int>(op) >= 1 && static_cast<int>(op) <= 5; }

// The engine's error for a statement, or "" when it runs.
std::string ErrorOf(const TVirtualTables& tables, const std::string& sql, int* code = nullptr) {
    try {
        tables.Rows(sql);
    } catch (const ESQLiteError& e) {
        if (code) *code = e.Code();
        return e.what();
    }
    return "";
}

// --- over a SQLite database -------------------------------------------------------------------

class VirtualTableOverSQLite : public ::testing::Test {
protected:
    TSQLiteSourceDatabase FDatabase{{
        "CREATE TABLE pastel (Acc VARCHAR(10), Name VARCHAR(20), Amount NUMERIC(15,2), DocDate DATETIME, Qty INTEGER)",
        "INSERT INTO pastel VALUES ('C', 'abc', 0.1000000000001, '2024-01-10 00:00:00', 3),"
        " ('A', 'ABC', 12.5, '2024-01-04 08:00:00', 1), ('B', NULL, 0.1001, '2024-02-13 10:20:30.005', 2),"
        " (NULL, 'x', 2.25, NULL, NULL), ('D', 'abc  ', 7, '2024-01-05 00:00:00', 4)",
        // 1,000 rows, x set on every hundredth only.
        "CREATE TABLE sparse (n INTEGER, x INTEGER)",
        "WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM r WHERE n < 1000)"
        " INSERT INTO sparse SELECT n, CASE WHEN n % 100 = 0 THEN n END FROM r",
    }};
    std::unique_ptr<TDbQuery> FPastel = FDatabase.Query("SELECT * FROM pastel");
    TVirtualTables FTables;
};

TEST_F(VirtualTableOverSQLite, DeclaresTheSourceColumnsWithTheirTypeTexts) {
    FTables.Add("PASTELSQL", *FPastel);
    EXPECT_EQ(FTables.Rows("SELECT name, type FROM pragma_table_info('PASTELSQL')"),
              (TRows{"Acc|VARCHAR(10)", "Name|VARCHAR(20)", "Amount|NUMERIC(15, 2)", "DocDate|DATETIME", "Qty|BIGINT"}));
    EXPECT_EQ(FTables.Value("SELECT typeof(Amount) || ' ' || Amount FROM PASTELSQL WHERE Acc = 'A'"), "real 12.5");
}

TEST_F(VirtualTableOverSQLite, TextFiltersAndNumbersMeetInTheColumnsKind) {
    FTables.Add("PASTELSQL", *FPastel);
    const struct {
        const char* Sql;
        TRows Expected;
    } cases[] = {
        {"SELECT Acc FROM PASTELSQL WHERE Qty = '3'", {"C"}},
        {"SELECT Acc FROM PASTELSQL WHERE Qty = 'abc'", {}},
        {"SELECT Acc FROM PASTELSQL WHERE Qty > 2.5 ORDER BY Acc", {"C", "D"}},
        {"SELECT Acc FROM PASTELSQL WHERE Qty = 3.0", {"C"}},
        {"SELECT Acc FROM PASTELSQL WHERE Amount = '12.5'", {"A"}},
        {"SELECT Acc FROM PASTELSQL WHERE Amount > 'x'", {}},
        {"SELECT Acc FROM PASTELSQL WHERE Name = 12", {}},
        {"SELECT Acc FROM PASTELSQL WHERE DocDate = 45301", {"C"}},
        {"SELECT Acc FROM PASTELSQL WHERE DocDate >= 'ab-cd-ef' ORDER BY Acc", {"A", "B", "C", "D"}},
        {"SELECT Acc FROM PASTELSQL WHERE DocDate = ''", {}},
        {"SELECT Acc FROM PASTELSQL WHERE DocDate < '2024-02-13 10:20:30.010' AND DocDate > '2024-02-13 10:20:30'",
         {"B"}},
    };
    for (const auto& c : cases) EXPECT_EQ(FTables.Rows(c.Sql), c.Expected) << c.Sql;
}

TEST_F(VirtualTableOverSQLite, ADateTextThatIsNoNumberFailsTheStatementAsAConstraintError) {
    FTables.Add("PASTELSQL", *FPastel);
    int code = 0;
    EXPECT_EQ(ErrorOf(FTables, "SELECT * FROM PASTELSQL WHERE DocDate >= 'abc'", &code), "constraint failed");
    EXPECT_EQ(code, SQLITE_CONSTRAINT);
}

TEST_F(VirtualTableOverSQLite, NullHeavyColumnsAnswerThroughTheIndexAndWithout) {
    auto sparse = FDatabase.Query("SELECT * FROM sparse");
    TVirtualMemData& data = FTables.Add("S", *sparse);
    for (bool indexes : {true, false}) {
        data.SetCanUseLocalIndex(indexes);
        EXPECT_EQ(FTables.Value("SELECT count(*) FROM S WHERE x IS NULL"), "990") << indexes;
        EXPECT_EQ(FTables.Value("SELECT count(*) FROM S WHERE x IS NOT NULL"), "10") << indexes;
        EXPECT_EQ(FTables.Value("SELECT n FROM S WHERE x = 500"), "500") << indexes;
        EXPECT_EQ(FTables.Value("SELECT count(*) FROM S WHERE x > 0"), "10") << indexes;
        EXPECT_EQ(FTables.Value("SELECT count(*) FROM S WHERE x <> 500"), "9") << indexes;
        EXPECT_EQ(FTables.Value("SELECT count(*) FROM S WHERE x < 300"), "2") << indexes;
        EXPECT_EQ(FTables.Value("SELECT count(*) FROM S a JOIN S b ON a.x = b.x"), "10") << indexes;
    }
}

TEST_F(VirtualTableOverSQLite, LocalIndexesAreBuiltOncePerKeyAndKeyedByCollation) {
    TVirtualMemData& data = FTables.Add("PASTELSQL", *FPastel);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(FTables.Rows("SELECT Acc FROM PASTELSQL WHERE Acc >= 'B'"), (TRows{"B", "C", "D"}));
    EXPECT_EQ(data.LocalIndexKeys(), (TRows{"Acc_4;"}));
    EXPECT_EQ(data.LocalIndexBuilds(), 1u);

    EXPECT_EQ(FTables.Rows("SELECT Name FROM PASTELSQL WHERE Name >= 'a'"), (TRows{"abc", "abc  ", "x"}));
    EXPECT_EQ(FTables.Rows("SELECT Name FROM PASTELSQL WHERE Name >= 'a' COLLATE NOCASE"),
              (TRows{"abc", "ABC", "abc  ", "x"}));
    EXPECT_EQ(data.LocalIndexKeys(), (TRows{"Acc_4;", "Name_4;", "Name_4 NOCASE;"}));
    // A second key over a column in the same order shares the sorted rows.
    EXPECT_EQ(FTables.Rows("SELECT Acc FROM PASTELSQL WHERE Acc = 'C'"), (TRows{"C"}));
    EXPECT_EQ(data.LocalIndexBuilds(), 3u);
    EXPECT_EQ(data.LocalIndexKeys().size(), 4u);
}

TEST_F(VirtualTableOverSQLite, ConstraintSetsAreNumberedOncePerPlan) {
    TVirtualMemData& data = FTables.Add("PASTELSQL", *FPastel);
    for (const char* acc : {"'C'", "'A'", "'Q'"})
        FTables.Rows(std::string("SELECT Name FROM PASTELSQL WHERE Acc = ") + acc);
    ASSERT_EQ(data.Constraints().size(), 1u);
    const TVirtualConstraint& set = data.Constraints().front();
    ASSERT_EQ(set.Items.size(), 1u);
    EXPECT_EQ(set.Items[0].FieldIndex, 0);
    EXPECT_EQ(set.Items[0].ArgIndex, 1);
    EXPECT_EQ(set.Items[0].Operation, TVirtualOperation::Equal);
    EXPECT_TRUE(set.Items[0].SimpleCompare);
    EXPECT_EQ(set.SortItemIndex, 0);

    // A LIKE that no range can narrow, and <> on text, are the engine's alone.
    FTables.Rows("SELECT Name FROM PASTELSQL WHERE Name LIKE '%b%' AND Acc <> 'C'");
    EXPECT_EQ(data.Constraints().size(), 1u);

    FTables.Rows("SELECT Name FROM PASTELSQL WHERE Qty > 1 AND Acc = 'C' AND Amount IS NOT NULL");
    ASSERT_EQ(data.Constraints().size(), 2u);
    const TVirtualConstraint& three = data.Constraints().back();
    int used = 0;
    for (const TVirtualConstraintItem& item : three.Items) used += item.Used();
    EXPECT_EQ(used, 3);
    ASSERT_GE(three.SortItemIndex, 0);
    EXPECT_TRUE(IsOrdering(three.Items[static_cast<size_t>(three.SortItemIndex)].Operation));
}

TEST_F(VirtualTableOverSQLite, ACollationTheModuleDoesNotKnowIsLeftToTheEngine) {
    FTables.Add("PASTELSQL", *FPastel);
    sqlite3_create_collation(
        FTables.Db(), "ANYCASE", SQLITE_UTF8, nullptr, [](void*, int na, const void* a, int nb, const void* b) {
            return sqlite3_strnicmp(static_cast<const char*>(a), static_cast<const char*>(b), std::min(na, nb)) != 0
                       ? sqlite3_strnicmp(static_cast<const char*>(a), static_cast<const char*>(b), std::min(na, nb))
                       : na - nb;
        });
    EXPECT_EQ(FTables.Rows("SELECT Acc FROM PASTELSQL WHERE Name = 'abc' COLLATE ANYCASE ORDER BY Acc"),
              (TRows{"A", "C"}));
}

TEST_F(VirtualTableOverSQLite, ClosedAndPreparedSources) {
    TDbQuery closed(&FDatabase.Connection());
    closed.SetSQL("SELECT * FROM pastel");
    FTables.Module().RegisterVirtualData("", "CLOSED", std::make_unique<TVirtualMemData>(closed));
    try {
        FTables.Module().DoCreateTable("", "CLOSED");
        FAIL() << "a closed source was declared";
    } catch (const ESQLiteError& e) {
        EXPECT_STREQ(e.what(), "Source dataset is not active");
    }

    TDbQuery prepared(&FDatabase.Connection());
    prepared.SetSQL("SELECT * FROM pastel");
    prepared.Prepare();
    FTables.Add("PREPARED", prepared);
    EXPECT_EQ(FTables.Value("SELECT count(*) FROM PREPARED WHERE Acc = 'C'"), "0");
    prepared.Open();
    EXPECT_EQ(FTables.Value("SELECT count(*) FROM PREPARED WHERE Acc = 'C'"), "1");

    FTables.Add("PASTELSQL", *FPastel);
    FPastel->Close();
    FPastel->Unprepare();
    int code = 0;
    EXPECT_EQ(ErrorOf(FTables, "SELECT * FROM PASTELSQL", &code), "Source dataset is not active");
    EXPECT_EQ(code, SQLITE_ERROR);
}

TEST_F(VirtualTableOverSQLite, ASourceOpenedAgainIsReadAfresh) {
    TVirtualMemData& data = FTables.Add("PASTELSQL", *FPastel);
    EXPECT_EQ(FTables.Value("SELECT count(*) FROM PASTELSQL WHERE Acc >= 'B'"), "3");
    FPastel->Close();
    FPastel->SetSQL("SELECT * FROM pastel WHERE Acc <> 'C'");
    FPastel->Open();
    EXPECT_EQ(FTables.Value("SELECT count(*) FROM PASTELSQL WHERE Acc >= 'B'"), "2");
    EXPECT_EQ(data.LocalIndexBuilds(), 2u);
}

// Rows an equality join of two 10,000-row sources visits: one inner row per outer row with
// local indexes, every inner row per outer row without.
TEST(VirtualTableRowsVisited, AnEqualityJoinVisitsAboutOneInnerRowPerOuterRow) {
    const std::string rows = "WITH RECURSIVE r(n) AS (SELECT 0 UNION ALL SELECT n + 1 FROM r WHERE n < 9999)";
    TSQLiteSourceDatabase database({
        "CREATE TABLE a (k INTEGER, t VARCHAR(12))",
        "CREATE TABLE b (k INTEGER, t VARCHAR(12))",
        rows + " INSERT INTO a SELECT n * 7919 % 10000, 'key' || (n * 7919 % 10000) FROM r",
        rows + " INSERT INTO b SELECT n * 4073 % 10000, 'key' || (n * 4073 % 10000) FROM r",
    });
    auto a = database.Query("SELECT * FROM a");
    auto b = database.Query("SELECT * FROM b");
    TVirtualTables tables;
    TVirtualMemData& da = tables.Add("A", *a);
    TVirtualMemData& db = tables.Add("B", *b);
    for (const char* key : {"k", "t"}) {
        const uint64_t beforeA = da.RowsVisited(), beforeB = db.RowsVisited();
        EXPECT_EQ(tables.Value(std::string("SELECT count(*) FROM A JOIN B ON A.") + key + " = B." + key), "10000");
        const uint64_t visitedA = da.RowsVisited() - beforeA, visitedB = db.RowsVisited() - beforeB;
        // The outer table is scanned once; the inner one gives each outer row its one partner.
        EXPECT_EQ(std::min(visitedA, visitedB), 10000u) << key;
        EXPECT_EQ(std::max(visitedA, visitedB), 10000u) << key;
    }

    auto small = database.Query("SELECT * FROM a WHERE k < 1000");
    TVirtualMemData& ds = tables.Add("SMALL", *small);
    ds.SetCanUseLocalIndex(false);
    EXPECT_EQ(tables.Value("SELECT count(*) FROM SMALL x JOIN SMALL y ON x.k = y.k"), "1000");
    EXPECT_EQ(ds.RowsVisited(), 1000u + 1000u * 1000u);
}

// --- sources built in code ----------------------------------------------------------------------

// A local index must select exactly the rows that testing every row selects: the same source
// twice, once with local indexes and once without, over keys that repeat across the index's
// fence steps, NULLs, texts that agree in more than their first eight bytes, and each operation.
TEST(VirtualTableLocalIndex, SelectsWhatAFullScanSelects) {
    TMemDataSet source({Column("I", TFieldType::Int32), Column("F", TFieldType::Double),
                        Column("T", TFieldType::AnsiString, 30), Column("D", TFieldType::DateTime)});
    source.Open();
    std::mt19937 random(7);
    auto row = source.NewRow();
    for (int n = 0; n < 1000; ++n) {
        row.Clear();
        if (random() % 10 != 0) row.SetInteger(0, static_cast<int64_t>(random() % 100));
        if (random() % 10 != 0) row.SetFloat(1, static_cast<double>(random() % 50) / 10.0 + 1e-13 * (random() % 3));
        const char* stems[] = {"CUSTOMER-00", "customer-00", "Customer-0", "CUSTOMER-00 ", " CUSTOMER-00", "b"};
        if (random() % 10 != 0) row.SetBytes(2, stems[random() % 6] + std::to_string(random() % 20));
        if (random() % 10 != 0) row.SetFloat(3, EncodeDate(2024, 1, 1) + static_cast<double>(random() % 30));
        source.AppendRow(row);
    }
    TVirtualTables tables;
    TVirtualMemData& indexed = tables.Add("WITHINDEX", source);
    tables.Add("FULLSCAN", source).SetCanUseLocalIndex(false);

    std::vector<std::string> values;  // "column value" of each condition
    for (int v = -1; v <= 100; ++v) values.push_back("I " + std::to_string(v));
    for (const char* v : {"50.5", "'7'", "1e9"}) values.push_back(std::string("I ") + v);
    for (int v = -1; v <= 51; ++v) values.push_back("F " + std::to_string(v / 10.0));
    values.push_back("F '4.9'");
    for (const char* stem : {"CUSTOMER-00", "customer-00", "Customer-0"})
        for (int v = 0; v <= 20; v += 3)
            for (const char* collation : {"", " COLLATE NOCASE", " COLLATE RTRIM"})
                values.push_back(std::string("T '") + stem + std::to_string(v) + "'" + collation);
    for (const char* v : {"'a'", "'b5'", "'CUSTOMER-00'", "12"}) values.push_back(std::string("T ") + v);
    for (int day = 0; day <= 32; ++day) values.push_back("D " + std::to_string(45291 + day));
    values.push_back("D '2024-1-15'");
    for (const std::string& value : values)
        for (const char* op : {"=", ">", ">=", "<", "<="}) {
            const std::string where = value.substr(0, 1) + " " + op + value.substr(1);
            const std::string rows = " WHERE " + where + " ORDER BY rowid";
            EXPECT_EQ(tables.Rows("SELECT rowid FROM WITHINDEX" + rows), tables.Rows("SELECT rowid FROM FULLSCAN" + rows))
                << where;
        }
    for (const char* where : {"I >= 20 AND I < 40", "I > 20 AND I <= 20", "I >= 10 AND I = 12", "I = 12 AND F > 2",
                              "F >= 1 AND F <= 2.5", "D >= 45300 AND D < 45310", "T >= 'CUSTOMER-001' AND T < 'CUSTOMER-002'",
                              "T >= 'customer-001' COLLATE NOCASE AND T <= 'CUSTOMER-0015' COLLATE NOCASE",
                              "T >= 'c' AND T <= 'CUSTOMER-0015' COLLATE NOCASE"}) {
        const std::string rows = std::string(" WHERE ") + where + " ORDER BY rowid";
        EXPECT_EQ(tables.Rows("SELECT rowid FROM WITHINDEX" + rows), tables.Rows("SELECT rowid FROM FULLSCAN" + rows))
            << where;
    }
    EXPECT_EQ(tables.Rows("SELECT count(*) FROM WITHINDEX a JOIN WITHINDEX b ON a.T = b.T COLLATE NOCASE"),
              tables.Rows("SELECT count(*) FROM FULLSCAN a JOIN FULLSCAN b ON a.T = b.T COLLATE NOCASE"));
    EXPECT_EQ(indexed.LocalIndexBuilds(), 6u) << "I, F, T under three collations, D";
    const uint64_t before = indexed.RowsVisited();
    const std::string inRange = tables.Value("SELECT count(*) FROM WITHINDEX WHERE I >= 20 AND I < 30");
    EXPECT_EQ(std::to_string(indexed.RowsVisited() - before), inRange) << "a range visits only its own rows";
    EXPECT_GT(tables.Rows("SELECT rowid FROM WITHINDEX WHERE I = 50").size(), 3u);
}


TEST(VirtualTableValues, DateTimeTextsFollowTheTypeAndScale) {
    TMemDataSet source({Column("D", TFieldType::Date), Column("T", TFieldType::Time),
                        Column("T3", TFieldType::Time, 0, 3), Column("DT", TFieldType::DateTime),
                        Column("DT3", TFieldType::DateTime, 0, 3), Column("TS", TFieldType::TimeStamp),
                        Column("TSO", TFieldType::TimeStampOffset)});
    source.Open();
    auto row = source.NewRow();
    for (size_t c = 0; c < 7; ++c) row.SetFloat(c, EncodeDateTime(2024, 2, 13, 10, 20, 30, 5));
    source.AppendRow(row);
    for (size_t c = 0; c < 7; ++c) row.SetFloat(c, EncodeDateTime(2024, 2, 13, 23, 59, 59, 500));
    source.AppendRow(row);
    for (size_t c = 0; c < 7; ++c) row.SetFloat(c, EncodeDateTime(2024, 2, 13, 0, 0, 0, 0));
    source.AppendRow(row);
    TFormatSettings comma;
    comma.DecimalSeparator = ",";
    TVirtualTables tables;
    tables.Add("V", source);
    tables.Add("C", source, "", comma);
    EXPECT_EQ(tables.Rows("SELECT * FROM V"),
              (TRows{"2024-02-13|10:20:30|10:20:30.005|2024-02-13 10:20:30|2024-02-13 10:20:30.005|"
                     "2024-02-13 10:20:30.005|2024-02-13 10:20:30.005 ",
                     "2024-02-13|23:59:59|23:59:59.5|2024-02-13 23:59:59|2024-02-13 23:59:59.5|"
                     "2024-02-13 23:59:59.5|2024-02-13 23:59:59.5 ",
                     "2024-02-13|00:00:00|00:00:00|2024-02-13 00:00:00|2024-02-13 00:00:00|"
                     "2024-02-13 00:00:00|2024-02-13 00:00:00 "}));
    EXPECT_EQ(tables.Value("SELECT DT3 FROM C WHERE DT3 > '2024-02-13 10:20:30' AND DT3 < '2024-02-13 10:20:30,010'"),
              "2024-02-13 10:20:30,005");
    EXPECT_EQ(tables.Rows("SELECT type FROM pragma_table_info('V')"),
              (TRows{"DATE", "TIME", "TIME(3)", "DATETIME", "DATETIME(3)", "TIMESTAMP", "TIMESTAMPOFFSET"}));
}

TEST(VirtualTableValues, EveryStorageClassReachesTheEngine) {
    TMemDataSet source({Column("I8", TFieldType::Int8), Column("U16", TFieldType::UInt16),
                        Column("B", TFieldType::Boolean), Column("S", TFieldType::Single),
                        Column("CUR", TFieldType::Currency), Column("BCD", TFieldType::Bcd, 18, 4),
                        Column("FMT", TFieldType::FmtBcd, 20, 4), Column("TXT", TFieldType::WideString, 10),
                        Column("G", TFieldType::Guid, 38), Column("X", TFieldType::Xml),
                        Column("BIN", TFieldType::VarBytes, 4), Column("EMPTYBIN", TFieldType::Blob),
                        Column("OBJ", TFieldType::Object), Column("NaN", TFieldType::Double)});
    source.Open();
    auto row = source.NewRow();
    row.SetInteger(0, -5);
    row.SetInteger(1, 65535);
    row.SetInteger(2, 1);
    row.SetFloat(3, 0.5);
    row.SetInteger(4, 125000);
    row.SetInteger(5, -15);
    row.SetBytes(6, "-123.4500");
    row.SetBytes(7, "M\xC3\xBCller");
    row.SetBytes(8, "{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
    row.SetBytes(9, "<a/>");
    row.SetBytes(10, std::string("\x01\x00\xff", 3));
    row.SetBytes(11, "");
    row.SetFloat(13, std::nan(""));
    source.AppendRow(row);
    TVirtualTables tables;
    tables.Add("V", source);
    EXPECT_EQ(tables.Value("SELECT I8, U16, B, S, CUR, BCD, FMT, TXT, G, X, hex(BIN), EMPTYBIN IS NULL, NaN IS NULL FROM V"),
              "-5|65535|1|0.5|12.5|-0.0015|-123.45|M\xC3\xBCller|{6F9619FF-8B86-D011-B42D-00C04FC964FF}|<a/>|0100FF|1|1");
    EXPECT_EQ(tables.Rows("SELECT name FROM pragma_table_info('V')").size(), 13u) << "Object columns are left out";
    EXPECT_EQ(tables.Value("SELECT count(*) FROM V WHERE CUR = 12.5 AND BCD = -0.0015 AND FMT = -123.45 AND B = 1"
                           " AND TXT = 'M\xC3\xBCller' AND BIN = x'0100ff' AND EMPTYBIN IS NULL AND NaN IS NULL"),
              "1");
}

TEST(VirtualTableDeclaration, KeysRequiredColumnsAndASourceWithoutColumns) {
    auto id = Column("ID", TFieldType::Int32);
    id.IsKey = id.Required = true;
    auto name = Column("NAME", TFieldType::AnsiString, 40);
    name.Required = true;
    auto code = Column("CODE", TFieldType::FixedAnsiChar, 4);
    code.IsKey = code.Required = true;
    auto line = Column("LINE", TFieldType::Int32);
    line.IsKey = line.Required = true;
    const struct {
        std::vector<TColumnDescriptor> Columns;
        const char* Declaration;
    } cases[] = {
        {{id, name}, "CREATE TABLE VT(ID INTEGER PRIMARY KEY, NAME VARCHAR(40) NOT NULL)"},
        {{code, name}, "CREATE TABLE VT(CODE CHAR(4) NOT NULL PRIMARY KEY, NAME VARCHAR(40) NOT NULL)"},
        {{code, line, name},
         "CREATE TABLE VT(CODE CHAR(4) NOT NULL, LINE INTEGER NOT NULL, NAME VARCHAR(40) NOT NULL, PRIMARY KEY(CODE, LINE))"},
        {{}, "CREATE TABLE VT([_id] WVARCHAR(24) PRIMARY KEY)"},
    };
    for (const auto& c : cases) {
        TMemDataSet source(c.Columns);
        source.Open();
        TVirtualMemData data(source);
        data.DescribeFields();
        EXPECT_EQ(VirtualTableDeclaration(data.Fields()), c.Declaration);
    }

    TMemDataSet none({});
    none.Open();
    none.AppendRow(none.NewRow());
    none.AppendRow(none.NewRow());
    TVirtualTables tables;
    tables.Add("NONE", none);
    EXPECT_EQ(tables.Rows("SELECT _id FROM NONE"), (TRows{"NULL", "NULL"}));
    EXPECT_EQ(tables.Value("SELECT count(*) FROM NONE WHERE _id IS NULL"), "2");
}

TEST(VirtualTableDeclaration, ReservedWordsQuotesAndBracketsInColumnNames) {
    const std::string clash = "a]b\"c`d'e";
    TMemDataSet source({Column("Order", TFieldType::Int32), Column("select", TFieldType::Int32),
                        Column("a\"b", TFieldType::Int32), Column("[x]", TFieldType::Int32),
                        Column("with.dot", TFieldType::Int32), Column("_under", TFieldType::Int32),
                        Column(clash, TFieldType::Int32), Column("sp ace", TFieldType::Int32)});
    source.Open();
    auto row = source.NewRow();
    for (size_t c = 0; c < 8; ++c) row.SetInteger(c, static_cast<int64_t>(c));
    source.AppendRow(row);
    TVirtualTables tables;
    tables.Add("Group", source);
    EXPECT_EQ(tables.Rows("SELECT name FROM pragma_table_info('Group')"),
              (TRows{"Order", "select", "a\"b", "x", "with.dot", "_under", clash, "sp ace"}));
    EXPECT_EQ(tables.Value("SELECT [Order], \"select\", [a\"b], x, [with.dot], [_under], \"a]b\"\"c`d'e\", [sp ace]"
                           " FROM [Group] WHERE [Order] = 0 AND \"a]b\"\"c`d'e\" = 6"),
              "0|1|2|3|4|5|6|7");
}

TEST(VirtualTableDeclaration, TheEnginesErrorWhileDeclaringFailsTheCreation) {
    TMemDataSet source({Column("a", TFieldType::Int32), Column("A", TFieldType::Int32)});
    source.Open();
    TVirtualTables tables;
    tables.Module().RegisterVirtualData("", "T", std::make_unique<TVirtualMemData>(source));
    try {
        tables.Module().DoCreateTable("", "T");
        FAIL() << "two columns of one name were declared";
    } catch (const ESQLiteError& e) {
        EXPECT_STREQ(e.what(), "duplicate column name: A");
        EXPECT_EQ(e.Code(), SQLITE_ERROR);
    }
}

TEST(VirtualTableDeclaration, AThousandColumns) {
    std::vector<TColumnDescriptor> columns;
    for (int i = 0; i < 1000; ++i) columns.push_back(Column("c" + std::to_string(i), TFieldType::Int64));
    TMemDataSet source(columns);
    source.Open();
    auto row = source.NewRow();
    for (size_t i = 0; i < 1000; ++i) row.SetInteger(i, static_cast<int64_t>(i) * 2);
    source.AppendRow(row);
    row.SetNull(999);
    source.AppendRow(row);
    TVirtualTables tables;
    tables.Add("WIDE", source);
    EXPECT_EQ(tables.Rows("SELECT c0, c500, c999 FROM WIDE"), (TRows{"0|1000|1998", "0|1000|NULL"}));
    EXPECT_EQ(tables.Value("SELECT count(*) FROM WIDE WHERE c999 = 1998 AND c998 = 1996"), "1");
}

// --- registration ---------------------------------------------------------------------------------

class VirtualTableRegistration : public ::testing::Test {
protected:
    std::unique_ptr<TVirtualData> Data() { return std::make_unique<TVirtualMemData>(FSource); }
    std::string RegisterError(const std::string& schema, const std::string& table) {
        try {
            FTables.Module().RegisterVirtualData(schema, table, Data());
        } catch (const Exception& e) {
            return e.what();
        }
        return "";
    }

    TMemDataSet FSource{{Column("N", TFieldType::Int32)}};
    TVirtualTables FTables;
};

TEST_F(VirtualTableRegistration, NamesAreNormalizedAndUniqueWithoutRegardToCase) {
    EXPECT_EQ(RegisterError("", ""), "Table name cannot be empty");
    EXPECT_EQ(RegisterError("", "PASTELSQL"), "");
    EXPECT_EQ(RegisterError("", "pastelsql"), "Table pastelsql already registered");
    EXPECT_EQ(RegisterError("MAIN", "\"PastelSQL\""), "Table PastelSQL already registered");
    EXPECT_EQ(RegisterError("", "Order"), "");
    EXPECT_EQ(FTables.Module().Tables().back()->TableName(), "[Order]");
    EXPECT_EQ(RegisterError("aux", "T"), "");
    EXPECT_EQ(RegisterError("aux", "t"), "Table aux.t already registered");
    EXPECT_NE(FTables.Module().FindTable("", "[pastelsql]"), nullptr);
    EXPECT_EQ(FTables.Module().FindTable("", "IQOSQL"), nullptr);
}

TEST_F(VirtualTableRegistration, CreatingAttachesEachSchemaOnceAndDroppingForgetsTheTable) {
    FTables.Add("T", FSource, "aux");
    FTables.Add("U", FSource, "aux");
    FTables.Add("Order", FSource);
    EXPECT_EQ(FTables.Value("SELECT count(*) FROM aux.T, aux.U, [Order]"), "0");
    try {
        FTables.Module().DoCreateTable("", "Nope");
        FAIL() << "an unregistered table was created";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Table Nope is not found");
    }
    EXPECT_EQ(ErrorOf(FTables, "CREATE VIRTUAL TABLE Other USING LiteModule"), "vtable constructor failed: Other");

    FTables.Module().DoDropTable("aux", "T");
    EXPECT_EQ(FTables.Module().FindTable("aux", "T"), nullptr);
    EXPECT_EQ(ErrorOf(FTables, "SELECT * FROM aux.T"), "no such table: aux.T");
    EXPECT_EQ(FTables.Module().Tables().size(), 2u);
}

// --- the write path -------------------------------------------------------------------------------

TEST(VirtualTableWrites, InsertUpdateAndDeleteChangeTheSourceRows) {
    auto ro = Column("RO", TFieldType::Int32);
    ro.ReadOnly = true;
    TMemDataSet source({Column("Acc", TFieldType::AnsiString, 10), Column("Amount", TFieldType::Double),
                        Column("At", TFieldType::DateTime), ro});
    source.Open();
    TVirtualTables tables;
    tables.Add("T", source);
    tables.Rows("INSERT INTO T VALUES ('B', '12.5', '2024-01-05', 7), ('A', 1, 45000.5, 8), ('C', 2, NULL, NULL)");
    EXPECT_EQ(source.RecordCount(), 3);
    EXPECT_EQ(tables.Rows("SELECT * FROM T WHERE Acc >= 'A'"),
              (TRows{"A|1.0|2023-03-15 12:00:00|NULL", "B|12.5|2024-01-05 00:00:00|NULL", "C|2.0|NULL|NULL"}));

    tables.Rows("UPDATE T SET Amount = Amount * 2 WHERE Acc IN ('A', 'C')");
    EXPECT_EQ(tables.Rows("SELECT Acc, Amount FROM T WHERE Acc >= 'A'"), (TRows{"A|2.0", "B|12.5", "C|4.0"}));
    tables.Rows("UPDATE T SET Acc = 'Z' WHERE Acc = 'A'");
    tables.Rows("DELETE FROM T WHERE Acc = 'B'");
    EXPECT_EQ(tables.Rows("SELECT Acc, Amount FROM T WHERE Acc >= 'A'"), (TRows{"C|4.0", "Z|2.0"}));
    EXPECT_EQ(source.RecordCount(), 2);

    EXPECT_EQ(ErrorOf(tables, "INSERT INTO T (Acc, Amount) VALUES ('D', 'abc')"),
              "'abc' is not a valid floating point value");
    EXPECT_EQ(ErrorOf(tables, "INSERT INTO T (rowid, Acc) VALUES (99, 'D')"), "The row id of a new row cannot be given");
    EXPECT_EQ(source.RecordCount(), 2);
}

}  // namespace
