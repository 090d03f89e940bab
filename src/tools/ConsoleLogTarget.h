#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "service/LogTarget.h"

namespace iqo {

// The admin tool's log: every entry is one line on an output stream, in the order written,
// in the plain form "<type name> <category> <event id>: <message>" or as one JSON object
// {"type":4,"category":0,"id":1,"message":"..."}.
class TConsoleLogTarget : public TLogTarget {
public:
    TConsoleLogTarget(std::FILE* out, bool json) : FOut(out), FJson(json) {}

    void WriteLogMessage(const std::string& aMessage, int aEventType, int aCategory) override;
    void LogMessage(const std::string& message, int eventType, int category, int eventID) override;

private:
    std::FILE* FOut;
    bool FJson;
};

// A text as a JSON string body: \", \\, \r, \n, \t, other control characters as \u00XX,
// other characters as UTF-8, invalid UTF-8 as U+FFFD.
std::string JsonEscape(std::string_view text);

}  // namespace iqo
