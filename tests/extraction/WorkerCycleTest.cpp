#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>

#include <gtest/gtest.h>

#include "RecordingLog.h"
#include "TestSupport.h"
#include "extraction/iqoDataThread.h"
#include "platform/IniFile.h"
#include "platform/TextUtils.h"
#include "service/IQOCommon.h"

using namespace iqo;

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string SqlQuoted(const std::string& text) { return "'" + ReplaceAll(text, "'", "''") + "'"; }

const std::string kCheckFailed = "Error: During Vova Duvaza check process ";

// Three data-centre databases on the private Firebird server, made with isql-fb for the test
// program and dropped at its end: two with widget tables, one without.
class WorkerCycle : public ::testing::Test {
protected:
    struct TServer {
        std::string Server = Env("IQO_FB_SERVER");
        std::string User = Env("IQO_FB_USER");
        std::string Password = Env("IQO_FB_PASSWORD");
        std::string Folder = Env("IQO_FB_DIR");
        bool Known() const { return !Server.empty() && !User.empty() && !Folder.empty(); }
    };

    static const TServer& Server() {
        static const TServer server;
        return server;
    }
    struct TSuite {
        std::unique_ptr<TTempFolder> Widgets;
        std::vector<std::string> Databases;
        std::string Failure;
    };
    static TSuite& Suite() {
        static TSuite suite;
        return suite;
    }

    static std::string Widget(const std::string& name) { return Suite().Widgets->File(name); }
    static std::string HugePath() { return Suite().Widgets->Path() + "/" + std::string(5000, 'w') + ".ini"; }

    static void SetUpTestSuite() {
        if (!Server().Known()) return;
        auto& suite = Suite();
        suite.Widgets = std::make_unique<TTempFolder>();
        WriteBytes(Widget("remote1.ini"), "[Widget_Options]\r\nWidget_RemoteXML=1\r\nWidget_Refresh=0\r\n");
        WriteBytes(Widget("remote0.ini"), "[Widget_Options]\r\nWidget_RemoteXML=0\r\n");
        WriteBytes(Widget("absent.ini"), "[Widget_Options]\r\nWidget_Refresh=1\r\n");
        WriteBytes(Widget("true.ini"), "[Widget_Options]\r\nWidget_RemoteXML=True\r\n");
        WriteBytes(Widget("hex.ini"), "[widget_options]\r\nwidget_remotexml=0x1\r\nWidget_Refresh=0\r\n");

        std::random_device random;
        const std::string stem = Server().Folder + "/iqo-worker-test-" + std::to_string(getpid()) + "-" + std::to_string(random());
        const std::string rows[] = {
            "(1, " + SqlQuoted("  " + Widget("remote1.ini") + "  ") + ")",
            "(2, " + SqlQuoted(Widget("missing.ini")) + ")",
            "(3, " + SqlQuoted(Widget("remote0.ini")) + ")",
            "(4, " + SqlQuoted(Widget("absent.ini")) + ")",
            "(5, " + SqlQuoted(Widget("true.ini")) + ")",
            "(6, '')",
            "(7, '   ')",
            "(8, NULL)",
            "(9, " + SqlQuoted(Suite().Widgets->Path()) + ")",
            "(10, " + SqlQuoted(HugePath()) + ")",
            "(11, " + SqlQuoted(Widget("hex.ini")) + ")",
        };
        std::string dc1 = "CREATE TABLE IQOWIDGET (ID INTEGER, WIZFILENAME VARCHAR(8000));\n";
        for (const auto& row : rows) dc1 += "INSERT INTO IQOWIDGET (ID, WIZFILENAME) VALUES " + row + ";\n";
        const std::string dc2 = "CREATE TABLE IQOWIDGET (ID INTEGER, WIZFILENAME VARCHAR(500));\n"
                                "INSERT INTO IQOWIDGET VALUES (1, " + SqlQuoted(Widget("remote0.ini")) + ");\n";
        const std::string noTable = "CREATE TABLE OTHER (ID INTEGER);\n";
        for (const auto& [name, schema] : {std::pair{"dc1", dc1}, {"dc2", dc2}, {"notable", noTable}}) {
            const std::string database = stem + "-" + name + ".fdb";
            std::string output;
            const bool ok = RunIsql("SET NAMES UTF8;\nCREATE DATABASE " + SqlQuoted(Server().Server + ":" + database) +
                                        " USER " + SqlQuoted(Server().User) + " PASSWORD " + SqlQuoted(Server().Password) +
                                        " DEFAULT CHARACTER SET UTF8;\n" + schema + "COMMIT;\n",
                                    output);
            suite.Databases.push_back(database);
            if (!ok) suite.Failure += "isql-fb could not create " + database + ":\n" + output;
        }
    }

    static void TearDownTestSuite() {
        for (const auto& database : Suite().Databases) {
            std::string output;
            RunIsql("CONNECT " + SqlQuoted(Server().Server + ":" + database) + " USER " + SqlQuoted(Server().User) +
                        " PASSWORD " + SqlQuoted(Server().Password) + ";\nDROP DATABASE;\n",
                    output);
        }
        Suite() = {};
    }

    static bool RunIsql(const std::string& script, std::string& output) {
        TTempFolder folder;
        WriteBytes(folder.File("script.sql"), script);
        const std::string command =
            "isql-fb -q -b -i '" + folder.File("script.sql") + "' > '" + folder.File("out.txt") + "' 2>&1";
        const bool ok = std::system(command.c_str()) == 0;
        output = ReadBytes(folder.File("out.txt"));
        return ok;
    }

    void SetUp() override {
        ASSERT_TRUE(Server().Known()) << "IQO_FB_SERVER, IQO_FB_USER, IQO_FB_PASSWORD and IQO_FB_DIR are not set: "
                                         "run scripts/test-servers start and eval \"$(scripts/test-servers env)\"";
        ASSERT_EQ(Suite().Failure, "");
        SetServicePath(FHome.Path() + "/");
    }
    void TearDown() override { SetServicePath(""); }

    TTempFolder FHome;
};

TLogEntry Info(const std::string& message) { return {4, 0, 1, message}; }

// Error entries carry the database layer's own text after the fixed prefix: checked to be
// there, then left out of the comparison.
std::vector<TLogEntry> WithoutErrorTexts(std::vector<TLogEntry> entries) {
    for (auto& e : entries)
        if (e.Message.rfind(kCheckFailed, 0) == 0) {
            EXPECT_GT(e.Message.size(), kCheckFailed.size()) << "no error text";
            e.Message = kCheckFailed;
        }
    return entries;
}

}  // namespace

TEST_F(WorkerCycle, ChecksEveryDataCentreDatabaseAndEveryWidget) {
    const std::string& dc1 = Suite().Databases.at(0);
    const std::string& dc2 = Suite().Databases.at(1);
    const std::string& noTable = Suite().Databases.at(2);
    TIniFile settings(FHome.File("iqoRiveDur.ini"));
    settings.WriteInteger("Settings", "Connection_Number", 5);
    // 1: the client library from its folder; 5 inherits user, password and folder from 3.
    settings.WriteString("Connection_Info_1", "Firebird_Client_DLL", "/usr/lib/x86_64-linux-gnu");
    settings.WriteString("Connection_Info_1", "Firebird_Server", Server().Server);
    settings.WriteString("Connection_Info_1", "Firebird_Database", dc1);
    settings.WriteString("Connection_Info_1", "Firebird_UserName", Server().User);
    settings.WriteString("Connection_Info_1", "Firebird_Password", ScrambleText(Server().Password));
    settings.WriteString("Connection_Info_2", "Firebird_Server", "127.0.0.1/1");
    settings.WriteString("Connection_Info_2", "Firebird_Database", dc1);
    settings.WriteString("Connection_Info_3", "Firebird_Client_DLL", "");
    settings.WriteString("Connection_Info_3", "Firebird_Server", Server().Server);
    settings.WriteString("Connection_Info_3", "Firebird_Database", noTable);
    settings.WriteString("Connection_Info_4", "Firebird_Server", "  ");
    settings.WriteString("Connection_Info_4", "Firebird_Database", dc2);
    settings.WriteString("Connection_Info_5", "Firebird_Server", Server().Server);
    settings.WriteString("Connection_Info_5", "Firebird_Database", dc2);

    const std::string folder = Suite().Widgets->Path();
    const std::vector<TLogEntry> cycle = {
        Info("Checking Widgets on " + Server().Server + ":" + dc1),
        Info("Nr of widgets to check for remote data requirement: 11"),
        Info("Checking Widget file:   " + Widget("remote1.ini") + "  "),
        Info("Executing data extraction   " + Widget("remote1.ini") + "  "),
        // The job's first entry shows the path it was given, trimmed; Widget_Refresh=0 ends it.
        Info("Creating dataset for Widget file " + Widget("remote1.ini")),
        Info("Widget File does not exist: " + Widget("missing.ini")),
        Info("Checking Widget file: " + Widget("remote0.ini")),
        Info("Checking Widget file: " + Widget("absent.ini")),
        Info("Checking Widget file: " + Widget("true.ini")),
        Info("Widget File does not exist: "),
        Info("Widget File does not exist:    "),
        Info("Widget File does not exist: "),
        Info("Widget File does not exist: " + folder),
        Info("Widget File does not exist: " + HugePath()),
        Info("Checking Widget file: " + Widget("hex.ini")),
        Info("Executing data extraction " + Widget("hex.ini")),
        Info("Creating dataset for Widget file " + Widget("hex.ini")),
        {1, 2, 0, kCheckFailed},
        Info("Checking Widgets on " + Server().Server + ":" + noTable),
        {1, 2, 0, kCheckFailed},
        Info("Checking Widgets on " + Server().Server + ":" + dc2),
        Info("Nr of widgets to check for remote data requirement: 1"),
        Info("Checking Widget file: " + Widget("remote0.ini")),
    };

    TRecordingLog log;
    TIqoDataThread worker(true);
    // The one connection serves again after failures: a second cycle writes the same.
    for (int round = 1; round <= 2; ++round) {
        worker.Cycle();
        EXPECT_EQ(WithoutErrorTexts(log.Entries()), cycle) << "cycle " << round;
        log.Clear();
    }
}

// A data-centre database that cannot be opened gives exactly one error entry and no
// "Checking Widgets on " entry.
TEST_F(WorkerCycle, AWrongPasswordIsOneErrorEntry) {
    TIniFile settings(FHome.File("iqoRiveDur.ini"));
    settings.WriteString("Connection_Info_1", "Firebird_Server", Server().Server);
    settings.WriteString("Connection_Info_1", "Firebird_Database", Suite().Databases.at(1));
    settings.WriteString("Connection_Info_1", "Firebird_Password", ScrambleText("not-the-password"));
    TRecordingLog log;
    TIqoDataThread worker(true);
    worker.Cycle();
    const auto entries = log.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Type, 1);
    EXPECT_EQ(entries[0].Category, 2);
    EXPECT_EQ(entries[0].ID, 0);
    EXPECT_EQ(entries[0].Message.rfind(kCheckFailed, 0), 0u) << entries[0].Message;
}
