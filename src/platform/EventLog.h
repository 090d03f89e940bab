#pragma once

#include <string>
#include <string_view>

namespace iqo {

// Event types of log entries (the values the CRM product's administrators know).
constexpr int EVENTLOG_SUCCESS = 0;
constexpr int EVENTLOG_ERROR_TYPE = 1;
constexpr int EVENTLOG_WARNING_TYPE = 2;
constexpr int EVENTLOG_INFORMATION_TYPE = 4;

// "success", "error", "warning", "information"; another value as its decimal number.
std::string EventTypeName(int eventType);

// The plain one-line form of an entry: "<type name> <category> <event id>: <message>", each
// CR or LF of the message shown as " | ".
std::string PlainLogEntry(int eventType, int category, int eventID, std::string_view message);

// The system's event log: entries go to journald (MESSAGE, PRIORITY, SYSLOG_IDENTIFIER and the
// fields IQO_EVENT_TYPE, IQO_EVENT_CATEGORY, IQO_EVENT_ID). Where the journal's socket does not
// exist, each entry is one line "iqoRiveDur: " + its plain form on the error stream instead.
class TEventLog {
public:
    static constexpr const char* kJournalSocket = "/run/systemd/journal/socket";
    static constexpr const char* kIdentifier = "iqoRiveDur";

    // errorFd is not owned; it must stay open while the log is used.
    explicit TEventLog(std::string journalSocket = kJournalSocket, int errorFd = 2);

    // Raises Exception with the system's text when the entry cannot be written.
    void Report(int eventType, int category, int eventID, std::string_view message) const;

private:
    std::string FJournalSocket;
    int FErrorFd;
};

}  // namespace iqo
