#include <gtest/gtest.h>
#include <sqlite3.h>


#include <cstdlib>
#include <filesystem>
#include <string>

#include "ProviderTestSupport.h"
#include "TestSupport.h"
#include "dbaccess/DbConnection.h"
#include "dbaccess/DbQuery.h"
#include "dbaccess/SQLiteHandles.h"
#include "dbaccess/providers/OdbcConnectStrings.h"
#include "platform/DateTime.h"
#include "platform/Exception.h"
#include "platform/TextUtils.h"

using namespace iqo;
using namespace iqo::test;

namespace {

// Points the driver manager at a private odbc.ini for the lifetime of the object.
class TPrivateOdbcIni {
public:
    explicit TPrivateOdbcIni(const std::string& content) : FFile(FFolder.File("odbc.ini")) {
        WriteBytes(FFile, content);
        if (const char* old = std::getenv("ODBCINI")) FHad = true, FOld = old;
        setenv("ODBCINI", FFile.c_str(), 1);
    }
    ~TPrivateOdbcIni() {
        if (FHad) setenv("ODBCINI", FOld.c_str(), 1);
        else unsetenv("ODBCINI");
    }
    TPrivateOdbcIni(const TPrivateOdbcIni&) = delete;
    TPrivateOdbcIni& operator=(const TPrivateOdbcIni&) = delete;

private:
    TTempFolder FFolder;
    std::string FFile;
    bool FHad = false;
    std::string FOld;
};

void Configure(TDbConnection& connection, const char* provider, const std::string& server, const std::string& database,
               const std::string& user = "", const std::string& password = "") {
    connection.Close();
    connection.SetProviderName(provider);
    connection.SetServer(server);
    connection.SetDatabase(database);
    connection.SetUsername(user);
    connection.SetPassword(password);
}

constexpr const char* kSQLiteSchema = R"(
CREATE TABLE item (id INTEGER PRIMARY KEY AUTOINCREMENT, code VARCHAR(10) NOT NULL, name VARCHAR(60), qty SMALLINT,
  price DOUBLE, amount NUMERIC(10,2), made DATE, at TIMESTAMP, data BLOB);
INSERT INTO item (code, name, qty, price, amount, made, at, data)
  VALUES ('A1', 'grüße €', 7, 2.5, 12.25, '2024-02-29', '2024-02-29 13:14:15', x'00ff10');
INSERT INTO item (code) VALUES ('B2');
)";

}  // namespace

// The SQLite ODBC driver over a database file of its own.
class OdbcSQLite : public ::testing::Test {
protected:
    void SetUp() override {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(File.c_str(), &db), SQLITE_OK);
        TSQLiteDatabaseHandle handle(db);
        char* error = nullptr;
        ASSERT_EQ(sqlite3_exec(db, kSQLiteSchema, nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    }

    TTempFolder Folder;
    std::string File = Folder.File("items.db");
    TDbConnection Connection;
};

TEST_F(OdbcSQLite, DescribesAndReadsThroughAConnectionString) {
    Configure(Connection, "ODBC", "DRIVER={SQLite3};Database=" + File, "");
    TDbQuery query(&Connection);
    query.SetSQL("SELECT * FROM item ORDER BY id");
    query.Open();
    EXPECT_EQ(Connection.ProviderKind(), TProviderKind::ODBC);
    ASSERT_EQ(query.RecordCount(), 2);
    const TColumnCase cases[] = {
        {"id", TFieldType::Int32, 0, 0, 4, false, "1"},
        {"code", TFieldType::AnsiString, 10, 0, 13, false, "A1"},
        {"name", TFieldType::AnsiStringLong, 60, 0, 6, false, "grüße €"},
        {"qty", TFieldType::Int16, 0, 0, 2, false, "7"},
        {"price", TFieldType::Double, 0, 0, 8, false, "2.5"},
        // The driver reports NUMERIC as DOUBLE and a BLOB as BINARY(255) (values of any length).
        {"amount", TFieldType::Double, 0, 0, 8, false, "12.25"},
        {"made", TFieldType::Date, 0, 0, 8, false, SerialText(EncodeDate(2024, 2, 29))},
        {"at", TFieldType::DateTime, 0, 0, 8, false, SerialText(EncodeDateTime(2024, 2, 29, 13, 14, 15, 0))},
        {"data", TFieldType::Bytes, 255, 0, 257, true, std::string("\x00\xff\x10", 3)},
    };
    query.First();
    for (const auto& c : cases) ExpectColumn(query, c);
    query.Next();
    EXPECT_FALSE(query.IsNull(1));
    for (size_t i = 2; i < query.FieldCount(); ++i) EXPECT_TRUE(query.IsNull(i)) << query.Columns()[i].Name;
}

TEST_F(OdbcSQLite, GivesTheOriginAndFlags) {
    Configure(Connection, "ODBC", "DRIVER={SQLite3};Database=" + File, "");
    TDbQuery query(&Connection);
    query.SetSQL("SELECT id, code, name, qty * 2 AS twice FROM item");
    query.Open();
    const TFlagsCase cases[] = {
        // The rowid alias is not declared NOT NULL.
        {"id", "item", "id", false, true, true, false},
        {"code", "item", "code", true, false, false, false},
        {"name", "item", "name", false, false, false, false},
        {"twice", "", "", false, false, false, true},
    };
    for (const auto& c : cases) ExpectFlags(query, c);
}

TEST_F(OdbcSQLite, ServerNamesADsnOfAPrivateOdbcIni) {
    TPrivateOdbcIni ini("[iqoitems]\nDriver=SQLite3\nDatabase=" + File + "\n");
    struct TCase {
        const char* what;
        std::string server, database;
    };
    // The second is what a widget with a blank server becomes: Server takes the Database value.
    const TCase cases[] = {{"DSN in Server", "iqoitems", ""}, {"DSN in Server and Database", "iqoitems", "iqoitems"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Configure(Connection, "odbc", c.server, c.database);
        TDbQuery query(&Connection);
        query.SetSQL("SELECT code FROM item ORDER BY id");
        query.Open();
        EXPECT_EQ(query.FieldByName("code").AsString(), "A1");
    }
}

TEST_F(OdbcSQLite, PassesTheDiagnosticsOn) {
    Configure(Connection, "ODBC", "DRIVER={SQLite3};Database=" + File, "");
    TDbQuery query(&Connection);
    query.SetSQL("SELECT * FROM no_such_table");
    const std::string text = ErrorText([&] { query.Open(); });
    EXPECT_NE(text.find("no such table: no_such_table"), std::string::npos) << text;
}

TEST(OdbcDriverManager, RaisesItsOwnTextsForBadConnections) {
    TPrivateOdbcIni ini("");
    struct TCase {
        const char* what;
        const char* provider;
        std::string server, database;
        const char* expected;
    };
    const TCase cases[] = {
        {"unknown DSN", "ODBC", "no_such_dsn", "", "Data source name not found"},
        {"missing driver", "ODBC", "DRIVER={No Such Driver};Database=x", "", "Can't open lib 'No Such Driver'"},
        {"SQL Server on a closed port", "SQL Server", "127.0.0.1", "master",
         "Unable to connect: Adaptive Server is unavailable or does not exist"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TDbConnection connection;
        Configure(connection, c.provider, c.server, c.database, "sa", "secret");
        if (std::string(c.provider) == "SQL Server") connection.SetPort(ClosedPort());
        const std::string text = ErrorText([&] { connection.Open(); });
        EXPECT_NE(text.find(c.expected), std::string::npos) << text;
        EXPECT_FALSE(text.empty() || text.back() == '\n') << text;
        EXPECT_FALSE(connection.Connected());
    }
}

TEST(OdbcAccess, NamesADatabaseFileItCannotOpen) {
    TTempFolder folder;
    const std::string missing = folder.File("missing.mdb");
    const std::string notADatabase = folder.File("text.mdb");
    WriteBytes(notADatabase, "not a database");
    TDbConnection connection;
    Configure(connection, "Access", "", missing);
    EXPECT_EQ(ErrorText([&] { connection.Open(); }), "The Access database file \"" + missing + "\" does not exist");
    Configure(connection, "Access", "", notADatabase);
    EXPECT_EQ(ErrorText([&] { connection.Open(); }),
              "Opening the Access database file \"" + notADatabase + "\" failed and the ODBC driver gave no reason");
    EXPECT_FALSE(connection.Connected());
}

namespace {

constexpr const char* kPgSchemaScript = R"(
CREATE TABLE %S.customer (cid integer GENERATED ALWAYS AS IDENTITY PRIMARY KEY, name varchar(50) NOT NULL, note text);
CREATE TABLE %S.orders (oid serial PRIMARY KEY, cid integer NOT NULL REFERENCES %S.customer, amount numeric(10,2),
  placed timestamp, day date, u uuid, data bytea, big bigint, ratio real);
INSERT INTO %S.customer (name, note) VALUES ('Grüße €', NULL);
INSERT INTO %S.orders (cid, amount, placed, day, u, data, big, ratio)
  VALUES (1, 10.5, '2024-02-29 13:14:15.25', '2024-02-29', 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11', '\x00ff',
          -9000000000000000000, 0.5);
)";

}  // namespace

// psqlODBC against the test cluster, in a schema of the test program's own.
class OdbcPostgreSQL : public TPgSchemaFixture<OdbcPostgreSQL> {
public:
    static constexpr const char* kPrefix = "iqo_odbc_";
    static constexpr const char* kScript = kPgSchemaScript;

protected:
    static std::string DriverAttributes() {
        return "Server=" + PgServer().Host + ";Port=" + std::to_string(PgServer().Port) + ";CommLog=0";
    }
    static std::string ConnectString() {
        return "DRIVER={PostgreSQL Unicode};" + DriverAttributes() + ";Database=" + PgServer().Database;
    }
    std::string Join() const {
        return "SELECT o.oid, o.cid, c.name, c.note, o.amount, o.placed, o.day, o.u, o.data, o.big, o.ratio, o.cid + 1 AS next"
               " FROM " + Schema() + ".orders o JOIN " + Schema() + ".customer c ON c.cid = o.cid";
    }

    TDbConnection Connection;
};

TEST_F(OdbcPostgreSQL, DescribesAndReadsAJoin) {
    // Username and Password are added to the connection string as UID and PWD.
    Configure(Connection, "ODBC", ConnectString(), "", PgServer().User, PgServer().Password);
    TDbQuery query(&Connection);
    query.SetSQL(Join());
    query.Open();
    ASSERT_EQ(query.RecordCount(), 1);
    const TColumnCase cases[] = {
        {"oid", TFieldType::Int32, 0, 0, 4, false, "1"},
        {"name", TFieldType::WideStringLong, 50, 0, 6, false, "Grüße €"},
        {"amount", TFieldType::Double, 10, 2, 8, false, "10.5"},
        {"placed", TFieldType::DateTime, 0, 0, 8, false, SerialText(EncodeDateTime(2024, 2, 29, 13, 14, 15, 250))},
        {"day", TFieldType::Date, 0, 0, 8, false, SerialText(EncodeDate(2024, 2, 29))},
        {"u", TFieldType::Guid, 38, 0, 4, false, "{A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11}"},
        {"data", TFieldType::Blob, 0, 0, 4, false, std::string("\x00\xff", 2)},
        {"big", TFieldType::Int64, 0, 0, 8, false, "-9000000000000000000"},
        {"ratio", TFieldType::Single, 0, 0, 4, false, "0.5"},
    };
    query.First();
    for (const auto& c : cases) ExpectColumn(query, c);
    EXPECT_TRUE(query.FieldByName("note").IsNull());
    const TFlagsCase flags[] = {
        {"oid", "orders", "oid", true, true, true, false},
        {"cid", "orders", "cid", true, false, false, false},
        {"name", "customer", "name", true, false, false, true},
        {"note", "customer", "note", false, false, false, true},
        {"next", "", "", false, false, false, true},
    };
    for (const auto& c : flags) ExpectFlags(query, c);
}

TEST_F(OdbcPostgreSQL, ServerNamesADsnOrAWholeConnectionString) {
    // psqlODBC reads the host of a DSN as Servername.
    TPrivateOdbcIni ini("[iqopg]\nDriver=PostgreSQL Unicode\nServername=" + PgServer().Host +
                        "\nPort=" + std::to_string(PgServer().Port) + "\nCommLog=0\n");
    struct TCase {
        const char* what;
        std::string server, database;
    };
    const TCase cases[] = {
        {"DSN, Database added", "iqopg", PgServer().Database},
        {"connection string, Database added", "DRIVER={PostgreSQL Unicode};" + DriverAttributes(), PgServer().Database},
        {"connection string with its own Database", ConnectString(), "no_such_db"},
        // A widget with a blank server: Server takes the Database value, a whole connection string.
        {"blank server rule", ConnectString(), ConnectString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Configure(Connection, "ODBC", c.server, c.database, PgServer().User, PgServer().Password);
        TDbQuery query(&Connection);
        query.SetSQL("SELECT name FROM " + Schema() + ".customer");
        query.Open();
        EXPECT_EQ(query.FieldByName("name").AsString(), "Grüße €");
    }
}

TEST_F(OdbcPostgreSQL, PassesTheDriversDiagnosticsOn) {
    struct TCase {
        const char* what;
        std::string database, user, sql;
        const char* expected;
    };
    const TCase cases[] = {
        {"unknown role", PgServer().Database, "no_such_role", "", "role \"no_such_role\" does not exist"},
        {"SQL error", PgServer().Database, PgServer().User, "SELECT * FROM no_such_table",
         "relation \"no_such_table\" does not exist"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Configure(Connection, "ODBC", "DRIVER={PostgreSQL Unicode};" + DriverAttributes(), c.database, c.user, "");
        TDbQuery query(&Connection);
        query.SetSQL(c.sql);
        const std::string text = ErrorText([&] { query.Open(); });
        EXPECT_NE(text.find(c.expected), std::string::npos) << text;
        EXPECT_NE(text.back(), '\n');
    }
}
