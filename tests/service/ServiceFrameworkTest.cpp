#include "platform/Service.h"

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "ServiceTestSupport.h"
#include "platform/Exception.h"

using namespace iqo;

namespace {

const std::string kReady = "READY=1\nSTATUS=Running";
const std::string kRunning = "STATUS=Running";
const std::string kPaused = "STATUS=Paused";
const std::string kStopping = "STOPPING=1\nSTATUS=Stopping";

// A service whose handlers record what ran, on the service thread, with an execute loop that
// polls for requests the way the service module does (short poll).
class ServiceFramework : public ::testing::Test {
protected:
    ServiceFramework()
        : FLog(FDir), FService("svc", "Service", std::make_unique<TEventLog>(FDir.File("no-journal"), FLog.Fd())) {
        FService.SetStatusNotifier(FNotes.Notifier());
        FService.OnStart = [this](TService&, bool&) { Record("start"); };
        FService.OnStop = [this](TService&, bool&) { Record("stop"); };
        FService.OnPause = [this](TService&, bool&) { Record("pause"); };
        FService.OnContinue = [this](TService&, bool&) { Record("continue"); };
        FService.OnExecute = [this](TService& sender) {
            while (!sender.Terminated()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                sender.ProcessRequests(false);
                // The state after each poll: never Paused, since a paused service stays in the poll.
                if (sender.Status() == TServiceState::Paused) FReturnedWhilePaused = true;
            }
        };
    }
    ~ServiceFramework() override { Join(); }

    void Start() {
        FThread = std::thread([this] { FService.Serve(); });
    }
    void Join() {
        if (FThread.joinable()) FThread.join();
    }
    bool WaitForStatus(TServiceState state) {
        return WaitFor([&] { return FService.Status() == state; });
    }
    void Record(const std::string& what) {
        std::lock_guard<std::mutex> lock(FLock);
        FCalls.push_back(what);
    }
    std::vector<std::string> Calls() {
        std::lock_guard<std::mutex> lock(FLock);
        return FCalls;
    }

    TTempFolder FDir;
    TLogFile FLog;
    TNotifications FNotes;
    TService FService;
    std::atomic<bool> FReturnedWhilePaused{false};
    std::thread FThread;
    std::mutex FLock;
    std::vector<std::string> FCalls;
};

}  // namespace

TEST_F(ServiceFramework, RunsTheHandlersOnRequestAndReportsEachState) {
    Start();
    ASSERT_TRUE(WaitForStatus(TServiceState::Running));
    FService.PostRequest(TControlRequest::Pause);
    ASSERT_TRUE(WaitForStatus(TServiceState::Paused));
    FService.PostRequest(TControlRequest::Interrogate);
    FService.PostRequest(TControlRequest::Continue);
    ASSERT_TRUE(WaitForStatus(TServiceState::Running));
    FService.PostRequest(TControlRequest::Interrogate);
    FService.PostRequest(TControlRequest::Stop);
    Join();
    EXPECT_EQ(FService.Status(), TServiceState::Stopped);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"start", "pause", "continue", "stop"}));
    EXPECT_EQ(FNotes.States(), (std::vector<std::string>{kReady, kPaused, kPaused, kRunning, kRunning, kStopping}));
    EXPECT_FALSE(FReturnedWhilePaused);
    EXPECT_TRUE(FLog.Lines().empty());
}

// Requests the state does not allow only report the state again.
TEST_F(ServiceFramework, APauseWhilePausedOrAContinueWhileRunningChangesNothing) {
    Start();
    ASSERT_TRUE(WaitForStatus(TServiceState::Running));
    FService.PostRequest(TControlRequest::Continue);
    FService.PostRequest(TControlRequest::Pause);
    FService.PostRequest(TControlRequest::Pause);
    FService.PostRequest(TControlRequest::Stop);
    Join();
    EXPECT_EQ(Calls(), (std::vector<std::string>{"start", "pause", "stop"}));
    EXPECT_EQ(FNotes.States(), (std::vector<std::string>{kReady, kRunning, kPaused, kPaused, kStopping}));
}

// A paused service thread is suspended until a continue or a stop: only then does the poll
// return, and a stop from the paused state runs the stop handler.
TEST_F(ServiceFramework, StopWhilePaused) {
    Start();
    ASSERT_TRUE(WaitForStatus(TServiceState::Running));
    FService.PostRequest(TControlRequest::Pause);
    ASSERT_TRUE(WaitForStatus(TServiceState::Paused));
    FService.PostRequest(TControlRequest::Stop);
    Join();
    EXPECT_EQ(Calls(), (std::vector<std::string>{"start", "pause", "stop"}));
    EXPECT_EQ(FNotes.States(), (std::vector<std::string>{kReady, kPaused, kStopping}));
    EXPECT_FALSE(FReturnedWhilePaused);
}

TEST_F(ServiceFramework, AShutdownStopsWithoutTheStopHandler) {
    for (const bool paused : {false, true}) {
        Start();
        ASSERT_TRUE(WaitForStatus(TServiceState::Running));
        if (paused) {
            FService.PostRequest(TControlRequest::Pause);
            ASSERT_TRUE(WaitForStatus(TServiceState::Paused));
        }
        FService.PostRequest(TControlRequest::Shutdown);
        Join();
        EXPECT_EQ(FService.Status(), TServiceState::Stopped);
        EXPECT_EQ(FNotes.States().back(), kStopping) << paused;
    }
    EXPECT_EQ(Calls(), (std::vector<std::string>{"start", "start", "pause"}));
}

TEST_F(ServiceFramework, RequestsAfterTheStopAreDropped) {
    Start();
    ASSERT_TRUE(WaitForStatus(TServiceState::Running));
    FService.PostRequest(TControlRequest::Stop);
    FService.PostRequest(TControlRequest::Pause);
    FService.PostRequest(TControlRequest::Stop);
    Join();
    EXPECT_EQ(Calls(), (std::vector<std::string>{"start", "stop"}));
}

TEST_F(ServiceFramework, AFailedStartIsLoggedAndStopsTheService) {
    bool executed = false;
    FService.OnStart = [](TService&, bool&) { throw Exception("no thread"); };
    FService.OnExecute = [&](TService&) { executed = true; };
    Start();
    Join();
    EXPECT_FALSE(executed);
    EXPECT_EQ(FService.Status(), TServiceState::Stopped);
    EXPECT_TRUE(FNotes.States().empty());
    EXPECT_EQ(FLog.Lines(), std::vector<std::string>{"iqoRiveDur: error 0 0: Service failed on start: no thread"});
}

TEST_F(ServiceFramework, AStartLeftUnstartedStopsTheServiceSilently) {
    FService.OnStart = [](TService&, bool& started) { started = false; };
    Start();
    Join();
    EXPECT_EQ(FService.Status(), TServiceState::Stopped);
    EXPECT_TRUE(FNotes.States().empty());
    EXPECT_TRUE(FLog.Lines().empty());
}

TEST_F(ServiceFramework, AFailedExecuteIsLoggedAndStopsTheService) {
    FService.OnExecute = [](TService&) { throw Exception("poll broke"); };
    Start();
    Join();
    EXPECT_EQ(FService.Status(), TServiceState::Stopped);
    EXPECT_EQ(Calls(), std::vector<std::string>{"start"});
    EXPECT_EQ(FNotes.States(), (std::vector<std::string>{kReady, kStopping}));
    EXPECT_EQ(FLog.Lines(), std::vector<std::string>{"iqoRiveDur: error 0 0: Service failed on execute: poll broke"});
}

// A failed stop, pause or continue is logged and the service reports the state it had.
TEST_F(ServiceFramework, AFailedControlHandlerKeepsThePreviousState) {
    int stops = 0;
    std::atomic<bool> failPause{true};
    std::atomic<bool> failContinue{true};
    FService.OnStop = [&](TService&, bool&) {
        if (++stops == 1) throw Exception("stop refused");
    };
    FService.OnPause = [&](TService&, bool&) {
        if (failPause) throw Exception("pause refused");
    };
    FService.OnContinue = [&](TService&, bool& continued) {
        if (failContinue) continued = false;
    };
    Start();
    ASSERT_TRUE(WaitForStatus(TServiceState::Running));
    FService.PostRequest(TControlRequest::Stop);
    FService.PostRequest(TControlRequest::Pause);
    ASSERT_TRUE(FNotes.WaitForCount(3));
    EXPECT_EQ(FService.Status(), TServiceState::Running);
    failPause = false;
    FService.PostRequest(TControlRequest::Pause);
    ASSERT_TRUE(WaitForStatus(TServiceState::Paused));
    FService.PostRequest(TControlRequest::Continue);
    ASSERT_TRUE(FNotes.WaitForCount(5));
    EXPECT_EQ(FService.Status(), TServiceState::Paused);
    failContinue = false;
    FService.PostRequest(TControlRequest::Continue);
    ASSERT_TRUE(WaitForStatus(TServiceState::Running));
    FService.PostRequest(TControlRequest::Stop);
    Join();
    EXPECT_EQ(FNotes.States(),
              (std::vector<std::string>{kReady, kRunning, kRunning, kPaused, kPaused, kRunning, kStopping}));
    EXPECT_EQ(FLog.Lines(), (std::vector<std::string>{"iqoRiveDur: error 0 0: Service failed on stop: stop refused",
                                                      "iqoRiveDur: error 0 0: Service failed on pause: pause refused"}));
    EXPECT_EQ(stops, 2);
}

// Without an execute handler the service thread waits for requests.
TEST_F(ServiceFramework, WithoutAnExecuteHandlerTheThreadWaitsForRequests) {
    FService.OnExecute = nullptr;
    Start();
    ASSERT_TRUE(WaitForStatus(TServiceState::Running));
    FService.PostRequest(TControlRequest::Pause);
    FService.PostRequest(TControlRequest::Continue);
    FService.PostRequest(TControlRequest::Stop);
    Join();
    EXPECT_EQ(Calls(), (std::vector<std::string>{"start", "pause", "continue", "stop"}));
}
