#include "PostgreSQLProvider.h"

#include <set>
#include <string>

#include "PgCatalog.h"
#include "PgHandles.h"
#include "PostgreSQLColumns.h"
#include "platform/Exception.h"

namespace iqo {

namespace {

constexpr int kDefaultPort = 5432;
constexpr const char* kConnectTimeoutSeconds = "15";
// Fixed output forms that the row reader relies on, whatever the server's defaults.
constexpr const char* kSessionOptions =
    "-c DateStyle=ISO,MDY -c IntervalStyle=postgres -c bytea_output=hex -c extra_float_digits=3";

// A statement of the session. Preparing describes it through an unnamed prepared statement and
// looks its columns up in the catalog; each run sends the text again and reads the whole
// result in text form.
class TPostgreSQLStatement : public TProviderStatement {
public:
    TPostgreSQLStatement(PGconn* connection, const std::string& sql) : FConnection(connection), FSQL(sql) {
        PgCheckResult(FConnection, PQprepare(FConnection, "", FSQL.c_str(), 0, nullptr), PGRES_COMMAND_OK);
        FDescription = PgCheckResult(FConnection, PQdescribePrepared(FConnection, ""), PGRES_COMMAND_OK);
        const PGresult* d = FDescription.get();
        std::set<TPgColumnOrigin> origins;
        for (int i = 0; i < PQnfields(d); ++i)
            if (PQftable(d, i) != InvalidOid && PQftablecol(d, i) > 0) origins.emplace(PQftable(d, i), PQftablecol(d, i));
        const auto baseColumns = PgBaseColumns(FConnection, origins);
        for (int i = 0; i < PQnfields(d); ++i) {
            const auto base = baseColumns.find({PQftable(d, i), PQftablecol(d, i)});
            FColumns.push_back(DescribePostgreSQLColumn(d, i, base == baseColumns.end() ? nullptr : &base->second));
        }
        FReader = std::make_unique<TPostgreSQLRowReader>(d, FColumns);
    }

    std::vector<TColumnDescriptor> Describe() override { return FColumns; }

    void Execute() override {
        FResult.reset();
        FResult = PgCheckResult(FConnection,
                                PQexecParams(FConnection, FSQL.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0),
                                PGRES_TUPLES_OK);
        if (PQnfields(FResult.get()) != static_cast<int>(FColumns.size()))
            throw Exception("The statement returned other columns than it was prepared with");
    }

    void Fetch(TRowStore& rows) override {
        if (!FResult) return;
        const auto result = std::move(FResult);
        FReader->Read(result.get(), rows);
    }

private:
    PGconn* FConnection;
    std::string FSQL;
    TPgResultHandle FDescription;
    std::vector<TColumnDescriptor> FColumns;
    std::unique_ptr<TPostgreSQLRowReader> FReader;
    TPgResultHandle FResult;
};

class TPostgreSQLSession : public TProviderSession {
public:
    explicit TPostgreSQLSession(const TConnectParams& params) {
        const std::string port = std::to_string(params.Port == 0 ? kDefaultPort : params.Port);
        const char* const keywords[] = {"host", "port", "dbname", "user", "password", "connect_timeout",
                                        "client_encoding", "options", "fallback_application_name", nullptr};
        const char* const values[] = {params.Server.c_str(), port.c_str(), params.Database.c_str(),
                                      params.Username.c_str(), params.Password.c_str(), kConnectTimeoutSeconds,
                                      "UTF8", kSessionOptions, "iqoRiveDur", nullptr};
        // expand_dbname 0: a database name is never read as a connection string.
        FConnection.reset(PQconnectdbParams(keywords, values, 0));
        if (!FConnection) throw Exception("Out of memory while connecting to the PostgreSQL server");
        if (PQstatus(FConnection.get()) != CONNECTION_OK) throw Exception(PgMessageText(PQerrorMessage(FConnection.get())));
    }

    TProviderKind Kind() const override { return TProviderKind::PostgreSQL; }

    std::unique_ptr<TProviderStatement> Prepare(const std::string& sql) override {
        return std::make_unique<TPostgreSQLStatement>(FConnection.get(), sql);
    }

private:
    TPgConnectionHandle FConnection;
};

}  // namespace

std::unique_ptr<TProviderSession> OpenPostgreSQLSession(const TConnectParams& params) {
    return std::make_unique<TPostgreSQLSession>(params);
}

}  // namespace iqo
