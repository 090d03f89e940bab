#include "OdbcProvider.h"

#include <filesystem>
#include <set>
#include <tuple>

#include "OdbcColumns.h"
#include "OdbcConnectStrings.h"
#include "OdbcHandles.h"
#include "platform/Exception.h"
#include "platform/TextUtils.h"

namespace iqo {

namespace {

constexpr SQLULEN kLoginTimeoutSeconds = 15;

// An environment and one connection on it, disconnected and freed in that order.
class TOdbcConnection {
public:
    // `what` names the attempt in the error text of a driver that gives no reason.
    TOdbcConnection(const std::string& connectString, bool readOnly, const std::string& what)
        : FEnvironment(SQL_HANDLE_ENV, SQL_NULL_HANDLE), FConnection(SQL_HANDLE_DBC, Prepared(FEnvironment)) {
        SQLSetConnectAttrW(FConnection.Get(), SQL_ATTR_LOGIN_TIMEOUT,
                           reinterpret_cast<SQLPOINTER>(kLoginTimeoutSeconds), SQL_IS_UINTEGER);
        if (readOnly)
            SQLSetConnectAttrW(FConnection.Get(), SQL_ATTR_ACCESS_MODE,
                               reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_MODE_READ_ONLY)), SQL_IS_UINTEGER);
        std::u16string text = ToOdbcText(connectString);
        SQLWCHAR completed[1024];
        SQLSMALLINT completedLength = 0;
        FConnection.Check(SQLDriverConnectW(FConnection.Get(), nullptr, OdbcText(text), static_cast<SQLSMALLINT>(text.size()),
                                            completed, static_cast<SQLSMALLINT>(sizeof completed / sizeof completed[0]),
                                            &completedLength, SQL_DRIVER_NOPROMPT),
                          what);
        FConnected = true;
    }

    ~TOdbcConnection() {
        if (FConnected) SQLDisconnect(FConnection.Get());
    }

    TOdbcConnection(const TOdbcConnection&) = delete;
    TOdbcConnection& operator=(const TOdbcConnection&) = delete;

    const TOdbcHandle& Handle() const { return FConnection; }

private:
    // Asks for ODBC 3 behaviour before the connection handle is allocated on the environment.
    static SQLHANDLE Prepared(const TOdbcHandle& environment) {
        environment.Check(SQLSetEnvAttr(environment.Get(), SQL_ATTR_ODBC_VERSION,
                                        reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_OV_ODBC3)), 0),
                          "Setting up the ODBC environment");
        return environment.Get();
    }

    TOdbcHandle FEnvironment;
    TOdbcHandle FConnection;
    bool FConnected = false;
};

// A statement of the session: prepared once, described from its column attributes and the
// primary keys of its base tables, then executed and fetched any number of times.
class TOdbcStatement : public TProviderStatement {
public:
    TOdbcStatement(std::shared_ptr<TOdbcConnection> connection, TProviderKind kind, bool describeByRunning,
                   const std::string& sql)
        : FConnection(std::move(connection)), FKind(kind), FStatement(SQL_HANDLE_STMT, FConnection->Handle().Get()) {
        std::u16string text = ToOdbcText(sql);
        FStatement.Check(SQLPrepareW(FStatement.Get(), OdbcText(text), static_cast<SQLINTEGER>(text.size())),
                         "Preparing the statement");
        // A driver that describes nothing before running (MDB Tools) runs its read-only query here.
        if (describeByRunning && ColumnCount() == 0) {
            FStatement.Check(SQLExecute(FStatement.Get()), "Running the statement");
            FPending = true;
        }
        DescribeColumns();
    }

    std::vector<TColumnDescriptor> Describe() override {
        std::vector<TColumnDescriptor> columns;
        for (const auto& c : FColumns) columns.push_back(c.Descriptor);
        return columns;
    }

    void Execute() override {
        if (FPending) return;
        SQLFreeStmt(FStatement.Get(), SQL_CLOSE);
        FStatement.Check(SQLExecute(FStatement.Get()), "Running the statement");
        FPending = true;
    }

    void Fetch(TRowStore& rows) override {
        if (!FPending) return;
        FPending = false;
        try {
            FReader->Read(FStatement, rows);
        } catch (...) {
            SQLFreeStmt(FStatement.Get(), SQL_CLOSE);
            throw;
        }
        SQLFreeStmt(FStatement.Get(), SQL_CLOSE);
    }

private:
    SQLSMALLINT ColumnCount() {
        SQLSMALLINT count = 0;
        FStatement.Check(SQLNumResultCols(FStatement.Get(), &count), "Describing the statement");
        return count;
    }

    void DescribeColumns() {
        const SQLSMALLINT count = ColumnCount();
        for (SQLSMALLINT i = 1; i <= count; ++i)
            FColumns.push_back(DescribeOdbcColumn(FStatement, static_cast<SQLUSMALLINT>(i), FKind));
        MarkKeys();
        FReader = std::make_unique<TOdbcRowReader>(FColumns);
    }

    // IsKey from SQLPrimaryKeys of each base table, where the driver offers it.
    void MarkKeys() {
        std::set<std::tuple<std::string, std::string, std::string>> tables;
        for (const auto& c : FColumns)
            if (!c.Descriptor.TableName.empty() && !c.Descriptor.ActualName.empty())
                tables.emplace(c.Catalog, c.Schema, c.Descriptor.TableName);
        for (const auto& [catalog, schema, table] : tables) {
            const std::set<std::string> keys = PrimaryKeyColumns(catalog, schema, table);
            for (auto& c : FColumns)
                if (c.Catalog == catalog && c.Schema == schema && c.Descriptor.TableName == table &&
                    keys.count(UpperCase(c.Descriptor.ActualName)))
                    c.Descriptor.IsKey = true;
        }
    }

    // The key's column names in capitals; none when the driver cannot tell.
    std::set<std::string> PrimaryKeyColumns(const std::string& catalog, const std::string& schema, const std::string& table) {
        std::set<std::string> keys;
        TOdbcHandle query(SQL_HANDLE_STMT, FConnection->Handle().Get());
        std::u16string c = ToOdbcText(catalog), s = ToOdbcText(schema), t = ToOdbcText(table);
        auto name = [](std::u16string& text) { return text.empty() ? nullptr : OdbcText(text); };
        if (!SQL_SUCCEEDED(SQLPrimaryKeysW(query.Get(), name(c), static_cast<SQLSMALLINT>(c.size()), name(s),
                                           static_cast<SQLSMALLINT>(s.size()), OdbcText(t), static_cast<SQLSMALLINT>(t.size()))))
            return keys;
        while (SQL_SUCCEEDED(SQLFetch(query.Get()))) {
            SQLWCHAR column[256];
            SQLLEN bytes = 0;
            if (SQL_SUCCEEDED(SQLGetData(query.Get(), 4, SQL_C_WCHAR, column, sizeof column, &bytes)) && bytes > 0)
                keys.insert(UpperCase(FromOdbcText(column, std::min<size_t>(static_cast<size_t>(bytes), sizeof column - sizeof(SQLWCHAR)))));
        }
        return keys;
    }

    std::shared_ptr<TOdbcConnection> FConnection;
    TProviderKind FKind;
    TOdbcHandle FStatement;
    std::vector<TOdbcColumn> FColumns;
    std::unique_ptr<TOdbcRowReader> FReader;
    bool FPending = false;  // a run whose rows have not been fetched
};

class TOdbcSession : public TProviderSession {
public:
    TOdbcSession(TProviderKind kind, const std::string& connectString, bool readOnly, const std::string& what)
        : FKind(kind), FReadOnly(readOnly), FConnection(std::make_shared<TOdbcConnection>(connectString, readOnly, what)) {}

    TProviderKind Kind() const override { return FKind; }

    std::unique_ptr<TProviderStatement> Prepare(const std::string& sql) override {
        return std::make_unique<TOdbcStatement>(FConnection, FKind, FReadOnly, sql);
    }

private:
    TProviderKind FKind;
    bool FReadOnly;
    std::shared_ptr<TOdbcConnection> FConnection;
};

}  // namespace

std::unique_ptr<TProviderSession> OpenOdbcSession(const TConnectParams& params) {
    return std::make_unique<TOdbcSession>(TProviderKind::ODBC, OdbcConnectString(params), false, "Connecting through the ODBC driver");
}

std::unique_ptr<TProviderSession> OpenSQLServerSession(const TConnectParams& params) {
    return std::make_unique<TOdbcSession>(TProviderKind::SQLServer, SqlServerConnectString(params), false,
                                          "Connecting to SQL Server through the FreeTDS driver");
}

std::unique_ptr<TProviderSession> OpenAccessSession(const TConnectParams& params) {
    const std::string file = "the Access database file \"" + params.Database + "\"";
    std::error_code error;
    if (!std::filesystem::is_regular_file(params.Database, error))
        throw Exception("The Access database file \"" + params.Database + "\" does not exist");
    // The driver reports a file it cannot read (not a database) with no diagnostic either.
    return std::make_unique<TOdbcSession>(TProviderKind::Access, AccessConnectString(params), true,
                                          "Opening " + file);
}

}  // namespace iqo
