#include "ServiceManager.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include <systemd/sd-daemon.h>

#include "FileUtils.h"
#include "TextUtils.h"

extern char** environ;

namespace iqo {

namespace {

// The value of key in section of a unit file's text: the last assignment wins (an empty one
// resets), comments (# and ;) are skipped and a line ending in a backslash continues on the
// next one, as systemd reads it. Empty when absent.
std::string UnitFileValue(std::string_view text, std::string_view section, std::string_view key) {
    std::string value;
    std::string current;
    size_t pos = 0;
    while (pos < text.size()) {
        std::string line;
        // Gather one logical line: a final backslash joins the next physical line with a blank.
        for (;;) {
            const size_t end = std::min(text.find('\n', pos), text.size());
            std::string physical = TrimRight(text.substr(pos, end - pos));
            pos = end + 1;
            const bool continues = !physical.empty() && physical.back() == '\\' && pos < text.size();
            if (!continues) {
                line += physical;
                break;
            }
            physical.pop_back();
            line += physical + " ";
        }
        const std::string t = Trim(line);
        if (t.empty() || t[0] == '#' || t[0] == ';') continue;
        if (t[0] == '[') {
            const size_t close = t.find(']');
            current = close == std::string::npos ? std::string() : t.substr(1, close - 1);
            continue;
        }
        const size_t eq = t.find('=');
        if (eq == std::string::npos || current != section || Trim(t.substr(0, eq)) != key) continue;
        value = Trim(t.substr(eq + 1));
    }
    return value;
}

}  // namespace

TServiceManager::TServiceManager(std::string unitRoot) : FUnitRoot(std::move(unitRoot)) {}

std::string TServiceManager::UnitFilePath(std::string_view serviceName) const {
    return FUnitRoot + "/" + std::string(serviceName) + ".service";
}

std::string TServiceManager::ImagePath(std::string_view serviceName) const {
    const auto text = ReadWholeFile(UnitFilePath(serviceName));
    return text ? UnitFileValue(*text, "Service", "ExecStart") : std::string();
}

void NotifyServiceManager(const std::string& state) { sd_notify(0, state.c_str()); }

namespace {

// Spawn attributes and file actions, released on every way out.
struct TSpawnSetup {
    posix_spawnattr_t attr;
    posix_spawn_file_actions_t actions;
    TSpawnSetup() {
        posix_spawnattr_init(&attr);
        posix_spawn_file_actions_init(&actions);
    }
    ~TSpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
    }
    TSpawnSetup(const TSpawnSetup&) = delete;
    TSpawnSetup& operator=(const TSpawnSetup&) = delete;
};

}  // namespace

bool SystemIsStopping() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    TFileHandle readEnd(fds[0]);
    TFileHandle writeEnd(fds[1]);

    TSpawnSetup setup;
    // The service blocks its control signals in every thread; the child must not inherit that.
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&setup.attr, &none);
    posix_spawnattr_setflags(&setup.attr, POSIX_SPAWN_SETSIGMASK);
    posix_spawn_file_actions_adddup2(&setup.actions, writeEnd.Get(), STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&setup.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    char program[] = "systemctl";
    char command[] = "is-system-running";
    char* argv[] = {program, command, nullptr};
    pid_t child = 0;
    if (posix_spawnp(&child, program, &setup.actions, &setup.attr, argv, environ) != 0) return false;
    writeEnd.Close();

    std::string output;
    char buf[256];
    for (;;) {
        const ssize_t n = ::read(readEnd.Get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (output.size() < 4096) output.append(buf, static_cast<size_t>(n));
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return Trim(output) == "stopping";
}

}  // namespace iqo
