#pragma once

#include <string>
#include <string_view>

#include "../Provider.h"

namespace iqo {

// A value as an ODBC connection string holds it: in braces (a "}" doubled) when it holds a
// ";", a brace or a blank at either end, as it is otherwise.
std::string OdbcConnectValue(std::string_view value);

// True when the connection string sets the keyword (without regard to case).
bool OdbcConnectStringHasKey(std::string_view connectString, std::string_view keyword);

// What stands for a password in a text shown to anybody.
inline constexpr const char* kMaskedPassword = "***";

// The text with the value of every PWD= and Password= pair (without regard to case) replaced
// by kMaskedPassword: a connection string, or any text that quotes one, made fit for a log.
std::string MaskConnectStringPasswords(std::string_view text);

// The "ODBC" provider: Server is a DSN name, or a whole connection string when it holds "=".
// Database, Username and Password are added as Database=, UID= and PWD= when they are not
// empty and the connection string does not set them itself; Database also not when it repeats
// Server (a connection whose blank server was given the database's value).
std::string OdbcConnectString(const TConnectParams& params);

// The "SQL Server" provider through the FreeTDS driver: Port 0 means 1433, except for a server
// text that names an instance ("host\instance"), whose port the server's browser tells.
std::string SqlServerConnectString(const TConnectParams& params);

// The "Access" provider through the MDB Tools driver: Database is the .mdb or .accdb file.
std::string AccessConnectString(const TConnectParams& params);

}  // namespace iqo
