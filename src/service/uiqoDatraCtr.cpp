#include "uiqoDatraCtr.h"

#include <chrono>
#include <thread>

#include "service/IQOCommon.h"

namespace iqo {

namespace {

constexpr const char* kTextLogName = "eventlog.txt";

std::unique_ptr<TEventLog> EventLogOrDefault(std::unique_ptr<TEventLog> eventLog) {
    return eventLog ? std::move(eventLog) : std::make_unique<TEventLog>();
}

}  // namespace

TiqoRiveDur::TiqoRiveDur(TiqoRiveDurOptions options)
    : TService(kServiceName, kDisplayName, EventLogOrDefault(std::move(options.EventLog))),
      FServiceManager(std::move(options.UnitRoot)),
      FExecutePoll(options.ExecutePoll),
      FWorkerSleeps(options.WorkerSleeps),
      FInstallation(*this) {
    OnStart = [this](TService& sender, bool& started) { ServiceStart(sender, started); };
    OnExecute = [this](TService& sender) { ServiceExecute(sender); };
    OnStop = [this](TService& sender, bool& stopped) { ServiceStop(sender, stopped); };
    OnPause = [this](TService& sender, bool& paused) { ServicePause(sender, paused); };
    OnContinue = [this](TService& sender, bool& continued) { ServiceContinue(sender, continued); };
}

TiqoRiveDur::~TiqoRiveDur() { ServiceDestroy(); }

void TiqoRiveDur::WriteLogMessage(const std::string& aMessage, int aEventType, int) {
    try {
        TService::LogMessage(aMessage, aEventType, 0, 1);
    } catch (const std::exception& e) {
        WriteTextLog(std::string(e.what()) + " " + aMessage, ServicePath(), kTextLogName);
    }
}

void TiqoRiveDur::LogMessage(const std::string& message, int eventType, int category, int eventID) {
    try {
        TService::LogMessage(message, eventType, category, eventID);
    } catch (const std::exception&) {
        // A direct entry has no fallback: it is lost.
    }
}

void TiqoRiveDur::ResolveServicePath() {
    SetServicePath(ServiceFolderOfImagePath(GetServiceImagePath("", kServiceName, FServiceManager)));
}

void TiqoRiveDur::ServiceStart(TService&, bool& Started) {
    ResolveServicePath();
    WriteLogMessage("Iqo Vova Duvaza (Widgets) started in " + ServicePath(), EVENTLOG_INFORMATION_TYPE, kIqoLogCategory);
    FDataThread = std::make_unique<TIqoDataThread>(false, FWorkerSleeps);
    Started = true;
}

void TiqoRiveDur::ServiceExecute(TService& Sender) {
    ResolveServicePath();
    while (!Sender.Terminated()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(FExecutePoll));
        Sender.ProcessRequests(false);
    }
}

void TiqoRiveDur::ServiceStop(TService&, bool& Stopped) {
    WriteLogMessage("Iqo Vova Duvaza (Widget) Service was stopped", EVENTLOG_INFORMATION_TYPE, kIqoLogCategory);
    if (FDataThread) FDataThread->Terminate();
    Stopped = true;
}

void TiqoRiveDur::ServicePause(TService&, bool& Paused) {
    WriteLogMessage("Iqo Data Center - Service is being paused", EVENTLOG_INFORMATION_TYPE, kIqoLogCategory);
    if (FDataThread) FDataThread->SetThreadRunning(false);
    Paused = true;
}

void TiqoRiveDur::ServiceContinue(TService&, bool& Continued) {
    WriteLogMessage("Iqo Vova Duvaza - Service is being resumed", EVENTLOG_INFORMATION_TYPE, kIqoLogCategory);
    if (FDataThread) FDataThread->SetThreadRunning(true);
    Continued = true;
}

void TiqoRiveDur::ServiceDestroy() {
    // Cleared first, destroyed afterwards; the worker's destructor ignores its own errors.
    std::unique_ptr<TIqoDataThread> worker = std::move(FDataThread);
    worker.reset();
}

}  // namespace iqo
