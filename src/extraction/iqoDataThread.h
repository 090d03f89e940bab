#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "dbaccess/DbConnection.h"

namespace iqo {

// The worker's sleeps in milliseconds. The service always uses these values; tests shorten
// them.
struct TIqoDataThreadSleeps {
    int32_t FirstSleep = 60000;  // before the first cycle
    int32_t SleepRate = 60000;   // after each cycle
};

// The polling worker: after the first sleep, while not terminated, one cycle (when the
// running flag is set) and a sleep. A cycle reads the service settings file "iqoRiveDur.ini"
// in ServicePath, and for each data-centre database lists the widgets of its IQOWIDGET table
// and runs the extraction job of each widget that asks for remote data. Sleeps are never cut
// short: a terminated worker ends after the sleep in progress, and a cycle in progress
// completes. Pause, continue and terminate are flags the run tests between sleeps.
class TIqoDataThread {
public:
    static constexpr const char* kSettingsFileName = "iqoRiveDur.ini";
    static constexpr const char* kClientLibraryName = "libfbclient.so.2";

    // With CreateSuspended false the run starts at once; otherwise at Start.
    explicit TIqoDataThread(bool CreateSuspended, TIqoDataThreadSleeps sleeps = {});
    // Destroy: sets the terminate flag and waits until the run has ended, then closes and
    // releases the data-centre connection, ignoring any error.
    ~TIqoDataThread();
    TIqoDataThread(const TIqoDataThread&) = delete;
    TIqoDataThread& operator=(const TIqoDataThread&) = delete;

    void Start();
    // Sets the terminate flag; neither wakes nor waits for the worker.
    void Terminate() { FTerminated = true; }
    bool Terminated() const { return FTerminated; }

    bool ThreadRunning() const { return FThreadRunning; }
    void SetThreadRunning(bool running) { FThreadRunning = running; }

    // One cycle now, on the calling thread (the run's cycle; the admin tool calls it on a
    // worker that was never started).
    void Cycle();

    // The service settings file: the number of data-centre databases, and the settings of
    // database n into the five fields below (kept from the previous database for keys that
    // its section lacks).
    void LoadConnectionCount();
    void LoadConnectionInfo(int32_t n);
    int32_t ConnectionNo() const { return FConnectionNo; }
    const std::string& FirebirdDLL() const { return FFirebirdDLL; }
    const std::string& FirebirdServer() const { return FFirebirdServer; }
    const std::string& FirebirdDB() const { return FFirebirdDB; }
    const std::string& FirebirdUser() const { return FFirebirdUser; }
    const std::string& FirebirdPWD() const { return FFirebirdPWD; }

    // The extraction job of one widget definition file (P: its path, trimmed). Raises nothing.
    void ExtractWidgetData(const std::string& P);
    // The description of the connections of the last job, as its error entries end with it.
    const std::string& ErrorMsg() const { return FErrorMsg; }

private:
    void Execute();
    void TerminateIQO();
    void EnsureConnection();
    // One data-centre database: every failure becomes one error entry.
    void CheckDataCentre();
    void CheckWidget(const std::string& storedPath);
    void CloseConnectionQuietly();

    std::unique_ptr<TDbConnection> FIQOConnect;
    std::string FFirebirdDLL;
    std::string FFirebirdServer;
    std::string FFirebirdDB;
    std::string FFirebirdUser;
    std::string FFirebirdPWD;
    int32_t FConnectionNo = 0;
    // Shared with the service thread (pause, continue) and read by the run between sleeps.
    std::atomic<bool> FThreadRunning{false};
    int32_t FSleepRate = 0;
    std::string FErrorMsg;

    TIqoDataThreadSleeps FSleeps;
    std::atomic<bool> FTerminated{false};
    std::thread FThread;  // last: the run starts when every other field exists
};

}  // namespace iqo
