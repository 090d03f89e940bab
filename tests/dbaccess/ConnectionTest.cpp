#include "dbaccess/DbConnection.h"

#include <gtest/gtest.h>

#include "platform/Exception.h"

using namespace iqo;

TEST(DbConnection, KeepsItsTexts) {
    TDbConnection c;
    c.SetProviderName("  SQLite \t");
    c.SetDatabase("  /tmp/x.db  ");
    c.SetServer("  host ");
    c.SetUsername(" user ");
    c.SetPassword(" pw ");
    c.SetPort(0);
    EXPECT_EQ(c.ProviderName(), "SQLite");
    EXPECT_EQ(c.Database(), "/tmp/x.db");
    EXPECT_EQ(c.Server(), "  host ");
    EXPECT_EQ(c.Username(), " user ");
    EXPECT_EQ(c.Password(), " pw ");
    EXPECT_EQ(c.Port(), 0);
    c.SpecificOptions().SetValue("ClientLibrary", "/opt/lib.so");
    EXPECT_EQ(c.SpecificOptions().Value("clientlibrary"), "/opt/lib.so");
    EXPECT_NO_THROW(c.Close());
    EXPECT_FALSE(c.Connected());
}

TEST(DbConnection, ProviderNamesFailAtOpen) {
    struct Case {
        std::string provider;
        std::string message;  // exact, or the start of it
        bool exact;
    };
    const Case cases[] = {
        {"", "Provider is not defined", true},
        {"   ", "Provider is not defined", true},
        {"Nope", "Nope is not a valid provider name", true},
        {"mysql", "Provider MySQL is not registered", false},
        {"Oracle", "Provider Oracle is not registered", false},
    };
    for (const auto& c : cases) {
        TDbConnection conn;
        EXPECT_NO_THROW(conn.SetProviderName(c.provider));
        try {
            conn.Open();
            ADD_FAILURE() << c.provider;
        } catch (const Exception& e) {
            if (c.exact)
                EXPECT_EQ(e.Message(), c.message);
            else
                EXPECT_EQ(e.Message().rfind(c.message, 0), 0u) << e.Message();
        }
        EXPECT_FALSE(conn.Connected());
    }
}
