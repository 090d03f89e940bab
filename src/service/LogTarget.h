#pragma once

#include <string>

namespace iqo {

// The category argument every caller of WriteLogMessage passes (it does not reach the entry),
// and the category of the direct LogMessage entries.
constexpr int kIqoLogCategory = 2;

// The log operation that the worker and the extraction job call. The service module writes
// to the event log; the admin tool writes to standard output. Neither operation raises.
class TLogTarget {
public:
    virtual ~TLogTarget() = default;
    // An entry of the given type with category 0 and event ID 1 (aCategory is not used); the
    // service module falls back to the text log when the entry cannot be written.
    virtual void WriteLogMessage(const std::string& aMessage, int aEventType, int aCategory) = 0;
    // An entry with the category and event ID given, without a fallback.
    virtual void LogMessage(const std::string& message, int eventType, int category, int eventID) = 0;
};

// The one module instance through which the worker and the extraction job log: the target
// installed last. Before any is installed, entries go straight to the event log.
TLogTarget& iqoRiveDur();

// Installs a log target as iqoRiveDur for its lifetime, then restores the previous one.
// Install before the threads that log start, remove after they have ended.
class TLogTargetInstallation {
public:
    explicit TLogTargetInstallation(TLogTarget& target);
    ~TLogTargetInstallation();
    TLogTargetInstallation(const TLogTargetInstallation&) = delete;
    TLogTargetInstallation& operator=(const TLogTargetInstallation&) = delete;

private:
    TLogTarget* FPrevious;
};

}  // namespace iqo
