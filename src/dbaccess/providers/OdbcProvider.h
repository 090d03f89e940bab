#pragma once

#include <memory>

#include "../Provider.h"

namespace iqo {

// The providers over the unixODBC driver manager. Each connects with its own connection
// string (see OdbcConnectStrings.h), gives up logging in after 15 seconds, and passes the
// driver's diagnostic records on as its error texts.
//
// "ODBC": any driver, by DSN name or whole connection string in Server.
std::unique_ptr<TProviderSession> OpenOdbcSession(const TConnectParams& params);
// "SQL Server": the FreeTDS driver.
std::unique_ptr<TProviderSession> OpenSQLServerSession(const TConnectParams& params);
// "Access": the MDB Tools driver, read only. A Database that names no file raises an error of
// its own, since the driver reports none.
std::unique_ptr<TProviderSession> OpenAccessSession(const TConnectParams& params);

}  // namespace iqo
