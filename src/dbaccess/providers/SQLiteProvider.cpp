#include "SQLiteProvider.h"

#include "platform/Exception.h"

namespace iqo {

std::unique_ptr<TProviderSession> OpenSQLiteSession(const TConnectParams&) {
    throw Exception("The SQLite provider is being built");
}

}  // namespace iqo
