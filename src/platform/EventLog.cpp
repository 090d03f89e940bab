#include "EventLog.h"

#include <sys/stat.h>
#include <sys/uio.h>

#include <array>

#include <systemd/sd-journal.h>

#include "Exception.h"
#include "FileUtils.h"

namespace iqo {

namespace {

int JournalPriority(int eventType) {
    switch (eventType) {
        case EVENTLOG_ERROR_TYPE: return 3;
        case EVENTLOG_WARNING_TYPE: return 4;
        case EVENTLOG_SUCCESS: return 5;
        default: return 6;
    }
}

bool SocketExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

}  // namespace

std::string EventTypeName(int eventType) {
    switch (eventType) {
        case EVENTLOG_SUCCESS: return "success";
        case EVENTLOG_ERROR_TYPE: return "error";
        case EVENTLOG_WARNING_TYPE: return "warning";
        case EVENTLOG_INFORMATION_TYPE: return "information";
        default: return std::to_string(eventType);
    }
}

std::string PlainLogEntry(int eventType, int category, int eventID, std::string_view message) {
    std::string line = EventTypeName(eventType) + " " + std::to_string(category) + " " + std::to_string(eventID) + ": ";
    for (const char ch : message) {
        if (ch == '\r' || ch == '\n')
            line += " | ";
        else
            line += ch;
    }
    return line;
}

TEventLog::TEventLog(std::string journalSocket, int errorFd)
    : FJournalSocket(std::move(journalSocket)), FErrorFd(errorFd) {}

void TEventLog::Report(int eventType, int category, int eventID, std::string_view message) const {
    // journald drops entries silently when its socket is missing, so the socket decides.
    if (!SocketExists(FJournalSocket)) {
        const std::string line = std::string(kIdentifier) + ": " + PlainLogEntry(eventType, category, eventID, message) + "\n";
        if (!WriteAll(FErrorFd, line)) throw Exception("Event log entry not written: " + SystemErrorText(errno));
        return;
    }
    // The vector form keeps every byte of the message, line ends included.
    const std::array<std::string, 6> fields = {
        "MESSAGE=" + std::string(message),
        "PRIORITY=" + std::to_string(JournalPriority(eventType)),
        std::string("SYSLOG_IDENTIFIER=") + kIdentifier,
        "IQO_EVENT_TYPE=" + std::to_string(eventType),
        "IQO_EVENT_CATEGORY=" + std::to_string(category),
        "IQO_EVENT_ID=" + std::to_string(eventID),
    };
    std::array<iovec, fields.size()> vector{};
    for (size_t i = 0; i < fields.size(); ++i)
        vector[i] = iovec{const_cast<char*>(fields[i].data()), fields[i].size()};
    const int result = sd_journal_sendv(vector.data(), static_cast<int>(vector.size()));
    if (result < 0) throw Exception("Event log entry not written: " + SystemErrorText(-result));
}

}  // namespace iqo
