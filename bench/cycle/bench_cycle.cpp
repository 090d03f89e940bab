// One whole cycle of the polling worker over a data-centre database on the Firebird test
// server (IQO_FB_SERVER, IQO_FB_USER, IQO_FB_PASSWORD, IQO_FB_DIR, as scripts/test-servers env
// prints them). Its IQOWIDGET table lists 10,000 widget definition files that all ask for
// remote data; 1,000 of them are due, each a mode-0 query over a small SQLite source file that
// writes its own remote data file, the others were stamped just now with a long interval.
//   BM_Cycle   counters: cycle_s, the seconds of one cycle, and peak_rss_mib, the peak resident
//              memory of the process (setup included).
// The due widgets are re-armed (their stamp removed) outside the timed part before every
// cycle. The databases and the files are made once per run, with the tests' source-database
// helpers, and removed at its end.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "SourceDatabases.h"
#include "TestSupport.h"
#include "extraction/iqoDataThread.h"
#include "platform/DateTime.h"
#include "platform/EventLog.h"
#include "platform/Exception.h"
#include "platform/IniFile.h"
#include "platform/RegionalSettings.h"
#include "service/IQOCommon.h"
#include "service/LogTarget.h"

using namespace iqo;

namespace {

constexpr int kWidgets = 10000;
constexpr int kDueEvery = 10;  // every tenth widget is due: 1,000 of them
constexpr const char* kSourceSql = "SELECT ID, NAME, AMOUNT, BOOKED FROM ITEMS ORDER BY ID";

// Takes the worker's entries and counts the completed extractions: the event log itself is
// not what is measured.
class TCountingLog : public TLogTarget {
public:
    TCountingLog() : FInstallation(*this) {}
    void WriteLogMessage(const std::string&, int aEventType, int) override {
        if (aEventType == EVENTLOG_SUCCESS) ++FCompleted;
    }
    void LogMessage(const std::string&, int, int, int) override {}
    int TakeCompleted() { return FCompleted.exchange(0); }

private:
    std::atomic<int> FCompleted{0};
    TLogTargetInstallation FInstallation;
};

// The data-centre database, the widget definition files, their source and the settings file.
class TCycleSetup {
public:
    TCycleSetup() {
        std::filesystem::create_directories(WidgetFolder());
        std::filesystem::create_directories(OutputFolder());
        std::filesystem::create_directories(HomeFolder());
        std::vector<std::string> statements = {
            "CREATE TABLE IQOWIDGET (ID INTEGER NOT NULL PRIMARY KEY, WIZFILENAME VARCHAR(500))"};
        for (int i = 0; i < kWidgets; ++i)
            statements.push_back("INSERT INTO IQOWIDGET VALUES (" + std::to_string(i + 1) + ", '" + WidgetPath(i) + "')");
        try {
            FDataCentre = std::make_unique<TFirebirdSourceDatabase>(statements);
            FSource = std::make_unique<TSQLiteSourceDatabase>(std::vector<std::string>{
                "CREATE TABLE ITEMS (ID INTEGER PRIMARY KEY, NAME VARCHAR(30), AMOUNT DOUBLE, BOOKED TIMESTAMP)",
                "INSERT INTO ITEMS VALUES (1, 'Consulting', 1250.5, '2024-02-13 14:05:09'),"
                " (2, 'Licences', 980, '2024-02-14 09:00:00'), (3, 'Support', 310.25, NULL),"
                " (4, 'Training', 45.75, '2024-03-01 16:30:00'), (5, NULL, NULL, NULL)"});
            MakeWidgets();
        } catch (const Exception& e) {
            FError = "the databases cannot be made, the data-centre one on the Firebird test server (IQO_FB_SERVER, "
                     "IQO_FB_USER, IQO_FB_PASSWORD, IQO_FB_DIR; run scripts/test-servers start and eval \"$(scripts/"
                     "test-servers env)\"): " + e.Message();
            return;
        }
        const TDbConnection& dc = FDataCentre->Connection();
        TIniFile settings(HomeFolder() + "/" + TIqoDataThread::kSettingsFileName);
        settings.WriteInteger("Settings", "Connection_Number", 1);
        settings.WriteString("Connection_Info_1", "Firebird_Server", dc.Server());
        settings.WriteString("Connection_Info_1", "Firebird_Database", dc.Database());
        settings.WriteString("Connection_Info_1", "Firebird_UserName", dc.Username());
        settings.WriteString("Connection_Info_1", "Firebird_Password", ScrambleText(dc.Password()));
        FReady = true;
    }

    bool Ready() const { return FReady; }
    const std::string& Error() const { return FError; }
    std::string HomeFolder() const { return FFolder.File("home"); }

    // The due widgets lose their stamp, so that the next cycle extracts them again.
    void RearmDueWidgets() const {
        for (int i = 0; i < kWidgets; i += kDueEvery) WriteBytes(WidgetPath(i), WidgetText(i, ""));
    }

    // How many due widgets have a remote data file; the files are removed for the next cycle.
    int TakeOutputs() const {
        int count = 0;
        for (int i = 0; i < kWidgets; i += kDueEvery)
            if (std::filesystem::remove(OutputPath(i))) ++count;
        return count;
    }

private:
    std::string WidgetFolder() const { return FFolder.File("widgets"); }
    std::string OutputFolder() const { return FFolder.File("out"); }
    std::string SourcePath() const { return FSource->Connection().Database(); }

    static std::string Number(int i) {
        std::string n = std::to_string(i);
        return std::string(5 - n.size(), '0') + n;
    }
    std::string WidgetPath(int i) const { return WidgetFolder() + "/w" + Number(i) + ".ini"; }
    std::string OutputPath(int i) const { return OutputFolder() + "/w" + Number(i) + ".xml"; }

    // A widget definition file as the CRM product writes it; stamp is the options line of the
    // last extraction (empty: none, the widget is due).
    std::string WidgetText(int i, const std::string& stamp) const {
        return "[Widget_Options]\r\nWidget_Caption=Widget " + Number(i) +
               "\r\nWidget_RemoteXML=1\r\nWidget_Refresh=1\r\nWidget_AutoRefresh=" +
               (stamp.empty() ? "60" : "1000000") + "\r\nWidget_DataSource=0\r\nWidget_RemoteXMLFile=" + OutputPath(i) +
               "\r\n" + stamp + "[Connect_Info_0]\r\nProvider=SQLite\r\nServer=\r\nDatabase=" + SourcePath() +
               "\r\nUserName=\r\nPWD=\r\nPortNo=0\r\n";
    }

    void MakeWidgets() const {
        const std::string stamp = "Widget_LastRemoteXML=" + DateTimeToStr(Now(), RegionalSettings()) + "\r\n";
        for (int i = 0; i < kWidgets; ++i) {
            WriteBytes(WidgetPath(i), WidgetText(i, i % kDueEvery == 0 ? "" : stamp));
            WriteBytes(WidgetPath(i) + "_01", kSourceSql);
        }
    }

    TTempFolder FFolder;
    std::unique_ptr<TSQLiteSourceDatabase> FSource;
    std::unique_ptr<TFirebirdSourceDatabase> FDataCentre;
    std::string FError;
    bool FReady = false;
};

// Made by the first run of the benchmark, so that a filter that leaves it out makes nothing.
std::unique_ptr<TCycleSetup>& SetupSlot() {
    static std::unique_ptr<TCycleSetup> setup;
    return setup;
}

TCycleSetup& Setup() {
    auto& setup = SetupSlot();
    if (!setup) setup = std::make_unique<TCycleSetup>();
    return *setup;
}

double PeakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

void BM_Cycle(benchmark::State& state) {
    TCycleSetup& setup = Setup();
    if (!setup.Ready()) {
        state.SkipWithError(setup.Error().c_str());
        return;
    }
    SetServicePath(setup.HomeFolder() + "/");
    TCountingLog log;
    TIqoDataThread worker(true);
    double seconds = 0;
    for (auto _ : state) {
        setup.RearmDueWidgets();
        const auto start = std::chrono::steady_clock::now();
        worker.Cycle();
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(elapsed.count());
        seconds += elapsed.count();
        const int completed = log.TakeCompleted(), outputs = setup.TakeOutputs();
        if (completed != kWidgets / kDueEvery || outputs != kWidgets / kDueEvery) {
            state.SkipWithError(("the cycle completed " + std::to_string(completed) + " widgets and wrote " +
                                 std::to_string(outputs) + " remote data files")
                                    .c_str());
            break;
        }
    }
    SetServicePath("");
    state.counters["cycle_s"] = seconds / static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["peak_rss_mib"] = PeakRssMiB();
}

}  // namespace

BENCHMARK(BM_Cycle)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(3);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    auto& setup = SetupSlot();
    const bool failed = setup && !setup->Ready();
    if (failed) std::fprintf(stderr, "bench_cycle: %s\n", setup->Error().c_str());
    setup.reset();
    return failed ? 1 : 0;
}
