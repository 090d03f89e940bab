#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "extraction/iqoDataThread.h"
#include "platform/Service.h"
#include "platform/ServiceManager.h"
#include "service/LogTarget.h"

namespace iqo {

// What the service module takes from the host. The program uses the defaults; tests point
// them at temporary folders and shorten the waits.
struct TiqoRiveDurOptions {
    // The event log (journald, or standard error without a journal) when empty.
    std::unique_ptr<TEventLog> EventLog;
    std::string UnitRoot = TServiceManager::kSystemUnitRoot;
    int32_t ExecutePoll = 2000;  // ms between two polls for control requests
    TIqoDataThreadSleeps WorkerSleeps;
};

// The service module iqoRiveDur: resolves ServicePath, owns the polling worker (created on
// start, flagged on stop, paused and resumed through its running flag, destroyed with the
// module) and is the log target of the worker and the extraction job, which it installs as
// iqoRiveDur for its lifetime.
class TiqoRiveDur : public TService, public TLogTarget {
public:
    static constexpr const char* kServiceName = "iqoRiveDur";
    static constexpr const char* kDisplayName = "Iqo Vova Duvaza (Widgets)";

    explicit TiqoRiveDur(TiqoRiveDurOptions options = {});
    // Runs ServiceDestroy, so the worker ends while the module can still take its entries.
    ~TiqoRiveDur() override;

    // Event log with category 0 and event ID 1; when that raises, the error text, a blank and
    // the message go to "eventlog.txt" in ServicePath.
    void WriteLogMessage(const std::string& aMessage, int aEventType, int aCategory) override;
    // Event log with the category and event ID given; a failure is swallowed.
    void LogMessage(const std::string& message, int eventType, int category, int eventID) override;

    void ServiceStart(TService& Sender, bool& Started);
    void ServiceExecute(TService& Sender);
    void ServiceStop(TService& Sender, bool& Stopped);
    void ServicePause(TService& Sender, bool& Paused);
    void ServiceContinue(TService& Sender, bool& Continued);
    void ServiceDestroy();

    // The worker, or none before the start and after the destroy. Only for the service
    // thread, or once it has ended.
    TIqoDataThread* DataThread() const { return FDataThread.get(); }

private:
    void ResolveServicePath();

    TServiceManager FServiceManager;
    int32_t FExecutePoll;
    TIqoDataThreadSleeps FWorkerSleeps;
    std::unique_ptr<TIqoDataThread> FDataThread;
    TLogTargetInstallation FInstallation;
};

}  // namespace iqo
