#include <gtest/gtest.h>


#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "dbaccess/DbConnection.h"
#include "dbaccess/DbQuery.h"
#include "platform/DateTime.h"
#include "platform/Exception.h"
#include "platform/TextUtils.h"
#include "ProviderTestSupport.h"

using namespace iqo;
using namespace iqo::test;

namespace {

constexpr const char* kSchemaScript = R"(
CREATE TABLE %S.types (
  id serial PRIMARY KEY,
  i2 smallint NOT NULL, i4 integer, i8 bigint, r4 real, r8 double precision, num numeric(12,3), b boolean,
  c5 char(5), c40 char(40), vc10 varchar(10), vc40 varchar(40), tx text, d date, t time, ts timestamp,
  tz timestamptz, by bytea, u uuid, js json, jb jsonb);
INSERT INTO %S.types (i2, i4, i8, r4, r8, num, b, c5, c40, vc10, vc40, tx, d, t, ts, tz, by, u, js, jb) VALUES
 (-12, 2000000000, -9000000000000000000, 1.5, 2.25, 123456789.125, true, 'ab', 'long fixed', 'short',
  'grüße, a longer text of forty characters', 'text €', '2024-02-29', '13:14:15.5', '2024-02-29 13:14:15.25',
  '2024-02-29 22:30:00+00', '\x00ff10', 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11', '{"a": 1}', '{"b": [1, 2]}');
INSERT INTO %S.types (i2) VALUES (0);
CREATE TABLE %S.customer (
  cid integer GENERATED ALWAYS AS IDENTITY PRIMARY KEY, name varchar(50) NOT NULL, note text);
CREATE TABLE %S.orders (
  oid serial, cid integer NOT NULL REFERENCES %S.customer, amount numeric(10,2), PRIMARY KEY (oid, cid));
INSERT INTO %S.customer (name, note) VALUES ('Acme', NULL);
INSERT INTO %S.orders (cid, amount) VALUES (1, 10.5);
)";

}  // namespace

// One schema of the test cluster for the test program, made with psql and dropped at the end.
class PostgreSQLProvider : public TPgSchemaFixture<PostgreSQLProvider> {
public:
    static constexpr const char* kPrefix = "iqo_pg_";
    static constexpr const char* kScript = kSchemaScript;

protected:
    void SetUp() override {
        TPgSchemaFixture::SetUp();
        Connection.SetProviderName("PostgreSQL");
        Connection.SetServer(PgServer().Host);
        Connection.SetPort(PgServer().Port);
        Connection.SetDatabase(PgServer().Database);
        Connection.SetUsername(PgServer().User);
        Connection.SetPassword(PgServer().Password);
    }

    std::string Table(const std::string& name) const { return Schema() + "." + name; }

    TDbConnection Connection;
};

TEST_F(PostgreSQLProvider, DescribesEveryTypeAndReadsItsValue) {
    TLocalZone zone("IQO-02");  // two hours east of UTC
    TDbQuery query(&Connection);
    query.SetSQL("SELECT * FROM " + Table("types") + " ORDER BY id");
    query.Open();
    EXPECT_EQ(Connection.ProviderKind(), TProviderKind::PostgreSQL);
    ASSERT_EQ(query.RecordCount(), 2);
    const TColumnCase cases[] = {
        {"id", TFieldType::Int32, 0, 0, 4, false, "1"},
        {"i2", TFieldType::Int16, 0, 0, 2, false, "-12"},
        {"i4", TFieldType::Int32, 0, 0, 4, false, "2000000000"},
        {"i8", TFieldType::Int64, 0, 0, 8, false, "-9000000000000000000"},
        {"r4", TFieldType::Single, 0, 0, 4, false, "1.5"},
        {"r8", TFieldType::Double, 0, 0, 8, false, "2.25"},
        {"num", TFieldType::Double, 12, 3, 8, false, "123456789.125"},
        {"b", TFieldType::Boolean, 0, 0, 2, false, "1"},
        {"c5", TFieldType::AnsiString, 5, 0, 8, true, "ab   "},
        {"c40", TFieldType::AnsiStringLong, 40, 0, 6, true, "long fixed" + std::string(30, ' ')},
        {"vc10", TFieldType::AnsiString, 10, 0, 13, false, "short"},
        {"vc40", TFieldType::AnsiStringLong, 40, 0, 6, false, "grüße, a longer text of forty characters"},
        {"tx", TFieldType::Memo, 0, 0, 4, false, "text €"},
        {"d", TFieldType::Date, 0, 0, 8, false, SerialText(EncodeDate(2024, 2, 29))},
        {"t", TFieldType::Time, 0, 0, 8, false, SerialText(EncodeTime(13, 14, 15, 500))},
        {"ts", TFieldType::DateTime, 0, 0, 8, false, SerialText(EncodeDateTime(2024, 2, 29, 13, 14, 15, 250))},
        // 22:30 UTC is half past midnight of the next day two hours east.
        {"tz", TFieldType::DateTime, 0, 0, 8, false, SerialText(EncodeDateTime(2024, 3, 1, 0, 30, 0, 0))},
        {"by", TFieldType::Blob, 0, 0, 4, false, std::string("\x00\xff\x10", 3)},
        {"u", TFieldType::Guid, 38, 0, 4, false, "{A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11}"},
        {"js", TFieldType::Memo, 0, 0, 4, false, "{\"a\": 1}"},
        {"jb", TFieldType::Memo, 0, 0, 4, false, "{\"b\": [1, 2]}"},
    };
    query.First();
    for (const auto& c : cases) ExpectColumn(query, c);
    query.Next();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const int index = query.FindField(c.Name);
        ASSERT_GE(index, 0);
        EXPECT_EQ(query.IsNull(static_cast<size_t>(index)), c.Name != "id" && c.Name != "i2");
    }
}

TEST_F(PostgreSQLProvider, GivesTheOriginAndFlagsOfAJoin) {
    TDbQuery query(&Connection);
    query.SetSQL("SELECT o.oid, o.cid, c.cid AS customer, c.name, c.note, o.amount * 2 AS twice FROM " + Table("orders") +
                 " o JOIN " + Table("customer") + " c ON c.cid = o.cid");
    query.Open();
    const TFlagsCase cases[] = {
        // name, table, actual, required, key, auto-increment, read-only
        {"oid", "orders", "oid", true, true, true, false},
        {"cid", "orders", "cid", true, true, false, false},
        {"customer", "customer", "cid", true, true, true, true},
        {"name", "customer", "name", true, false, false, true},
        {"note", "customer", "note", false, false, false, true},
        {"twice", "", "", false, false, false, true},
    };
    for (const auto& c : cases) ExpectFlags(query, c);
    query.First();
    EXPECT_EQ(query.FieldByName("name").AsString(), "Acme");
    EXPECT_DOUBLE_EQ(query.FieldByName("twice").AsFloat(), 21.0);
}

TEST_F(PostgreSQLProvider, OpensAgainWithFreshRows) {
    TDbQuery query(&Connection);
    query.SetSQL("SELECT count(*) AS n FROM " + Table("types"));
    query.Open();
    EXPECT_EQ(query.FieldByName("n").AsInteger(), 2);
    query.Close();
    query.Open();
    EXPECT_EQ(query.RecordCount(), 1);
    EXPECT_EQ(query.FieldByName("n").AsInteger(), 2);
}

TEST_F(PostgreSQLProvider, PassesTheServersErrorTextsOn) {
    struct TCase {
        const char* sql;
        const char* expected;
    };
    const TCase cases[] = {
        {"SELECT * FROM no_such_table", "ERROR:  relation \"no_such_table\" does not exist\nLINE 1: SELECT * FROM no_such_table"},
        {"SELECT 1/0 AS x", "ERROR:  division by zero"},
        {"SELEC 1", "ERROR:  syntax error at or near \"SELEC\""},
        // The HINT line follows the message and the position, each on a line of its own.
        {"SELECT no_such_function(1) AS x",
         "ERROR:  function no_such_function(integer) does not exist\nLINE 1: SELECT no_such_function(1) AS x\n"
         "               ^\nHINT:  No function matches"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        TDbQuery query(&Connection);
        query.SetSQL(c.sql);
        const std::string text = ErrorText([&] { query.Open(); });
        EXPECT_EQ(text.rfind(c.expected, 0), 0u) << text;
        EXPECT_NE(text.back(), '\n');
    }
}

TEST_F(PostgreSQLProvider, RaisesTheConnectionErrorsOfLibpq) {
    struct TCase {
        const char* what;
        std::string user;
        int port;
        std::string database;
        const char* expected;
    };
    const TCase cases[] = {
        {"unknown role", "no_such_role", PgServer().Port, PgServer().Database, "role \"no_such_role\" does not exist"},
        {"unknown database", PgServer().User, PgServer().Port, "no_such_db", "database \"no_such_db\" does not exist"},
        {"closed port", PgServer().User, ClosedPort(), PgServer().Database, "Connection refused"},
        {"port 0 is 5432", PgServer().User, 0, PgServer().Database, "port 5432 failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Connection.Close();
        Connection.SetUsername(c.user);
        Connection.SetPort(c.port);
        Connection.SetDatabase(c.database);
        const std::string text = ErrorText([&] { Connection.Open(); });
        EXPECT_NE(text.find(c.expected), std::string::npos) << text;
        EXPECT_NE(text.back(), '\n');
        EXPECT_FALSE(Connection.Connected());
    }
}
