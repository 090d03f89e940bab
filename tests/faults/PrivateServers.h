#pragma once

#include <sys/types.h>

#include <string>

// A private Firebird server and PostgreSQL cluster of one test program, on free ports of their
// own under a folder of their own, so that a test may stop and kill them while the shared test
// servers go on serving the other tests. A guardian process stops both and removes the folder
// when the program ends in any way (a crash or a ctest timeout included); the destructor stops
// them at once. Every failure raises iqo::Exception with the helper's output.
class TPrivateServers {
public:
    TPrivateServers();
    ~TPrivateServers();
    TPrivateServers(const TPrivateServers&) = delete;
    TPrivateServers& operator=(const TPrivateServers&) = delete;

    // Start (again): idempotent, waits until both accept logins.
    void Start();
    // A clean stop of both: Firebird by SIGTERM, PostgreSQL by a fast shutdown.
    void Stop();
    void KillFirebird();
    void KillPostgreSQL();

    // "127.0.0.1/port", and a folder the server can create databases in.
    std::string FirebirdServer() const;
    std::string FirebirdFolder() const { return FBase + "/fbdata"; }
    int PostgreSQLPort() const { return FPgPort; }
    // psql on the private cluster's test database, -c sql; its standard output.
    std::string Psql(const std::string& sql) const;

private:
    std::string Run(const std::string& command) const;

    std::string FBase;
    int FFbPort = 0;
    int FPgPort = 0;
    int FGuardInput = -1;  // write end of the guardian's standard input
    pid_t FGuard = -1;
};
