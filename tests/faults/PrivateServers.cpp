#include "PrivateServers.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "TestSupport.h"
#include "platform/Exception.h"

extern char** environ;

namespace {

const std::string kHelper = std::string(IQO_FIXTURES) + "/private-servers";

}  // namespace

TPrivateServers::TPrivateServers() {
    char base[] = "/tmp/iqo-faults-XXXXXX";
    if (!::mkdtemp(base)) throw iqo::Exception("cannot make a folder for the private servers");
    FBase = base;
    // The cluster runs as an unprivileged user, which must reach its folder.
    ::chmod(base, 0755);
    const std::vector<int> ports = FreeLoopbackPorts(2);
    FFbPort = ports[0];
    FPgPort = ports[1];

    int guardPipe[2];
    if (::pipe2(guardPipe, O_CLOEXEC) != 0) throw iqo::Exception("cannot make the guardian's pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, guardPipe[0], 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A session of its own: a ctest timeout that kills the test's process group spares it.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    const std::string fb = std::to_string(FFbPort), pg = std::to_string(FPgPort);
    const char* argv[] = {"/bin/bash", kHelper.c_str(), FBase.c_str(), fb.c_str(), pg.c_str(), "guard", nullptr};
    const int spawned = posix_spawn(&FGuard, argv[0], &actions, &attributes, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(guardPipe[0]);
    FGuardInput = guardPipe[1];
    if (spawned != 0) {
        FGuard = -1;
        throw iqo::Exception("cannot start the guardian of the private servers");
    }
}

TPrivateServers::~TPrivateServers() {
    try {
        Run("stop");
    } catch (const iqo::Exception&) {
        // The guardian tries again.
    }
    ::close(FGuardInput);
    if (FGuard > 0) ::waitpid(FGuard, nullptr, 0);
}

std::string TPrivateServers::Run(const std::string& command) const {
    const std::string log = FBase + "/helper.log";
    const std::string line = "'" + kHelper + "' '" + FBase + "' " + std::to_string(FFbPort) + " " +
                             std::to_string(FPgPort) + " " + command + " >'" + log + "' 2>&1";
    const int status = std::system(line.c_str());
    const std::string output = ReadBytes(log);
    if (status != 0) throw iqo::Exception("private-servers " + command + " failed:\n" + output);
    return output;
}

void TPrivateServers::Start() { Run("start"); }
void TPrivateServers::Stop() { Run("stop"); }
void TPrivateServers::KillFirebird() { Run("kill-firebird"); }
void TPrivateServers::KillPostgreSQL() { Run("kill-postgresql"); }

std::string TPrivateServers::FirebirdServer() const { return "127.0.0.1/" + std::to_string(FFbPort); }

std::string TPrivateServers::Psql(const std::string& sql) const {
    const std::string out = FBase + "/psql.out";
    const std::string line = "/usr/lib/postgresql/15/bin/psql -X -q -tA -h 127.0.0.1 -p " + std::to_string(FPgPort) +
                             " -U iqotest -d iqotest -c \"" + sql + "\" >'" + out + "' 2>&1";
    const int status = std::system(line.c_str());
    const std::string output = ReadBytes(out);
    if (status != 0) throw iqo::Exception("psql failed: " + output);
    return output;
}
