#include "LogTarget.h"

#include <atomic>

#include "platform/EventLog.h"

namespace iqo {

namespace {

// What logs before a module or a tool has installed its own target.
class TEventLogTarget : public TLogTarget {
public:
    void WriteLogMessage(const std::string& aMessage, int aEventType, int) override {
        LogMessage(aMessage, aEventType, 0, 1);
    }
    void LogMessage(const std::string& message, int eventType, int category, int eventID) override {
        try {
            FEventLog.Report(eventType, category, eventID, message);
        } catch (const std::exception&) {
            // The log operations raise nothing; without a module there is no text log to use.
        }
    }

private:
    TEventLog FEventLog;
};

std::atomic<TLogTarget*>& Installed() {
    static std::atomic<TLogTarget*> installed{nullptr};
    return installed;
}

}  // namespace

TLogTarget& iqoRiveDur() {
    if (TLogTarget* target = Installed().load()) return *target;
    static TEventLogTarget fallback;
    return fallback;
}

TLogTargetInstallation::TLogTargetInstallation(TLogTarget& target) : FPrevious(Installed().exchange(&target)) {}

TLogTargetInstallation::~TLogTargetInstallation() { Installed().store(FPrevious); }

}  // namespace iqo
