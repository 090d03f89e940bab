#pragma once

#include <vector>

#include "../ColumnDescriptor.h"
#include "../RowStore.h"
#include "FbCatalog.h"
#include "FbStatement.h"

namespace iqo {

// The descriptor of one output column of a Firebird statement: its type from the statement's
// description, its origin (table, base column, NOT NULL, key, identity, precision) from the
// catalog's entry for it (null for expressions and columns of procedures).
TColumnDescriptor DescribeFirebirdColumn(const XSQLVAR& column, const TFbBaseColumn* base);

// Reads the current row of a statement into a row builder, each column as its descriptor's
// storage class asks: integers, scaled numbers as their double value, day serials, text and
// bytes whole.
class TFirebirdRowReader {
public:
    TFirebirdRowReader(const TFbStatement& statement, const std::vector<TColumnDescriptor>& columns);
    void Read(TFbStatement& statement, TRowStore::TRowBuilder& row) const;

private:
    enum class TKind { Integer, Scaled, Single, Double, Date, Time, TimeStamp, Boolean, FixedText, Bytes, Blob, None };
    struct TColumnReader {
        TKind Kind = TKind::None;
        double Divisor = 1;     // Scaled: ten to the power of the scale
        size_t Characters = 0;  // FixedText: the declared length
    };
    std::vector<TColumnReader> FColumns;
};

}  // namespace iqo
