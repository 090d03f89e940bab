#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Provider.h"

namespace iqo {

class TDbQuery;

// A connection to one database through a provider named by text. The provider is looked
// up when the connection opens, so a wrong name raises at Open, not when it is set.
class TDbConnection {
public:
    TDbConnection();
    ~TDbConnection();
    TDbConnection(const TDbConnection&) = delete;
    TDbConnection& operator=(const TDbConnection&) = delete;

    // Kept with surrounding blanks removed.
    const std::string& ProviderName() const { return FProviderName; }
    void SetProviderName(std::string_view name);
    const std::string& Server() const { return FParams.Server; }
    void SetServer(std::string server) { FParams.Server = std::move(server); }
    int Port() const { return FParams.Port; }
    void SetPort(int port) { FParams.Port = port; }
    // Kept with surrounding blanks removed.
    const std::string& Database() const { return FParams.Database; }
    void SetDatabase(std::string_view database);
    const std::string& Username() const { return FParams.Username; }
    void SetUsername(std::string username) { FParams.Username = std::move(username); }
    const std::string& Password() const { return FParams.Password; }
    void SetPassword(std::string password) { FParams.Password = std::move(password); }
    // No dialog ever asks for credentials here: the flag is kept for callers that set it.
    bool LoginPrompt() const { return FLoginPrompt; }
    void SetLoginPrompt(bool prompt) { FLoginPrompt = prompt; }
    TSpecificOptions& SpecificOptions() { return FParams.Options; }

    void Open();
    // Closes the queries on this connection first; harmless when closed.
    void Close();
    bool Connected() const { return FSession != nullptr; }

    // The open session; raises "Connection is not opened" when closed.
    TProviderSession& Session();
    TProviderKind ProviderKind() const;

private:
    friend class TDbQuery;
    void Attach(TDbQuery* query);
    void Detach(TDbQuery* query);

    std::string FProviderName;
    TConnectParams FParams;
    bool FLoginPrompt = true;
    std::unique_ptr<TProviderSession> FSession;
    std::vector<TDbQuery*> FQueries;
};

}  // namespace iqo
