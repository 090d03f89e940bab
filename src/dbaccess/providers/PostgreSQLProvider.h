#pragma once

#include <memory>

#include "../Provider.h"

namespace iqo {

// The "PostgreSQL" provider, through libpq: Server is the host, Port 0 means 5432, Database
// the database name. Connecting gives up after 15 seconds; text travels as UTF-8.
std::unique_ptr<TProviderSession> OpenPostgreSQLSession(const TConnectParams& params);

}  // namespace iqo
