#include <cstdlib>
#include <exception>

#include "RemoteDataFile.h"
#include "dbaccess/DbQuery.h"
#include "dbaccess/providers/OdbcConnectStrings.h"
#include "iqoDataThread.h"
#include "iqoprovclass.h"
#include "output/VirtualQuery.h"
#include "platform/DateTime.h"
#include "platform/EventLog.h"
#include "platform/Exception.h"
#include "platform/FileOperations.h"
#include "platform/FileUtils.h"
#include "platform/IniFile.h"
#include "platform/RegionalSettings.h"
#include "platform/TextFile.h"
#include "platform/TextUtils.h"
#include "service/IQOCommon.h"
#include "service/LogTarget.h"

namespace iqo {

namespace {

constexpr const char* kOptions = "Widget_Options";

void Log(const std::string& message, int eventType) {
    iqoRiveDur().WriteLogMessage(message, eventType, kIqoLogCategory);
}

// The entries that go straight to the event log, without the text-log fallback.
void LogDirect(const std::string& message) {
    iqoRiveDur().LogMessage(message, EVENTLOG_INFORMATION_TYPE, kIqoLogCategory, 0);
}

// Configures a connection from the item at a position of the connection list.
void ConfigureConnection(TDbConnection& connection, const TProvConnections& list, int position,
                         const char* firebirdName) {
    const TProvConnect* item = list.getItems(position);
    if (!item)
        throw Exception("The widget definition file holds no Connect_Info section for position " +
                        std::to_string(position) + " of its connection list (" + std::to_string(list.Count()) +
                        " present)");
    const std::string provider = UpperCaseAscii(item->Provider());
    connection.SetProviderName(provider == "FIREBIRD" ? std::string(firebirdName) : item->Provider());
    connection.SetServer(item->Server());
    connection.SetDatabase(item->Database());
    connection.SetUsername(item->User());
    connection.SetPassword(item->PWD());
    connection.SetPort(item->PortNo());
    if (provider == "ODBC" && Trim(connection.Server()).empty()) connection.SetServer(connection.Database());
}

// The description of a configured connection that the job's error entries end with. A server
// or database text may be a whole ODBC connection string: its password is masked.
std::string Describe(const TDbConnection& c, const std::string& heading, const char* userLabel) {
    return heading + "Provider: " + c.ProviderName() + "\rServer: " + MaskConnectStringPasswords(c.Server()) +
           "\rDatabase: " + MaskConnectStringPasswords(c.Database()) + "\r" + userLabel + c.Username();
}

}  // namespace

void TIqoDataThread::ExtractWidgetData(const std::string& P) {
    // 1.
    if (!FileExists(P)) {
        Log("Iqo Widget file " + P + " does not exist", EVENTLOG_INFORMATION_TYPE);
        return;
    }
    // 2.
    FErrorMsg.clear();
    Log("Creating dataset for Widget file " + P, EVENTLOG_INFORMATION_TYPE);

    int32_t mode = 0;
    std::string O;
    std::string sql[3];
    TProvConnections connections;
    TDbConnection first;
    TDbConnection second;
    try {
        const TIniFile widget(P);
        // 3. The refresh switch.
        if (widget.ValueExists(kOptions, "Widget_Refresh") && !widget.ReadBool(kOptions, "Widget_Refresh", false)) return;

        // 4. The refresh interval.
        const int64_t interval = widget.ValueExists(kOptions, "Widget_AutoRefresh")
                                     ? widget.ReadInteger(kOptions, "Widget_AutoRefresh", 60)
                                     : 60;
        const TDateTime last = widget.ValueExists(kOptions, "Widget_LastRemoteXML")
                                   ? widget.ReadDateTime(kOptions, "Widget_LastRemoteXML", 0)
                                   : EncodeDateTime(1980, 1, 1, 1, 0, 0, 0);
        const int64_t elapsed = std::llabs(DateTimeToMilliseconds(Now()) - DateTimeToMilliseconds(last)) / 60000;
        if (elapsed < interval - 5) {
            Log("Not within Refresh and Widget_LastRemoteXML " + FormatIsoDateTime(last, RegionalSettings().TimeSeparator),
                EVENTLOG_INFORMATION_TYPE);
            return;
        }

        // 5.
        mode = widget.ReadInteger(kOptions, "Widget_DataSource", 0);
        O = widget.ReadString(kOptions, "Widget_RemoteXMLFile", "");

        // 6. The SQL side files, whatever the mode.
        static const char* const kSuffixes[] = {"_01", "_02", "_03"};
        for (int i = 0; i < 3; ++i)
            if (FileExists(P + kSuffixes[i])) sql[i] = LoadTextFile(P + kSuffixes[i]);

        // 7. The connection list: the present sections in the order of their numbers.
        for (int n = 0; n <= 3; ++n) {
            const std::string section = "Connect_Info_" + std::to_string(n);
            if (!widget.SectionExists(section)) continue;
            LogDirect("Adding connection info Connect_info_" + std::to_string(n));
            const std::string database = widget.ReadString(section, "Database", "");
            const std::string user = widget.ReadString(section, "UserName", "");
            const std::string password = ScrambleText(widget.ReadString(section, "PWD", ""));
            const int32_t port = widget.ReadInteger(section, "PortNo", 0);
            const std::string server = widget.ReadString(section, "Server", "");
            const std::string provider = widget.ReadString(section, "Provider", "");
            connections.AddConnection(provider, server, database, user, password, port);
        }

        // 8. The connection of the mode.
        if (mode == 0 || mode == 1) {
            LogDirect(mode == 0 ? "Accessing Iqo CRM Data set" : "Accessing Sage Pastel Accounting Data set ");
            first.Close();
            first.SetLoginPrompt(false);
            ConfigureConnection(first, connections, mode, "Interbase");
            FErrorMsg = Describe(first, mode == 0 ? "Connection type 0 \r" : "Connection type 1 \r",
                                 mode == 0 ? "UserName: " : "Username: ");
        } else if (mode == 2) {
            LogDirect("Accessing Combined Data set");
            second.Close();
            second.SetLoginPrompt(false);
            ConfigureConnection(second, connections, 2, "InterBase");
            FErrorMsg = Describe(second, "Connection 2\r", "Username: ");
            first.Close();
            first.SetLoginPrompt(false);
            ConfigureConnection(first, connections, 3, "Interbase");
            FErrorMsg += "\r\r" + Describe(first, "Connection 3\r", "Username: ");
        }

        // 9. The output path.
        if (Trim(O).empty()) {
            Log("Remote Dataset is blank " + O + "\r" + FErrorMsg, EVENTLOG_INFORMATION_TYPE);
            return;
        }

        // 10. Clear the output path.
        if (FileExists(O)) {
            if (FileOperations().Unlink(O.c_str()) != 0)
                Log("Failed to delete existing file " + O + "\r" + FErrorMsg, EVENTLOG_ERROR_TYPE);
        } else {
            const std::string folder = ExtractFileDir(O);
            if (folder.empty() || (!DirectoryExists(folder) && !ForceDirectories(folder)))
                Log("Failed to create remote data directory " + O + "\r" + FErrorMsg, EVENTLOG_ERROR_TYPE);
        }
    } catch (const std::exception& e) {
        Log("ERROR: Creating remote data set " + std::string(e.what()) + "\r\r" + FErrorMsg, EVENTLOG_ERROR_TYPE);
        return;
    }

    // 11. The run.
    if (mode == 0 || mode == 1) {
        try {
            first.Open();
            TDbQuery query(&first);
            query.SetSQL(sql[0]);
            query.Prepare();
            query.Open();
            Log("Saving XML Data " + O + "\r" + FErrorMsg, EVENTLOG_INFORMATION_TYPE);
            SaveRemoteDataFile(query, O);
            query.Close();
            first.Close();
        } catch (const std::exception& e) {
            Log("ERROR: " + std::string(e.what()) + "\r" + FErrorMsg, EVENTLOG_ERROR_TYPE);
        }
    }

    // 11, mode 2: the accounting side becomes PASTELSQL, the CRM side IQOSQL, and the third
    // text runs over both.
    if (mode == 2) {
        try {
            first.Open();
            second.Open();
            TDbQuery crm(&first);
            TDbQuery accounts(&second);
            TVirtualQuery combined;
            crm.SetSQL(sql[0]);
            accounts.SetSQL(sql[1]);
            combined.SetSQL(sql[2]);
            combined.SourceDataSets().Clear();
            TDataSetLink& pastel = combined.SourceDataSets().Add();
            pastel.DataSet = &accounts;
            pastel.TableName = "PASTELSQL";
            TDataSetLink& iqo = combined.SourceDataSets().Add();
            iqo.DataSet = &crm;
            iqo.TableName = "IQOSQL";
            FErrorMsg = "Opening First \r" + FErrorMsg;
            crm.Open();
            FErrorMsg = "Opening Second \r" + FErrorMsg;
            accounts.Open();
            FErrorMsg = "Opening combined \r" + FErrorMsg;
            combined.Open();
            Log("Saving XML Data " + O, EVENTLOG_INFORMATION_TYPE);
            SaveRemoteDataFile(combined, O);
            combined.Close();
            crm.Close();
            accounts.Close();
            first.Close();
            second.Close();
        } catch (const std::exception& e) {
            Log("ERROR: " + std::string(e.what()) + "\r" + FErrorMsg, EVENTLOG_ERROR_TYPE);
        }
    }

    // 12. The stamp.
    try {
        TIniFile widget(P);
        widget.WriteDateTime(kOptions, "Widget_LastRemoteXML", Now());
        widget.UpdateFile();
        Log("Remote Iqo Widget " + P + " has been completed", EVENTLOG_SUCCESS);
    } catch (const std::exception& e) {
        Log("ERROR: " + std::string(e.what()), EVENTLOG_ERROR_TYPE);
    }
    // 13. The working objects are released as they go out of scope.
}

}  // namespace iqo
