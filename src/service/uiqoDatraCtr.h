#pragma once

#include <cstdint>
#include <functional>
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
    std::string RegistryRoot = TRegistry::kSystemRoot;
    // What runs after the service was created or deleted; ReloadSystemd when empty.
    std::function<void()> ReloadServiceManager;
    // The running executable (read from /proc/self/exe when empty): the installed image path,
    // and the folder of the event message file.
    std::string ExecutablePath;
    // The Connection Information dialog shown at installation; ShowConnectInfoDialog when empty.
    std::function<void(const std::string& settingsFolder)> ConnectInfoDialog;
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
    // After the service was created: its description, the event source, ServicePath and the
    // Connection Information dialog. A value that cannot be written, or an error of the
    // dialog, raises.
    void ServiceAfterInstall(TService& Sender);
    // The event-source key with the message file beside the executable; passed over when the
    // key cannot be opened or created, raises when a value cannot be written.
    void RegisterEventSource();

    TServiceManager& ServiceManager() { return FServiceManager; }
    const std::string& ExecutablePath() const { return FExecutablePath; }

    // The worker, or none before the start and after the destroy. Only for the service
    // thread, or once it has ended.
    TIqoDataThread* DataThread() const { return FDataThread.get(); }

private:
    void ResolveServicePath();

    TServiceManager FServiceManager;
    std::string FExecutablePath;
    std::function<void(const std::string&)> FConnectInfoDialog;
    int32_t FExecutePoll;
    TIqoDataThreadSleeps FWorkerSleeps;
    std::unique_ptr<TIqoDataThread> FDataThread;
    TLogTargetInstallation FInstallation;
};

}  // namespace iqo
