#pragma once

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "SourceDatabases.h"
#include "TestSupport.h"
#include "extraction/RecordingLog.h"
#include "platform/CodePage.h"
#include "platform/EventLog.h"
#include "service/IQOCommon.h"

// The entries a fault produces: recorded like the event log receives them, and handed to a
// hook as they arrive, so that a test can strike at a chosen point of a cycle or a job. The
// hook runs on the thread that logs; set it before the worker runs.
class TFaultLog : public TRecordingLog {
public:
    using THook = std::function<void(const TLogEntry&)>;
    void SetHook(THook hook) { FHook = std::move(hook); }

    void WriteLogMessage(const std::string& aMessage, int aEventType, int aCategory) override {
        TRecordingLog::WriteLogMessage(aMessage, aEventType, aCategory);
        if (FHook) FHook({aEventType, 0, 1, aMessage});
    }
    void LogMessage(const std::string& message, int eventType, int category, int eventID) override {
        TRecordingLog::LogMessage(message, eventType, category, eventID);
        if (FHook) FHook({eventType, category, eventID, message});
    }

private:
    THook FHook;
};

// Shows the entries of one fault in the test's output, so that ctest -V lists what each fault
// logged.
inline void ShowEntries(const std::string& fault, const std::vector<TLogEntry>& entries) {
    std::cout << "==== log entries of fault: " << fault << " (" << entries.size() << ") ====\n";
    for (const TLogEntry& e : entries) std::cout << "  " << e << "\n";
    std::cout << "==== end of " << fault << " ====" << std::endl;
}

// Entries of the worker and the job: WriteLogMessage ones carry category 0 and event ID 1,
// the direct ones category 2 and event ID 0.
inline TLogEntry Info(const std::string& message) { return {iqo::EVENTLOG_INFORMATION_TYPE, 0, 1, message}; }
inline TLogEntry Error(const std::string& message) { return {iqo::EVENTLOG_ERROR_TYPE, 0, 1, message}; }
inline TLogEntry Success(const std::string& message) { return {iqo::EVENTLOG_SUCCESS, 0, 1, message}; }
inline TLogEntry Direct(const std::string& message) { return {iqo::EVENTLOG_INFORMATION_TYPE, 2, 0, message}; }
inline TLogEntry CheckFailed(const std::string& text) {
    return {iqo::EVENTLOG_ERROR_TYPE, 2, 0, "Error: During Vova Duvaza check process " + text};
}

// The names in a folder, sorted: a temporary file left behind shows here.
inline std::vector<std::string> FileNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A remote data file that a widget can read: the whole document, holding the row expected.
inline bool WholeRowset(const std::string& path, const std::string& row) {
    const std::string xml = ReadBytes(path);
    return xml.rfind("<xml xmlns:s=", 0) == 0 && xml.size() > 6 && xml.compare(xml.size() - 6, 6, "</xml>") == 0 &&
           xml.find(row) != std::string::npos;
}

// A Connect_Info section of a widget definition file, its password stored scrambled.
inline std::string ConnectInfo(int n, const std::string& provider, const std::string& server, int port,
                               const std::string& database, const std::string& user, const std::string& password) {
    return "[Connect_Info_" + std::to_string(n) + "]\r\nProvider=" + provider + "\r\nServer=" + server +
           "\r\nPortNo=" + std::to_string(port) + "\r\nDatabase=" + database + "\r\nUserName=" + user +
           "\r\nPWD=" + iqo::Utf8ToAnsi(iqo::ScrambleText(password)) + "\r\n";
}

// A mode-0 widget definition file that is due on every call, with its "_01" side file.
inline void WriteWidget(const std::string& path, const std::string& output, const std::string& section,
                        const std::string& sql) {
    WriteBytes(path, "[Widget_Options]\r\nWidget_RemoteXML=1\r\nWidget_AutoRefresh=0\r\nWidget_Caption=Sales\r\n"
                     "Widget_RemoteXMLFile=" + output + "\r\n" + section);
    WriteBytes(path + "_01", sql);
}

// A small SQLite source with the one row the tests look for.
inline std::unique_ptr<TSQLiteSourceDatabase> CustomerSource() {
    return std::make_unique<TSQLiteSourceDatabase>(std::vector<std::string>{
        "CREATE TABLE customer (id INTEGER NOT NULL PRIMARY KEY, name VARCHAR(40))",
        "INSERT INTO customer VALUES (1, 'Smith')"});
}
inline const std::string kCustomerSql = "SELECT id, name FROM customer";
inline const std::string kCustomerRow = "<z:row id='1' name='Smith' />";

// A data-centre database made with isql-fb on a Firebird server (host/port), its IQOWIDGET
// table listing the given widget definition files in order; dropped at the end when the
// server is still there.
class TDataCentreDatabase {
public:
    TDataCentreDatabase(const std::string& server, const std::string& folder, const std::vector<std::string>& widgets)
        : FServer(server), FPath(folder + "/dc-" + std::to_string(getpid()) + "-" + std::to_string(std::random_device{}()) + ".fdb") {
        std::string script = "create database '" + FServer + ":" + FPath + "' user '" + User() + "' password '" +
                             Password() + "' default character set UTF8;\n"
                             "create table IQOWIDGET (ID integer, WIZFILENAME varchar(1000));\n";
        for (size_t i = 0; i < widgets.size(); ++i)
            script += "insert into IQOWIDGET values (" + std::to_string(i + 1) + ", '" + widgets[i] + "');\n";
        if (!Isql(script + "commit;\n")) throw iqo::Exception("isql-fb failed: " + ReadBytes(FScripts.File("isql.log")));
    }
    ~TDataCentreDatabase() {
        Isql("connect '" + FServer + ":" + FPath + "' user '" + User() + "' password '" + Password() +
             "';\ndrop database;\n");
    }
    TDataCentreDatabase(const TDataCentreDatabase&) = delete;
    TDataCentreDatabase& operator=(const TDataCentreDatabase&) = delete;

    const std::string& Server() const { return FServer; }
    const std::string& Path() const { return FPath; }
    // The private servers use the shared ones' credentials.
    static std::string User() { return EnvironmentValue("IQO_FB_USER"); }
    static std::string Password() { return EnvironmentValue("IQO_FB_PASSWORD"); }

    // The output of one statement run by isql-fb on the database (its own attachment).
    std::string Select(const std::string& sql) {
        Isql("connect '" + FServer + ":" + FPath + "' user '" + User() + "' password '" + Password() + "';\n" + sql +
             ";\n");
        return ReadBytes(FScripts.File("isql.log"));
    }

private:
    bool Isql(const std::string& script) const {
        WriteBytes(FScripts.File("script.sql"), script);
        const std::string command = "isql-fb -q -bail -i '" + FScripts.File("script.sql") + "' >'" +
                                    FScripts.File("isql.log") + "' 2>&1";
        return std::system(command.c_str()) == 0;
    }

    TTempFolder FScripts;
    std::string FServer;
    std::string FPath;
};

// The settings file of a cycle over the given data-centre databases, in order.
inline void WriteSettings(const std::string& path, const std::vector<const TDataCentreDatabase*>& databases) {
    std::string text = "[Settings]\r\nConnection_Number=" + std::to_string(databases.size()) + "\r\n";
    for (size_t i = 0; i < databases.size(); ++i)
        text += "[Connection_Info_" + std::to_string(i + 1) + "]\r\nFirebird_Server=" + databases[i]->Server() +
                "\r\nFirebird_Database=" + databases[i]->Path() + "\r\nFirebird_UserName=" +
                TDataCentreDatabase::User() + "\r\nFirebird_Password=" +
                iqo::Utf8ToAnsi(iqo::ScrambleText(TDataCentreDatabase::Password())) + "\r\n";
    WriteBytes(path, text);
}

// The entries of the worker for one data-centre database whose widgets all run their job.
inline std::vector<TLogEntry> CheckingEntries(const TDataCentreDatabase& database, size_t widgets) {
    return {Info("Checking Widgets on " + database.Server() + ":" + database.Path()),
            Info("Nr of widgets to check for remote data requirement: " + std::to_string(widgets))};
}

// The entries of a mode-0 job that saves its file, with the connection description.
inline std::vector<TLogEntry> ExtractedEntries(const std::string& widget, const std::string& output,
                                               const std::string& description) {
    return {Info("Checking Widget file: " + widget),
            Info("Executing data extraction " + widget),
            Info("Creating dataset for Widget file " + widget),
            Direct("Adding connection info Connect_info_0"),
            Direct("Accessing Iqo CRM Data set"),
            Info("Saving XML Data " + output + "\r" + description),
            Success("Remote Iqo Widget " + widget + " has been completed")};
}

inline std::string SQLiteDescription(const std::string& database) {
    return "Connection type 0 \rProvider: SQLite\rServer: \rDatabase: " + database + "\rUserName: ";
}

inline void Append(std::vector<TLogEntry>& to, const std::vector<TLogEntry>& more) {
    to.insert(to.end(), more.begin(), more.end());
}
