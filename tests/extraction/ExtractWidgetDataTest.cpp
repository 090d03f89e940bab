#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "FailingFileOperations.h"
#include "RecordingLog.h"
#include "TestSupport.h"
#include "extraction/iqoDataThread.h"
#include "SourceDatabases.h"
#include "platform/CodePage.h"
#include "platform/DateTime.h"
#include "platform/IniFile.h"
#include "platform/RegionalSettings.h"
#include "platform/TextUtils.h"
#include "service/IQOCommon.h"

using namespace iqo;

namespace {

constexpr int kInfo = EVENTLOG_INFORMATION_TYPE;
constexpr int kError = EVENTLOG_ERROR_TYPE;
constexpr int kSuccess = EVENTLOG_SUCCESS;

TLogEntry Entry(int type, const std::string& message) { return {type, 0, 1, message}; }
TLogEntry Direct(const std::string& message) { return {kInfo, 2, 0, message}; }

size_t FilesIn(const std::string& folder) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

// A folder with a CRM and an accounting database (SQLite) and the widget definition files of
// one test.
class ExtractWidgetData : public ::testing::Test {
protected:
    void SetUp() override {
        FCrm = std::make_unique<TSQLiteSourceDatabase>(std::vector<std::string>{
            "CREATE TABLE customer (id INTEGER NOT NULL PRIMARY KEY, name VARCHAR(40), created DATETIME)",
            "INSERT INTO customer VALUES (1, 'Smith & Sons', '2024-02-13 14:05:09')",
            "INSERT INTO customer VALUES (2, NULL, '2024-03-01 08:00:00')"});
        FAccounts = std::make_unique<TSQLiteSourceDatabase>(std::vector<std::string>{
            "CREATE TABLE ledger (acc VARCHAR(10), amount NUMERIC(15,2))", "INSERT INTO ledger VALUES ('A100', 12.5)"});
        FOut = FDir.File("out/widget.xml");
    }

    std::string Widget(const std::string& options, const std::string& sections, const std::string& sql = "") {
        const std::string path = FDir.File("widget.ini");
        WriteBytes(path, "[Widget_Options]\r\nWidget_RemoteXML=1\r\n" + options + sections);
        if (!sql.empty()) WriteBytes(path + "_01", sql);
        return path;
    }

    static std::string Section(int n, const std::string& provider, const std::string& database,
                               const std::string& server = "", const std::string& extra = "") {
        return "[Connect_Info_" + std::to_string(n) + "]\r\nProvider=" + provider + "\r\nDatabase=" + database +
               "\r\nServer=" + server + "\r\nUserName=u\r\nPWD=" + Utf8ToAnsi(ScrambleText("secret")) + "\r\n" + extra;
    }

    std::string Crm(int n = 0) const { return Section(n, "SQLite", FCrm->Connection().Database()); }
    std::string Accounts(int n) const { return Section(n, "SQLite", FAccounts->Connection().Database()); }

    std::string OutputOption() const { return "Widget_RemoteXMLFile=" + FOut + "\r\n"; }

    std::string Describe(int mode, const std::string& provider, const std::string& database,
                         const std::string& server = "") const {
        return "Connection type " + std::to_string(mode) + " \rProvider: " + provider + "\rServer: " + server +
               "\rDatabase: " + database + "\r" + (mode == 0 ? "UserName: " : "Username: ") + "u";
    }

    void Run(const std::string& path) {
        FLog.Clear();
        TIqoDataThread worker(true);
        worker.ExtractWidgetData(path);
    }

    bool Stamped(const std::string& path) const {
        return TIniFile(path).ValueExists("Widget_Options", "Widget_LastRemoteXML");
    }

    TRecordingLog FLog;
    TTempFolder FDir;
    std::unique_ptr<TSQLiteSourceDatabase> FCrm;
    std::unique_ptr<TSQLiteSourceDatabase> FAccounts;
    std::string FOut;
};

const std::string kCrmSql = "SELECT id, name AS \"Customer Name\", created\nFROM customer ORDER BY id";

}  // namespace

TEST_F(ExtractWidgetData, AMissingWidgetFileIsOneEntry) {
    Run(FDir.File("gone.ini"));
    EXPECT_EQ(FLog.Entries(), std::vector{Entry(kInfo, "Iqo Widget file " + FDir.File("gone.ini") + " does not exist")});
}

TEST_F(ExtractWidgetData, SucceedsInModesZeroAndOne) {
    struct Case {
        int mode;
        std::string sections;
        std::string database;
        std::vector<TLogEntry> connectionEntries;
    };
    const Case cases[] = {
        {0, Crm(0) + Accounts(1), FCrm->Connection().Database(),
         {Direct("Adding connection info Connect_info_0"), Direct("Adding connection info Connect_info_1"),
          Direct("Accessing Iqo CRM Data set")}},
        {1, Accounts(0) + Crm(1), FCrm->Connection().Database(),
         {Direct("Adding connection info Connect_info_0"), Direct("Adding connection info Connect_info_1"),
          Direct("Accessing Sage Pastel Accounting Data set ")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        const std::string path =
            Widget("Widget_DataSource=" + std::to_string(c.mode) + "\r\n" + OutputOption(), c.sections, kCrmSql);
        Run(path);
        std::vector<TLogEntry> expected{Entry(kInfo, "Creating dataset for Widget file " + path)};
        expected.insert(expected.end(), c.connectionEntries.begin(), c.connectionEntries.end());
        expected.push_back(Entry(kInfo, "Saving XML Data " + FOut + "\r" + Describe(c.mode, "SQLite", c.database)));
        expected.push_back(Entry(kSuccess, "Remote Iqo Widget " + path + " has been completed"));
        EXPECT_EQ(FLog.Entries(), expected);
        const std::string xml = ReadBytes(FOut);
        EXPECT_NE(xml.find("<z:row id='1' c1='Smith &#x26; Sons' created='2024-02-13T14:05:09' />"), std::string::npos);
        EXPECT_EQ(xml.substr(xml.size() - 6), "</xml>");
        EXPECT_TRUE(Stamped(path));
        EXPECT_EQ(FilesIn(FDir.File("out")), 1u);  // no temporary file left
        // The stamp is the regional form of now, and the rest of the file is untouched.
        TDateTime stamp = 0;
        ASSERT_TRUE(TryStrToDateTime(TIniFile(path).ReadString("Widget_Options", "Widget_LastRemoteXML", ""),
                                     RegionalSettings(), stamp));
        EXPECT_LT(std::llabs(DateTimeToMilliseconds(Now()) - DateTimeToMilliseconds(stamp)), 60000);
        EXPECT_EQ(ReadBytes(path).find("[Widget_Options]\r\nWidget_RemoteXML=1\r\nWidget_DataSource="), 0u);
    }
}

TEST_F(ExtractWidgetData, OutcomesThatStopBeforeTheRun) {
    WriteBytes(FDir.File("out.xml"), "old");
    const std::string old = "Widget_RemoteXMLFile=" + FDir.File("out.xml") + "\r\n";
    struct Case {
        const char* name;
        std::string options;
        std::string sections;
        std::vector<std::string> tail;  // the entries after L2 and the L4 entries
        bool stamped;
        bool outputKept;
    };
    const Case cases[] = {
        {"refresh off", "Widget_Refresh=0\r\n" + old, Crm(), {}, false, true},
        {"refresh True", "Widget_Refresh=True\r\n" + old, Crm(), {}, false, true},
        {"mode 1 with one section", "Widget_DataSource=1\r\n" + old, Section(1, "SQLite", "x.db"),
         {"ERROR: Creating remote data set The widget definition file holds no Connect_Info section for position 1 "
          "of its connection list (1 present)\r\r"},
         false, true},
        {"blank output path", "Widget_RemoteXMLFile=\"   \"\r\n", Section(0, "firebird", "crm.fdb", "db1"),
         {"Remote Dataset is blank    \r" + Describe(0, "Interbase", "crm.fdb", "db1")}, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Widget(c.options, c.sections);
        Run(path);
        const auto entries = FLog.Entries();
        ASSERT_GE(entries.size(), 1u);
        EXPECT_EQ(entries[0], Entry(kInfo, "Creating dataset for Widget file " + path));
        std::vector<std::string> tail;
        for (size_t i = 1; i < entries.size(); ++i)
            if (entries[i].Category == 0) tail.push_back(entries[i].Message);
        EXPECT_EQ(tail, c.tail);
        EXPECT_EQ(Stamped(path), c.stamped);
        EXPECT_EQ(ReadBytes(FDir.File("out.xml")), c.outputKept ? "old" : "");
    }
}

TEST_F(ExtractWidgetData, AFailedQueryDeletesTheOldFileAndStamps) {
    std::filesystem::create_directories(FDir.File("out"));
    WriteBytes(FOut, "old document");
    const std::string path = Widget(OutputOption(), Crm(), "SELECT nope FROM customer");
    Run(path);
    const auto entries = FLog.Entries();
    ASSERT_GE(entries.size(), 2u);
    EXPECT_EQ(entries[entries.size() - 2],
              Entry(kError, "ERROR: no such column: nope\r" + Describe(0, "SQLite", FCrm->Connection().Database())));
    EXPECT_EQ(entries.back(), Entry(kSuccess, "Remote Iqo Widget " + path + " has been completed"));
    EXPECT_FALSE(FileExistsForTest(FOut));
    EXPECT_TRUE(Stamped(path));
}

TEST_F(ExtractWidgetData, AnotherModeClearsTheOutputAndStamps) {
    for (const char* mode : {"7", "-1"}) {
        std::filesystem::create_directories(FDir.File("out"));
        WriteBytes(FOut, "old document");
        const std::string path = Widget(std::string("Widget_DataSource=") + mode + "\r\n" + OutputOption(), Crm());
        Run(path);
        EXPECT_EQ(FLog.Entries(), (std::vector{Entry(kInfo, "Creating dataset for Widget file " + path),
                                               Direct("Adding connection info Connect_info_0"),
                                               Entry(kSuccess, "Remote Iqo Widget " + path + " has been completed")}));
        EXPECT_FALSE(FileExistsForTest(FOut));
        EXPECT_TRUE(Stamped(path));
    }
}

TEST_F(ExtractWidgetData, AStampThatCannotBeWrittenLeavesTheWidgetDue) {
    const std::string path = Widget("Widget_DataSource=7\r\n" + OutputOption(), Crm());
    {
        TFailingFileOperations failing(TFailingFileOperations::TCall::Rename, EIO);
        TScopedFileOperations scope(failing);
        Run(path);
    }
    EXPECT_EQ(FLog.Entries().back(), Entry(kError, "ERROR: Unable to write to " + path));
    EXPECT_FALSE(Stamped(path));
    Run(path);  // due again
    EXPECT_EQ(FLog.Entries().back(), Entry(kSuccess, "Remote Iqo Widget " + path + " has been completed"));
}

TEST_F(ExtractWidgetData, AFailedSaveLeavesNoPartialFile) {
    using TCall = TFailingFileOperations::TCall;
    // The rename of the finished document fails; then a write in the middle of the document.
    for (auto [call, nth] : {std::pair{TCall::Rename, 1}, {TCall::Write, 2}}) {
        std::filesystem::create_directories(FDir.File("out"));
        WriteBytes(FOut, "old document");
        const std::string path = Widget(OutputOption(), Crm(), kCrmSql);
        {
            TFailingFileOperations failing(call, ENOSPC, nth);
            TScopedFileOperations scope(failing);
            Run(path);
        }
        const auto entries = FLog.Entries();
        ASSERT_GE(entries.size(), 2u);
        const std::string& failure = entries[entries.size() - 2].Message;
        EXPECT_EQ(failure.rfind("ERROR: Cannot ", 0), 0u) << failure;
        EXPECT_NE(failure.find("\"" + FOut + "\". No space left on device"), std::string::npos) << failure;
        EXPECT_FALSE(FileExistsForTest(FOut));
        EXPECT_EQ(FilesIn(FDir.File("out")), 0u);  // no temporary file either
    }
}

TEST_F(ExtractWidgetData, TheRefreshInterval) {
    // Starts each run just after a whole second, so that the second the stamp drops and the
    // time the job takes stay below one second together.
    auto atWholeSecond = [] {
        while (DecodeDateTime(Now()).Millisecond > 300) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        TDateTimeParts p = DecodeDateTime(Now());
        p.Millisecond = 0;
        TDateTime now;
        TryEncodeDateTime(p, now);
        return now;
    };
    const TDateTime minute = 1.0 / 1440, second = 1.0 / 86400;
    struct Case {
        const char* name;
        std::string interval;  // empty: the key is absent
        double ago;            // in days; NAN: the stamp is absent
        bool due;
    };
    const Case cases[] = {
        {"54:59 of 60", "60", 54 * minute + 59 * second, false},
        {"55:00 of 60", "60", 55 * minute, true},
        {"hex 0x3C", "0x3C", 54 * minute, false},
        {"absent interval", "", 54 * minute, false},
        {"interval 5", "5", 0, true},
        {"interval 0", "0", 0, true},
        {"interval -1", "-1", 0, true},
        {"two hours ahead", "60", -120 * minute, true},
        {"absent stamp", "60", NAN, true},
        {"empty stamp", "60", INFINITY, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string options = "Widget_DataSource=7\r\n" + OutputOption();
        if (!c.interval.empty()) options += "Widget_AutoRefresh=" + c.interval + "\r\n";
        const TDateTime now = atWholeSecond();
        if (std::isinf(c.ago)) options += "Widget_LastRemoteXML=\r\n";
        else if (!std::isnan(c.ago)) options += "Widget_LastRemoteXML=" + DateTimeToStr(now - c.ago, RegionalSettings()) + "\r\n";
        const std::string path = Widget(options, Crm());
        Run(path);
        const TLogEntry last = FLog.Entries().back();
        if (c.due) {
            EXPECT_EQ(last.Type, kSuccess) << last.Message;
        } else {
            EXPECT_EQ(last, Entry(kInfo, "Not within Refresh and Widget_LastRemoteXML " +
                                             FormatIsoDateTime(now - c.ago, RegionalSettings().TimeSeparator)));
        }
    }
}

TEST_F(ExtractWidgetData, ListPositionsCloseUpOverAbsentSections) {
    struct Case {
        std::vector<int> present;
        int mode0, mode1;  // the section used, -1 for the general failure
    };
    const Case cases[] = {
        {{0, 1, 2, 3}, 0, 1}, {{0, 1}, 0, 1}, {{0, 2}, 0, 2}, {{1, 2, 3}, 1, 2}, {{1}, 1, -1}, {{3}, 3, -1}, {{}, -1, -1},
    };
    for (const auto& c : cases) {
        std::string sections;
        for (int n : c.present) sections += Section(n, "SQLite", "db" + std::to_string(n) + ".db");
        sections += "[Connect_Info_9]\r\nProvider=ignored\r\n[Connect_Info_0 ]\r\n";
        for (int mode : {0, 1}) {
            const int expected = mode == 0 ? c.mode0 : c.mode1;
            SCOPED_TRACE(testing::Message() << "mode " << mode << ", sections " << testing::PrintToString(c.present));
            const std::string path = Widget("Widget_DataSource=" + std::to_string(mode) + "\r\nWidget_RemoteXMLFile= \r\n",
                                            sections);
            Run(path);
            const std::string last = FLog.Entries().back().Message;
            if (expected < 0)
                EXPECT_EQ(last.rfind("ERROR: Creating remote data set ", 0), 0u) << last;
            else
                EXPECT_EQ(last, "Remote Dataset is blank \r" +
                                    Describe(mode, "SQLite", "db" + std::to_string(expected) + ".db"));
        }
    }
}

TEST_F(ExtractWidgetData, ProviderRulesForFirebirdAndOdbc) {
    struct Case {
        std::string provider, server;
        std::string shownProvider, shownServer;
    };
    const Case cases[] = {
        {"firebird", "db1", "Interbase", "db1"},
        {"FireBird", "", "Interbase", ""},
        {"odbc", "  ", "odbc", "crm.db"},
        {"ODBC", "dsn", "ODBC", "dsn"},
        {"SQLite", "", "SQLite", ""},
    };
    for (const auto& c : cases) {
        const std::string path = Widget("Widget_RemoteXMLFile=\r\n", Section(0, c.provider, "crm.db", c.server));
        Run(path);
        EXPECT_EQ(FLog.Entries().back().Message, "Remote Dataset is blank \r" + Describe(0, c.shownProvider, "crm.db", c.shownServer))
            << c.provider;
    }
}

TEST_F(ExtractWidgetData, ASourceOnTheFirebirdServer) {
    TFirebirdSourceDatabase crm({"create table customer (id integer not null primary key, name varchar(40))",
                                 "insert into customer values (1, 'Smith & Sons')"});
    const TDbConnection& fb = crm.Connection();
    const std::string path =
        Widget("Widget_DataSource=1\r\n" + OutputOption(),
               Accounts(0) + "[Connect_Info_2]\r\nProvider=Firebird\r\nServer=" + fb.Server() + "\r\nDatabase=" +
                   fb.Database() + "\r\nUserName=" + fb.Username() + "\r\nPWD=" + Utf8ToAnsi(ScrambleText(fb.Password())) + "\r\n",
               "SELECT id, name FROM customer");
    Run(path);
    EXPECT_EQ(FLog.Entries().back(), Entry(kSuccess, "Remote Iqo Widget " + path + " has been completed"));
    EXPECT_NE(ReadBytes(FOut).find("<z:row ID='1' NAME='Smith &#x26; Sons' />"), std::string::npos) << ReadBytes(FOut);
}

TEST_F(ExtractWidgetData, ASourceOnThePostgreSQLCluster) {
    auto env = [](const char* name) { return std::string(std::getenv(name) ? std::getenv(name) : ""); };
    ASSERT_FALSE(env("IQO_PG_PORT").empty()) << "start scripts/test-servers";
    const std::string table = "widget_source_" + std::to_string(getpid());
    const std::string psql = "PGPASSWORD='" + env("IQO_PG_PASSWORD") + "' psql -q -X -v ON_ERROR_STOP=1 -h " +
                             env("IQO_PG_HOST") + " -p " + env("IQO_PG_PORT") + " -U " + env("IQO_PG_USER") + " -d " +
                             env("IQO_PG_DATABASE") + " -c ";
    ASSERT_EQ(std::system((psql + "\"CREATE TABLE " + table + " (id serial PRIMARY KEY, name varchar(40) NOT NULL); " +
                           "INSERT INTO " + table + " (name) VALUES ('Smith & Sons')\" >/dev/null").c_str()),
              0);
    const std::string path =
        Widget(OutputOption(),
               "[Connect_Info_0]\r\nProvider=PostgreSQL\r\nServer=" + env("IQO_PG_HOST") + "\r\nPortNo=" +
                   env("IQO_PG_PORT") + "\r\nDatabase=" + env("IQO_PG_DATABASE") + "\r\nUserName=" + env("IQO_PG_USER") +
                   "\r\nPWD=" + Utf8ToAnsi(ScrambleText(env("IQO_PG_PASSWORD"))) + "\r\n",
               "SELECT id, name FROM " + table);
    Run(path);
    std::system((psql + "\"DROP TABLE " + table + "\" >/dev/null").c_str());
    EXPECT_EQ(FLog.Entries().back(), Entry(kSuccess, "Remote Iqo Widget " + path + " has been completed"));
    const std::string xml = ReadBytes(FOut);
    EXPECT_NE(xml.find("<z:row id='1' name='Smith &#x26; Sons' />"), std::string::npos) << xml;
    EXPECT_NE(xml.find("rs:basetable='" + table + "'"), std::string::npos);
}

namespace {

std::string CombinedDescription(const std::string& second, const std::string& secondDb, const std::string& first,
                                const std::string& firstDb) {
    return "Connection 2\rProvider: " + second + "\rServer: \rDatabase: " + secondDb + "\rUsername: u\r\r" +
           "Connection 3\rProvider: " + first + "\rServer: \rDatabase: " + firstDb + "\rUsername: u";
}

}  // namespace

TEST_F(ExtractWidgetData, CombinedModeFailuresTellHowFarTheRunCame) {
    const std::string accounts = FAccounts->Connection().Database(), crm = FCrm->Connection().Database();
    const std::string described = CombinedDescription("SQLite", accounts, "SQLite", crm);
    struct Case {
        const char* name;
        std::string crmSql, accountsSql, combinedSql;
        std::string secondProvider;
        std::string entry;
    };
    const Case cases[] = {
        {"first query", "SELECT nope FROM customer", "SELECT * FROM ledger", "SELECT * FROM IQOSQL", "SQLite",
         "ERROR: no such column: nope\rOpening First \r" + described},
        {"second query", "SELECT * FROM customer", "SELECT nope FROM ledger", "SELECT * FROM IQOSQL", "SQLite",
         "ERROR: no such column: nope\rOpening Second \rOpening First \r" + described},
        {"no third text", "SELECT * FROM customer", "SELECT * FROM ledger", "", "SQLite",
         "ERROR: No SQL statement provided\rOpening combined \rOpening Second \rOpening First \r" + described},
        {"unknown table", "SELECT * FROM customer", "SELECT * FROM ledger", "SELECT * FROM OTHER", "SQLite",
         "ERROR: no such table: OTHER\rOpening combined \rOpening Second \rOpening First \r" + described},
        {"connection", "SELECT * FROM customer", "SELECT * FROM ledger", "SELECT * FROM IQOSQL", "Nope",
         "ERROR: Nope is not a valid provider name\r" + CombinedDescription("Nope", accounts, "SQLite", crm)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::create_directories(FDir.File("out"));
        WriteBytes(FOut, "old document");
        const std::string path = Widget("Widget_DataSource=2\r\n" + OutputOption(),
                                        Accounts(0) + Accounts(1) + Section(2, c.secondProvider, accounts) + Crm(3),
                                        c.crmSql);
        WriteBytes(path + "_02", c.accountsSql);
        if (c.combinedSql.empty())
            std::filesystem::remove(path + "_03");
        else
            WriteBytes(path + "_03", c.combinedSql);
        Run(path);
        const auto entries = FLog.Entries();
        ASSERT_GE(entries.size(), 3u);
        EXPECT_EQ(entries[entries.size() - 3], Direct("Accessing Combined Data set"));
        EXPECT_EQ(entries[entries.size() - 2], Entry(kError, c.entry));
        EXPECT_EQ(entries.back(), Entry(kSuccess, "Remote Iqo Widget " + path + " has been completed"));
        EXPECT_FALSE(FileExistsForTest(FOut));
        EXPECT_TRUE(Stamped(path));
    }
}

TEST_F(ExtractWidgetData, CombinedModeWithThreeSectionsIsAGeneralFailure) {
    WriteBytes(FDir.File("out.xml"), "old");
    const std::string path = Widget("Widget_DataSource=2\r\nWidget_RemoteXMLFile=" + FDir.File("out.xml") + "\r\n",
                                    Section(1, "x", "one.db") + Section(2, "y", "two.db") + Section(3, "firebird", "crm.fdb"));
    Run(path);
    const std::string last = FLog.Entries().back().Message;
    EXPECT_EQ(last.rfind("ERROR: Creating remote data set ", 0), 0u) << last;
    const std::string tail = "\r\rConnection 2\rProvider: InterBase\rServer: \rDatabase: crm.fdb\rUsername: u";
    EXPECT_EQ(last.substr(last.size() - tail.size()), tail);
    EXPECT_EQ(ReadBytes(FDir.File("out.xml")), "old");
    EXPECT_FALSE(Stamped(path));
}

TEST_F(ExtractWidgetData, CombinedModeNamesFirebirdTwoWays) {
    const std::string path = Widget("Widget_DataSource=2\r\nWidget_RemoteXMLFile=\r\n",
                                    Crm(0) + Crm(1) + Section(2, "FIREBIRD", "acc.fdb") + Section(3, "firebird", "crm.fdb"));
    Run(path);
    EXPECT_EQ(FLog.Entries().back().Message,
              "Remote Dataset is blank \r" + CombinedDescription("InterBase", "acc.fdb", "Interbase", "crm.fdb"));
}

TEST_F(ExtractWidgetData, CombinedModeJoinsTheFirebirdCrmWithTheAccountingSide) {
    TFirebirdSourceDatabase crm({"create table customer (id integer not null primary key, name varchar(40), accno varchar(10))",
                                 "insert into customer values (1, 'Smith & Sons', 'A100')",
                                 "insert into customer values (2, 'M\u00FCller', 'B200')",
                                 "insert into customer values (3, 'Nobody', null)"});
    FAccounts = std::make_unique<TSQLiteSourceDatabase>(std::vector<std::string>{
        "CREATE TABLE ledger (acc VARCHAR(10), docdate DATETIME, amount NUMERIC(15,2))",
        "INSERT INTO ledger VALUES ('A100', '2024-01-05 00:00:00', 12.5)",
        "INSERT INTO ledger VALUES ('A100', '2024-02-10 10:30:00', 100)",
        "INSERT INTO ledger VALUES ('B200', '2024-03-01 08:00:00', -0.25)"});
    const TDbConnection& fb = crm.Connection();
    const std::string path = Widget(
        "Widget_DataSource=2\r\n" + OutputOption(),
        Crm(0) + Crm(1) + Accounts(2) + "[Connect_Info_3]\r\nProvider=Firebird\r\nServer=" + fb.Server() +
            "\r\nDatabase=" + fb.Database() + "\r\nUserName=" + fb.Username() + "\r\nPWD=" +
            Utf8ToAnsi(ScrambleText(fb.Password())) + "\r\n",
        "SELECT ID, NAME, ACCNO FROM CUSTOMER");
    WriteBytes(path + "_02", "SELECT acc, docdate, amount FROM ledger");
    WriteBytes(path + "_03",
               "SELECT i.NAME AS Customer, i.ACCNO, count(*) AS Documents, sum(p.amount) AS Total\r\n"
               "FROM IQOSQL i JOIN PASTELSQL p ON p.acc = i.ACCNO\r\n"
               "WHERE p.docdate >= '2024-1-5'\r\nGROUP BY i.NAME, i.ACCNO ORDER BY i.NAME");
    Run(path);
    const auto entries = FLog.Entries();
    ASSERT_GE(entries.size(), 3u);
    EXPECT_EQ(entries[entries.size() - 3], Direct("Accessing Combined Data set"));
    EXPECT_EQ(entries[entries.size() - 2], Entry(kInfo, "Saving XML Data " + FOut));
    EXPECT_EQ(entries.back(), Entry(kSuccess, "Remote Iqo Widget " + path + " has been completed"));
    EXPECT_EQ(ReadBytes(FOut), ReadBytes(std::string(IQO_FIXTURES) + "/fixtures/combined.xml"));
}
