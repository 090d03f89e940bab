#include "OdbcConnectStrings.h"

#include <algorithm>
#include <initializer_list>

#include "platform/TextUtils.h"

namespace iqo {

namespace {

constexpr int kSqlServerPort = 1433;

void Add(std::string& connectString, std::string_view keyword, std::string_view value) {
    if (!connectString.empty() && connectString.back() != ';') connectString += ';';
    connectString.append(keyword).append("=").append(OdbcConnectValue(value));
}

bool HasAnyKey(std::string_view connectString, std::initializer_list<std::string_view> keywords) {
    for (const auto keyword : keywords)
        if (OdbcConnectStringHasKey(connectString, keyword)) return true;
    return false;
}

void AddCredentials(std::string& connectString, const TConnectParams& params) {
    if (!params.Username.empty() && !HasAnyKey(connectString, {"UID", "User", "Username"}))
        Add(connectString, "UID", params.Username);
    if (!params.Password.empty() && !HasAnyKey(connectString, {"PWD", "Password"}))
        Add(connectString, "PWD", params.Password);
}

}  // namespace

std::string OdbcConnectValue(std::string_view value) {
    const bool braces = value.find_first_of(";{}") != std::string_view::npos ||
                        (!value.empty() && (value.front() == ' ' || value.back() == ' '));
    if (!braces) return std::string(value);
    return "{" + ReplaceAll(std::string(value), "}", "}}") + "}";
}

namespace {

// Calls visit(key, valueBegin, valueEnd) for each keyword=value pair, the key trimmed, the value
// up to the next ";" or past its closing brace, until visit returns false.
template <typename F>
void ForEachPair(std::string_view connectString, F visit) {
    size_t pos = 0;
    while (pos < connectString.size()) {
        const size_t equals = connectString.find('=', pos);
        if (equals == std::string_view::npos) break;
        size_t next = equals + 1;
        while (next < connectString.size() && connectString[next] == ' ') ++next;
        if (next < connectString.size() && connectString[next] == '{') {
            for (++next; next < connectString.size(); ++next) {
                if (connectString[next] != '}') continue;
                if (next + 1 < connectString.size() && connectString[next + 1] == '}') ++next;
                else break;
            }
        }
        const size_t semicolon = std::min(connectString.find(';', next), connectString.size());
        if (!visit(Trim(connectString.substr(pos, equals - pos)), equals + 1, semicolon)) return;
        pos = semicolon + 1;
    }
}

}  // namespace

bool OdbcConnectStringHasKey(std::string_view connectString, std::string_view keyword) {
    bool found = false;
    ForEachPair(connectString, [&](const std::string& key, size_t, size_t) {
        found = SameText(key, keyword);
        return !found;
    });
    return found;
}

std::string MaskConnectStringPasswords(std::string_view text) {
    std::string masked;
    size_t copied = 0;
    ForEachPair(text, [&](const std::string& key, size_t valueBegin, size_t valueEnd) {
        if (SameText(key, "PWD") || SameText(key, "Password")) {
            masked.append(text.substr(copied, valueBegin - copied)).append(kMaskedPassword);
            copied = valueEnd;
        }
        return true;
    });
    return masked.append(text.substr(copied));
}

std::string OdbcConnectString(const TConnectParams& params) {
    std::string connectString;
    if (params.Server.find('=') != std::string::npos) {
        connectString = params.Server;
    } else {
        Add(connectString, "DSN", params.Server);
    }
    if (!params.Database.empty() && params.Database != Trim(params.Server) &&
        !HasAnyKey(connectString, {"Database", "DBQ"}))
        Add(connectString, "Database", params.Database);
    AddCredentials(connectString, params);
    return connectString;
}

std::string SqlServerConnectString(const TConnectParams& params) {
    std::string connectString = "DRIVER={FreeTDS}";
    const std::string server = Trim(params.Server);
    Add(connectString, "Server", server);
    if (params.Port != 0 || server.find('\\') == std::string::npos)
        Add(connectString, "Port", std::to_string(params.Port == 0 ? kSqlServerPort : params.Port));
    if (!params.Database.empty()) Add(connectString, "Database", params.Database);
    Add(connectString, "UID", params.Username);
    Add(connectString, "PWD", params.Password);
    // TDS 7.4 is SQL Server 2012's protocol, which later servers speak too; text travels as UTF-8.
    Add(connectString, "TDS_Version", "7.4");
    Add(connectString, "ClientCharset", "UTF-8");
    return connectString;
}

std::string AccessConnectString(const TConnectParams& params) {
    std::string connectString = "DRIVER={MDBTools}";
    Add(connectString, "DBQ", params.Database);
    return connectString;
}

}  // namespace iqo
