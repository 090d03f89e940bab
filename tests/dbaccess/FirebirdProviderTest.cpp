#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "dbaccess/DbConnection.h"
#include "dbaccess/DbQuery.h"
#include "dbaccess/providers/FbAttachment.h"
#include "platform/DateTime.h"
#include "platform/Exception.h"
#include "platform/TextUtils.h"

using namespace iqo;

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The private test server, as scripts/test-servers describes it.
struct TFbServer {
    std::string Server = Env("IQO_FB_SERVER");
    std::string User = Env("IQO_FB_USER");
    std::string Password = Env("IQO_FB_PASSWORD");
    std::string Folder = Env("IQO_FB_DIR");
    bool Known() const { return !Server.empty() && !User.empty() && !Folder.empty(); }
};

std::string SqlQuoted(const std::string& text) { return "'" + ReplaceAll(text, "'", "''") + "'"; }

// The text blob of the first TYPES row: 5 UTF-8 bytes doubled 15 times, 163840 bytes, read in
// several segments.
std::string LongMemo() {
    std::string text = "ab\xE2\x82\xAC";
    for (int i = 0; i < 15; ++i) text += text;
    return text;
}

}  // namespace

// One database for the test program, made with isql-fb at the start and dropped at the end.
class FirebirdProvider : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!Server().Known()) return;
        std::random_device random;
        Database() = Server().Folder + "/iqo-fb-test-" + std::to_string(getpid()) + "-" + std::to_string(random()) + ".fdb";
        std::string script = "SET NAMES UTF8;\nCREATE DATABASE " + SqlQuoted(Server().Server + ":" + Database()) +
                             " USER " + SqlQuoted(Server().User) + " PASSWORD " + SqlQuoted(Server().Password) +
                             " DEFAULT CHARACTER SET UTF8;\n" + kSchema;
        for (int i = 0; i < 15; ++i) script += "UPDATE TYPES SET MT = MT || MT WHERE ID = 1;\n";
        script += "COMMIT;\n";
        std::string output;
        Created() = RunIsql(script, output);
        if (!Created()) ADD_FAILURE() << "isql-fb could not create the test database:\n" << output;
    }

    // Also after a script that failed half-way, once the database exists.
    static void TearDownTestSuite() {
        if (Database().empty()) return;
        std::string output;
        if (!RunIsql("CONNECT " + SqlQuoted(Server().Server + ":" + Database()) + " USER " + SqlQuoted(Server().User) +
                         " PASSWORD " + SqlQuoted(Server().Password) + ";\nDROP DATABASE;\n",
                     output) &&
            Created())
            ADD_FAILURE() << "isql-fb could not drop the test database:\n" << output;
    }

    void SetUp() override {
        ASSERT_TRUE(Server().Known()) << "IQO_FB_SERVER, IQO_FB_USER, IQO_FB_PASSWORD and IQO_FB_DIR are not set: "
                                         "run scripts/test-servers start and eval \"$(scripts/test-servers env)\"";
        ASSERT_TRUE(Created()) << "isql-fb could not create the test database " << Database();
    }

    static const TFbServer& Server() {
        static const TFbServer server;
        return server;
    }
    static std::string& Database() {
        static std::string database;
        return database;
    }
    static bool& Created() {
        static bool created = false;
        return created;
    }

    static bool RunIsql(const std::string& script, std::string& output) {
        TTempFolder folder;
        WriteBytes(folder.File("script.sql"), script);
        const std::string command = "isql-fb -q -b -i '" + folder.File("script.sql") + "' > '" +
                                    folder.File("out.txt") + "' 2>&1";
        const bool ok = std::system(command.c_str()) == 0;
        output = ReadBytes(folder.File("out.txt"));
        return ok;
    }

    // A connection to the test database, configured the way the worker configures one.
    std::unique_ptr<TDbConnection> Connection(const std::string& provider = "Interbase") const {
        auto c = std::make_unique<TDbConnection>();
        c->SetLoginPrompt(false);
        c->SetProviderName(provider);
        c->SetServer(Server().Server);
        c->SetUsername(Server().User);
        c->SetPassword(Server().Password);
        c->SetDatabase(Database());
        return c;
    }

    // Tables and procedures first: a table that another one references must not be in use.
    static constexpr const char* kSchema = R"SQL(
CREATE TABLE TYPES (
  ID INTEGER NOT NULL PRIMARY KEY, SI SMALLINT, BI BIGINT, FL FLOAT, DP DOUBLE PRECISION,
  N92 NUMERIC(9,2), D184 DECIMAL(18,4), N41 NUMERIC(4,1), N150 NUMERIC(15,0),
  C5 CHAR(5), V20 VARCHAR(20), V40 VARCHAR(40), DT DATE, TM TIME, TS TIMESTAMP, B BOOLEAN,
  MT BLOB SUB_TYPE TEXT, MB BLOB, CO CHAR(4) CHARACTER SET OCTETS, VO VARCHAR(8) CHARACTER SET OCTETS,
  VOL VARCHAR(40) CHARACTER SET OCTETS, NN INTEGER NOT NULL, IDN INTEGER GENERATED BY DEFAULT AS IDENTITY);
CREATE TABLE CUSTOMER (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40), CREATED TIMESTAMP);
CREATE TABLE ORDERS (ID INTEGER NOT NULL PRIMARY KEY, CUSTOMER_ID INTEGER NOT NULL REFERENCES CUSTOMER,
  AMOUNT NUMERIC(15,2));
SET TERM ^;
CREATE PROCEDURE ADD_TWO (A INTEGER, B INTEGER) RETURNS (S INTEGER) AS BEGIN S = A + B; END^
CREATE PROCEDURE COUNT_TO (N INTEGER) RETURNS (I INTEGER) AS
BEGIN I = 1; WHILE (I <= N) DO BEGIN SUSPEND; I = I + 1; END END^
SET TERM ;^
COMMIT;
INSERT INTO TYPES (ID, SI, BI, FL, DP, N92, D184, N41, N150, C5, V20, V40, DT, TM, TS, B, MT, MB, CO, VO, VOL, NN)
  VALUES (1, -32768, 9007199254740993, 0.1, -1234.375, 1234.56, -12345678901234.5678, -123.4, 123456789012345,
  'äb', 'hello wörld', 'Grüße aus Köln, 40 Zeichen lang: ééééééé', '2024-02-13', '14:05:09.5',
  '2024-02-13 14:05:09', TRUE, 'ab€', x'00FF10', x'0102', x'FF00', x'000102', 7);
INSERT INTO TYPES (ID, NN) VALUES (2, 8);
INSERT INTO TYPES (ID, NN, TS, B, C5, V20, MT) VALUES (3, 9, '1899-12-29 06:00:00', FALSE, '', '', '');
INSERT INTO CUSTOMER VALUES (1, 'Smith & Sons', '2024-02-13 14:05:09');
INSERT INTO CUSTOMER VALUES (2, NULL, '2024-03-01 08:00:00');
INSERT INTO CUSTOMER VALUES (3, 'Jones', NULL);
INSERT INTO ORDERS VALUES (10, 1, 99.95);
INSERT INTO ORDERS VALUES (11, 1, 5);
INSERT INTO ORDERS VALUES (12, 2, NULL);
)SQL";
};

namespace {

// What a test expects of one column descriptor.
struct TExpectedColumn {
    std::string Name;
    TFieldType DataType;
    uint16_t Length;
    uint16_t Scale;
    int32_t Size;
    bool Fixed;
    bool Required;
    bool ReadOnly;
    bool IsKey;
    bool IsAutoIncrement;
    std::string TableName;
    std::string ActualName;
};

void ExpectColumns(const TDataSet& data, const std::vector<TExpectedColumn>& expected) {
    ASSERT_EQ(data.FieldCount(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const TColumnDescriptor& c = data.Columns()[i];
        const TExpectedColumn& e = expected[i];
        SCOPED_TRACE("column " + std::to_string(i + 1) + " " + e.Name);
        EXPECT_EQ(c.Name, e.Name);
        EXPECT_EQ(c.FieldNo, i + 1);
        EXPECT_STREQ(FieldTypeName(c.DataType), FieldTypeName(e.DataType));
        EXPECT_EQ(c.Length, e.Length);
        EXPECT_EQ(c.Scale, e.Scale);
        EXPECT_EQ(c.Size, e.Size);
        EXPECT_EQ(c.Fixed, e.Fixed);
        EXPECT_EQ(c.Required, e.Required);
        EXPECT_EQ(c.ReadOnly, e.ReadOnly);
        EXPECT_EQ(c.IsKey, e.IsKey);
        EXPECT_EQ(c.IsAutoIncrement, e.IsAutoIncrement);
        EXPECT_EQ(c.TableName, e.TableName);
        EXPECT_EQ(c.ActualName, e.ActualName);
    }
}

using F = TFieldType;

}  // namespace

TEST_F(FirebirdProvider, DescribesEveryColumnType) {
    auto connection = Connection();
    TDbQuery query(connection.get());
    query.SetSQL("SELECT * FROM TYPES ORDER BY ID");
    query.Open();
    EXPECT_EQ(query.ProviderKind(), TProviderKind::InterBase);
    // Name, type, Length, Scale, Size, Fixed, Required, ReadOnly, IsKey, IsAutoIncrement, table, column.
    auto base = [](std::string name, F type, uint16_t length, uint16_t scale, int32_t size, bool fixed = false,
                   bool required = false, bool key = false, bool identity = false) {
        return TExpectedColumn{name, type, length, scale, size, fixed, required, false, key, identity, "TYPES", name};
    };
    ExpectColumns(query, {
        base("ID", F::Int32, 0, 0, 4, false, true, true),
        base("SI", F::Int16, 0, 0, 2),
        base("BI", F::Int64, 0, 0, 8),
        base("FL", F::Single, 0, 0, 4),
        base("DP", F::Double, 0, 0, 8),
        base("N92", F::Double, 9, 2, 8),
        base("D184", F::Double, 18, 4, 8),
        base("N41", F::Double, 4, 1, 8),
        base("N150", F::Double, 15, 0, 8),
        base("C5", F::AnsiString, 5, 0, 8, true),
        base("V20", F::AnsiString, 20, 0, 23),
        base("V40", F::AnsiStringLong, 40, 0, 6),
        base("DT", F::Date, 0, 0, 8),
        base("TM", F::Time, 0, 0, 8),
        base("TS", F::DateTime, 0, 0, 8),
        base("B", F::Boolean, 0, 0, 2),
        base("MT", F::Memo, 0, 0, 4),
        base("MB", F::Blob, 0, 0, 4),
        base("CO", F::Bytes, 4, 0, 6, true),
        base("VO", F::VarBytes, 8, 0, 11),
        base("VOL", F::VarBytesLong, 40, 0, 6),
        base("NN", F::Int32, 0, 0, 4, false, true),
        // Firebird makes an identity column NOT NULL.
        base("IDN", F::Int32, 0, 0, 4, false, true, false, true),
    });
}

TEST_F(FirebirdProvider, ReadsEveryColumnType) {
    auto connection = Connection();
    TDbQuery query(connection.get());
    query.SetSQL("SELECT * FROM TYPES ORDER BY ID");
    query.Open();
    ASSERT_EQ(query.RecordCount(), 3);
    auto col = [&](const char* name) { return static_cast<size_t>(query.FindField(name)); };

    query.First();
    EXPECT_EQ(query.AsInteger(col("ID")), 1);
    EXPECT_EQ(query.AsInteger(col("SI")), -32768);
    EXPECT_EQ(query.AsInteger(col("BI")), 9007199254740993);
    EXPECT_EQ(query.AsFloat(col("FL")), static_cast<double>(0.1f));
    EXPECT_EQ(query.AsFloat(col("DP")), -1234.375);
    EXPECT_EQ(query.AsFloat(col("N92")), 1234.56);
    EXPECT_DOUBLE_EQ(query.AsFloat(col("D184")), -12345678901234.5678);
    EXPECT_EQ(query.AsFloat(col("N41")), -123.4);
    EXPECT_EQ(query.AsFloat(col("N150")), 123456789012345.0);
    // CHAR(5) keeps its padding to five characters, however many bytes they take.
    EXPECT_EQ(query.AsBytes(col("C5")), "äb   ");
    EXPECT_EQ(query.AsBytes(col("V20")), "hello wörld");
    EXPECT_EQ(query.AsBytes(col("V40")), "Grüße aus Köln, 40 Zeichen lang: ééééééé");
    EXPECT_EQ(query.AsFloat(col("DT")), EncodeDate(2024, 2, 13));
    EXPECT_EQ(query.AsFloat(col("TM")), EncodeTime(14, 5, 9, 500));
    EXPECT_DOUBLE_EQ(query.AsFloat(col("TS")), EncodeDateTime(2024, 2, 13, 14, 5, 9, 0));
    EXPECT_EQ(query.AsInteger(col("B")), 1);
    EXPECT_EQ(query.AsBytes(col("MT")), LongMemo());
    EXPECT_EQ(query.AsBytes(col("MB")), std::string("\x00\xFF\x10", 3));
    EXPECT_EQ(query.AsBytes(col("CO")), std::string("\x01\x02\x00\x00", 4));
    EXPECT_EQ(query.AsBytes(col("VO")), std::string("\xFF\x00", 2));
    EXPECT_EQ(query.AsBytes(col("VOL")), std::string("\x00\x01\x02", 3));
    EXPECT_EQ(query.AsInteger(col("NN")), 7);
    EXPECT_EQ(query.AsInteger(col("IDN")), 1);

    query.Next();
    for (const char* name : {"SI", "BI", "FL", "DP", "N92", "D184", "N41", "N150", "C5", "V20", "V40", "DT", "TM",
                             "TS", "B", "MT", "MB", "CO", "VO", "VOL"})
        EXPECT_TRUE(query.IsNull(col(name))) << name;
    EXPECT_FALSE(query.IsNull(col("ID")));
    EXPECT_FALSE(query.IsNull(col("IDN")));

    query.Next();
    // Before 30 December 1899 the serial holds the date in its integer part, the time in the
    // magnitude of its fraction.
    EXPECT_EQ(query.AsFloat(col("TS")), -1.25);
    EXPECT_EQ(query.AsInteger(col("B")), 0);
    EXPECT_EQ(query.AsBytes(col("C5")), "     ");
    EXPECT_FALSE(query.IsNull(col("V20")));
    EXPECT_EQ(query.AsBytes(col("V20")), "");
    EXPECT_FALSE(query.IsNull(col("MT")));
    EXPECT_EQ(query.AsBytes(col("MT")), "");
}

// More columns than the first description holds are described again, all of them.
TEST_F(FirebirdProvider, ReadsAWideResult) {
    auto connection = Connection();
    TDbQuery query(connection.get());
    query.SetSQL("SELECT A.*, B.* FROM TYPES A JOIN TYPES B ON B.ID = A.ID WHERE A.ID = 1");
    query.Open();
    ASSERT_EQ(query.FieldCount(), 46u);
    EXPECT_EQ(query.Columns()[23].Name, "ID_1");
    EXPECT_EQ(query.AsInteger(23), 1);
    EXPECT_EQ(query.Columns()[45].Name, "IDN_1");
    EXPECT_EQ(query.AsInteger(45), 1);
    EXPECT_EQ(query.AsBytes(static_cast<size_t>(query.FindField("V40_1"))), "Grüße aus Köln, 40 Zeichen lang: ééééééé");
}

TEST_F(FirebirdProvider, ExpressionsHaveNoOrigin) {
    auto connection = Connection();
    TDbQuery query(connection.get());
    query.SetSQL("SELECT ID + 1, CAST(N92 AS NUMERIC(9,2)) AS C92, CAST(BI AS NUMERIC(15,3)), 'abc', "
                 "CAST(NULL AS INTEGER) AS NOTHING, COUNT(*) OVER () AS TOTAL FROM TYPES WHERE ID = 1");
    query.Open();
    auto expression = [](std::string name, F type, uint16_t length, uint16_t scale, int32_t size, bool fixed = false) {
        return TExpectedColumn{name, type, length, scale, size, fixed, false, true, false, false, "", ""};
    };
    ExpectColumns(query, {
        expression("ADD", F::Int64, 0, 0, 8),
        expression("C92", F::Double, 9, 2, 8),
        expression("CAST", F::Double, 18, 3, 8),
        expression("CONSTANT", F::AnsiString, 3, 0, 6, true),
        expression("NOTHING", F::Int32, 0, 0, 4),
        expression("TOTAL", F::Int64, 0, 0, 8),
    });
    EXPECT_EQ(query.AsInteger(0), 2);
    EXPECT_EQ(query.AsFloat(1), 1234.56);
    EXPECT_DOUBLE_EQ(query.AsFloat(2), 9007199254740993.0);
    EXPECT_EQ(query.AsBytes(3), "abc");
    EXPECT_TRUE(query.IsNull(4));
    EXPECT_EQ(query.AsInteger(5), 1);
}

TEST_F(FirebirdProvider, JoinTellsTablesKeysAndTheUpdatingTable) {
    auto connection = Connection();
    TDbQuery query(connection.get());
    query.SetSQL("SELECT O.ID, O.AMOUNT, C.NAME AS \"Customer Name\", C.ID, O.ID * 2 AS TWICE "
                 "FROM ORDERS O JOIN CUSTOMER C ON C.ID = O.CUSTOMER_ID ORDER BY O.ID");
    query.Open();
    ExpectColumns(query, {
        {"ID", F::Int32, 0, 0, 4, false, true, false, true, false, "ORDERS", "ID"},
        {"AMOUNT", F::Double, 15, 2, 8, false, false, false, false, false, "ORDERS", "AMOUNT"},
        {"Customer Name", F::AnsiStringLong, 40, 0, 6, false, false, true, false, false, "CUSTOMER", "NAME"},
        {"ID_1", F::Int32, 0, 0, 4, false, true, true, true, false, "CUSTOMER", "ID"},
        {"TWICE", F::Int64, 0, 0, 8, false, false, true, false, false, "", ""},
    });
    ASSERT_EQ(query.RecordCount(), 3);
    EXPECT_EQ(query.AsFloat(1), 99.95);
    EXPECT_EQ(query.AsBytes(2), "Smith & Sons");

    // The side of an outer join that may be missing is not required, NOT NULL or not.
    TDbQuery outer(connection.get());
    outer.SetSQL("SELECT C.ID, O.ID AS ORDER_ID FROM CUSTOMER C LEFT JOIN ORDERS O ON O.CUSTOMER_ID = C.ID");
    outer.Open();
    ExpectColumns(outer, {
        {"ID", F::Int32, 0, 0, 4, false, true, false, true, false, "CUSTOMER", "ID"},
        {"ORDER_ID", F::Int32, 0, 0, 4, false, false, true, true, false, "ORDERS", "ID"},
    });
}

TEST_F(FirebirdProvider, WorkedExampleCustomer) {
    auto connection = Connection();
    TDbQuery query(connection.get());
    query.SetSQL("SELECT ID, NAME AS \"Customer Name\", CREATED FROM CUSTOMER WHERE ID <= 2 ORDER BY ID");
    query.Prepare();
    ExpectColumns(query, {
        {"ID", F::Int32, 0, 0, 4, false, true, false, true, false, "CUSTOMER", "ID"},
        {"Customer Name", F::AnsiStringLong, 40, 0, 6, false, false, false, false, false, "CUSTOMER", "NAME"},
        {"CREATED", F::DateTime, 0, 0, 8, false, false, false, false, false, "CUSTOMER", "CREATED"},
    });
    query.Open();
    ASSERT_EQ(query.RecordCount(), 2);
    EXPECT_EQ(query.FieldByName("id").AsInteger(), 1);
    EXPECT_EQ(query.FieldByName("customer name").AsString(), "Smith & Sons");
    EXPECT_DOUBLE_EQ(query.AsFloat(2), EncodeDateTime(2024, 2, 13, 14, 5, 9, 0));
    query.Next();
    EXPECT_EQ(query.AsInteger(0), 2);
    EXPECT_TRUE(query.IsNull(1));
    EXPECT_DOUBLE_EQ(query.AsFloat(2), EncodeDateTime(2024, 3, 1, 8, 0, 0, 0));
    query.Next();
    EXPECT_TRUE(query.Eof());
}

TEST_F(FirebirdProvider, CountsRowsAndReturnsToARememberedRow) {
    auto connection = Connection("interbase");
    TDbQuery query(connection.get());
    query.SetSQL("SELECT ID, NAME FROM CUSTOMER ORDER BY ID");
    query.Prepare();
    // Each run reads in a transaction of its own, so the same statement runs again after Close.
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE("run " + std::to_string(run + 1));
        query.Open();
        EXPECT_EQ(query.RecordCount(), 3);
        query.Next();
        const TRowId second = query.Bookmark();
        query.Next();
        query.Next();
        EXPECT_TRUE(query.Eof());
        EXPECT_TRUE(query.GotoBookmark(second));
        EXPECT_EQ(query.AsInteger(0), 2);
        query.Close();
    }
}

TEST_F(FirebirdProvider, ProceduresYieldRows) {
    auto connection = Connection();
    TDbQuery executed(connection.get());
    executed.SetSQL("EXECUTE PROCEDURE ADD_TWO(2, 3)");
    executed.Open();
    ASSERT_EQ(executed.RecordCount(), 1);
    EXPECT_EQ(executed.Columns()[0].Name, "S");
    EXPECT_EQ(executed.AsInteger(0), 5);

    // A selectable procedure is no table: its columns have no origin.
    TDbQuery selected(connection.get());
    selected.SetSQL("SELECT I FROM COUNT_TO(4)");
    selected.Open();
    EXPECT_EQ(selected.RecordCount(), 4);
    ExpectColumns(selected, {{"I", F::Int32, 0, 0, 4, false, false, true, false, false, "", ""}});
}

TEST_F(FirebirdProvider, StatementErrorsCarryTheServersText) {
    struct Case {
        const char* sql;
        std::string message;
    };
    const Case cases[] = {
        {"SELEC 1 FROM RDB$DATABASE", "Dynamic SQL Error\nSQL error code = -104\nToken unknown - line 1, column 1\nSELEC"},
        {"SELECT NOPE FROM CUSTOMER",
         "Dynamic SQL Error\nSQL error code = -206\nColumn unknown\nNOPE\nAt line 1, column 8"},
        {"CREATE TABLE NEVER_MADE (A INTEGER)", "SQL statement doesn't return rows"},
        {"SELECT 1 / (ID - 1) FROM CUSTOMER ORDER BY ID",
         "arithmetic exception, numeric overflow, or string truncation\nInteger divide by zero.  The code attempted "
         "to divide an integer value by an integer divisor of zero."},
    };
    auto connection = Connection();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        TDbQuery query(connection.get());
        query.SetSQL(c.sql);
        try {
            query.Open();
            ADD_FAILURE() << "no error";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
        EXPECT_FALSE(query.Active());
        // The connection stays usable.
        TDbQuery next(connection.get());
        next.SetSQL("SELECT COUNT(*) FROM CUSTOMER");
        next.Open();
        EXPECT_EQ(next.AsInteger(0), 3);
    }
    // A statement without columns is prepared, never run.
    TDbQuery check(connection.get());
    check.SetSQL("SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'NEVER_MADE'");
    check.Open();
    EXPECT_EQ(check.AsInteger(0), 0);
}

TEST_F(FirebirdProvider, ConnectErrorsCarryTheServersOrTheLoadersText) {
    struct Case {
        const char* what;
        std::string server;
        int port;
        std::string database;
        std::string password;
        std::string library;   // empty: the default
        std::string message;   // the start of the text
        std::string contains;  // also in the text
    };
    const TFbServer& s = Server();
    const std::string host = s.Server.substr(0, s.Server.find('/'));
    const std::string port = s.Server.substr(s.Server.find('/') + 1);
    const std::string missing = s.Folder + "/no-such-database.fdb";
    const std::string sqlite = "/usr/lib/x86_64-linux-gnu/libsqlite3.so.0";
    const Case cases[] = {
        {"wrong password", s.Server, 0, Database(), s.Password + "x", "",
         "Your user name and password are not defined. Ask your database administrator to set up a Firebird login.",
         ""},
        {"server down", "127.0.0.1/3059", 0, Database(), s.Password, "",
         "Unable to complete network request to host \"127.0.0.1\".\nFailed to establish a connection.", ""},
        {"port added to the server", host, 3059, Database(), s.Password, "",
         "Unable to complete network request to host \"127.0.0.1\".", ""},
        {"port of the server's own", s.Server, 3059, missing, s.Password, "",
         "I/O error during \"open\" operation for file \"" + missing + "\"\nError while trying to open file",
         "No such file or directory"},
        {"library missing", s.Server, 0, Database(), s.Password, "/nonexistent/libfbclient.so.2",
         "Cannot load the Firebird client library \"/nonexistent/libfbclient.so.2\": ", "No such file or directory"},
        {"not a Firebird library", s.Server, 0, Database(), s.Password, sqlite,
         "\"" + sqlite + "\" is not a Firebird client library: it has no entry point isc_attach_database", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TDbConnection connection;
        connection.SetLoginPrompt(false);
        connection.SetProviderName("InterBase");
        connection.SetServer(c.server);
        connection.SetPort(c.port);
        connection.SetDatabase(c.database);
        connection.SetUsername(s.User);
        connection.SetPassword(c.password);
        if (!c.library.empty()) connection.SpecificOptions().SetValue("ClientLibrary", c.library);
        try {
            connection.Open();
            ADD_FAILURE() << "opened";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message().rfind(c.message, 0), 0u) << e.Message();
            EXPECT_NE(e.Message().find(c.contains), std::string::npos) << e.Message();
            EXPECT_NE(e.Message().back(), '\n');
        }
        EXPECT_FALSE(connection.Connected());
    }

    // The port joins a server text that has none, and the library path is followed.
    TDbConnection connection;
    connection.SetProviderName("InterBase");
    connection.SetServer(host);
    connection.SetPort(std::stoi(port));
    connection.SetDatabase(Database());
    connection.SetUsername(s.User);
    connection.SetPassword(s.Password);
    connection.SpecificOptions().SetValue("ClientLibrary", "/usr/lib/x86_64-linux-gnu/libfbclient.so.2");
    EXPECT_NO_THROW(connection.Open());
    EXPECT_TRUE(connection.Connected());
}

// A connection that outlives main is closed after the client library's own exit handlers
// have torn the library down; closing it then must not call into the library. The holder is
// made before the library is loaded in the process, so its destructor runs after them.
TEST_F(FirebirdProvider, AConnectionClosedAtProcessExitEndsCleanly) {
    EXPECT_EXIT(
        {
            static TDbConnection held;
            held.SetProviderName("InterBase");
            held.SetServer(Server().Server);
            held.SetUsername(Server().User);
            held.SetPassword(Server().Password);
            held.SetDatabase(Database());
            held.Open();
            TDbQuery query(&held);
            query.SetSQL("SELECT COUNT(*) FROM CUSTOMER");
            query.Open();
            std::exit(query.AsInteger(0) == 3 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(FirebirdProvider, ProviderNamesThatOpenNothing) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "Provider is not defined"},
        {"Nope", "Nope is not a valid provider name"},
        {"MySQL", "Provider MySQL is not registered"},
    };
    for (const auto& [provider, message] : cases) {
        auto connection = Connection(provider);
        try {
            connection->Open();
            ADD_FAILURE() << provider;
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message().rfind(message, 0), 0u) << e.Message();
        }
    }
}

TEST(FirebirdConnectString, JoinsServerPortAndDatabase) {
    struct Case {
        std::string server;
        int port;
        std::string expected;
    };
    const Case cases[] = {
        {"", 0, "/data/crm.fdb"},
        {"", 3051, "/data/crm.fdb"},
        {"dbhost", 0, "dbhost:/data/crm.fdb"},
        {"dbhost", 3051, "dbhost/3051:/data/crm.fdb"},
        {"dbhost/3050", 3051, "dbhost/3050:/data/crm.fdb"},
        {" dbhost ", 0, "dbhost:/data/crm.fdb"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FirebirdConnectString(c.server, c.port, "/data/crm.fdb"), c.expected) << c.server << " " << c.port;
}
