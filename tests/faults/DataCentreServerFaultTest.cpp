#include <gtest/gtest.h>

#include "FaultSupport.h"
#include "PrivateServerTest.h"
#include "extraction/iqoDataThread.h"
#include "platform/IniFile.h"

using namespace iqo;

namespace {

// A cycle over two data-centre databases: the first on a private Firebird server that the test
// stops or kills inside the cycle, the second on the shared test server. Every widget reads a
// local SQLite source, so only the data-centre server fails.
class DataCentreServerFault : public TPrivateServerTest {
protected:
    std::string Widget(const std::string& name) const { return FWidgets.File(name + ".ini"); }
    std::string Output(const std::string& name) const { return FOutputs.File(name + ".xml"); }

    void WriteWidgets() {
        for (const char* name : {"w1", "w2", "w3"})
            WriteWidget(Widget(name), Output(name), ConnectInfo(0, "SQLite", "", 0, FSource->Connection().Database(), "", ""),
                        kCustomerSql);
    }

    std::vector<TLogEntry> Extracted(const std::string& name) const {
        return ExtractedEntries(Widget(name), Output(name), SQLiteDescription(FSource->Connection().Database()));
    }

    TTempFolder FWidgets;
    TTempFolder FOutputs;
    std::unique_ptr<TSQLiteSourceDatabase> FSource = CustomerSource();
};

}  // namespace

// The next database is still polled in the same cycle, nothing is lost, and the next cycle
// after the restart polls the first database again.
TEST_F(DataCentreServerFault, TheServerStoppedInsideACycle) {
    WriteWidgets();
    TDataCentreDatabase dc1(Servers()->FirebirdServer(), Servers()->FirebirdFolder(), {Widget("w1"), Widget("w2")});
    TDataCentreDatabase dc2(EnvironmentValue("IQO_FB_SERVER"), EnvironmentValue("IQO_FB_DIR"), {Widget("w3")});
    WriteSettings(FHome.File("iqoRiveDur.ini"), {&dc1, &dc2});

    enum class TStop { Clean, Kill };
    struct Case {
        const char* name;
        std::string trigger;  // the entry at which the server goes
        TStop stop;
        std::vector<TLogEntry> firstDatabase;  // the entries of dc1 in the cycle of the fault
        std::vector<std::string> extracted;    // widgets of dc1 whose files the cycle writes
    };
    const std::string listing = "Checking Widgets on " + dc1.Server() + ":" + dc1.Path();
    const std::string firstWidget = "Checking Widget file: " + Widget("w1");
    std::vector<TLogEntry> widgetsListed = CheckingEntries(dc1, 2);
    Append(widgetsListed, Extracted("w1"));
    Append(widgetsListed, Extracted("w2"));
    const Case cases[] = {
        {"stopped before the widget list", listing, TStop::Clean,
         {Info(listing), CheckFailed("Error reading data from the connection.")}, {}},
        {"killed before the widget list", listing, TStop::Kill,
         {Info(listing), CheckFailed("Error reading data from the connection.")}, {}},
        // The list is read whole when its query opens: the widgets of the database still run.
        {"stopped at its first widget", firstWidget, TStop::Clean, widgetsListed, {"w1", "w2"}},
        {"killed at its first widget", firstWidget, TStop::Kill, widgetsListed, {"w1", "w2"}},
    };

    TFaultLog log;
    TIqoDataThread worker(true);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* name : {"w1", "w2", "w3"}) std::filesystem::remove(Output(name));
        Servers()->Start();
        log.Clear();
        bool struck = false;
        log.SetHook([&](const TLogEntry& e) {
            if (struck || e.Message != c.trigger) return;
            struck = true;
            c.stop == TStop::Clean ? Servers()->Stop() : Servers()->KillFirebird();
        });
        worker.Cycle();
        log.SetHook(nullptr);
        ShowEntries(std::string("data-centre server ") + c.name, log.Entries());
        EXPECT_TRUE(struck);
        std::vector<TLogEntry> expected = c.firstDatabase;
        Append(expected, CheckingEntries(dc2, 1));
        Append(expected, Extracted("w3"));
        EXPECT_EQ(log.Entries(), expected);
        for (const char* name : {"w1", "w2", "w3"}) {
            const bool written = std::string(name) == "w3" || std::count(c.extracted.begin(), c.extracted.end(), name);
            EXPECT_EQ(FileExistsForTest(Output(name)), written) << name;
            if (written) {
                EXPECT_TRUE(WholeRowset(Output(name), kCustomerRow)) << name;
            }
            EXPECT_EQ(TIniFile(Widget(name)).ReadString("Widget_Options", "Widget_Caption", ""), "Sales") << name;
        }
        EXPECT_EQ(FileNames(FOutputs.Path()).size(), 1 + c.extracted.size()) << "a temporary file was left";

        // The next cycle, after the restart, polls the first database again.
        Servers()->Start();
        log.Clear();
        worker.Cycle();
        ShowEntries(std::string("the cycle after the restart (") + c.name + ")", log.Entries());
        expected = widgetsListed;
        Append(expected, CheckingEntries(dc2, 1));
        Append(expected, Extracted("w3"));
        EXPECT_EQ(log.Entries(), expected);
        for (const char* name : {"w1", "w2", "w3"}) EXPECT_TRUE(WholeRowset(Output(name), kCustomerRow)) << name;
    }
}
