#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ColumnDescriptor.h"
#include "RowStore.h"
#include "platform/DateTime.h"

namespace iqo {

class TDataSet;

// Names are unique within a result set: a name met before (without regard to case) gets
// "_1", "_2", ... appended.
void MakeColumnNamesUnique(std::vector<TColumnDescriptor>& columns);

// One column of a result set, looked up by name: reads the current row.
class TField {
public:
    TField(const TDataSet& dataSet, size_t index) : FDataSet(&dataSet), FIndex(index) {}
    size_t Index() const { return FIndex; }
    const TColumnDescriptor& Descriptor() const;
    bool IsNull() const;
    std::string AsString() const;
    int64_t AsInteger() const;
    double AsFloat() const;

private:
    const TDataSet* FDataSet;
    size_t FIndex;
};

// A result set: column descriptors, the rows in a row store that the result set owns, and a
// cursor over them (first, next, end test, remember and return to a row). The rowset writer,
// the virtual tables and the combined query read every result through this interface.
class TDataSet {
public:
    virtual ~TDataSet();

    // Opening runs the result's query (when it is not active yet); closing is harmless on a
    // closed result set.
    void Open();
    void Close();
    bool Active() const { return FActive; }
    // Columns are known (prepared or active).
    virtual bool Prepared() const { return FActive; }
    virtual TProviderKind ProviderKind() const = 0;

    const std::vector<TColumnDescriptor>& Columns() const { return FColumns; }
    size_t FieldCount() const { return FColumns.size(); }
    // Position of a column by name without regard to case, or -1.
    int FindField(std::string_view name) const;
    // Raises 'Field "<name>" not found' for an unknown name.
    TField FieldByName(std::string_view name) const;

    // Row count; a lazily fetched result is fetched whole first.
    int64_t RecordCount();
    void First();
    void Next();
    bool Eof();
    bool IsEmpty() { return RecordCount() == 0; }
    // The current row's reference (kNoRow at the end or when empty), and the way back to it.
    TRowId Bookmark() const;
    bool GotoBookmark(TRowId row);
    // Makes the row current (the virtual tables move the source this way).
    void SetCurrentRow(TRowId row);

    // Values of the current row by column index. The typed reads take the value as stored
    // (see TStorageClass); AsBytes serves text, byte and decimal columns.
    bool IsNull(size_t column) const;
    int64_t AsInteger(size_t column) const;
    double AsFloat(size_t column) const;
    std::string_view AsBytes(size_t column) const;
    // A display text of any value (decimal numbers, "True"/"False", regional date-times).
    std::string AsString(size_t column) const;

    // The row store (valid while active), for readers that address rows by reference.
    const TRowStore& Rows() const { return *FRows; }
    TRowStore& Rows() { return *FRows; }

protected:
    // Sets the columns and fills (some of) the rows; called by Open.
    virtual void DoOpen() = 0;
    // Releases the result; called by Close. The row store is released after it unless
    // KeepRowsWhenClosed says otherwise.
    virtual void DoClose() {}
    virtual bool KeepRowsWhenClosed() const { return false; }
    // A result that produces rows as they are read appends the next block and returns true,
    // or returns false at the end.
    virtual bool FetchMore() { return false; }

    // Sets the column descriptors (FieldNo and Size as given) and a fresh row store for them.
    void SetColumns(std::vector<TColumnDescriptor> columns);
    std::vector<TColumnDescriptor>& MutableColumns() { return FColumns; }

private:
    bool EnsureRow(size_t position);

    bool FActive = false;
    std::vector<TColumnDescriptor> FColumns;
    std::unique_ptr<TRowStore> FRows;
    size_t FPosition = 0;
    bool FFetchedAll = false;
};

}  // namespace iqo
