#include <gtest/gtest.h>

#include "RecordingLog.h"
#include "TestSupport.h"
#include "extraction/iqoDataThread.h"
#include "platform/IniFile.h"
#include "service/IQOCommon.h"

using namespace iqo;

namespace {

// The five settings of the connection read last.
struct TFields {
    std::string DLL, Server, DB, User, PWD;
    bool operator==(const TFields&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TFields& f) {
    return out << "{" << f.DLL << "|" << f.Server << "|" << f.DB << "|" << f.User << "|" << f.PWD << "}";
}

// The service settings file in a temporary ServicePath, read by a worker that never runs.
class SettingsReader : public ::testing::Test {
protected:
    SettingsReader() : FWorker(true) { SetServicePath(FDir.Path() + "/"); }
    ~SettingsReader() override { SetServicePath(""); }

    std::string SettingsFile() const { return FDir.File("iqoRiveDur.ini"); }
    void WriteSettings(const std::string& bytes) const { WriteBytes(SettingsFile(), bytes); }

    TFields Fields() const {
        return {FWorker.FirebirdDLL(), FWorker.FirebirdServer(), FWorker.FirebirdDB(), FWorker.FirebirdUser(),
                FWorker.FirebirdPWD()};
    }

    TTempFolder FDir;
    TIqoDataThread FWorker;
};

}  // namespace

TEST_F(SettingsReader, ConnectionCount) {
    struct Case {
        const char* what;
        std::string bytes;
        int32_t expected;
    };
    const Case cases[] = {
        {"empty file", "", 1},
        {"hexadecimal 0x", "[Settings]\r\nConnection_Number=0x2\r\n", 2},
        {"hexadecimal 0X", "[Settings]\r\nConnection_Number=0X10\r\n", 16},
        {"hexadecimal $", "[Settings]\r\nConnection_Number=$A\r\n", 10},
        {"a word", "[Settings]\r\nConnection_Number=two\r\n", 1},
        {"zero", "[Settings]\r\nConnection_Number=0\r\n", 0},
        {"negative", "[Settings]\r\nConnection_Number=-3\r\n", -3},
        {"empty value", "[Settings]\r\nConnection_Number=\r\n", 1},
        {"outside 32 bits", "[Settings]\r\nConnection_Number=2147483648\r\n", 1},
        {"names without regard to case", "[settings]\nconnection_NUMBER=5\n", 5},
        {"a million", "[Settings]\nConnection_Number=1000000\n", 1000000},
        {"key in another section", "[Other]\nConnection_Number=4\n", 1},
        {"binary", std::string("\x00\xFF\xFE[\x01\x02]=\x9D\n\x00\x00", 13), 1},
    };
    for (const auto& c : cases) {
        WriteSettings(c.bytes);
        FWorker.LoadConnectionCount();
        EXPECT_EQ(FWorker.ConnectionNo(), c.expected) << c.what;
    }
}

TEST_F(SettingsReader, AMissingFileCountsOneConnectionWithoutSettings) {
    FWorker.LoadConnectionCount();
    EXPECT_EQ(FWorker.ConnectionNo(), 1);
    FWorker.LoadConnectionInfo(1);
    EXPECT_EQ(Fields(), (TFields{"", "", "", "", ""}));
}

TEST_F(SettingsReader, ASectionNameInLowerCaseIsFound) {
    WriteSettings("[connection_info_1]\nfirebird_server=dc-host\nFIREBIRD_DATABASE=/data/crm.fdb\n");
    FWorker.LoadConnectionInfo(1);
    EXPECT_EQ(Fields(), (TFields{"", "dc-host", "/data/crm.fdb", "SYSDBA", "quillbent"}));
}

// A key that a section lacks keeps the value of the connection read before; an absent or
// empty section clears all five.
TEST_F(SettingsReader, AbsentKeysKeepThePreviousConnectionsValues) {
    TIniFile settings(SettingsFile());
    settings.WriteString("Connection_Info_1", "Firebird_Client_DLL", "/opt/firebird");
    settings.WriteString("Connection_Info_1", "Firebird_Server", "host1");
    settings.WriteString("Connection_Info_1", "Firebird_Database", "/data/one.fdb");
    settings.WriteString("Connection_Info_1", "Firebird_UserName", "crm");
    settings.WriteString("Connection_Info_1", "Firebird_Password", ScrambleText("s3cret"));
    settings.WriteString("Connection_Info_2", "Firebird_Database", "/data/two.fdb");
    settings.WriteString("Connection_Info_3", "Firebird_Server", "host3");
    WriteBytes(SettingsFile(), ReadBytes(SettingsFile()) + "[Connection_Info_4]\r\n");
    settings.WriteString("Connection_Info_5", "Firebird_Server", "host5");

    const TFields expected[] = {
        {"/opt/firebird/", "host1", "/data/one.fdb", "crm", "s3cret"},
        {"/opt/firebird/", "host1", "/data/two.fdb", "crm", "s3cret"},
        {"/opt/firebird/", "host3", "/data/two.fdb", "crm", "s3cret"},
        {"", "", "", "", ""},
        {"", "host5", "", "SYSDBA", "quillbent"},
        {"", "", "", "", ""},
    };
    for (int n = 1; n <= 6; ++n) {
        FWorker.LoadConnectionInfo(n);
        EXPECT_EQ(Fields(), expected[n - 1]) << "connection " << n;
    }
}

TEST_F(SettingsReader, BlankUserAndPasswordGetTheDefaults) {
    struct Case {
        const char* what;
        std::string user;
        std::string storedPassword;
        std::string expectedUser;
        std::string expectedPassword;
    };
    const Case cases[] = {
        {"empty", "", "", "SYSDBA", "quillbent"},
        {"blanks", "   ", ScrambleText("   "), "SYSDBA", "quillbent"},
        {"given", "crm", ScrambleText("masterkey"), "crm", "masterkey"},
    };
    for (const auto& c : cases) {
        TTempFolder dir;
        SetServicePath(dir.Path() + "/");
        TIniFile settings(dir.File("iqoRiveDur.ini"));
        settings.WriteString("Connection_Info_1", "Firebird_UserName", c.user);
        settings.WriteString("Connection_Info_1", "Firebird_Password", c.storedPassword);
        FWorker.LoadConnectionInfo(1);
        EXPECT_EQ(FWorker.FirebirdUser(), c.expectedUser) << c.what;
        EXPECT_EQ(FWorker.FirebirdPWD(), c.expectedPassword) << c.what;
    }
}

TEST_F(SettingsReader, TheClientLibraryFolderEndsInASlash) {
    struct Case {
        std::string folder;
        std::string expected;
    };
    const Case cases[] = {
        {"/opt/Firebird 3", "/opt/Firebird 3/"},
        {"/opt/Firebird 3/", "/opt/Firebird 3/"},
        {"", ""},
    };
    for (const auto& c : cases) {
        TIniFile(SettingsFile()).WriteString("Connection_Info_1", "Firebird_Client_DLL", c.folder);
        FWorker.LoadConnectionInfo(1);
        EXPECT_EQ(FWorker.FirebirdDLL(), c.expected) << c.folder;
    }
}

// Connections without a server or a database, or without a section, are skipped silently;
// none of them reaches the database layer.
TEST_F(SettingsReader, ACycleSkipsIncompleteConnectionsSilently) {
    TRecordingLog log;
    TIniFile settings(SettingsFile());
    settings.WriteInteger("Settings", "Connection_Number", 5);
    settings.WriteString("Connection_Info_1", "Firebird_Server", "   ");
    settings.WriteString("Connection_Info_1", "Firebird_Database", "/data/one.fdb");
    settings.WriteString("Connection_Info_2", "Firebird_Server", "host2");
    settings.WriteString("Connection_Info_2", "Firebird_Database", "");
    settings.WriteString("Connection_Info_3", "Firebird_UserName", "crm");
    settings.WriteString("Connection_Info_5", "Firebird_Database", "/data/five.fdb");
    FWorker.Cycle();
    EXPECT_TRUE(log.Entries().empty());
}

TEST_F(SettingsReader, ACycleOverNoConnectionsLogsNothing) {
    TRecordingLog log;
    for (const std::string count : {"0", "-5", "-2147483648"}) {
        WriteSettings("[Settings]\nConnection_Number=" + count + "\n[Connection_Info_1]\nFirebird_Server=h\nFirebird_Database=d\n");
        FWorker.Cycle();
    }
    EXPECT_TRUE(log.Entries().empty());
}

// The file is read afresh for each of the million connections; each one without a section is
// skipped silently.
TEST_F(SettingsReader, AMillionConnectionsWithoutSectionsAreSkipped) {
    TRecordingLog log;
    WriteSettings("[Settings]\r\nConnection_Number=1000000\r\n[Connection_Info_0]\r\nFirebird_Server=h\r\n");
    FWorker.Cycle();
    EXPECT_EQ(FWorker.ConnectionNo(), 1000000);
    EXPECT_TRUE(log.Entries().empty());
    EXPECT_EQ(FWorker.FirebirdServer(), "");
}
