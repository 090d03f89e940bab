#include "ConsoleLogTarget.h"

#include "platform/CodePage.h"
#include "platform/EventLog.h"

namespace iqo {

std::string JsonEscape(std::string_view text) {
    const std::string valid = SanitizeUtf8(text);
    std::string out;
    out.reserve(valid.size() + 8);
    for (const char c : valid) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    static const char kHex[] = "0123456789abcdef";
                    out += "\\u00";
                    out += kHex[(c >> 4) & 0xF];
                    out += kHex[c & 0xF];
                } else {
                    out += c;
                }
        }
    }
    return out;
}

void TConsoleLogTarget::WriteLogMessage(const std::string& aMessage, int aEventType, int) {
    LogMessage(aMessage, aEventType, 0, 1);
}

void TConsoleLogTarget::LogMessage(const std::string& message, int eventType, int category, int eventID) {
    std::string line;
    if (FJson)
        line = "{\"type\":" + std::to_string(eventType) + ",\"category\":" + std::to_string(category) +
               ",\"id\":" + std::to_string(eventID) + ",\"message\":\"" + JsonEscape(message) + "\"}";
    else
        line = PlainLogEntry(eventType, category, eventID, message);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), FOut);
    std::fflush(FOut);
}

}  // namespace iqo
