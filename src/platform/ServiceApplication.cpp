#include "ServiceApplication.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <thread>

#include "ServiceManager.h"

namespace iqo {

namespace {

sigset_t ControlSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int s : {SIGTERM, SIGUSR1, SIGUSR2, SIGHUP}) sigaddset(&set, s);
    return set;
}

void BlockControlSignals() {
    const sigset_t set = ControlSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

}  // namespace

std::optional<TControlRequest> ControlRequestForSignal(int signal, const std::function<bool()>& systemIsStopping) {
    switch (signal) {
        case SIGTERM: return systemIsStopping() ? TControlRequest::Shutdown : TControlRequest::Stop;
        case SIGUSR1: return TControlRequest::Pause;
        case SIGUSR2: return TControlRequest::Continue;
        case SIGHUP: return TControlRequest::Interrogate;
        default: return std::nullopt;
    }
}

TServiceApplication::TServiceApplication() : FShutdownCheck(SystemIsStopping) { BlockControlSignals(); }

void TServiceApplication::Run(TService& service) {
    BlockControlSignals();
    const sigset_t set = ControlSignals();
    std::atomic<bool> served{false};
    std::thread dispatcher([&] {
        for (;;) {
            int signal = 0;
            if (sigwait(&set, &signal) != 0) continue;
            if (served) return;
            if (const auto request = ControlRequestForSignal(signal, FShutdownCheck)) service.PostRequest(*request);
        }
    });
    std::thread serviceThread([&] { service.Serve(); });
    serviceThread.join();
    // Wake the dispatcher with a signal of its own set; it sees that serving has ended.
    served = true;
    pthread_kill(dispatcher.native_handle(), SIGHUP);
    dispatcher.join();
}

}  // namespace iqo
