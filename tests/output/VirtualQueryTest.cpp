// The combined query: SQL over result sets, its columns, values, functions, texts and guards.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "RowsetTestSupport.h"
#include "TestSupport.h"
#include "SourceDatabases.h"
#include "dbaccess/MemDataSet.h"
#include "output/SQLiteError.h"
#include "output/VirtualQuery.h"
#include "output/VirtualResultColumns.h"
#include "platform/DateTime.h"

using namespace iqo;

namespace {

using TRows = std::vector<std::string>;
using F = TFieldType;

// Every row of the result, values joined with "|", NULL as "NULL".
TRows RowsOf(TDataSet& ds) {
    TRows rows;
    for (ds.First(); !ds.Eof(); ds.Next()) {
        std::string row;
        for (size_t i = 0; i < ds.FieldCount(); ++i) {
            if (i > 0) row += '|';
            row += ds.IsNull(i) ? "NULL" : ds.AsString(i);
        }
        rows.push_back(row);
    }
    return rows;
}

// PASTELSQL: Acc, Name, Amount, DocDate, Qty (five rows); IQOSQL: Acc, Rep (three rows);
// EMPTY: the columns of PASTELSQL without rows.
class VirtualQueryTest : public ::testing::Test {
protected:
    VirtualQueryTest() {
        FPastel = MakePastel();
        FEmpty = MakeDataSet(PastelColumns());
        FIqo = MakeDataSet({Col("Acc", F::AnsiString, 10), Col("Rep", F::WideString, 20)});
        AddIqo("A", "Ann");
        AddIqo("B", "Bob");
        AddIqo("Z", "Zed");
    }

    static std::vector<TColumnDescriptor> PastelColumns() {
        auto acc = Col("Acc", F::AnsiString, 10);
        acc.IsKey = true;
        acc.Required = true;
        return {acc, Col("Name", F::AnsiString, 20), Col("Amount", F::Double, 15, 2), Col("DocDate", F::DateTime),
                Col("Qty", F::Int32)};
    }

    std::unique_ptr<TMemDataSet> MakePastel() {
        auto ds = MakeDataSet(PastelColumns());
        auto add = [&](const char* acc, const char* name, double amount, TDateTime date, int qty) {
            auto row = ds->NewRow();
            row.SetBytes(0, acc);
            name ? row.SetBytes(1, name) : row.SetNull(1);
            row.SetFloat(2, amount);
            date != 0 ? row.SetFloat(3, date) : row.SetNull(3);
            row.SetInteger(4, qty);
            ds->AppendRow(row);
        };
        add("A", "Alpha", 12.5, EncodeDateTime(2024, 1, 4, 8, 0, 0, 0), 1);
        add("B", nullptr, 0.25, EncodeDateTime(2024, 2, 13, 10, 20, 30, 0), 2);
        add("C", "Gamma", 7, EncodeDateTime(2024, 1, 10, 0, 0, 0, 0), 3);
        add("D", "Delta", 2.5, 0, 4);
        add("E", "Eps", 1, EncodeDateTime(2023, 12, 31, 23, 59, 59, 0), 5);
        return ds;
    }

    void AddIqo(const char* acc, const char* rep) {
        auto row = FIqo->NewRow();
        row.SetBytes(0, acc);
        row.SetBytes(1, rep);
        FIqo->AppendRow(row);
    }

    // A query over PASTELSQL and IQOSQL (and further sources), all open, opened.
    TVirtualQuery& Open(const std::string& sql, std::vector<std::pair<std::string, TDataSet*>> more = {}) {
        FQuery.SourceDataSets().Clear();
        more.insert(more.begin(), {{"PASTELSQL", FPastel.get()}, {"IQOSQL", FIqo.get()}});
        for (auto& [name, ds] : more) {
            ds->Open();
            Link(name, *ds);
        }
        FQuery.SetSQL(sql);
        FQuery.Open();
        return FQuery;
    }

    TRows Rows(const std::string& sql) {
        Open(sql);
        TRows rows = RowsOf(FQuery);
        FQuery.Close();
        return rows;
    }

    // The error text of opening the query, "" when it opens.
    std::string ErrorOf(const std::string& sql) {
        try {
            Open(sql);
        } catch (const Exception& e) {
            return e.what();
        }
        FQuery.Close();
        return "";
    }

    void Link(const std::string& name, TDataSet& ds) {
        TDataSetLink& link = FQuery.SourceDataSets().Add();
        link.DataSet = &ds;
        link.TableName = name;
    }

    std::unique_ptr<TMemDataSet> FPastel, FEmpty, FIqo;
    TVirtualQuery FQuery;
};

// --- edge cases of results ----------------------------------------------------------------

TEST_F(VirtualQueryTest, AnEmptySourceGivesWhatSqlSays) {
    Open("SELECT e.Acc, e.Qty, p.Name FROM EMPTY e JOIN PASTELSQL p ON p.Acc = e.Acc", {{"EMPTY", FEmpty.get()}});
    EXPECT_EQ(FQuery.RecordCount(), 0);
    EXPECT_EQ(FQuery.Columns()[0].DataType, F::AnsiString);
    EXPECT_EQ(FQuery.Columns()[0].Length, 10);
    EXPECT_EQ(FQuery.Columns()[1].DataType, F::Int32);
    FQuery.Close();

    Open("SELECT count(*) AS n, max(Qty) + 1 AS m FROM EMPTY", {{"EMPTY", FEmpty.get()}});
    EXPECT_EQ(RowsOf(FQuery), (TRows{"0|NULL"}));
    EXPECT_EQ(FQuery.Columns()[0].DataType, F::Int64);
    EXPECT_EQ(FQuery.Columns()[1].DataType, F::Memo);
    FQuery.Close();

    Open("SELECT Qty * 2 AS d FROM EMPTY", {{"EMPTY", FEmpty.get()}});
    EXPECT_EQ(FQuery.RecordCount(), 0);
    EXPECT_EQ(FQuery.Columns()[0].DataType, F::Memo);
}

TEST_F(VirtualQueryTest, ComputedColumnsTakeTheirTypeFromTheFirstValue) {
    const struct {
        const char* Sql;
        TFieldType Type;
        TRows Rows;
    } cases[] = {
        {"SELECT sum(Qty) FROM PASTELSQL WHERE Acc = 'none'", F::Memo, {"NULL"}},
        {"SELECT sum(Qty) FROM PASTELSQL", F::Int64, {"15"}},
        {"SELECT sum(Amount) FROM PASTELSQL", F::Double, {"23.25"}},
        {"SELECT avg(Qty) FROM PASTELSQL", F::Double, {"3"}},
        {"SELECT Acc || Rep FROM PASTELSQL JOIN IQOSQL USING (Acc) ORDER BY 1", F::Memo, {"AAnn", "BBob"}},
        {"SELECT CASE WHEN Qty = 1 THEN NULL ELSE Qty END FROM PASTELSQL WHERE Qty < 4", F::Memo, {"NULL", "2", "3"}},
        {"SELECT x'0102'", F::Blob, {"\x01\x02"}},
        {"SELECT CAST(Qty AS TEXT) FROM PASTELSQL WHERE Qty = 5", F::Memo, {"5"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Sql);
        Open(c.Sql);
        EXPECT_EQ(FQuery.Columns()[0].DataType, c.Type);
        EXPECT_EQ(RowsOf(FQuery), c.Rows);
        FQuery.Close();
    }
}

TEST_F(VirtualQueryTest, ADateColumnKeepsItsValueAndItsMaximumIsText) {
    Open("SELECT DocDate FROM PASTELSQL WHERE Acc = 'B'");
    EXPECT_EQ(FQuery.Columns()[0].DataType, F::DateTime);
    FQuery.First();
    EXPECT_EQ(DateTimeToMilliseconds(FQuery.AsFloat(0)),
              DateTimeToMilliseconds(EncodeDateTime(2024, 2, 13, 10, 20, 30, 0)));
    FQuery.Close();

    Open("SELECT max(DocDate) AS last FROM PASTELSQL");
    EXPECT_EQ(FQuery.Columns()[0].DataType, F::Memo);
    EXPECT_EQ(RowsOf(FQuery), (TRows{"2024-02-13 10:20:30"}));
}

TEST_F(VirtualQueryTest, RegisteredFunctionsAndTheEnginesOwn) {
    const struct {
        const char* Expression;
        const char* Expected;
    } cases[] = {
        {"ROUND(2.5, 0)", "2"},  {"ROUND(3.5, 0)", "4"},     {"round(2.5)", "3"},     {"ROUND(1.25, 1)", "1.2"},
        {"LOG(1)", "0"},         {"LOG10(100)", "2"},        {"LOG(exp(2))", "2"},    {"TRUNCATE(-2.78, 1)", "-2.7"},
        {"CEILING(2.1)", "3"},   {"FLOOR(-2.1)", "-3"},      {"MOD(7, 3)", "1"},      {"MOD(-7, 3)", "-1"},
        {"MOD(7.9, 3.9)", "1"},  {"POWER(2, 10)", "1024"},   {"SQRT(16)", "4"},       {"SIGN(-0.5)", "-1"},
        {"SIGN(0)", "0"},        {"DEGREES(PI())", "180"},   {"RADIANS(180) = PI()", "1"},
        {"ATAN2(1, -1) > 2.35", "1"}, {"COT(1) - 1 / TAN(1)", "0"}, {"SIN(0) + COS(0)", "1"},
        {"ACOS(1) + ASIN(0) + ATAN(0)", "0"}, {"EXP(0)", "1"},
        {"RAND() >= 0 AND RAND() < 1", "1"},
        // NULL arguments and domain errors give NULL.
        {"ROUND(NULL, 1)", "NULL"}, {"MOD(5, NULL)", "NULL"}, {"LOG(NULL)", "NULL"}, {"MOD(5, 0)", "NULL"},
        {"LOG(0)", "NULL"},      {"SQRT(-1)", "NULL"},       {"ACOS(2)", "NULL"},     {"CEILING(1e300)", "NULL"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Expression);
        EXPECT_EQ(Rows(std::string("SELECT ") + c.Expression), (TRows{c.Expected}));
    }
    Open("SELECT CEILING(2.1), SIGN(3), ROUND(2.5, 0)");
    EXPECT_EQ(FQuery.Columns()[0].DataType, F::Int64);
    EXPECT_EQ(FQuery.Columns()[1].DataType, F::Int64);
    EXPECT_EQ(FQuery.Columns()[2].DataType, F::Double);
}

TEST_F(VirtualQueryTest, UniNoCaseComparesUnicodeLettersWithoutCase) {
    EXPECT_EQ(Rows("SELECT 'élan' = 'ÉLAN' COLLATE UniNoCase, 'élan' = 'ÉLAN', 'a' < 'B' COLLATE UniNoCase"),
              (TRows{"1|0|1"}));
    EXPECT_EQ(Rows("SELECT Name FROM PASTELSQL WHERE Name = 'GAMMA' COLLATE UniNoCase"), (TRows{"Gamma"}));
}

TEST_F(VirtualQueryTest, FunctionsAndCollationsOfTheApplication) {
    auto& functions = FQuery.Connection().Functions();
    functions.RegisterFunction("TWICE", 1, [](const std::vector<TVirtualValue>& a) {
        TVirtualValue v;
        v.ValueType = TVirtualType::vrString;
        v.StrValue = a[0].StrValue + a[0].StrValue;
        return v;
    });
    functions.RegisterWideCollation("BYLENGTH", [](std::u16string_view a, std::u16string_view b) {
        return (a.size() > b.size()) - (a.size() < b.size());
    });
    functions.RegisterAnsiCollation("ANSIBYTES", [](std::string_view a, std::string_view b) { return a.compare(b) < 0 ? -1 : a.compare(b) > 0; });
    functions.RegisterFunction("ROUND", 2, [](const std::vector<TVirtualValue>&) { return TVirtualValue{}; });
    EXPECT_EQ(Rows("SELECT TWICE('ab'), 'xyz' = 'abc' COLLATE BYLENGTH, 'Ω' = '?' COLLATE ANSIBYTES, ROUND(2.5, 0)"),
              (TRows{"abab|1|1|2"}));
    // Registrations go with the connection; the next open has the defaults only.
    EXPECT_EQ(ErrorOf("SELECT TWICE('ab')"), "no such function: TWICE");
}

TEST(VirtualSpecificTypes, ASortedListByLowerCaseName) {
    TSpecificTypeRegistry types;
    types.Add({"Money2", F::Currency, 19, 2});
    types.Add({"AMOUNT", F::Bcd, 10, 4});
    types.Add({"money2", F::Int32, -1, -1});
    EXPECT_EQ(types.Count(), 2u);
    ASSERT_NE(types.Find("MONEY2"), nullptr);
    EXPECT_EQ(types.Find("MONEY2")->FDataType, F::Currency);
    EXPECT_EQ(types.Find("amount")->FDataTypeName, "amount");
    EXPECT_EQ(types.Find("other"), nullptr);
    const TDeclaredType t = ReadDeclaredType("Amount(12, 2)", types);
    EXPECT_EQ(t.DataType, F::Bcd);
    EXPECT_EQ(t.Length, 10);
    EXPECT_EQ(t.Scale, 4);
}

// --- SQL text ------------------------------------------------------------------------------

TEST_F(VirtualQueryTest, MacrosAreRemovedOutsideQuotes) {
    const struct {
        const char* Sql;
        TRows Expected;
    } cases[] = {
        {"SELECT Qty&x FROM PASTELSQL WHERE Acc = 'C'", {"3"}},
        {"SELECT Qty & 1 FROM PASTELSQL WHERE Acc = 'C'", {"1"}},
        {"SELECT 'a&b', \"Qty&x\" FROM PASTELSQL WHERE Acc = 'C'", {"a&b|NULL"}},
        {"SELECT 6 &(3)", {"2"}},
        {"SELECT 1 -- don't &strip\n, 2 &x", {"1|2"}},
    };
    // A quoted column name that does not exist is a text literal in the engine's dialect.
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Sql);
        const TRows rows = Rows(c.Sql);
        if (std::string(c.Sql).find("\"Qty&x\"") != std::string::npos) EXPECT_EQ(rows, (TRows{"a&b|Qty&x"}));
        else EXPECT_EQ(rows, c.Expected);
    }
}

TEST_F(VirtualQueryTest, NamedParametersAreNull) {
    EXPECT_EQ(Rows("SELECT :p IS NULL, :\"my param\" IS NULL, :p"), (TRows{"1|1|NULL"}));
    EXPECT_EQ(Rows("SELECT count(*) FROM PASTELSQL WHERE Acc = :acc OR :acc IS NULL"), (TRows{"5"}));
    EXPECT_EQ(Rows("SELECT ':p'"), (TRows{":p"}));
    for (const char* sql : {"SELECT ?", "SELECT @p", "SELECT $p", "SELECT ?1"}) {
        SCOPED_TRACE(sql);
        EXPECT_EQ(ErrorOf(sql), "Incorrect parameter.");
    }
}

TEST_F(VirtualQueryTest, StatementsRunInTurnAndTheLastGivesTheRows) {
    const struct {
        const char* Sql;
        TRows Expected;
    } cases[] = {
        {"SELECT 1 AS a; SELECT 2 AS b", {"2"}},
        {"CREATE TABLE t(x); INSERT INTO t SELECT Qty FROM PASTELSQL;\r\n SELECT sum(x) FROM t;  \r\n", {"15"}},
        {"-- a comment only;\nSELECT 3", {"3"}},
        {"SELECT 4; -- the end", {"4"}},
        {"/* c */ ; ; SELECT 5 ;;", {"5"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Sql);
        EXPECT_EQ(Rows(c.Sql), c.Expected);
    }
    Open("SELECT 1 AS a; SELECT 2 AS b");
    EXPECT_EQ(FQuery.Columns()[0].Name, "b");
}

TEST_F(VirtualQueryTest, TextsWithoutAStatementOrRowsFail) {
    const struct {
        const char* Sql;
        const char* Error;
    } cases[] = {
        {"", "No SQL statement provided"},
        {" \r\n\t ", "No SQL statement provided"},
        {"&macro", "No SQL statement provided"},
        {"-- nothing", "SQL statement doesn't return rows"},
        {"CREATE TABLE t(x)", "SQL statement doesn't return rows"},
        {"SELECT 1; CREATE TABLE t(x)", "SQL statement doesn't return rows"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Sql);
        EXPECT_EQ(ErrorOf(c.Sql), c.Error);
    }
}

TEST_F(VirtualQueryTest, TableNamesMatchWithoutCase) {
    EXPECT_EQ(Rows("SELECT count(*) FROM pastelsql p JOIN IqoSql i ON i.acc = p.ACC"), (TRows{"2"}));
}

TEST_F(VirtualQueryTest, EngineErrorsCarryTheEnginesText) {
    const struct {
        const char* Sql;
        const char* Error;
    } cases[] = {
        {"SELECT * FROM NOSUCH", "no such table: NOSUCH"},
        {"SELECT Nope FROM PASTELSQL", "no such column: Nope"},
        {"SELECT Acc FROM PASTELSQL, IQOSQL", "ambiguous column name: Acc"},
        {"SELEC 1", "near \"SELEC\": syntax error"},
        {"SELECT 1; SELECT * FROM NOSUCH", "no such table: NOSUCH"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Sql);
        EXPECT_EQ(ErrorOf(c.Sql), c.Error);
    }
    try {
        Open("SELECT * FROM NOSUCH");
        FAIL();
    } catch (const ESQLiteError& e) {
        EXPECT_EQ(e.Code(), SQLITE_ERROR);
    }
    EXPECT_FALSE(FQuery.Connection().Connected());
}

// --- result columns -------------------------------------------------------------------------

TEST_F(VirtualQueryTest, TextLengthsDecideShortLongAndMemo) {
    auto ds = MakeDataSet({Col("V9000", F::AnsiString, 9000), Col("E9000", F::AnsiStringLong, 9000),
                           Col("V300", F::AnsiString, 300), Col("V20", F::AnsiString, 20), Col("F5", F::FixedAnsiChar, 5),
                           Col("W40", F::WideString, 40), Col("B8", F::Bytes, 8), Col("VB40", F::VarBytes, 40),
                           Col("M", F::Memo)});
    Open("SELECT * FROM T", {{"T", ds.get()}});
    const struct {
        TFieldType Type;
        int Length;
        bool Fixed;
    } expected[] = {{F::Memo, 9000, false}, {F::AnsiStringLong, 9000, false}, {F::AnsiStringLong, 300, false},
                    {F::AnsiString, 20, false}, {F::AnsiString, 5, true}, {F::WideStringLong, 40, false},
                    {F::Bytes, 8, false}, {F::VarBytesLong, 40, false}, {F::Memo, 0, false}};
    ASSERT_EQ(FQuery.FieldCount(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const TColumnDescriptor& c = FQuery.Columns()[i];
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(c.DataType, expected[i].Type);
        EXPECT_EQ(c.Length, expected[i].Length);
        EXPECT_EQ(c.Fixed, expected[i].Fixed);
        EXPECT_EQ(c.Size, FieldValueSize(c.DataType, c.Length, TProviderKind::Virtual));
        EXPECT_EQ(c.FieldNo, i + 1);
    }
}

TEST_F(VirtualQueryTest, ColumnsFromASourceKeepTheirFlagsAndName) {
    Open("SELECT p.Acc, p.Amount, i.Rep, p.Qty * 2 AS Twice FROM PASTELSQL p JOIN IQOSQL i ON i.Acc = p.Acc");
    const auto& c = FQuery.Columns();
    EXPECT_EQ(c[0].TableName, "PASTELSQL");
    EXPECT_EQ(c[0].ActualName, "Acc");
    EXPECT_TRUE(c[0].IsKey);
    EXPECT_TRUE(c[0].Required);
    EXPECT_FALSE(c[0].IsAutoIncrement);
    EXPECT_FALSE(c[0].ReadOnly);
    EXPECT_EQ(c[1].DataType, F::Double);
    EXPECT_EQ(c[1].Length, 15);
    EXPECT_EQ(c[1].Scale, 2);
    EXPECT_EQ(c[2].TableName, "IQOSQL");
    EXPECT_TRUE(c[2].ReadOnly);
    EXPECT_EQ(c[3].TableName, "");
    EXPECT_EQ(c[3].ActualName, "Twice");
    EXPECT_TRUE(c[3].ReadOnly);
}

TEST_F(VirtualQueryTest, RepeatedColumnNamesAreMadeUnique) {
    Open("SELECT p.Acc, i.Acc, 1 AS acc FROM PASTELSQL p JOIN IQOSQL i ON i.Acc = p.Acc");
    const auto& c = FQuery.Columns();
    EXPECT_EQ(c[0].Name, "Acc");
    EXPECT_EQ(c[1].Name, "Acc_1");
    EXPECT_EQ(c[1].ActualName, "Acc");
    EXPECT_EQ(c[2].Name, "acc_2");
    EXPECT_EQ(Between(SaveToString(FQuery), "<z:row ", " />"), "Acc='A' Acc_1='A' acc_2='1'");
}

TEST_F(VirtualQueryTest, AnIntegerKeyIsAutoIncrementUnlessTheKeyHasTwoColumns) {
    auto id = Col("Id", F::Int32);
    id.IsKey = true;
    id.Required = true;
    auto single = MakeDataSet({id, Col("X", F::Int32)});
    auto second = id;
    second.Name = "Line";
    auto twin = MakeDataSet({id, second});
    Open("SELECT s.Id, t.Id AS TId, t.Line FROM S s, T t", {{"S", single.get()}, {"T", twin.get()}});
    const auto& c = FQuery.Columns();
    EXPECT_TRUE(c[0].IsKey);
    EXPECT_TRUE(c[0].IsAutoIncrement);
    EXPECT_FALSE(c[0].Required);
    EXPECT_TRUE(c[1].IsKey);
    EXPECT_FALSE(c[1].IsAutoIncrement);
    EXPECT_TRUE(c[2].IsKey);
    EXPECT_FALSE(c[2].IsAutoIncrement);
}

TEST_F(VirtualQueryTest, DeclaredTypesOfTheEnginesOwnTables) {
    const struct {
        const char* Declared;
        TFieldType Type;
        int Length;
        int Scale;
    } cases[] = {
        {"VARCHAR(10)", F::AnsiString, 10, 0},   {"varchar(40)", F::AnsiStringLong, 40, 0},
        {"BCD(30, 8)", F::Bcd, 18, 4},           {"FMTBCD(40, 50)", F::FmtBcd, 32, 32},
        {"TIMESTAMP", F::TimeStamp, 0, 3},       {"DATETIME(3)", F::DateTime, 0, 3},
        {"GUID", F::Guid, 38, 0},                {"VARBYTES(0)", F::Blob, 0, 0},
        {"VARBYTES(8)", F::VarBytes, 8, 0},      {"NVARCHAR(10)", F::AnsiString, 10, 0}, {"NOSUCHTYPE", F::Memo, 0, 0},
        {"WTEXT", F::WideMemo, 0, 0},            {"TINYINT", F::Int8, 0, 0},
        {"MONEY", F::Currency, 0, 0},            {"BOOLEAN", F::Boolean, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Declared);
        Open(std::string("CREATE TABLE t(x ") + c.Declared + "); SELECT x FROM t");
        const TColumnDescriptor& d = FQuery.Columns()[0];
        EXPECT_EQ(d.DataType, c.Type);
        EXPECT_EQ(d.Length, c.Length);
        EXPECT_EQ(d.Scale, c.Scale);
        EXPECT_EQ(d.TableName, "t");
        FQuery.Close();
    }
}

// --- values -----------------------------------------------------------------------------------

TEST_F(VirtualQueryTest, EightBitTextIsReducedToTheCodePageAndCut) {
    auto ds = MakeDataSet({Col("Short", F::AnsiString, 3), Col("Long", F::AnsiString, 40), Col("M", F::Memo),
                           Col("W", F::WideString, 3)});
    auto row = ds->NewRow();
    for (size_t i = 0; i < 4; ++i) row.SetBytes(i, "€Ωé€xyz");
    ds->AppendRow(row);
    Open("SELECT Short, Long, M, W, Long || '' FROM T", {{"T", ds.get()}});
    EXPECT_EQ(RowsOf(FQuery), (TRows{"€?é|€?é€xyz|€?é€xyz|€Ωé|€?é€xyz"}));
}

TEST_F(VirtualQueryTest, UnicodeKeepsTextWhole) {
    auto ds = MakeDataSet({Col("Long", F::AnsiString, 40)});
    auto row = ds->NewRow();
    row.SetBytes(0, "Ωmega");
    ds->AppendRow(row);
    FQuery.Options().UseUnicode = true;
    Open("SELECT Long, Long || '' AS M FROM T", {{"T", ds.get()}});
    EXPECT_EQ(FQuery.Columns()[0].DataType, F::WideStringLong);
    EXPECT_EQ(FQuery.Columns()[1].DataType, F::WideMemo);
    EXPECT_EQ(RowsOf(FQuery), (TRows{"Ωmega|Ωmega"}));
}

TEST_F(VirtualQueryTest, ValuesArriveByTheColumnsType) {
    const struct {
        const char* Declared;
        const char* Value;
        const char* Expected;
    } cases[] = {
        {"TINYINT", "300", "44"},           {"BYTE", "-1", "255"},             {"SMALLINT", "70000", "4464"},
        {"INTEGER", "'12abc'", "12"},       {"BIGINT", "9007199254740993", "9007199254740993"},
        {"REAL", "0.1", "0.100000001490116"}, {"MONEY", "2.00005", "2"},       {"BCD(10, 4)", "2.00015", "2.0002"},
        {"FMTBCD(20, 4)", "'123.4500'", "123.45"}, {"FMTBCD(20, 4)", "2.5", "2.5"}, {"BOOLEAN", "2", "True"},
        {"EXTENDED", "7", "7"},             {"BYTES(2)", "x'010203'", "\x01\x02"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Declared + std::string(" ") + c.Value);
        EXPECT_EQ(Rows(std::string("CREATE TABLE t(x ") + c.Declared + "); INSERT INTO t VALUES (" + c.Value +
                       "); SELECT x FROM t"),
                  (TRows{c.Expected}));
    }
}

TEST_F(VirtualQueryTest, DateTextsAreReadByTheDateTextRule) {
    const struct {
        const char* Declared;
        const char* Value;
        TDateTime Expected;
    } cases[] = {
        {"DATETIME", "'2024-02-13 10:20:30'", EncodeDateTime(2024, 2, 13, 10, 20, 30, 0)},
        {"DATETIME", "'2024-02-13 10:20:30.5'", EncodeDateTime(2024, 2, 13, 10, 20, 30, 500)},
        {"TIMESTAMP", "'2024-02-13 10:20:30.005Z'", EncodeDateTime(2024, 2, 13, 10, 20, 30, 5)},
        {"DATE", "'2024-02-13 10:20:30'", EncodeDate(2024, 2, 13)},
        {"TIME", "'2024-02-13 10:20:30'", EncodeTime(10, 20, 30, 0)},
        {"DATE", "45335", 45335},
        {"DATETIME", "45335.5", 45335.5},
        {"DATETIME", "'no-date-here'", 0},
        {"DATETIME", "'x'", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Declared + std::string(" ") + c.Value);
        Open(std::string("CREATE TABLE t(x ") + c.Declared + "); INSERT INTO t VALUES (" + c.Value + "); SELECT x FROM t");
        FQuery.First();
        EXPECT_EQ(DateTimeToMilliseconds(FQuery.AsFloat(0)), DateTimeToMilliseconds(c.Expected));
        FQuery.Close();
    }
    EXPECT_EQ(ErrorOf("CREATE TABLE t(x DATE); INSERT INTO t VALUES ('abc'); SELECT x FROM t"),
              "'abc' is not a valid integer value");
}

TEST_F(VirtualQueryTest, RowsComeTwentyFiveAtATime) {
    auto ds = MakeDataSet({Col("N", F::Int32)});
    for (int i = 0; i < 60; ++i) {
        auto row = ds->NewRow();
        row.SetInteger(0, i);
        ds->AppendRow(row);
    }
    Open("SELECT N FROM T", {{"T", ds.get()}});
    EXPECT_EQ(FQuery.Rows().Count(), 25u);
    EXPECT_EQ(FQuery.RecordCount(), 60);
    FQuery.First();
    int expected = 0;
    for (; !FQuery.Eof(); FQuery.Next()) EXPECT_EQ(FQuery.AsInteger(0), expected++);
    EXPECT_EQ(expected, 60);
}

// --- sources and lifecycle ---------------------------------------------------------------------

TEST_F(VirtualQueryTest, CloseTearsEverythingDownAndOpenBuildsItAgain) {
    Open("SELECT count(*) FROM PASTELSQL");
    EXPECT_TRUE(FQuery.Connection().Connected());
    EXPECT_EQ(FQuery.Connection().Module().Tables().size(), 2u);
    FQuery.Close();
    EXPECT_FALSE(FQuery.Active());
    EXPECT_FALSE(FQuery.Connection().Connected());
    EXPECT_EQ(FQuery.Connection().Functions().FunctionCount(), 0u);
    EXPECT_TRUE(FPastel->Active());
    FQuery.Open();
    EXPECT_EQ(RowsOf(FQuery), (TRows{"5"}));
}

TEST_F(VirtualQueryTest, AClosedSourceFailsUnlessSourcesAreOpenedFirst) {
    TSQLiteSourceDatabase db({"CREATE TABLE s (a INTEGER)", "INSERT INTO s VALUES (7)"});
    TDbQuery closed(&db.Connection());
    closed.SetSQL("SELECT a FROM s");
    EXPECT_EQ(ErrorOf("SELECT 1"), "");
    FQuery.SourceDataSets().Clear();
    Link("S", closed);
    FQuery.SetSQL("SELECT a FROM S");
    try {
        FQuery.Open();
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()), "Source dataset is not active");
    }
    FQuery.Options().TableCreationMode = TTableCreationMode::cmOnDemand;
    FQuery.SetSQL("SELECT 2");
    FQuery.Open();
    EXPECT_EQ(RowsOf(FQuery), (TRows{"2"}));
    FQuery.Close();
    FQuery.Options().AutoOpenSources = true;
    FQuery.SetSQL("SELECT a FROM s");
    FQuery.Open();
    EXPECT_EQ(RowsOf(FQuery), (TRows{"7"}));
    EXPECT_TRUE(closed.Active());
}

TEST_F(VirtualQueryTest, RegistrationErrors) {
    FQuery.SetSQL("SELECT 1");
    FQuery.SourceDataSets().Clear();
    Link("PASTELSQL", *FPastel);
    Link("pastelsql", *FIqo);
    EXPECT_THROW(
        {
            try {
                FQuery.Open();
            } catch (const Exception& e) {
                EXPECT_EQ(std::string(e.what()), "Table pastelsql already registered");
                throw;
            }
        },
        Exception);
    FQuery.SourceDataSets().Clear();
    Link("", *FPastel);
    EXPECT_THROW(
        {
            try {
                FQuery.Open();
            } catch (const Exception& e) {
                EXPECT_EQ(std::string(e.what()), "Table name cannot be empty");
                throw;
            }
        },
        Exception);
    EXPECT_FALSE(FQuery.Connection().Connected());
}

TEST_F(VirtualQueryTest, SourcesFromSQLiteQueries) {
    TSQLiteSourceDatabase pastel({"CREATE TABLE acc (Acc VARCHAR(10) NOT NULL PRIMARY KEY, Bal NUMERIC(15,2), D DATETIME)",
                                  "INSERT INTO acc VALUES ('A', 10.5, '2024-01-04 08:00:00'), ('B', -2, NULL), ('C', 3, NULL)"});
    TSQLiteSourceDatabase crm({"CREATE TABLE cust (Acc VARCHAR(10), Name VARCHAR(40))",
                               "INSERT INTO cust VALUES ('A', 'Ann'), ('C', 'Cid'), ('Q', 'Quinn')"});
    auto p = pastel.Query("SELECT * FROM acc");
    auto c = crm.Query("SELECT * FROM cust");
    FQuery.SourceDataSets().Clear();
    Link("PASTELSQL", *p);
    Link("IQOSQL", *c);
    FQuery.SetSQL("SELECT i.Name, p.Bal, p.D FROM IQOSQL i JOIN PASTELSQL p ON p.Acc = i.Acc ORDER BY i.Name");
    FQuery.Open();
    EXPECT_EQ(FQuery.Columns()[0].DataType, F::AnsiStringLong);
    EXPECT_EQ(FQuery.Columns()[2].DataType, F::DateTime);
    FQuery.First();
    EXPECT_EQ(DateTimeToMilliseconds(FQuery.AsFloat(2)), DateTimeToMilliseconds(EncodeDateTime(2024, 1, 4, 8, 0, 0, 0)));
    ASSERT_EQ(FQuery.RecordCount(), 2);
    FQuery.Next();
    EXPECT_EQ(FQuery.AsString(0), "Cid");
    EXPECT_EQ(FQuery.AsFloat(1), 3);
    EXPECT_TRUE(FQuery.IsNull(2));
}

// Key and required flags, base tables and columns of a join; the computed column names itself.
const std::string kExpectedCombinedXml =
    kDocumentHead +
    "\r\n      <s:AttributeType name='Acc' rs:number='1' rs:writeunknown='true' rs:basecolumn='Acc' rs:keycolumn='true'"
    " rs:basetable='PASTELSQL'>\r\n"
    "        <s:datatype dt:type='string' dt:maxLength='10' rs:dbtype='str' rs:maybenull='false' />\r\n"
    "      </s:AttributeType>\r\n"
    "      <s:AttributeType name='Qty' rs:number='2' rs:nullable='true' rs:writeunknown='true' rs:basecolumn='Qty'"
    " rs:basetable='PASTELSQL'>\r\n"
    "        <s:datatype dt:type='int' dt:maxLength='4' rs:precision='10' />\r\n"
    "      </s:AttributeType>\r\n"
    "      <s:AttributeType name='Rep' rs:number='3' rs:basecolumn='Rep' rs:basetable='IQOSQL'>\r\n"
    "        <s:datatype dt:type='string' dt:maxLength='20' />\r\n"
    "      </s:AttributeType>\r\n"
    "      <s:AttributeType name='Twice' rs:number='4' rs:basecolumn='Twice'>\r\n"
    "        <s:datatype dt:type='float' dt:maxLength='8' rs:precision='0' />\r\n"
    "      </s:AttributeType>" +
    kSchemaEnd +
    "\r    <z:row Acc='A' Qty='1' Rep='Ann' Twice='25' />"
    "\r    <z:row Acc='B' Qty='2' Rep='Bob' Twice='0.5' />" +
    kDocumentEnd;

TEST_F(VirtualQueryTest, SaveToXMLWritesTheCombinedResult) {
    Open("SELECT p.Acc, p.Qty, i.Rep, p.Amount * 2 AS Twice FROM PASTELSQL p JOIN IQOSQL i ON i.Acc = p.Acc ORDER BY p.Acc");
    const std::string doc = SaveToString(FQuery);
    EXPECT_EQ(doc, kExpectedCombinedXml);
}

// --- guards -------------------------------------------------------------------------------------

TEST_F(VirtualQueryTest, NoFileCanBeAttachedCreatedOrLoaded) {
    TTempFolder dir;
    const std::string file = dir.File("evil.db");
    const std::string cwdFile = "evil-relative.db";
    const struct {
        std::string Sql;
        std::string Error;
    } cases[] = {
        {"ATTACH DATABASE '" + file + "' AS evil; SELECT 1",
         "not authorized: the combined query cannot attach or create a database file ('" + file + "')"},
        {"ATTACH '" + cwdFile + "' AS evil; SELECT 1",
         "not authorized: the combined query cannot attach or create a database file ('" + cwdFile + "')"},
        {"ATTACH 'file:" + file + "?mode=rwc' AS evil; SELECT 1",
         "not authorized: the combined query cannot attach or create a database file ('file:" + file + "?mode=rwc')"},
        {"VACUUM INTO '" + file + "'; SELECT 1",
         "authorization denied: the combined query cannot attach or create a database file ('" + file + "')"},
        {"ATTACH ':memory:' AS m; SELECT 1",
         "not authorized: the combined query cannot attach or create a database file (':memory:')"},
        {"SELECT load_extension('" + dir.File("evil.so") + "')", "not authorized to use function: load_extension"},
        {"SELECT LOAD_EXTENSION('x', 'y')", "not authorized to use function: LOAD_EXTENSION"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Sql);
        EXPECT_EQ(ErrorOf(c.Sql), c.Error);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
    EXPECT_FALSE(FileExistsForTest(cwdFile));
    // Defensive settings: the schema cannot be written to.
    EXPECT_EQ(ErrorOf("PRAGMA writable_schema = ON; UPDATE sqlite_master SET sql = 'x'; SELECT 1"),
              "table sqlite_master may not be modified");
}

TEST_F(VirtualQueryTest, SchemasOfTheComponentsOwnAreAttached) {
    FQuery.SourceDataSets().Clear();
    TDataSetLink& link = FQuery.SourceDataSets().Add();
    FPastel->Open();
    link.DataSet = FPastel.get();
    link.TableName = "PASTELSQL";
    link.SchemaName = "acct";
    FQuery.SetSQL("SELECT count(*) FROM acct.PASTELSQL");
    FQuery.Open();
    EXPECT_EQ(RowsOf(FQuery), (TRows{"5"}));
}

TEST_F(VirtualQueryTest, HugeAndDeepTextsEndInTheEnginesAnswer) {
    std::string huge = "SELECT '" + std::string(1 << 20, 'x') + "' AS big";
    Open(huge);
    FQuery.First();
    EXPECT_EQ(FQuery.AsBytes(0).size(), 1u << 20);
    FQuery.Close();
    std::string comment = "SELECT 1 /*" + std::string(1 << 20, '*') + "*/";
    EXPECT_EQ(Rows(comment), (TRows{"1"}));

    // Deep brackets meet the parser's own limit first; a long sum meets the depth limit.
    EXPECT_EQ(ErrorOf("SELECT " + std::string(1001, '(') + "1" + std::string(1001, ')')), "parser stack overflow");
    auto sum = [](int terms) {
        std::string sql = "SELECT 1";
        for (int i = 1; i < terms; ++i) sql += " + 1";
        return sql;
    };
    EXPECT_EQ(ErrorOf(sum(1001)), "Expression tree is too large (maximum depth 1000)");
    EXPECT_EQ(Rows(sum(1000)), (TRows{"1000"}));
}

TEST_F(VirtualQueryTest, WritesToASourceChangeOnlyItsRows) {
    EXPECT_EQ(Rows("UPDATE PASTELSQL SET Qty = 10 WHERE Acc = 'A'; SELECT Qty FROM PASTELSQL WHERE Acc = 'A'"),
              (TRows{"10"}));
    FPastel->First();
    EXPECT_EQ(FPastel->AsInteger(4), 10);
}

}  // namespace
