#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <random>
#include <string>

#include "TestSupport.h"
#include "dbaccess/DbConnection.h"
#include "dbaccess/DbQuery.h"
#include "output/RowsetWriter.h"

using namespace iqo;

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// A fresh database on the Firebird test server holding the customer table, dropped at the end.
class TCustomerDatabase {
public:
    TCustomerDatabase() {
        FServer = Env("IQO_FB_SERVER");
        FUser = Env("IQO_FB_USER");
        FPassword = Env("IQO_FB_PASSWORD");
        const std::string dir = Env("IQO_FB_DIR");
        if (FServer.empty() || dir.empty()) return;
        FPath = dir + "/output-" + std::to_string(getpid()) + "-" + std::to_string(std::random_device{}()) + ".fdb";
        const std::string script = FScripts.File("create.sql");
        WriteBytes(script,
                   "create database '" + FServer + ":" + FPath + "' user '" + FUser + "' password '" + FPassword +
                       "' default character set UTF8;\n"
                       "create table CUSTOMER (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40), CREATED TIMESTAMP);\n"
                       "insert into CUSTOMER values (1, 'Smith & Sons', '2024-02-13 14:05:09');\n"
                       "insert into CUSTOMER values (2, NULL, '2024-03-01 08:00:00');\n"
                       "commit;\n");
        const std::string command = "isql-fb -q -user '" + FUser + "' -password '" + FPassword + "' -i '" + script +
                                    "' >'" + FScripts.File("isql.log") + "' 2>&1";
        FCreated = std::system(command.c_str()) == 0;
    }
    ~TCustomerDatabase() {
        if (!FCreated) return;
        const std::string script = FScripts.File("drop.sql");
        WriteBytes(script, "connect '" + FServer + ":" + FPath + "' user '" + FUser + "' password '" + FPassword +
                               "';\ndrop database;\n");
        (void)!std::system(("isql-fb -q -i '" + script + "' >/dev/null 2>&1").c_str());
    }
    TCustomerDatabase(const TCustomerDatabase&) = delete;
    TCustomerDatabase& operator=(const TCustomerDatabase&) = delete;

    bool Created() const { return FCreated; }
    std::string Log() const { return ReadBytes(FScripts.File("isql.log")); }
    const std::string& Server() const { return FServer; }
    const std::string& Path() const { return FPath; }
    const std::string& User() const { return FUser; }
    const std::string& Password() const { return FPassword; }

private:
    TTempFolder FScripts;
    std::string FServer, FUser, FPassword, FPath;
    bool FCreated = false;
};

TEST(SaveToXMLFirebirdTest, CustomerQueryMatchesTheGoldenFile) {
    ASSERT_FALSE(Env("IQO_FB_SERVER").empty()) << "IQO_FB_SERVER is not set: start scripts/test-servers";
    ASSERT_FALSE(Env("IQO_FB_DIR").empty()) << "IQO_FB_DIR is not set: start scripts/test-servers";
    TCustomerDatabase db;
    ASSERT_TRUE(db.Created()) << db.Log();

    TDbConnection connection;
    connection.SetProviderName("InterBase");
    connection.SetServer(db.Server());
    connection.SetDatabase(db.Path());
    connection.SetUsername(db.User());
    connection.SetPassword(db.Password());
    connection.SetLoginPrompt(false);
    connection.Open();
    TDbQuery query(&connection);
    query.SetSQL("SELECT ID, NAME AS \"Customer Name\", CREATED FROM CUSTOMER");
    query.Open();

    TTempFolder folder;
    SaveToXML(query, folder.File("customer.xml"));
    EXPECT_EQ(ReadBytes(folder.File("customer.xml")), ReadBytes(std::string(IQO_FIXTURES) + "/fixtures/customer.xml"));
    EXPECT_TRUE(query.Active());
    query.Close();
    connection.Close();
}

}  // namespace
