#include "service/uiqoDatraCtr.h"

#include <filesystem>
#include <regex>
#include <thread>

#include <gtest/gtest.h>

#include "ServiceTestSupport.h"
#include "platform/IniFile.h"
#include "service/IQOCommon.h"

using namespace iqo;

namespace {

const std::string kStarted = "iqoRiveDur: information 0 1: Iqo Vova Duvaza (Widgets) started in ";
const std::string kStopped = "iqoRiveDur: information 0 1: Iqo Vova Duvaza (Widget) Service was stopped";
const std::string kPausedEntry = "iqoRiveDur: information 0 1: Iqo Data Center - Service is being paused";
const std::string kResumed = "iqoRiveDur: information 0 1: Iqo Vova Duvaza - Service is being resumed";
// What every cycle writes for a data-centre database that cannot be opened.
const std::string kCheckFailed = "iqoRiveDur: error 2 0: Error: During Vova Duvaza check process ";

bool StartsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

size_t CountStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return StartsWith(l, prefix); }));
}

// Position of the first line that starts with prefix, or the number of lines.
size_t FirstStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
    return static_cast<size_t>(std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return StartsWith(l, prefix); }) -
                               lines.begin());
}

// The service module as systemd would run it, in a temporary folder: its unit (ExecStart= a
// program in a home folder whose name holds a blank), its event log as a file and its
// reported states recorded; the control requests are posted as the signal thread posts them.
class ServiceModule : public ::testing::Test {
protected:
    ServiceModule() : FLog(FDir) {
        std::filesystem::create_directories(FDir.File("units"));
        std::filesystem::create_directories(Home());
    }
    ~ServiceModule() override {
        if (FThread.joinable()) FThread.join();
        SetServicePath("");
    }

    std::string Home() const { return FDir.File("Vova Duvaza"); }

    void InstallUnit() {
        WriteBytes(FDir.File("units/iqoRiveDur.service"),
                   "[Service]\nType=notify\nExecStart=\"" + Home() + "/iqoRiveDurSvc\"\n");
    }

    // Settings of count data-centre databases that cannot be reached: each one gives one
    // error entry per cycle.
    void WriteUnreachableSettings(int count) {
        TIniFile settings(Home() + "/iqoRiveDur.ini");
        settings.WriteInteger("Settings", "Connection_Number", count);
        for (int n = 1; n <= count; ++n) {
            const std::string section = "Connection_Info_" + std::to_string(n);
            settings.WriteString(section, "Firebird_Server", "127.0.0.1/1");
            settings.WriteString(section, "Firebird_Database", "/nowhere/dc" + std::to_string(n) + ".fdb");
        }
    }

    std::unique_ptr<TiqoRiveDur> Module(TIqoDataThreadSleeps sleeps, int eventLogFd) {
        TiqoRiveDurOptions options;
        options.EventLog = std::make_unique<TEventLog>(FDir.File("no-journal"), eventLogFd);
        options.UnitRoot = FDir.File("units");
        options.ExecutePoll = 20;
        options.WorkerSleeps = sleeps;
        auto module = std::make_unique<TiqoRiveDur>(std::move(options));
        module->SetStatusNotifier(FNotes.Notifier());
        return module;
    }
    std::unique_ptr<TiqoRiveDur> Module(TIqoDataThreadSleeps sleeps = {100, 100}) { return Module(sleeps, FLog.Fd()); }

    void Serve(TiqoRiveDur& module) {
        FThread = std::thread([&module] { module.Serve(); });
        ASSERT_TRUE(WaitFor([&] { return module.Status() == TServiceState::Running; }));
    }
    void Join() { FThread.join(); }

    bool WaitForCheckFailures(size_t count) {
        return WaitFor([&] { return CountStartingWith(FLog.Lines(), kCheckFailed) >= count; });
    }

    TTempFolder FDir;
    TLogFile FLog;
    TNotifications FNotes;
    std::thread FThread;
};

}  // namespace

TEST_F(ServiceModule, StartPauseContinueStop) {
    InstallUnit();
    auto module = Module();
    EXPECT_EQ(&iqoRiveDur(), module.get());
    Serve(*module);
    EXPECT_EQ(ServicePath(), Home() + "/");
    module->PostRequest(TControlRequest::Pause);
    module->PostRequest(TControlRequest::Continue);
    module->PostRequest(TControlRequest::Stop);
    Join();
    ASSERT_NE(module->DataThread(), nullptr);
    EXPECT_TRUE(module->DataThread()->Terminated());
    const TLogTarget* installed = module.get();
    module.reset();
    EXPECT_NE(&iqoRiveDur(), installed);
    EXPECT_EQ(FLog.Lines(), (std::vector<std::string>{kStarted + Home() + "/", kPausedEntry, kResumed, kStopped}));
    EXPECT_EQ(FNotes.States(), (std::vector<std::string>{"READY=1\nSTATUS=Running", "STATUS=Paused", "STATUS=Running",
                                                         "STOPPING=1\nSTATUS=Stopping"}));
}

TEST_F(ServiceModule, PauseAndContinueSetTheWorkersRunningFlag) {
    InstallUnit();
    auto module = Module();
    Serve(*module);
    EXPECT_TRUE(module->DataThread()->ThreadRunning());
    module->PostRequest(TControlRequest::Pause);
    ASSERT_TRUE(WaitFor([&] { return module->Status() == TServiceState::Paused; }));
    EXPECT_FALSE(module->DataThread()->ThreadRunning());
    module->PostRequest(TControlRequest::Continue);
    ASSERT_TRUE(WaitFor([&] { return module->Status() == TServiceState::Running; }));
    EXPECT_TRUE(module->DataThread()->ThreadRunning());
    module->PostRequest(TControlRequest::Stop);
    Join();
    module->ServiceDestroy();
    EXPECT_EQ(module->DataThread(), nullptr);
}

TEST_F(ServiceModule, WithoutAnInstalledUnitServicePathIsEmpty) {
    auto module = Module();
    Serve(*module);
    module->PostRequest(TControlRequest::Stop);
    Join();
    EXPECT_EQ(ServicePath(), "");
    EXPECT_EQ(FLog.Lines().at(0), kStarted);
}

// An entry the event log cannot take goes to "eventlog.txt" in ServicePath, after the error
// text; a direct entry has no such fallback.
TEST_F(ServiceModule, EventLogFailuresFallBackToTheTextLog) {
    InstallUnit();
    auto module = Module({100, 100}, -1);
    Serve(*module);
    module->LogMessage("direct entry", EVENTLOG_INFORMATION_TYPE, 2, 0);
    module->PostRequest(TControlRequest::Stop);
    Join();
    const std::string text = ReadBytes(Home() + "/eventlog.txt");
    const std::string stamp = R"(\d\d-\d\d-\d\d \d\d:\d\d:\d\d: )";
    const std::string failed = "Event log entry not written: Bad file descriptor ";
    EXPECT_TRUE(std::regex_match(text, std::regex(R"(\.:: eventlog\.txt file created ::\.\r\n)" + stamp + failed +
                                                  "Iqo Vova Duvaza \\(Widgets\\) started in " + Home() + "/\r\n" + stamp +
                                                  failed + "Iqo Vova Duvaza \\(Widget\\) Service was stopped\r\n")))
        << text;
}

// Stopped during the first sleep, the worker ends without a cycle: the first cycle does not
// come at the start.
TEST_F(ServiceModule, NoCycleBeforeTheFirstSleepHasEnded) {
    InstallUnit();
    WriteUnreachableSettings(1);
    auto module = Module({3000, 100});
    Serve(*module);
    module->PostRequest(TControlRequest::Stop);
    Join();
    module.reset();
    EXPECT_EQ(FLog.Lines(), (std::vector<std::string>{kStarted + Home() + "/", kStopped}));
}

TEST_F(ServiceModule, APauseBeforeTheFirstCycleHoldsItUntilContinue) {
    InstallUnit();
    WriteUnreachableSettings(1);
    auto module = Module({300, 100});
    Serve(*module);
    module->PostRequest(TControlRequest::Pause);
    ASSERT_TRUE(FLog.WaitForLine(kPausedEntry));
    // Long past the first sleep and several wake-ups of the paused worker.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(CountStartingWith(FLog.Lines(), kCheckFailed), 0u);
    module->PostRequest(TControlRequest::Continue);
    ASSERT_TRUE(WaitForCheckFailures(1));
    module->PostRequest(TControlRequest::Stop);
    Join();
    module.reset();
    const auto lines = FLog.Lines();
    EXPECT_LT(FirstStartingWith(lines, kResumed), FirstStartingWith(lines, kCheckFailed));
}

namespace {

// Passes every entry on and holds the worker at its first error entry until opened.
class TGate : public TLogTarget {
public:
    explicit TGate(TLogTarget& next) : FNext(next), FInstallation(*this) {}

    void WriteLogMessage(const std::string& aMessage, int aEventType, int aCategory) override {
        FNext.WriteLogMessage(aMessage, aEventType, aCategory);
    }
    void LogMessage(const std::string& message, int eventType, int category, int eventID) override {
        FNext.LogMessage(message, eventType, category, eventID);
        std::unique_lock<std::mutex> lock(FLock);
        if (FReached) return;
        FReached = true;
        FChanged.notify_all();
        FChanged.wait(lock, [this] { return FOpen; });
    }
    bool WaitUntilReached() {
        std::unique_lock<std::mutex> lock(FLock);
        return FChanged.wait_for(lock, std::chrono::seconds(20), [this] { return FReached; });
    }
    void Open() {
        std::lock_guard<std::mutex> lock(FLock);
        FOpen = true;
        FChanged.notify_all();
    }

private:
    TLogTarget& FNext;
    std::mutex FLock;
    std::condition_variable FChanged;
    bool FReached = false;
    bool FOpen = false;
    TLogTargetInstallation FInstallation;
};

}  // namespace

// The stop is handled while the worker is held inside its first cycle: the cycle completes
// (the second database is still polled) and no other cycle starts.
TEST_F(ServiceModule, AStopDuringACycleLetsItFinishAndStartsNoOther) {
    InstallUnit();
    WriteUnreachableSettings(2);
    auto module = Module({100, 100});
    TGate gate(*module);
    Serve(*module);
    ASSERT_TRUE(gate.WaitUntilReached());
    module->PostRequest(TControlRequest::Stop);
    ASSERT_TRUE(FLog.WaitForLine(kStopped));
    gate.Open();
    Join();
    module->ServiceDestroy();
    const auto lines = FLog.Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], kStarted + Home() + "/");
    EXPECT_TRUE(StartsWith(lines[1], kCheckFailed)) << lines[1];
    EXPECT_EQ(lines[2], kStopped);
    EXPECT_TRUE(StartsWith(lines[3], kCheckFailed)) << lines[3];
}

// A shutdown stops the service without the stop handler: no stop entry, and the worker goes
// on with its cycles until the module is destroyed.
TEST_F(ServiceModule, AShutdownWritesNoStopEntry) {
    InstallUnit();
    WriteUnreachableSettings(1);
    auto module = Module({100, 100});
    Serve(*module);
    ASSERT_TRUE(WaitForCheckFailures(1));
    module->PostRequest(TControlRequest::Shutdown);
    Join();
    EXPECT_EQ(FNotes.States().back(), "STOPPING=1\nSTATUS=Stopping");
    ASSERT_NE(module->DataThread(), nullptr);
    EXPECT_FALSE(module->DataThread()->Terminated());
    const size_t before = CountStartingWith(FLog.Lines(), kCheckFailed);
    ASSERT_TRUE(WaitForCheckFailures(before + 1));
    module.reset();
    EXPECT_EQ(FLog.Count(kStopped), 0u);
    EXPECT_EQ(FLog.Lines().at(0), kStarted + Home() + "/");
}
