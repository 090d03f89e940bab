#include "DbConnection.h"

#include <algorithm>

#include "DbQuery.h"
#include "platform/Exception.h"
#include "platform/TextUtils.h"

namespace iqo {

TDbConnection::TDbConnection() = default;

TDbConnection::~TDbConnection() {
    Close();
    for (TDbQuery* q : FQueries) q->FConnection = nullptr;
}

void TDbConnection::SetProviderName(std::string_view name) { FProviderName = Trim(name); }

void TDbConnection::SetDatabase(std::string_view database) { FParams.Database = Trim(database); }

void TDbConnection::Open() {
    if (FSession) return;
    FSession = OpenProviderSession(FProviderName, FParams);
}

void TDbConnection::Close() {
    if (!FSession) return;
    for (TDbQuery* q : FQueries) q->ConnectionClosing();
    FSession.reset();
}

TProviderSession& TDbConnection::Session() {
    if (!FSession) throw Exception("Connection is not opened");
    return *FSession;
}

TProviderKind TDbConnection::ProviderKind() const {
    return FSession ? FSession->Kind() : TProviderKind::Generic;
}

void TDbConnection::Attach(TDbQuery* query) { FQueries.push_back(query); }

void TDbConnection::Detach(TDbQuery* query) {
    FQueries.erase(std::remove(FQueries.begin(), FQueries.end(), query), FQueries.end());
}

}  // namespace iqo
