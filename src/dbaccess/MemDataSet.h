#pragma once

#include <vector>

#include "DataSet.h"

namespace iqo {

// A result set whose columns and rows are given by code. Its rows stay when it is closed,
// so that closing and opening it again gives the same result.
class TMemDataSet : public TDataSet {
public:
    explicit TMemDataSet(std::vector<TColumnDescriptor> columns, TProviderKind kind = TProviderKind::Generic);

    bool Prepared() const override { return true; }
    TProviderKind ProviderKind() const override { return FKind; }

    TRowStore::TRowBuilder NewRow() const { return TRowStore::TRowBuilder(Rows()); }
    TRowId AppendRow(const TRowStore::TRowBuilder& row) { return Rows().Append(row); }

protected:
    void DoOpen() override {}
    bool KeepRowsWhenClosed() const override { return true; }

private:
    TProviderKind FKind;
};

}  // namespace iqo
