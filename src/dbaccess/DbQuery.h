#pragma once

#include <memory>
#include <string>

#include "DataSet.h"
#include "DbConnection.h"

namespace iqo {

// An SQL query on a connection. Opening runs it and fetches its whole result into the row
// store. The layer settles what every provider shares: FieldNo, unique names, Size, and
// ReadOnly for every column that is not of the updating table (the first base table met in
// column order).
class TDbQuery : public TDataSet {
public:
    explicit TDbQuery(TDbConnection* connection = nullptr);
    ~TDbQuery() override;

    TDbConnection* Connection() const { return FConnection; }
    void SetConnection(TDbConnection* connection);
    const std::string& SQL() const { return FSQL; }
    void SetSQL(std::string sql);

    // Prepares the statement on the provider and describes its columns; opens the
    // connection when it is closed.
    void Prepare();
    void Unprepare();
    bool Prepared() const override { return Active() || FStatement != nullptr; }
    TProviderKind ProviderKind() const override;

protected:
    void DoOpen() override;
    void DoClose() override {}

private:
    friend class TDbConnection;
    void ConnectionClosing();
    std::vector<TColumnDescriptor> Settle(std::vector<TColumnDescriptor> columns) const;

    TDbConnection* FConnection = nullptr;
    std::string FSQL;
    std::unique_ptr<TProviderStatement> FStatement;
};

}  // namespace iqo
