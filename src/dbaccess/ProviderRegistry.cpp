#include <functional>

#include "Provider.h"
#include "platform/Exception.h"
#include "platform/TextUtils.h"
#include "providers/FirebirdProvider.h"
#include "providers/OdbcProvider.h"
#include "providers/PostgreSQLProvider.h"
#include "providers/SQLiteProvider.h"

namespace iqo {

bool TNoCaseLess::operator()(const std::string& a, const std::string& b) const {
    return UpperCase(a) < UpperCase(b);
}

std::string TSpecificOptions::Value(const std::string& name) const {
    const auto it = FValues.find(name);
    return it == FValues.end() ? std::string() : it->second;
}

namespace {

struct TProviderEntry {
    const char* name;
    std::function<std::unique_ptr<TProviderSession>(const TConnectParams&)> open;
};

const TProviderEntry kProviders[] = {
    {"InterBase", OpenFirebirdSession},
    {"SQLite", OpenSQLiteSession},
    {"PostgreSQL", OpenPostgreSQLSession},
    {"ODBC", OpenOdbcSession},
    {"SQL Server", OpenSQLServerSession},
    {"Access", OpenAccessSession},
};

// Providers that database access components of this kind offer but this service does not carry.
const char* const kKnownProviders[] = {
    "MySQL", "Oracle", "DB2", "ASE", "Advantage",
    "NexusDB", "DBF", "MongoDB", "Redshift", "BigQuery", "Salesforce", "Dynamics CRM", "NetSuite",
    "QuickBooks", "SugarCRM", "Zoho CRM", "Magento", "MailChimp", "FreshBooks", "BigCommerce",
};

std::string RegisteredNames() {
    std::string names;
    for (const auto& p : kProviders) names += (names.empty() ? "" : ", ") + std::string(p.name);
    return names;
}

}  // namespace

std::unique_ptr<TProviderSession> OpenProviderSession(const std::string& providerName, const TConnectParams& params) {
    const std::string name = Trim(providerName);
    if (name.empty()) throw Exception("Provider is not defined");
    for (const auto& p : kProviders)
        if (SameText(p.name, name)) return p.open(params);
    for (const char* known : kKnownProviders)
        if (SameText(known, name))
            throw Exception("Provider " + std::string(known) +
                            " is not registered: this service carries the providers " + RegisteredNames() +
                            " only, so no " + known + " database can be opened");
    throw Exception(name + " is not a valid provider name");
}

}  // namespace iqo
