#include "Service.h"

#include "ServiceManager.h"

namespace iqo {

namespace {

const char* StatusNotification(TServiceState state) {
    switch (state) {
        case TServiceState::Running: return "STATUS=Running";
        case TServiceState::Paused: return "STATUS=Paused";
        case TServiceState::StopPending: return "STATUS=Stopping";
        case TServiceState::StartPending: return "STATUS=Starting";
        case TServiceState::Stopped: break;
    }
    return "STATUS=Stopped";
}

}  // namespace

TService::TService(std::string name, std::string displayName, std::unique_ptr<TEventLog> eventLog)
    : FName(std::move(name)),
      FDisplayName(std::move(displayName)),
      FEventLog(std::move(eventLog)),
      FNotifier(NotifyServiceManager) {}

TService::~TService() = default;

void TService::LogMessage(std::string_view message, int eventType, int category, int eventID) const {
    FEventLog->Report(eventType, category, eventID, message);
}

void TService::Serve() {
    FTerminated = false;
    SetStatus(TServiceState::StartPending, nullptr);
    if (!RunHandler(OnStart, "start")) {
        SetStatus(TServiceState::Stopped, nullptr);
        return;
    }
    SetStatus(TServiceState::Running, "READY=1\nSTATUS=Running");
    try {
        if (OnExecute)
            OnExecute(*this);
        else
            while (!Terminated()) ProcessRequests(true);
    } catch (const std::exception& e) {
        Failed("execute", e);
    }
    // An execute that failed or returned on its own stops the service as well.
    if (FStatus != TServiceState::StopPending) SetStatus(TServiceState::StopPending, "STOPPING=1\nSTATUS=Stopping");
    SetStatus(TServiceState::Stopped, nullptr);
}

void TService::ProcessRequests(bool waitForMessage) {
    for (;;) {
        std::unique_lock<std::mutex> lock(FQueueLock);
        if (FTerminated) {
            FQueue.clear();
            return;
        }
        if (waitForMessage || FStatus == TServiceState::Paused)
            FQueueChanged.wait(lock, [this] { return !FQueue.empty(); });
        if (FQueue.empty()) return;
        const TControlRequest request = FQueue.front();
        FQueue.pop_front();
        lock.unlock();
        Handle(request);
        waitForMessage = false;
    }
}

void TService::PostRequest(TControlRequest request) {
    {
        std::lock_guard<std::mutex> lock(FQueueLock);
        FQueue.push_back(request);
    }
    FQueueChanged.notify_all();
}

void TService::Handle(TControlRequest request) {
    switch (request) {
        case TControlRequest::Stop:
            if (RunHandler(OnStop, "stop")) {
                SetStatus(TServiceState::StopPending, "STOPPING=1\nSTATUS=Stopping");
                FTerminated = true;
            } else {
                ReportStatus();
            }
            return;
        case TControlRequest::Shutdown:
            SetStatus(TServiceState::StopPending, "STOPPING=1\nSTATUS=Stopping");
            FTerminated = true;
            return;
        case TControlRequest::Pause:
            if (FStatus == TServiceState::Running && RunHandler(OnPause, "pause"))
                SetStatus(TServiceState::Paused, "STATUS=Paused");
            else
                ReportStatus();
            return;
        case TControlRequest::Continue:
            if (FStatus == TServiceState::Paused && RunHandler(OnContinue, "continue"))
                SetStatus(TServiceState::Running, "STATUS=Running");
            else
                ReportStatus();
            return;
        case TControlRequest::Interrogate:
            ReportStatus();
            return;
    }
}

bool TService::RunHandler(const TFlagEvent& handler, const char* what) {
    bool done = true;
    try {
        if (handler) handler(*this, done);
    } catch (const std::exception& e) {
        Failed(what, e);
        return false;
    }
    return done;
}

void TService::Failed(const char* what, const std::exception& error) const {
    try {
        LogMessage(std::string("Service failed on ") + what + ": " + error.what(), EVENTLOG_ERROR_TYPE, 0, 0);
    } catch (const std::exception&) {
        // Nowhere else to report it: the entry is lost, as any event-log failure of the framework.
    }
}

void TService::SetStatus(TServiceState state, const char* notification) {
    FStatus = state;
    if (notification) FNotifier(notification);
}

void TService::ReportStatus() const { FNotifier(StatusNotification(FStatus)); }

}  // namespace iqo
