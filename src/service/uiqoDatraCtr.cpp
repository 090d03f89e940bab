#include "uiqoDatraCtr.h"

#include <chrono>
#include <filesystem>
#include <thread>

#include "dialog/ShowConnectInfoDialog.h"
#include "platform/FileUtils.h"
#include "platform/Registry.h"
#include "service/IQOCommon.h"

namespace iqo {

namespace {

constexpr const char* kTextLogName = "eventlog.txt";
constexpr const char* kEventSourceKey = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\iqoRiveDur";
constexpr const char* kEventMessageFileName = "iqoeventmsg.dll";

std::unique_ptr<TEventLog> EventLogOrDefault(std::unique_ptr<TEventLog> eventLog) {
    return eventLog ? std::move(eventLog) : std::make_unique<TEventLog>();
}

TServiceManager ServiceManagerOf(TiqoRiveDurOptions& options) {
    TServiceManager manager(std::move(options.UnitRoot), std::move(options.RegistryRoot));
    if (options.ReloadServiceManager) manager.SetReload(std::move(options.ReloadServiceManager));
    return manager;
}

std::string RunningExecutable() {
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/self/exe", ec).string();
}

}  // namespace

TiqoRiveDur::TiqoRiveDur(TiqoRiveDurOptions options)
    : TService(kServiceName, kDisplayName, EventLogOrDefault(std::move(options.EventLog))),
      FServiceManager(ServiceManagerOf(options)),
      FExecutablePath(options.ExecutablePath.empty() ? RunningExecutable() : std::move(options.ExecutablePath)),
      FConnectInfoDialog(options.ConnectInfoDialog ? std::move(options.ConnectInfoDialog) : ShowConnectInfoDialog),
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

void TiqoRiveDur::ServiceAfterInstall(TService&) {
    TRegistry registry(FServiceManager.RegistryRoot());
    if (registry.OpenKey("\\" + TServiceManager::ServiceKey(kServiceName), false)) {
        registry.WriteString("Description", kDisplayName);
        registry.CloseKey();
    }
    RegisterEventSource();
    ResolveServicePath();
    FConnectInfoDialog(ServicePath());
}

void TiqoRiveDur::RegisterEventSource() {
    TRegistry registry(FServiceManager.RegistryRoot());
    if (!registry.OpenKey(kEventSourceKey, true)) return;
    const std::string messageFile = AdjustPathDelimiter(ExtractFileDir(FExecutablePath), 0) + kEventMessageFileName;
    registry.WriteString("EventMessageFile", messageFile);
    registry.WriteString("CategoryMessageFile", messageFile);
    registry.WriteInteger("TypesSupported", 7);
    registry.WriteInteger("CategoryCount", 2);
    registry.CloseKey();
}

}  // namespace iqo
