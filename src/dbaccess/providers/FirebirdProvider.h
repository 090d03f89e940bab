#pragma once

#include <memory>

#include "../Provider.h"

namespace iqo {

// The "InterBase" provider, for Firebird databases. The client library is loaded at run time
// from the option "ClientLibrary" (default "libfbclient.so.2"); the connection string is
// server[/port]:database, a Port other than 0 being added as "/port" when the server text has
// none; the connection character set is UTF8. Each run of a query reads its rows in a
// read-only, read-committed transaction of its own.
std::unique_ptr<TProviderSession> OpenFirebirdSession(const TConnectParams& params);

}  // namespace iqo
