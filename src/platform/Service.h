#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "EventLog.h"

namespace iqo {

enum class TServiceState { Stopped, StartPending, Running, Paused, StopPending };

enum class TControlRequest { Stop, Pause, Continue, Shutdown, Interrogate };

// The service framework: one service whose handlers run on its service thread. The
// dispatcher (the signal thread of TServiceApplication, or a test) only posts control
// requests; the service thread handles them when OnExecute polls with ProcessRequests. States
// reach the service manager through the status notifier (sd_notify by default):
// "READY=1\nSTATUS=Running" after the start, "STATUS=Paused", "STATUS=Running" on continue and
// "STOPPING=1\nSTATUS=Stopping" on stop. A handler that raises is logged as
// "Service failed on <what>: <error>" (error entry, category 0, event ID 0); a failed start or
// execute stops the service, a failed stop, pause or continue keeps the state it had.
class TService {
public:
    // Sender and the handler's out-flag, which starts as true.
    using TFlagEvent = std::function<void(TService& Sender, bool& flag)>;
    using TEvent = std::function<void(TService& Sender)>;
    using TStatusNotifier = std::function<void(const std::string& state)>;

    TService(std::string name, std::string displayName, std::unique_ptr<TEventLog> eventLog);
    virtual ~TService();
    TService(const TService&) = delete;
    TService& operator=(const TService&) = delete;

    const std::string& Name() const { return FName; }
    const std::string& DisplayName() const { return FDisplayName; }

    TFlagEvent OnStart;
    // Without an OnExecute the service thread waits for requests until it is terminated.
    TEvent OnExecute;
    TFlagEvent OnStop;
    TFlagEvent OnPause;
    TFlagEvent OnContinue;

    // Set before Serve runs.
    void SetStatusNotifier(TStatusNotifier notifier) { FNotifier = std::move(notifier); }

    // The framework's event-log operation; raises when the entry cannot be written.
    void LogMessage(std::string_view message, int eventType = EVENTLOG_ERROR_TYPE, int category = 0,
                    int eventID = 0) const;

    TServiceState Status() const { return FStatus; }

    // The service thread's run: the start, then OnExecute; returns once the service has
    // stopped.
    void Serve();
    // The service thread's terminate flag, set when a stop or a shutdown has been handled.
    bool Terminated() const { return FTerminated; }
    // On the service thread: handles every waiting request (after waiting for one when
    // waitForMessage is true). While the service is paused the thread stays in here,
    // suspended, until a continue or a stop has been handled.
    void ProcessRequests(bool waitForMessage);

    // From any thread: queues a request for the service thread.
    void PostRequest(TControlRequest request);

private:
    void Handle(TControlRequest request);
    // Runs a flag handler; false when it raised (logged) or left its flag false.
    bool RunHandler(const TFlagEvent& handler, const char* what);
    void Failed(const char* what, const std::exception& error) const;
    void SetStatus(TServiceState state, const char* notification);
    void ReportStatus() const;

    std::string FName;
    std::string FDisplayName;
    std::unique_ptr<TEventLog> FEventLog;
    TStatusNotifier FNotifier;
    std::atomic<TServiceState> FStatus{TServiceState::Stopped};
    std::atomic<bool> FTerminated{false};
    std::mutex FQueueLock;
    std::condition_variable FQueueChanged;
    std::deque<TControlRequest> FQueue;
};

}  // namespace iqo
