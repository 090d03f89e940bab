#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "TestSupport.h"

// A private PostgreSQL cluster that checks passwords (scram-sha-256), for the failures that
// the shared test cluster, which trusts every login, cannot produce. Made with initdb and
// started with pg_ctl as the unprivileged user that owns the shared cluster (scripts/test-servers
// creates it: the server refuses to run as root); stopped and removed at the end.
class TPasswordCluster {
public:
    static constexpr const char* kRole = "iqoleak";
    static constexpr const char* kOsUser = "iqotest";
    static constexpr const char* kBin = "/usr/lib/postgresql/15/bin";

    explicit TPasswordCluster(const std::string& rolePassword) : FPort(FreeLoopbackPorts(1).front()) {
        const std::string root = FFolder.Path();
        WriteBytes(FFolder.File("pw"), rolePassword + "\n");
        const std::string owner = std::string("chown -R ") + kOsUser + " '" + root + "' && chmod 0755 '" + root + "'";
        const std::string initdb = AsOwner(std::string(kBin) + "/initdb -D '" + Data() + "' -A scram-sha-256 -U " +
                                           kRole + " --pwfile='" + FFolder.File("pw") + "' -E UTF8 --no-locale --no-sync");
        const std::string start = AsOwner(std::string(kBin) + "/pg_ctl -D '" + Data() + "' -l '" + FFolder.File("log") +
                                          "' -w -t 60 -o \"-c listen_addresses=127.0.0.1 -p " + std::to_string(FPort) +
                                          " -k '" + root + "'\" start");
        if (std::system((owner + " && " + initdb + " > '" + FFolder.File("initdb.log") + "' 2>&1").c_str()) != 0) {
            FFailure = "initdb failed: " + ReadBytes(FFolder.File("initdb.log"));
            return;
        }
        if (std::system((start + " > /dev/null 2>&1").c_str()) != 0) {
            FFailure = "pg_ctl could not start the cluster: " + ReadBytes(FFolder.File("log"));
            return;
        }
        FStarted = true;
    }
    ~TPasswordCluster() {
        if (FStarted)
            std::system((AsOwner(std::string(kBin) + "/pg_ctl -D '" + Data() + "' -m immediate -w stop") + " > /dev/null 2>&1")
                            .c_str());
    }
    TPasswordCluster(const TPasswordCluster&) = delete;
    TPasswordCluster& operator=(const TPasswordCluster&) = delete;

    // Empty when the cluster runs.
    const std::string& Failure() const { return FFailure; }
    int Port() const { return FPort; }

private:
    std::string Data() const { return FFolder.File("data"); }
    // Run from the cluster's folder: initdb complains about a working folder it cannot read.
    std::string AsOwner(const std::string& command) const {
        return "cd '" + FFolder.Path() + "' && runuser -u " + kOsUser + " -- " + command;
    }

    TTempFolder FFolder;
    int FPort;
    std::string FFailure;
    bool FStarted = false;
};
