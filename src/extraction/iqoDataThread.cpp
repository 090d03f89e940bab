#include "iqoDataThread.h"

#include <chrono>
#include <csignal>

#include "dbaccess/DbQuery.h"
#include "platform/EventLog.h"
#include "platform/FileUtils.h"
#include "platform/IniFile.h"
#include "platform/TextUtils.h"
#include "service/IQOCommon.h"
#include "service/LogTarget.h"

namespace iqo {

namespace {

constexpr const char* kProviderName = "Interbase";

void Sleep(int32_t milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

void LogInformation(const std::string& message) {
    iqoRiveDur().WriteLogMessage(message, EVENTLOG_INFORMATION_TYPE, kIqoLogCategory);
}

std::string SettingsFile() { return ServicePath() + TIqoDataThread::kSettingsFileName; }

}  // namespace

TIqoDataThread::TIqoDataThread(bool CreateSuspended, TIqoDataThreadSleeps sleeps) : FSleeps(sleeps) {
    // Under a file-size limit (ulimit -f, LimitFSIZE=) a write beyond it would end the whole
    // process; ignored, the write fails with EFBIG and the job logs it like a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    if (!CreateSuspended) Start();
}

TIqoDataThread::~TIqoDataThread() {
    if (FThread.joinable()) {
        Terminate();
        FThread.join();
    }
    try {
        if (FIQOConnect && FIQOConnect->Connected()) FIQOConnect->Close();
    } catch (const std::exception&) {
        // Destroying the worker ignores errors.
    }
    FIQOConnect.reset();
}

void TIqoDataThread::Start() {
    if (FThread.joinable()) return;
    // Set before the thread exists, so that a pause that follows at once is never undone.
    FThreadRunning = true;
    FThread = std::thread([this] {
        try {
            Execute();
        } catch (const std::exception&) {
            // Every database's failure is logged within the cycle; what escapes it (no memory
            // left) ends the run rather than the process.
        }
        TerminateIQO();
    });
}

void TIqoDataThread::EnsureConnection() {
    if (FIQOConnect) return;
    FIQOConnect = std::make_unique<TDbConnection>();
    FIQOConnect->SetLoginPrompt(false);
    FIQOConnect->SetProviderName(kProviderName);
}

void TIqoDataThread::Execute() {
    EnsureConnection();
    FSleepRate = FSleeps.SleepRate;
    Sleep(FSleeps.FirstSleep);
    while (!FTerminated) {
        if (FThreadRunning) Cycle();
        Sleep(FSleepRate);
    }
}

void TIqoDataThread::TerminateIQO() { FThreadRunning = false; }

void TIqoDataThread::Cycle() {
    EnsureConnection();
    LoadConnectionCount();
    // 64 bits: a count of the largest 32-bit value must still end the loop.
    for (int64_t n = 1; n <= FConnectionNo; ++n) {
        LoadConnectionInfo(static_cast<int32_t>(n));
        if (Trim(FFirebirdServer).empty() || Trim(FFirebirdDB).empty()) continue;
        CheckDataCentre();
    }
}

void TIqoDataThread::CheckDataCentre() {
    try {
        // Configuring belongs to the protected block too: an error there must not end the run.
        FIQOConnect->Close();
        FIQOConnect->SetProviderName(kProviderName);
        FIQOConnect->SetServer(FFirebirdServer);
        FIQOConnect->SetUsername(FFirebirdUser);
        FIQOConnect->SetPassword(FFirebirdPWD);
        FIQOConnect->SpecificOptions().SetValue("ClientLibrary", FFirebirdDLL + kClientLibraryName);
        FIQOConnect->SetDatabase(FFirebirdDB);

        FIQOConnect->Open();
        TDbQuery query(FIQOConnect.get());
        LogInformation("Checking Widgets on " + FFirebirdServer + ":" + FFirebirdDB);
        query.SetSQL("SELECT ID, WIZFILENAME FROM IQOWIDGET");
        query.Prepare();
        query.Open();
        LogInformation("Nr of widgets to check for remote data requirement: " + std::to_string(query.RecordCount()));
        for (; !query.Eof(); query.Next()) CheckWidget(query.FieldByName("WizFileName").AsString());
        query.Close();
        FIQOConnect->Close();
    } catch (const std::exception& e) {
        iqoRiveDur().LogMessage(std::string("Error: During Vova Duvaza check process ") + e.what(), EVENTLOG_ERROR_TYPE,
                                kIqoLogCategory, 0);
        CloseConnectionQuietly();
    }
}

void TIqoDataThread::CheckWidget(const std::string& storedPath) {
    const std::string path = Trim(storedPath);
    if (!FileExists(path)) {
        LogInformation("Widget File does not exist: " + storedPath);
        return;
    }
    LogInformation("Checking Widget file: " + storedPath);
    const TIniFile widget(path);
    if (widget.ReadBool("Widget_Options", "Widget_RemoteXML", false)) {
        LogInformation("Executing data extraction " + storedPath);
        ExtractWidgetData(path);
    }
}

void TIqoDataThread::CloseConnectionQuietly() {
    try {
        FIQOConnect->Close();
    } catch (const std::exception&) {
        // The error entry of this database is written; the next database opens afresh.
    }
}

void TIqoDataThread::LoadConnectionCount() {
    FConnectionNo = 1;
    const TIniFile settings(SettingsFile());
    if (settings.ValueExists("Settings", "Connection_Number"))
        FConnectionNo = settings.ReadInteger("Settings", "Connection_Number", 1);
}

void TIqoDataThread::LoadConnectionInfo(int32_t n) {
    const TIniFile settings(SettingsFile());
    const std::string section = "Connection_Info_" + std::to_string(n);
    // The section's key list tells both whether it exists and which keys it holds, in one
    // reading of the file: a count of a million absent sections stays quick.
    const std::vector<std::string> keys = settings.ReadSection(section);
    if (keys.empty()) {
        FFirebirdDLL.clear();
        FFirebirdServer.clear();
        FFirebirdDB.clear();
        FFirebirdUser.clear();
        FFirebirdPWD.clear();
        return;
    }
    auto read = [&](const char* key, std::string& field) {
        for (const std::string& k : keys)
            if (SameText(k, key)) {
                field = settings.ReadString(section, key, "");
                return true;
            }
        return false;
    };
    if (read("Firebird_Client_DLL", FFirebirdDLL)) FFirebirdDLL = AdjustPathDelimiter(FFirebirdDLL, 0);
    read("Firebird_Server", FFirebirdServer);
    read("Firebird_Database", FFirebirdDB);
    read("Firebird_UserName", FFirebirdUser);
    if (read("Firebird_Password", FFirebirdPWD)) FFirebirdPWD = ScrambleText(FFirebirdPWD);
    if (Trim(FFirebirdUser).empty()) FFirebirdUser = "SYSDBA";
    if (Trim(FFirebirdPWD).empty()) FFirebirdPWD = "quillbent";
}

}  // namespace iqo
