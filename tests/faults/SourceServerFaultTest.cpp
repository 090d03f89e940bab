#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "FaultSupport.h"
#include "PrivateServerTest.h"
#include "extraction/iqoDataThread.h"
#include "platform/IniFile.h"

using namespace iqo;

namespace {

// A cycle over one data-centre database on the shared server that lists two widgets: the
// first runs a slow query on a private source server, which the test stops or kills while
// the job waits; the second reads a local SQLite source.
class SourceServerFault : public TPrivateServerTest {
protected:
    std::string Widget(const std::string& name) const { return FWidgets.File(name + ".ini"); }
    std::string Output(const std::string& name) const { return FOutputs.File(name + ".xml"); }

    TTempFolder FWidgets;
    TTempFolder FOutputs;
    std::unique_ptr<TSQLiteSourceDatabase> FSource = CustomerSource();
};

// Waits until running() tells that the slow query runs, then strikes; strikes all the same
// after a bound, so that the job never waits for the whole query. True when it struck while
// the query ran.
bool StrikeWhileRunning(const std::function<bool()>& running, const std::function<void()>& strike) {
    bool seen = false;
    for (int i = 0; i < 300 && !(seen = running()); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    strike();
    return seen;
}

// libpq's text for a lost connection, after a fast shutdown as after a crash.
const std::string kPgConnectionLost =
    "server closed the connection unexpectedly\n\tThis probably means the server terminated abnormally\n"
    "\tbefore or while processing the request.";

}  // namespace

TEST_F(SourceServerFault, TheSourceServerStoppedDuringTheQuery) {
    TDataCentreDatabase dc(EnvironmentValue("IQO_FB_SERVER"), EnvironmentValue("IQO_FB_DIR"), {Widget("slow"), Widget("next")});
    WriteSettings(FHome.File("iqoRiveDur.ini"), {&dc});
    TDataCentreDatabase firebirdSource(Servers()->FirebirdServer(), Servers()->FirebirdFolder(), {});
    const int pgPort = Servers()->PostgreSQLPort();

    const std::string pgSql = "SELECT pg_sleep(60) AS slept";
    const std::string fbSql = "select count(*) from rdb$types a, rdb$types b, rdb$types c, rdb$types d";
    const std::string pgSection = ConnectInfo(0, "PostgreSQL", "127.0.0.1", pgPort, "iqotest", "iqotest", "");
    const std::string fbSection = ConnectInfo(0, "Firebird", firebirdSource.Server(), 0, firebirdSource.Path(),
                                              TDataCentreDatabase::User(), TDataCentreDatabase::Password());
    const std::string pgDescription =
        "Connection type 0 \rProvider: PostgreSQL\rServer: 127.0.0.1\rDatabase: iqotest\rUserName: iqotest";
    const std::string fbDescription = "Connection type 0 \rProvider: Interbase\rServer: " + firebirdSource.Server() +
                                      "\rDatabase: " + firebirdSource.Path() + "\rUserName: " + TDataCentreDatabase::User();
    // The job hands the side file's text over with its line end.
    auto pgRunning = [&] {
        return Servers()->Psql("SELECT count(*) FROM pg_stat_activity WHERE state = 'active' AND query LIKE '" + pgSql +
                               "%'") == "1\n";
    };
    auto fbRunning = [&] {
        return firebirdSource.Select("select 'RUNNING=' || count(*) from mon$statements where mon$state = 1 and "
                                     "mon$sql_text starting with 'select count(*) from rdb$types'")
                   .find("RUNNING=1") != std::string::npos;
    };
    struct Case {
        const char* name;
        std::string section, sql, description;
        std::function<bool()> running;
        std::function<void()> strike;
        std::string error;  // the driver's text
    };
    const Case cases[] = {
        {"PostgreSQL stopped", pgSection, pgSql, pgDescription, pgRunning, [&] { Servers()->Stop(); },
         kPgConnectionLost},
        {"PostgreSQL killed", pgSection, pgSql, pgDescription, pgRunning, [&] { Servers()->KillPostgreSQL(); },
         kPgConnectionLost},
        {"Firebird stopped", fbSection, fbSql, fbDescription, fbRunning, [&] { Servers()->Stop(); },
         "connection shutdown"},
        {"Firebird killed", fbSection, fbSql, fbDescription, fbRunning, [&] { Servers()->KillFirebird(); },
         "Error reading data from the connection."},
    };

    TFaultLog log;
    TIqoDataThread worker(true);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Servers()->Start();
        WriteWidget(Widget("slow"), Output("slow"), c.section, c.sql);
        WriteWidget(Widget("next"), Output("next"), ConnectInfo(0, "SQLite", "", 0, FSource->Connection().Database(), "", ""),
                    kCustomerSql);
        WriteBytes(Output("slow"), "the document of the last run");
        std::filesystem::remove(Output("next"));
        log.Clear();
        bool struck = false;
        std::thread striker([&] { struck = StrikeWhileRunning(c.running, c.strike); });
        worker.Cycle();
        striker.join();
        ShowEntries(std::string("source server ") + c.name + " during the query", log.Entries());
        EXPECT_TRUE(struck) << "the slow query was not seen running";

        std::vector<TLogEntry> expected = CheckingEntries(dc, 2);
        Append(expected, {Info("Checking Widget file: " + Widget("slow")), Info("Executing data extraction " + Widget("slow")),
                          Info("Creating dataset for Widget file " + Widget("slow")),
                          Direct("Adding connection info Connect_info_0"), Direct("Accessing Iqo CRM Data set"),
                          Error("ERROR: " + c.error + "\r" + c.description),
                          Success("Remote Iqo Widget " + Widget("slow") + " has been completed")});
        Append(expected, ExtractedEntries(Widget("next"), Output("next"), SQLiteDescription(FSource->Connection().Database())));
        EXPECT_EQ(log.Entries(), expected);
        // The job cleared the output path before the run; the failed run leaves nothing there.
        EXPECT_EQ(FileNames(FOutputs.Path()), std::vector<std::string>{"next.xml"});
        EXPECT_TRUE(WholeRowset(Output("next"), kCustomerRow));
        const TIniFile slow(Widget("slow"));
        EXPECT_TRUE(slow.ValueExists("Widget_Options", "Widget_LastRemoteXML")) << "the failed widget is stamped";
        EXPECT_EQ(slow.ReadString("Widget_Options", "Widget_Caption", ""), "Sales");
        EXPECT_TRUE(slow.SectionExists("Connect_Info_0"));
    }
}
