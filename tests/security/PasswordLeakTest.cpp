// No password reaches a log entry, the text log or the job's connection description, whatever
// way a connection fails: refused logins, unreachable servers, missing databases, on every
// provider we can reach here, in both single and combined modes, and for the data-centre
// databases of the worker.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../extraction/RecordingLog.h"
#include "PasswordCluster.h"
#include "SourceDatabases.h"
#include "TestSupport.h"
#include "dbaccess/providers/OdbcConnectStrings.h"
#include "extraction/iqoDataThread.h"
#include "platform/EventLog.h"
#include "platform/IniFile.h"
#include "service/IQOCommon.h"
#include "service/uiqoDatraCtr.h"

using namespace iqo;

namespace {

// The right password of the private cluster's role: the logins that are to succeed use it, and
// it must not leak either.
const std::string kClusterPassword = "Pg4RightLeakProbe";

// One Connect_Info section of a widget definition file.
struct TSource {
    std::string Provider, Server, Database, User, Password;
    int Port = 0;
};

// What the text of a log entry must never hold: each password and its stored (scrambled) form.
void ExpectNoPassword(const std::string& text, const std::vector<std::string>& passwords, const std::string& where) {
    for (const std::string& password : passwords) {
        EXPECT_EQ(text.find(password), std::string::npos) << where << " holds the password " << password << ":\n" << text;
        EXPECT_EQ(text.find(ScrambleText(password)), std::string::npos)
            << where << " holds the scrambled password of " << password << ":\n" << text;
    }
}

class PasswordLeak : public ::testing::Test {
protected:
    struct TSuite {
        std::unique_ptr<TFirebirdSourceDatabase> Firebird;
        std::unique_ptr<TPasswordCluster> Cluster;
        std::string Failure;
    };
    static TSuite& Suite() {
        static TSuite suite;
        return suite;
    }

    static void SetUpTestSuite() {
        auto& suite = Suite();
        try {
            suite.Firebird = std::make_unique<TFirebirdSourceDatabase>(std::vector<std::string>{"create table T (A integer)"});
        } catch (const std::exception& e) {
            suite.Failure += std::string("the Firebird test server is not there: ") + e.what() + "\n";
        }
        suite.Cluster = std::make_unique<TPasswordCluster>(kClusterPassword);
        if (!suite.Cluster->Failure().empty())
            suite.Failure += "the password-checking PostgreSQL cluster did not start: " + suite.Cluster->Failure();
    }
    static void TearDownTestSuite() { Suite() = {}; }

    void SetUp() override {
        ASSERT_EQ(Suite().Failure, "") << "run scripts/test-servers start and eval \"$(scripts/test-servers env)\"";
        SetServicePath(FHome.Path() + "/");
    }
    void TearDown() override { SetServicePath(""); }

    static std::string FbServer() { return EnvironmentValue("IQO_FB_SERVER"); }
    static std::string FbUser() { return EnvironmentValue("IQO_FB_USER"); }
    static std::string FbPassword() { return EnvironmentValue("IQO_FB_PASSWORD"); }
    static std::string FbDatabase() { return Suite().Firebird->Connection().Database(); }
    static int ClusterPort() { return Suite().Cluster->Port(); }
    static std::string PsqlOdbc(int port) {
        return "DRIVER={PostgreSQL Unicode};Server=127.0.0.1;Port=" + std::to_string(port) +
               ";Database=postgres;CommLog=0;Debug=0;";
    }

    // A widget in the mode given whose sources take the positions of its connection list from
    // the one given on; the positions before hold a source that is never opened.
    std::string Widget(int mode, int firstPosition, const std::vector<TSource>& sources) const {
        const std::string path = FFolder.File("widget" + std::to_string(++FWidgets) + ".ini");
        TIniFile widget(path);
        widget.WriteString("Widget_Options", "Widget_RemoteXML", "1");
        widget.WriteInteger("Widget_Options", "Widget_DataSource", mode);
        widget.WriteString("Widget_Options", "Widget_RemoteXMLFile", FFolder.File("out.xml"));
        for (int n = 0; n < firstPosition; ++n)
            widget.WriteString("Connect_Info_" + std::to_string(n), "Provider", "SQLite");
        int n = firstPosition;
        for (const TSource& s : sources) {
            const std::string section = "Connect_Info_" + std::to_string(n++);
            widget.WriteString(section, "Provider", s.Provider);
            widget.WriteString(section, "Server", s.Server);
            widget.WriteString(section, "Database", s.Database);
            widget.WriteString(section, "UserName", s.User);
            widget.WriteString(section, "PWD", ScrambleText(s.Password));
            widget.WriteInteger(section, "PortNo", s.Port);
        }
        for (const char* suffix : {"_01", "_02", "_03"}) WriteBytes(path + suffix, "SELECT 1 AS A FROM RDB$DATABASE");
        return path;
    }

    // The data-centre database of connection 1 of the settings file.
    void DataCentre(const std::string& server, const std::string& database, const std::string& password) const {
        TIniFile settings(FHome.File(TIqoDataThread::kSettingsFileName));
        settings.WriteString("Connection_Info_1", "Firebird_Server", server);
        settings.WriteString("Connection_Info_1", "Firebird_Database", database);
        settings.WriteString("Connection_Info_1", "Firebird_UserName", FbUser());
        settings.WriteString("Connection_Info_1", "Firebird_Password", ScrambleText(password));
    }

    TTempFolder FHome;
    TTempFolder FFolder;
    mutable int FWidgets = 0;
};

// A failing job: the widget's mode, its sources from a position of its connection list on,
// and the passwords that connection strings in them hold.
struct TJobCase {
    std::string Name;
    int Mode;
    int FirstPosition;
    std::vector<TSource> Sources;
    std::vector<std::string> InStrings = {};
};

std::vector<std::string> PasswordsOf(const TJobCase& c) {
    std::vector<std::string> passwords = c.InStrings;
    passwords.push_back(kClusterPassword);
    passwords.push_back(EnvironmentValue("IQO_FB_PASSWORD"));
    for (const TSource& s : c.Sources)
        if (!s.Password.empty()) passwords.push_back(s.Password);
    return passwords;
}

// A failing data-centre database of the worker.
struct TDataCentreCase {
    std::string Name, Server, Database, Password;
};

class PasswordLeakCases : public PasswordLeak {
protected:
    std::vector<TJobCase> JobCases() const {
        const std::string fb = FbServer(), db = FbDatabase(), pg = "127.0.0.1";
        const int port = ClusterPort();
        const std::string kInString = "Od3InStringLeakProbe";
        const std::string odbcWithPassword = PsqlOdbc(port) + "Uid=" + TPasswordCluster::kRole + ";Pwd=" + kInString + ";";
        return {
            {"Firebird, wrong password", 0, 0, {{"Firebird", fb, db, FbUser(), "Fb1WrongLeakProbe"}}},
            {"Firebird, unreachable server", 0, 0, {{"Firebird", "127.0.0.1/1", db, FbUser(), "Fb2DownLeakProbe"}}},
            {"Firebird, no such database", 0, 0,
             {{"InterBase", fb, "/nonexistent/iqo-leak.fdb", FbUser(), FbPassword()}}},
            {"PostgreSQL, wrong password", 0, 0,
             {{"PostgreSQL", pg, "postgres", TPasswordCluster::kRole, "Pg1WrongLeakProbe", port}}},
            {"PostgreSQL, no such role", 0, 0, {{"PostgreSQL", pg, "postgres", "nobody", "Pg2RoleLeakProbe", port}}},
            {"PostgreSQL, unreachable server", 0, 0, {{"PostgreSQL", pg, "postgres", "x", "Pg3DownLeakProbe", 1}}},
            {"PostgreSQL, no such database", 0, 0,
             {{"PostgreSQL", pg, "nosuchdb", TPasswordCluster::kRole, kClusterPassword, port}}},
            {"ODBC, wrong password added to a connection string", 0, 0,
             {{"ODBC", PsqlOdbc(port), "", TPasswordCluster::kRole, "Od1WrongLeakProbe"}}},
            {"ODBC, wrong password inside the connection string", 0, 0, {{"odbc", odbcWithPassword, "", "", ""}}, {kInString}},
            {"ODBC, connection string as the database of a blank server", 1, 1,
             {{"ODBC", "", odbcWithPassword, "", "Od4ExtraLeakProbe"}}, {kInString}},
            {"ODBC, no such driver", 0, 0, {{"ODBC", "DRIVER={NoSuchIqoDriver};Pwd=" + kInString, "", "sa", "Od7LeakProbe"}},
             {kInString}},
            {"ODBC, no such SQLite file", 0, 0,
             {{"ODBC", "DRIVER={SQLite3};Database=/nonexistent/iqo-leak.db;NoCreat=1;PWD=" + kInString, "", "", "Od8LeakProbe"}},
             {kInString}},
            {"ODBC, FreeTDS on a closed port", 0, 0,
             {{"ODBC", "DRIVER={FreeTDS};Server=127.0.0.1;Port=1;UID=sa;PWD=" + kInString + ";TDS_Version=7.4", "", "", ""}},
             {kInString}},
            {"ODBC, no such data source", 0, 0, {{"ODBC", "NoSuchIqoDsn", "", "sa", "Od5DsnLeakProbe"}}},
            {"ODBC, unreachable server", 0, 0, {{"ODBC", PsqlOdbc(1), "", "x", "Od6DownLeakProbe"}}},
            {"SQL Server, closed port", 0, 0, {{"SQL Server", "127.0.0.1", "crm", "sa", "Ms1PortLeakProbe", 1}}},
            {"SQL Server, connection string with a closed port", 0, 0,
             {{"SQL Server", "127.0.0.1;Port=1;PWD=Ms2InStringLeakProbe", "crm", "sa", "Ms3LeakProbe", 1}},
             {"Ms2InStringLeakProbe"}},
            {"Access, no such file", 0, 0, {{"Access", "", "/nonexistent/iqo-leak.mdb", "Admin", "Ac1LeakProbe"}}},
            {"SQLite, no such file", 0, 0, {{"SQLite", "", "/nonexistent/iqo-leak.db", "", "Sl1LeakProbe"}}},
            {"combined, both sides refused", 2, 2,
             {{"PostgreSQL", pg, "postgres", TPasswordCluster::kRole, "Cb1PastelLeakProbe", port},
              {"Firebird", fb, db, FbUser(), "Cb2CrmLeakProbe"}}},
            {"combined, accounting side refused", 2, 2,
             {{"ODBC", odbcWithPassword, "", "", "Cb3LeakProbe"}, {"Firebird", "127.0.0.1/1", db, FbUser(), "Cb4LeakProbe"}},
             {kInString}},
        };
    }

    std::vector<TDataCentreCase> DataCentreCases() const {
        return {
            {"wrong password", FbServer(), FbDatabase(), "Dc1WrongLeakProbe"},
            {"unreachable server", "127.0.0.1/1", FbDatabase(), "Dc2DownLeakProbe"},
            {"no such database", FbServer(), "/nonexistent/iqo-leak.fdb", FbPassword()},
        };
    }
};

bool HasError(const std::vector<TLogEntry>& entries) {
    for (const auto& e : entries)
        if (e.Type == EVENTLOG_ERROR_TYPE) return true;
    return false;
}

}  // namespace

TEST_F(PasswordLeakCases, NoJobEntryNorConnectionDescriptionHoldsAPassword) {
    for (const TJobCase& c : JobCases()) {
        SCOPED_TRACE(c.Name);
        TRecordingLog log;
        TIqoDataThread worker(true);
        worker.ExtractWidgetData(Widget(c.Mode, c.FirstPosition, c.Sources));
        const auto entries = log.Entries();
        EXPECT_TRUE(HasError(entries)) << "the connection did not fail";
        const auto passwords = PasswordsOf(c);
        for (const auto& e : entries) {
            ExpectNoPassword(e.Message, passwords, "a log entry");
        }
        ExpectNoPassword(worker.ErrorMsg(), passwords, "FErrorMsg");
    }
}

TEST_F(PasswordLeakCases, NoWorkerEntryHoldsTheDataCentrePassword) {
    for (const TDataCentreCase& c : DataCentreCases()) {
        SCOPED_TRACE(c.Name);
        DataCentre(c.Server, c.Database, c.Password);
        TRecordingLog log;
        TIqoDataThread worker(true);
        worker.Cycle();
        const auto entries = log.Entries();
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].Type, EVENTLOG_ERROR_TYPE);
        ExpectNoPassword(entries[0].Message, {c.Password}, "the worker's entry");
    }
}

// The service module writes what the event log does not take to "eventlog.txt": every failing
// job and data-centre database of the cases above, with the event log failing throughout.
TEST_F(PasswordLeakCases, TheTextLogHoldsNoPassword) {
    TTempFolder host;
    TiqoRiveDurOptions options;
    options.EventLog = std::make_unique<TEventLog>(host.File("no-journal"), -1);
    options.UnitRoot = host.File("units");
    options.RegistryRoot = host.File("registry");
    options.ExecutablePath = host.File("iqoRiveDurSvc");
    TiqoRiveDur module(std::move(options));
    std::vector<std::string> passwords;
    {
        TIqoDataThread worker(true);
        for (const TJobCase& c : JobCases()) {
            worker.ExtractWidgetData(Widget(c.Mode, c.FirstPosition, c.Sources));
            for (const std::string& p : PasswordsOf(c)) passwords.push_back(p);
        }
        for (const TDataCentreCase& c : DataCentreCases()) {
            DataCentre(c.Server, c.Database, c.Password);
            worker.Cycle();
            passwords.push_back(c.Password);
        }
    }
    const std::string text = ReadBytes(FHome.File("eventlog.txt"));
    EXPECT_NE(text.find("Event log entry not written: Bad file descriptor ERROR: "), std::string::npos) << text;
    ExpectNoPassword(text, passwords, "the text log");
}

TEST(ConnectStringMask, HidesEveryPasswordValueAndNothingElse) {
    struct TCase {
        const char* Text;
        const char* Masked;
    };
    for (const TCase c : {
             TCase{"DRIVER={PostgreSQL Unicode};Server=h;Pwd=secret;Uid=u", "DRIVER={PostgreSQL Unicode};Server=h;Pwd=***;Uid=u"},
             TCase{"DSN=crm;PASSWORD=secret", "DSN=crm;PASSWORD=***"},
             TCase{"DSN=crm; pwd = {se;c}}ret} ;UID=u", "DSN=crm; pwd =***;UID=u"},
             TCase{"PWD=a;Database=d;Password=b", "PWD=***;Database=d;Password=***"},
             TCase{"PWD=", "PWD=***"},
             TCase{"127.0.0.1;Port=1;PWD=secret", "127.0.0.1;Port=1;PWD=***"},
             TCase{"/data/crm.fdb", "/data/crm.fdb"},
             TCase{"Database=/db/pwd.fdb;PwdFile=x", "Database=/db/pwd.fdb;PwdFile=x"},
             TCase{"", ""},
         }) {
        EXPECT_EQ(MaskConnectStringPasswords(c.Text), c.Masked) << c.Text;
    }
}
