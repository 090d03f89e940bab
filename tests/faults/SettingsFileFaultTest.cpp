#include <cstdio>

#include <gtest/gtest.h>

#include "FaultSupport.h"
#include "extraction/iqoDataThread.h"

using namespace iqo;

namespace {

// Three data-centre databases on the shared Firebird server, each listing one widget that
// asks for no remote data, and a settings file that the test replaces inside a cycle.
class SettingsFileFault : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(EnvironmentValue("IQO_FB_SERVER").empty())
            << "IQO_FB_SERVER is not set: run scripts/test-servers start and eval \"$(scripts/test-servers env)\"";
        SetServicePath(FHome.Path() + "/");
        for (int i = 1; i <= 3; ++i) {
            const std::string widget = FWidgets.File("w" + std::to_string(i) + ".ini");
            WriteBytes(widget, "[Widget_Options]\r\nWidget_RemoteXML=0\r\n");
            FDatabases.push_back(std::make_unique<TDataCentreDatabase>(EnvironmentValue("IQO_FB_SERVER"),
                                                                       EnvironmentValue("IQO_FB_DIR"),
                                                                       std::vector<std::string>{widget}));
        }
    }
    void TearDown() override { SetServicePath(""); }

    std::string Settings() const { return FHome.File("iqoRiveDur.ini"); }
    // The settings text over the databases numbered (1 to 3) in order.
    std::string SettingsText(const std::vector<int>& numbers) const {
        const std::string scratch = FHome.File("scratch.ini");
        std::vector<const TDataCentreDatabase*> databases;
        for (int n : numbers) databases.push_back(FDatabases.at(n - 1).get());
        WriteSettings(scratch, databases);
        const std::string text = ReadBytes(scratch);
        std::remove(scratch.c_str());
        return text;
    }
    // The entries of the worker for database n.
    std::vector<TLogEntry> Polled(int n) const {
        std::vector<TLogEntry> entries = CheckingEntries(*FDatabases.at(n - 1), 1);
        entries.push_back(Info("Checking Widget file: " + FWidgets.File("w" + std::to_string(n) + ".ini")));
        return entries;
    }
    std::vector<TLogEntry> PolledAll(const std::vector<int>& numbers) const {
        std::vector<TLogEntry> entries;
        for (int n : numbers) Append(entries, Polled(n));
        return entries;
    }

    TTempFolder FHome;
    TTempFolder FWidgets;
    std::vector<std::unique_ptr<TDataCentreDatabase>> FDatabases;
};

}  // namespace

// The cycle goes on with what the file holds when each connection is read (the count was read
// at the start of the cycle); the next cycle reads the new file; a partial file is read as far
// as it goes and never stops the worker.
TEST_F(SettingsFileFault, TheSettingsFileReplacedDuringACycle) {
    const std::string twoAndThree = SettingsText({1, 3});
    const std::string original = SettingsText({1, 2});
    // Cut inside the header of the second section: that section does not exist.
    const std::string cut = original.substr(0, original.find("[Connection_Info_2]") + 14);
    struct Case {
        const char* name;
        std::string replacement;
        bool atomic;                     // renamed over the file, or written in place
        std::vector<int> restOfCycle;    // databases polled after the first one
        std::vector<int> nextCycle;      // databases polled by the next cycle
    };
    const Case cases[] = {
        {"replaced by a new file", twoAndThree, true, {3}, {1, 3}},
        {"truncated inside a section header", cut, false, {}, {1}},
        {"emptied", "", false, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(Settings(), original);
        TFaultLog log;
        const std::string trigger = Polled(1).front().Message;
        log.SetHook([&](const TLogEntry& e) {
            if (e.Message != trigger) return;
            if (!c.atomic) return WriteBytes(Settings(), c.replacement);
            WriteBytes(Settings() + ".new", c.replacement);
            std::rename((Settings() + ".new").c_str(), Settings().c_str());
        });
        TIqoDataThread worker(true);
        worker.Cycle();
        log.SetHook(nullptr);
        ShowEntries(std::string("settings file ") + c.name + " during a cycle", log.Entries());
        std::vector<TLogEntry> expected = Polled(1);
        Append(expected, PolledAll(c.restOfCycle));
        EXPECT_EQ(log.Entries(), expected);

        log.Clear();
        worker.Cycle();
        ShowEntries(std::string("the next cycle (") + c.name + ")", log.Entries());
        EXPECT_EQ(log.Entries(), PolledAll(c.nextCycle));

        // Once the whole file is there again, the cycle after polls what it lists.
        WriteBytes(Settings(), twoAndThree);
        log.Clear();
        worker.Cycle();
        EXPECT_EQ(log.Entries(), PolledAll({1, 3}));
    }
}
