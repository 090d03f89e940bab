#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

#include "dbaccess/ColumnDescriptor.h"
#include "dbaccess/RowStore.h"

namespace iqo {

// Reads the engine's current row into a row of the combined query's result, by the settled
// type of each column: 8-bit text reduced to Windows-1252 (what the code page lacks becomes
// "?") and cut to the column's length in bytes, wide text cut to its length in characters,
// integers in the column's width, Currency and Bcd scaled to 4 decimals (ties to even),
// dates read from their texts by the date-text rule, bytes cut to the column's length.
// Raises EConvertError for a date text or decimal that does not read.
class TVirtualValueImporter {
public:
    explicit TVirtualValueImporter(const std::vector<TColumnDescriptor>& columns) : FColumns(columns) {}

    void Import(sqlite3_stmt* stmt, TRowStore::TRowBuilder& row);

private:
    const std::vector<TColumnDescriptor>& FColumns;
    // Reused for every value, so that text conversions allocate only while values grow.
    std::string FAnsi;
};

}  // namespace iqo
