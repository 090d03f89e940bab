#include "FirebirdProvider.h"

#include <set>

#include "FbAttachment.h"
#include "FbCatalog.h"
#include "FbClientLibrary.h"
#include "FbStatement.h"
#include "FirebirdColumns.h"

namespace iqo {

namespace {

constexpr const char* kDefaultClientLibrary = "libfbclient.so.2";

// A statement of the session. It is prepared, and its columns described, in a transaction of
// its own; each run then reads its rows in a fresh read-only, read-committed transaction,
// started by Execute and committed once Fetch has read the last row, so no transaction stays
// open between runs.
class TFirebirdStatement : public TProviderStatement {
public:
    TFirebirdStatement(std::shared_ptr<TFbAttachment> attachment, TFbCatalog& catalog, const std::string& sql)
        : FAttachment(std::move(attachment)), FStatement(FAttachment) {
        TFbTransaction transaction(*FAttachment);
        FStatement.Prepare(transaction, sql);
        std::set<std::string> tables;
        for (size_t i = 0; i < FStatement.ColumnCount(); ++i) {
            const XSQLVAR& column = FStatement.Column(i);
            if (column.relname_length > 0 && column.sqlname_length > 0)
                tables.emplace(column.relname, static_cast<size_t>(column.relname_length));
        }
        const auto baseColumns = catalog.BaseColumns(transaction, tables);
        for (size_t i = 0; i < FStatement.ColumnCount(); ++i) {
            const XSQLVAR& column = FStatement.Column(i);
            const auto base = baseColumns.find({std::string(column.relname, static_cast<size_t>(column.relname_length)),
                                                std::string(column.sqlname, static_cast<size_t>(column.sqlname_length))});
            FColumns.push_back(DescribeFirebirdColumn(column, base == baseColumns.end() ? nullptr : &base->second));
        }
        transaction.Commit();
        FReader = std::make_unique<TFirebirdRowReader>(FStatement, FColumns);
    }

    std::vector<TColumnDescriptor> Describe() override { return FColumns; }

    void Execute() override {
        FStatement.CloseCursor();
        FTransaction.reset();
        FTransaction = std::make_unique<TFbTransaction>(*FAttachment);
        FStatement.Execute(*FTransaction);
    }

    void Fetch(TRowStore& rows) override {
        if (!FTransaction) return;
        try {
            TRowStore::TRowBuilder row(rows);
            while (FStatement.Fetch()) {
                FReader->Read(FStatement, row);
                rows.Append(row);
            }
            FStatement.CloseCursor();
            FTransaction->Commit();
            FTransaction.reset();
        } catch (...) {
            FStatement.CloseCursor();
            FTransaction.reset();
            throw;
        }
    }

private:
    std::shared_ptr<TFbAttachment> FAttachment;
    TFbStatement FStatement;
    std::vector<TColumnDescriptor> FColumns;
    std::unique_ptr<TFirebirdRowReader> FReader;
    // Declared last, so that it ends (rolled back when unfinished) before the statement goes.
    std::unique_ptr<TFbTransaction> FTransaction;
};

class TFirebirdSession : public TProviderSession {
public:
    explicit TFirebirdSession(std::shared_ptr<TFbAttachment> attachment)
        : FAttachment(std::move(attachment)), FCatalog(FAttachment) {}

    TProviderKind Kind() const override { return TProviderKind::InterBase; }

    std::unique_ptr<TProviderStatement> Prepare(const std::string& sql) override {
        return std::make_unique<TFirebirdStatement>(FAttachment, FCatalog, sql);
    }

private:
    std::shared_ptr<TFbAttachment> FAttachment;
    TFbCatalog FCatalog;
};

}  // namespace

std::unique_ptr<TProviderSession> OpenFirebirdSession(const TConnectParams& params) {
    std::string libraryPath = params.Options.Value("ClientLibrary");
    if (libraryPath.empty()) libraryPath = kDefaultClientLibrary;
    auto library = std::make_unique<TFbClientLibrary>(libraryPath);
    TFbAttachParams attach;
    attach.ConnectString = FirebirdConnectString(params.Server, params.Port, params.Database);
    attach.Username = params.Username;
    attach.Password = params.Password;
    return std::make_unique<TFirebirdSession>(std::make_shared<TFbAttachment>(std::move(library), attach));
}

}  // namespace iqo
