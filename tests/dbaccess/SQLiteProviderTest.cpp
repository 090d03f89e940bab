#include <sqlite3.h>

#include <cmath>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "dbaccess/DbQuery.h"
#include "platform/Exception.h"

using namespace iqo;

namespace {

void Exec(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    const std::string message = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << message;
}

class SQLiteProvider : public ::testing::Test {
protected:
    void SetUp() override {
        Exec(FPath,
             "CREATE TABLE customer (id INTEGER PRIMARY KEY, name VARCHAR(40) NOT NULL, code CHAR(4), note TEXT,"
             " price NUMERIC(15,2), ratio REAL, qty SMALLINT, big BIGINT, flag BOOLEAN, born DATE, at TIME,"
             " created DATETIME, photo BLOB, bin BINARY(4), money MONEY, guid GUID, short VARCHAR(10));"
             "INSERT INTO customer VALUES (1, 'Smith & Sons', 'AB', 'long note', 1234.5, 0.25, -7,"
             " 9223372036854775807, 1, '2024-02-13', '08:05:09', '2024-02-13 14:05:09.750', x'0aff', x'01020304',"
             " 12.5, '6f9619ff-8b86-d011-b42d-00c04fc964ff', 'M\xC3\xBCller');"
             "INSERT INTO customer (id, name) VALUES (2, '');"
             "INSERT INTO customer (id, name, created) VALUES (3, 'third', 2460355.25);"
             "CREATE TABLE orders (order_no INTEGER NOT NULL, customer_id INTEGER, total REAL, PRIMARY KEY(order_no));"
             "INSERT INTO orders VALUES (10, 1, 99.5), (11, 1, 0.5), (12, 3, 1);");
        FConnection.SetProviderName("sqlite");
        FConnection.SetDatabase(FPath);
        FConnection.SetLoginPrompt(false);
        FConnection.Open();
    }

    std::unique_ptr<TDbQuery> Query(const std::string& sql) {
        auto q = std::make_unique<TDbQuery>(&FConnection);
        q->SetSQL(sql);
        q->Open();
        return q;
    }

    TTempFolder FDir;
    std::string FPath = FDir.File("crm.db");
    TDbConnection FConnection;
};

struct ColumnCase {
    const char* name;
    TFieldType type;
    int length, scale, size;
    bool fixed, required;
};

}  // namespace

TEST_F(SQLiteProvider, DescribesEveryDeclaredType) {
    const ColumnCase cases[] = {
        {"id", TFieldType::Int64, 0, 0, 8, false, false},
        {"name", TFieldType::AnsiStringLong, 40, 0, 6, false, true},
        {"code", TFieldType::AnsiString, 4, 0, 7, true, false},
        {"note", TFieldType::Memo, 0, 0, 4, false, false},
        {"price", TFieldType::Double, 15, 2, 8, false, false},
        {"ratio", TFieldType::Double, 0, 0, 8, false, false},
        {"qty", TFieldType::Int16, 0, 0, 2, false, false},
        {"big", TFieldType::Int64, 0, 0, 8, false, false},
        {"flag", TFieldType::Boolean, 0, 0, 2, false, false},
        {"born", TFieldType::Date, 0, 0, 8, false, false},
        {"at", TFieldType::Time, 0, 0, 8, false, false},
        {"created", TFieldType::DateTime, 0, 0, 8, false, false},
        {"photo", TFieldType::Blob, 0, 0, 4, false, false},
        {"bin", TFieldType::Bytes, 4, 0, 6, true, false},
        {"money", TFieldType::Currency, 19, 4, 8, false, false},
        {"guid", TFieldType::Guid, 38, 0, 4, false, false},
        {"short", TFieldType::AnsiString, 10, 0, 13, false, false},
    };
    auto q = Query("SELECT * FROM customer ORDER BY id");
    ASSERT_EQ(q->FieldCount(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        const TColumnDescriptor& d = q->Columns()[i];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(d.Name, c.name);
        EXPECT_EQ(d.FieldNo, i + 1);
        EXPECT_EQ(d.DataType, c.type) << FieldTypeName(d.DataType);
        EXPECT_EQ(d.Length, c.length);
        EXPECT_EQ(d.Scale, c.scale);
        EXPECT_EQ(d.Size, c.size);
        EXPECT_EQ(d.Fixed, c.fixed);
        EXPECT_EQ(d.Required, c.required);
        EXPECT_EQ(d.TableName, "customer");
        EXPECT_EQ(d.ActualName, c.name);
        EXPECT_FALSE(d.ReadOnly);
        EXPECT_EQ(d.IsKey, i == 0);
        EXPECT_EQ(d.IsAutoIncrement, i == 0);
    }
}

TEST_F(SQLiteProvider, ReadsEveryValue) {
    auto q = Query("SELECT * FROM customer ORDER BY id");
    ASSERT_EQ(q->RecordCount(), 3);
    q->First();
    EXPECT_EQ(q->AsInteger(0), 1);
    EXPECT_EQ(q->AsBytes(1), "Smith & Sons");
    EXPECT_EQ(q->AsBytes(2), "AB");
    EXPECT_EQ(q->AsFloat(4), 1234.5);
    EXPECT_EQ(q->AsInteger(6), -7);
    EXPECT_EQ(q->AsInteger(7), INT64_MAX);  // never truncated
    EXPECT_EQ(q->AsInteger(8), 1);
    EXPECT_EQ(q->AsFloat(9), EncodeDate(2024, 2, 13));
    EXPECT_EQ(DateTimeToMilliseconds(q->AsFloat(10)), DateTimeToMilliseconds(EncodeTime(8, 5, 9, 0)));
    EXPECT_EQ(DateTimeToMilliseconds(q->AsFloat(11)), DateTimeToMilliseconds(EncodeDateTime(2024, 2, 13, 14, 5, 9, 750)));
    EXPECT_EQ(q->AsBytes(12), "\x0a\xff");
    EXPECT_EQ(q->AsBytes(13), "\x01\x02\x03\x04");
    EXPECT_EQ(q->AsInteger(14), 125000);
    EXPECT_EQ(q->AsBytes(15), "{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
    EXPECT_EQ(q->AsBytes(16), "M\u00FCller");
    q->Next();
    EXPECT_FALSE(q->IsNull(1));
    EXPECT_EQ(q->AsBytes(1), "");  // empty text is not NULL
    for (size_t col = 2; col < q->FieldCount(); ++col) EXPECT_TRUE(q->IsNull(col)) << col;
    q->Next();
    EXPECT_EQ(DateTimeToMilliseconds(q->AsFloat(11)), DateTimeToMilliseconds(EncodeDateTime(2024, 2, 14, 18, 0, 0, 0)));  // a Julian day number
}

TEST_F(SQLiteProvider, JoinFlagsFollowTheUpdatingTable) {
    auto q = Query("SELECT c.name AS \"Customer Name\", o.order_no, o.total * 2 AS doubled, c.id, o.customer_id AS id "
                   "FROM customer c JOIN orders o ON o.customer_id = c.id ORDER BY o.order_no");
    const auto& cols = q->Columns();
    ASSERT_EQ(cols.size(), 5u);
    EXPECT_EQ(cols[0].Name, "Customer Name");
    EXPECT_EQ(cols[0].ActualName, "name");
    EXPECT_EQ(cols[0].TableName, "customer");
    EXPECT_TRUE(cols[0].Required);
    EXPECT_FALSE(cols[0].ReadOnly);
    EXPECT_EQ(cols[1].TableName, "orders");
    EXPECT_TRUE(cols[1].IsKey);
    EXPECT_TRUE(cols[1].Required);
    EXPECT_TRUE(cols[1].ReadOnly);  // not of the updating table
    EXPECT_EQ(cols[2].DataType, TFieldType::Double);
    EXPECT_TRUE(cols[2].TableName.empty());
    EXPECT_TRUE(cols[2].ReadOnly);
    EXPECT_EQ(cols[3].Name, "id");
    EXPECT_EQ(cols[4].Name, "id_1");  // names are unique within a result set
    EXPECT_EQ(q->RecordCount(), 3);
    q->First();
    q->Next();
    const TRowId remembered = q->Bookmark();
    q->Next();
    EXPECT_EQ(q->AsInteger(1), 12);
    ASSERT_TRUE(q->GotoBookmark(remembered));
    EXPECT_EQ(q->AsInteger(1), 11);
    EXPECT_EQ(q->AsFloat(2), 1.0);
}

TEST_F(SQLiteProvider, ExpressionsAreTypedByTheirFirstValue) {
    auto q = Query("SELECT count(*), avg(total), group_concat(order_no), max(customer_id) + NULL FROM orders");
    EXPECT_EQ(q->Columns()[0].DataType, TFieldType::Int64);
    EXPECT_EQ(q->Columns()[1].DataType, TFieldType::Double);
    EXPECT_EQ(q->Columns()[2].DataType, TFieldType::Memo);
    EXPECT_EQ(q->Columns()[3].DataType, TFieldType::Memo);
    q->First();
    EXPECT_EQ(q->AsInteger(0), 3);
    EXPECT_EQ(q->AsBytes(2), "10,11,12");
    EXPECT_TRUE(q->IsNull(3));
}

TEST_F(SQLiteProvider, ErrorsCarryTheEngineText) {
    struct Case {
        std::string sql;
        std::string message;
    };
    const Case cases[] = {
        {"SELEC 1", "near \"SELEC\": syntax error"},
        {"SELECT nope FROM customer", "no such column: nope"},
        {"SELECT * FROM missing_table", "no such table: missing_table"},
        {"CREATE TABLE t (x)", "SQL statement doesn't return rows"},
        {"", "No SQL statement provided"},
        {"SELECT CAST('not a date' AS DATE) AS d FROM customer", ""},
    };
    Exec(FPath, "CREATE TABLE bad (d DATE); INSERT INTO bad VALUES ('13/02/2024');");
    for (const auto& c : cases) {
        TDbQuery q(&FConnection);
        q.SetSQL(c.sql);
        if (c.message.empty()) {
            EXPECT_NO_THROW(q.Open()) << c.sql;  // an expression typed by its value: text
            continue;
        }
        try {
            q.Open();
            ADD_FAILURE() << c.sql;
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
        EXPECT_FALSE(q.Active());
    }
    TDbQuery bad(&FConnection);
    bad.SetSQL("SELECT d FROM bad");
    try {
        bad.Open();
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Column d holds '13/02/2024', which is not a date or time");
    }
}

TEST_F(SQLiteProvider, AMissingDatabaseIsNotCreated) {
    TDbConnection c;
    c.SetProviderName("SQLite");
    c.SetDatabase(FDir.File("none.db"));
    try {
        c.Open();
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "unable to open database file: " + FDir.File("none.db"));
    }
    EXPECT_FALSE(FileExistsForTest(FDir.File("none.db")));
}

TEST_F(SQLiteProvider, ClosingTheConnectionClosesItsQueries) {
    auto q = Query("SELECT id FROM customer");
    FConnection.Close();
    EXPECT_FALSE(q->Active());
    q->Open();  // opens the connection again
    EXPECT_EQ(q->RecordCount(), 3);
}
