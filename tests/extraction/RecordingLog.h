#pragma once

#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "platform/EventLog.h"
#include "service/LogTarget.h"

// One log entry as the event log receives it.
struct TLogEntry {
    int Type;
    int Category;
    int ID;
    std::string Message;
    bool operator==(const TLogEntry&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const TLogEntry& e) {
    return out << iqo::PlainLogEntry(e.Type, e.Category, e.ID, e.Message);
}

// A log target that records the entries the worker writes, installed as iqoRiveDur for its
// lifetime. Entries of WriteLogMessage carry category 0 and event ID 1, as the module's do.
class TRecordingLog : public iqo::TLogTarget {
public:
    TRecordingLog() : FInstallation(*this) {}

    void WriteLogMessage(const std::string& aMessage, int aEventType, int) override { Add({aEventType, 0, 1, aMessage}); }
    void LogMessage(const std::string& message, int eventType, int category, int eventID) override {
        Add({eventType, category, eventID, message});
    }

    std::vector<TLogEntry> Entries() const {
        std::lock_guard<std::mutex> lock(FLock);
        return FEntries;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(FLock);
        FEntries.clear();
    }

private:
    void Add(TLogEntry entry) {
        std::lock_guard<std::mutex> lock(FLock);
        FEntries.push_back(std::move(entry));
    }

    mutable std::mutex FLock;
    std::vector<TLogEntry> FEntries;
    iqo::TLogTargetInstallation FInstallation;
};
