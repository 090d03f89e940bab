#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ColumnDescriptor.h"
#include "RowStore.h"

namespace iqo {

// Case-insensitive less, for option names.
struct TNoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

// Provider-specific options of a connection, by name without regard to case
// (for instance "ClientLibrary" of the InterBase provider).
class TSpecificOptions {
public:
    void SetValue(const std::string& name, std::string value) { FValues[name] = std::move(value); }
    // Empty when not set.
    std::string Value(const std::string& name) const;
    bool Contains(const std::string& name) const { return FValues.count(name) > 0; }
    void Clear() { FValues.clear(); }

private:
    std::map<std::string, std::string, TNoCaseLess> FValues;
};

// What a provider needs to open a session.
struct TConnectParams {
    std::string Server;
    int Port = 0;
    std::string Database;
    std::string Username;
    std::string Password;
    TSpecificOptions Options;
};

// One prepared statement of a provider session.
class TProviderStatement {
public:
    virtual ~TProviderStatement() = default;
    // The columns as far as the prepared statement tells (empty: the statement returns none).
    virtual std::vector<TColumnDescriptor> Describe() = 0;
    // Runs the statement. Afterwards Describe gives the final columns (a provider may settle
    // a column's type by the first row) and Fetch appends every row, laid out for them.
    virtual void Execute() = 0;
    virtual void Fetch(TRowStore& rows) = 0;
};

// An open connection of a provider to one database.
class TProviderSession {
public:
    virtual ~TProviderSession() = default;
    virtual TProviderKind Kind() const = 0;
    virtual std::unique_ptr<TProviderStatement> Prepare(const std::string& sql) = 0;
};

// Opens a session of the provider named (found without regard to case). Raises
// "Provider is not defined" for an empty name, "<name> is not a valid provider name" for a
// name no provider answers to, and a text saying that the provider is not registered for a
// provider such components know that is not part of this service.
std::unique_ptr<TProviderSession> OpenProviderSession(const std::string& providerName, const TConnectParams& params);

}  // namespace iqo
