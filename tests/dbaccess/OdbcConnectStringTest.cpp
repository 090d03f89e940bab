#include <gtest/gtest.h>

#include <string>

#include "dbaccess/providers/OdbcConnectStrings.h"

using namespace iqo;

namespace {

TConnectParams Params(std::string server, int port, std::string database, std::string user, std::string password) {
    TConnectParams p;
    p.Server = std::move(server);
    p.Port = port;
    p.Database = std::move(database);
    p.Username = std::move(user);
    p.Password = std::move(password);
    return p;
}

struct TCase {
    const char* what;
    TConnectParams params;
    const char* expected;
};

}  // namespace

TEST(OdbcConnectString, BuildsTheSqlServerStringForFreeTDS) {
    const TCase cases[] = {
        {"port 0 is 1433", Params("db.example", 0, "Sales", "sa", "pw"),
         "DRIVER={FreeTDS};Server=db.example;Port=1433;Database=Sales;UID=sa;PWD=pw;TDS_Version=7.4;ClientCharset=UTF-8"},
        {"own port", Params("10.0.0.5", 1533, "Sales", "sa", "pw"),
         "DRIVER={FreeTDS};Server=10.0.0.5;Port=1533;Database=Sales;UID=sa;PWD=pw;TDS_Version=7.4;ClientCharset=UTF-8"},
        {"named instance: its port from the browser", Params("host\\SQLEXPRESS", 0, "", "sa", ""),
         "DRIVER={FreeTDS};Server=host\\SQLEXPRESS;UID=sa;PWD=;TDS_Version=7.4;ClientCharset=UTF-8"},
        {"password with ; and }", Params(" db ", 0, "Sales", "sa", "a;b}c"),
         "DRIVER={FreeTDS};Server=db;Port=1433;Database=Sales;UID=sa;PWD={a;b}}c};TDS_Version=7.4;ClientCharset=UTF-8"},
    };
    for (const auto& c : cases) EXPECT_EQ(SqlServerConnectString(c.params), c.expected) << c.what;
}

TEST(OdbcConnectString, TakesADsnOrAWholeConnectionStringForOdbc) {
    const TCase cases[] = {
        {"DSN", Params("Pastel", 0, "", "", ""), "DSN=Pastel"},
        {"DSN with database and credentials", Params("Pastel", 0, "Co1", "u", "p"), "DSN=Pastel;Database=Co1;UID=u;PWD=p"},
        {"blank-server rule: the DSN repeats in Database", Params("Pastel", 0, "Pastel", "u", ""), "DSN=Pastel;UID=u"},
        {"connection string", Params("DRIVER={SQLite3};Database=/d/x.db", 0, "", "", ""), "DRIVER={SQLite3};Database=/d/x.db"},
        {"connection string, credentials added", Params("DRIVER={PostgreSQL Unicode};Server=h;", 0, "crm", "u", "p"),
         "DRIVER={PostgreSQL Unicode};Server=h;Database=crm;UID=u;PWD=p"},
        {"connection string keeps its own keys", Params("Driver={X};database=a;Uid=me;Password=s", 0, "b", "u", "p"),
         "Driver={X};database=a;Uid=me;Password=s"},
        {"a key inside a braced value is not a key", Params("DRIVER={X};Opt={UID=x;PWD=y}", 0, "", "u", "p"),
         "DRIVER={X};Opt={UID=x;PWD=y};UID=u;PWD=p"},
        {"blank-server rule: the string repeats in Database",
         Params("DRIVER={SQLite3};Database=/d/x.db", 0, "DRIVER={SQLite3};Database=/d/x.db", "", ""),
         "DRIVER={SQLite3};Database=/d/x.db"},
    };
    for (const auto& c : cases) EXPECT_EQ(OdbcConnectString(c.params), c.expected) << c.what;
}

TEST(OdbcConnectString, NamesTheAccessFile) {
    EXPECT_EQ(AccessConnectString(Params("", 0, "/data/pastel.mdb", "", "")), "DRIVER={MDBTools};DBQ=/data/pastel.mdb");
    EXPECT_EQ(AccessConnectString(Params("", 0, "/data/a;b.mdb", "", "")), "DRIVER={MDBTools};DBQ={/data/a;b.mdb}");
}
