#pragma once

#include <memory>

#include "../Provider.h"

namespace iqo {

// The "SQLite" provider: the database is a file path. Column types follow the declared type;
// origin and flags come from the engine's column metadata.
std::unique_ptr<TProviderSession> OpenSQLiteSession(const TConnectParams& params);

}  // namespace iqo
