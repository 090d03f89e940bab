#pragma once

#include <functional>
#include <optional>

#include "Service.h"

namespace iqo {

// The request a control signal stands for: SIGTERM stop (a shutdown while the host is
// stopping), SIGUSR1 pause, SIGUSR2 continue, SIGHUP interrogate; none for other signals.
std::optional<TControlRequest> ControlRequestForSignal(int signal, const std::function<bool()>& systemIsStopping);

// The service application: runs one service in the foreground, under systemd (Type=notify) or
// from a shell alike. Creating it blocks the control signals in the calling thread, so that
// every thread created afterwards (the service thread, the worker) inherits the mask and only
// the signal thread receives them, through sigwait.
class TServiceApplication {
public:
    TServiceApplication();

    // How a SIGTERM tells a shutdown from a stop; SystemIsStopping unless replaced.
    void SetShutdownCheck(std::function<bool()> check) { FShutdownCheck = std::move(check); }

    // Serves until the service has stopped: the signal thread plays the dispatcher and posts
    // each control request to the service; the service thread runs TService::Serve.
    void Run(TService& service);

private:
    std::function<bool()> FShutdownCheck;
};

}  // namespace iqo
