#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <optional>

#include <gtest/gtest.h>

#include "ServiceTestSupport.h"

namespace {

// The datagram socket a service manager listens on for sd_notify messages.
class TNotifySocket {
public:
    explicit TNotifySocket(const std::string& path) : FPath(path), FFd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        FBound = FFd >= 0 && ::bind(FFd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~TNotifySocket() {
        if (FFd >= 0) ::close(FFd);
    }
    TNotifySocket(const TNotifySocket&) = delete;
    TNotifySocket& operator=(const TNotifySocket&) = delete;

    bool Bound() const { return FBound; }

    // The next message, or none after a generous wait.
    std::optional<std::string> Receive() const {
        pollfd p{FFd, POLLIN, 0};
        if (::poll(&p, 1, 20000) != 1) return std::nullopt;
        char buf[4096];
        const ssize_t n = ::recv(FFd, buf, sizeof buf, 0);
        if (n < 0) return std::nullopt;
        return std::string(buf, static_cast<size_t>(n));
    }

private:
    std::string FPath;
    int FFd;
    bool FBound = false;
};

// The service program started as systemd starts it: NOTIFY_SOCKET set, standard error
// captured. Killed at the end of the test if it still runs.
class TServiceProcess {
public:
    TServiceProcess(const TTempFolder& folder, const std::string& notifySocket, const TLogFile& stderrFile) {
        FPid = ::fork();
        if (FPid == 0) {
            ::dup2(stderrFile.Fd(), STDERR_FILENO);
            if (::chdir(folder.Path().c_str()) != 0) ::_exit(126);
            ::setenv("NOTIFY_SOCKET", notifySocket.c_str(), 1);
            ::execl(IQO_SERVICE_PROGRAM, IQO_SERVICE_PROGRAM, static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~TServiceProcess() {
        if (FPid > 0) {
            ::kill(FPid, SIGKILL);
            ::waitpid(FPid, nullptr, 0);
        }
    }
    TServiceProcess(const TServiceProcess&) = delete;
    TServiceProcess& operator=(const TServiceProcess&) = delete;

    bool Started() const { return FPid > 0; }
    void Signal(int signal) const { ::kill(FPid, signal); }
    bool Running() const { return ::waitpid(FPid, nullptr, WNOHANG) == 0; }

private:
    pid_t FPid = -1;
};

const std::string kPrefix = "iqoRiveDur: information 0 1: ";

}  // namespace

// Start, pause, interrogate, continue and stop through the control signals. The process
// stays after the stop until the worker's first sleep ends, a minute after the start; the
// test ends it once the stop has been seen.
TEST(ServiceProgram, ControlSignalsDriveTheService) {
    ASSERT_NE(::access("/run/systemd/journal/socket", F_OK), 0)
        << "a journal runs on this host: the service's entries go there, not to standard error";
    TTempFolder dir;
    TLogFile stderrFile(dir);
    TNotifySocket notify(dir.File("notify"));
    ASSERT_TRUE(notify.Bound());
    TServiceProcess service(dir, dir.File("notify"), stderrFile);
    ASSERT_TRUE(service.Started());

    EXPECT_EQ(notify.Receive(), "READY=1\nSTATUS=Running");
    ASSERT_TRUE(WaitFor([&] { return !stderrFile.Lines().empty(); }));
    EXPECT_EQ(stderrFile.Lines().at(0).rfind(kPrefix + "Iqo Vova Duvaza (Widgets) started in ", 0), 0u)
        << stderrFile.Lines().at(0);

    service.Signal(SIGUSR1);
    EXPECT_EQ(notify.Receive(), "STATUS=Paused");
    service.Signal(SIGHUP);
    EXPECT_EQ(notify.Receive(), "STATUS=Paused");
    service.Signal(SIGUSR2);
    EXPECT_EQ(notify.Receive(), "STATUS=Running");
    service.Signal(SIGHUP);
    EXPECT_EQ(notify.Receive(), "STATUS=Running");
    service.Signal(SIGTERM);
    EXPECT_EQ(notify.Receive(), "STOPPING=1\nSTATUS=Stopping");
    ASSERT_TRUE(stderrFile.WaitForLine(kPrefix + "Iqo Vova Duvaza (Widget) Service was stopped"));

    const auto lines = stderrFile.Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1], kPrefix + "Iqo Data Center - Service is being paused");
    EXPECT_EQ(lines[2], kPrefix + "Iqo Vova Duvaza - Service is being resumed");
    EXPECT_TRUE(service.Running()) << "the process waits for the worker's sleep";
}
