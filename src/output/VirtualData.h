#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbaccess/DataSet.h"
#include "output/DateText.h"
#include "output/VirtualCompare.h"
#include "platform/RegionalSettings.h"

namespace iqo {

// The adapter between one source result set and its virtual table: the columns it declares,
// the constraint sets the engine's planner asked for, the local indexes that answer them,
// the scans, the values and the write path.

enum class TVirtualType { vrNull, vrInteger, vrFloat, vrString, vrBlob };

// A value from the engine: a filter value, or a column of a row to insert or update. Text is
// UTF-8; StrValue also holds the bytes of a blob.
struct TVirtualValue {
    TVirtualType ValueType = TVirtualType::vrNull;
    int64_t IntValue = 0;
    double FloatValue = 0;
    std::string StrValue;
};

// A value handed to the engine. Bytes point into the row store, which never moves a value
// while it holds the row, or into the caller's buffer (Transient).
struct TVirtualFieldValue {
    TVirtualType ValueType = TVirtualType::vrNull;
    int64_t IntValue = 0;
    double FloatValue = 0;
    std::string_view Bytes;
    bool Transient = false;
};

// One column of the table.
struct TVirtualFieldDesc {
    std::string Name;
    TFieldType DataType = TFieldType::Unknown;
    int Length = 0;
    int Scale = 0;
    bool IsKey = false;
    bool IsAutoIncrement = false;
    bool Required = false;
    bool ReadOnly = false;
    int ActualIndex = -1;  // the column of the source; -1 for the "_id" of a source without columns
    TStorageClass Storage = TStorageClass::None;
};

// Operations of a constraint item, numbered as the local-index keys show them.
enum class TVirtualOperation {
    Equal = 1, Greater = 2, Less = 3, GreaterOrEqual = 4, LessOrEqual = 5, NotEqual = 6, IsNull = 40, IsNotNull = 41
};

// How an item compares a column with its value once the value is brought to the column's kind.
enum class TVirtualCompareKind {
    Never,           // the value is NULL or cannot be brought to the column's kind
    Integer,         // stored integers (Currency and Bcd as value * 10000) with an integer
    IntegerAsFloat,  // an integer column with a number that is not an integer
    Float,           // day serials and Single, Double values, within the tolerance
    Exact,           // Extended values, exactly
    Decimal,         // FmtBcd texts read as numbers, exactly
    Milliseconds,    // TimeStamp values to the millisecond
    Text,            // by the item's collation
    Bytes
};

constexpr int kUnusedField = -100;

struct TVirtualConstraintItem {
    int FieldIndex = kUnusedField;  // column number from 0; kUnusedField: left to the engine
    int ArgIndex = 0;               // 1-based position of the value among the filter values
    TVirtualOperation Operation = TVirtualOperation::Equal;
    TVirtualValue Value;
    bool SimpleCompare = false;     // the column's type can drive a local index
    TVirtualCollationType Collation = TVirtualCollationType::vcBinary;
    std::string CollationName;
    // Settled when a scan starts; Value then holds the value brought to the column's kind.
    TVirtualCompareKind CompareKind = TVirtualCompareKind::Never;

    bool Used() const { return FieldIndex != kUnusedField; }
};

// The conditions of one plan of the engine, and in a scan's copy the values and the position.
struct TVirtualConstraint {
    int LocalIndex = -1;     // number of the local index in use, -1 for none
    size_t CurrentItem = 0;  // position reached (in the local index, or in the source's row order)
    int SortItemIndex = -1;  // the item that drives the local index, -1 for none
    std::vector<TVirtualConstraintItem> Items;

    // The same plan: equal items (column, position, operation and collation).
    bool SamePlan(const TVirtualConstraint& other) const;
};

// The rows of a source sorted by one column, NULLs first, with every kFenceStep-th key of the
// non-NULL part: a search runs over these keys and reaches into the row store only for the
// last few steps.
struct TVirtualSortedRows {
    static constexpr size_t kFenceStep = 16;
    std::vector<TRowId> Ids;
    size_t StartIndex = 0;  // the first row whose column is not NULL
    // The sort key of Ids[StartIndex + j * kFenceStep]: the bits of an integer or a double, or
    // the first eight bytes of a text in the collation's order.
    std::vector<uint64_t> Fence;
};

// A local index: its key and sort column, and the sorted rows once built.
class TVirtualLocalIndex {
public:
    TVirtualLocalIndex(std::string key, int fieldIndex, TVirtualCollationType collation)
        : FKey(std::move(key)), FFieldIndex(fieldIndex), FCollation(collation) {}

    const std::string& Key() const { return FKey; }
    int FieldIndex() const { return FFieldIndex; }
    TVirtualCollationType Collation() const { return FCollation; }
    // Shared with the scans that walk it, so that a rebuild never pulls rows from under them.
    const std::shared_ptr<const TVirtualSortedRows>& Rows() const { return FRows; }

    // Built over this row store holding this many rows, and not invalidated since.
    bool CurrentFor(const TRowStore* store, size_t count) const {
        return FRows && FStore == store && FRows->Ids.size() == count;
    }
    void Assign(std::shared_ptr<const TVirtualSortedRows> rows, const TRowStore* store) {
        FRows = std::move(rows);
        FStore = store;
    }
    void Invalidate() { FRows.reset(); }

private:
    std::string FKey;
    int FFieldIndex;
    TVirtualCollationType FCollation;
    std::shared_ptr<const TVirtualSortedRows> FRows;
    const TRowStore* FStore = nullptr;
};

// Where a scan stands: its filter (a copy of one constraint set with the values of this scan),
// the local index it walks and the current row.
struct TVirtualScan {
    TVirtualConstraint Filter;
    bool Filtered = false;
    std::shared_ptr<const TVirtualSortedRows> Index;
    // An item on the index's column ("=", "<" or "<="): the first row of the walk that fails
    // it ends the scan. -1 for none.
    int BoundItemIndex = -1;
    size_t End = 0;  // the position after the last candidate row
    TRowId Row = kNoRow;
};

// Gives a scan its filter values by their 1-based positions.
class TVirtualValueSource {
public:
    virtual void Read(int argIndex, TVirtualValue& value) const = 0;

protected:
    ~TVirtualValueSource() = default;
};

// The adapter as the module sees it. Holds the columns, the constraint sets (numbered from 1)
// and the local indexes; the variant over a source's rows does the rest.
class TVirtualData {
public:
    virtual ~TVirtualData();

    // Describes the columns from the source; raises "Source dataset is not active" when the
    // source is neither open nor prepared.
    virtual void DescribeFields() = 0;
    const std::vector<TVirtualFieldDesc>& Fields() const { return FFields; }

    // The number of the constraint set with the same plan, appended when absent.
    int AddConstraint(const TVirtualConstraint& constraint);
    const std::vector<TVirtualConstraint>& Constraints() const { return FConstraints; }
    // Sets the constraint's LocalIndex to the index for its key, added when absent. Rows are
    // sorted at the first scan that uses the index: a table that a join plans as its inner
    // table but does not read that way costs no sort.
    void FindOrAddLocalIndex(TVirtualConstraint& constraint);
    // "COLUMN_op;" for every used item ("ACCNO_1;", "DOCDATE_4;DOCDATE_5;"); an item of a text
    // column under another collation than BINARY adds a blank and the collation's name.
    std::string LocalIndexKey(const TVirtualConstraint& constraint) const;
    std::vector<std::string> LocalIndexKeys() const;
    bool CanUseLocalIndex() const { return FCanUseLocalIndex; }
    void SetCanUseLocalIndex(bool value) { FCanUseLocalIndex = value; }

    // Positions the scan on the first row that satisfies the constraint set of the plan
    // number (0, or a number beyond the sets: every row). Raises EConvertError for a filter
    // value that a date column cannot read.
    virtual void OpenScan(TVirtualScan& scan, int planNumber, const TVirtualValueSource& values) = 0;
    virtual void Next(TVirtualScan& scan) = 0;
    static bool Eof(const TVirtualScan& scan) { return scan.Row == kNoRow; }
    // NULL in the source, and also what the engine is given as NULL (an empty binary value,
    // a not-a-number float).
    virtual bool FieldIsNull(TRowId row, size_t field) const = 0;
    virtual TVirtualFieldValue FieldValue(TRowId row, size_t field, TDateTextBuffer& buffer) const = 0;

    // The source's current row, and the way back to it.
    virtual TRowId SourcePosition() const = 0;
    virtual void RestoreSourcePosition(TRowId row) = 0;

    // The write path: values by column, converted to the columns' types; read-only columns
    // are skipped. Local indexes are rebuilt when next used.
    virtual TRowId InsertRow(const std::vector<TVirtualValue>& values) = 0;
    virtual void EditRow(TRowId row, const std::vector<TVirtualValue>& values) = 0;
    virtual void DeleteRow(TRowId row) = 0;

    // Forgets the constraint sets and local indexes (the table is dropped).
    void ClearPlans();

    // Rows that scans have tested against their filters, and local indexes sorted.
    uint64_t RowsVisited() const { return FRowsVisited; }
    uint64_t LocalIndexBuilds() const { return FLocalIndexBuilds; }

protected:
    std::vector<TVirtualFieldDesc> FFields;
    std::vector<TVirtualConstraint> FConstraints;
    std::vector<TVirtualLocalIndex> FLocalIndexes;
    bool FCanUseLocalIndex = true;
    uint64_t FRowsVisited = 0;
    uint64_t FLocalIndexBuilds = 0;
};

// The adapter over a result set of the data layer: reads the source's row store by row id,
// so that nothing is copied and every cursor has its own row.
class TVirtualMemData final : public TVirtualData {
public:
    // The source is borrowed. Date texts of filter values fall back to the regional settings.
    explicit TVirtualMemData(TDataSet& source, const TFormatSettings& regional = RegionalSettings());

    void DescribeFields() override;
    void OpenScan(TVirtualScan& scan, int planNumber, const TVirtualValueSource& values) override;
    void Next(TVirtualScan& scan) override;
    bool FieldIsNull(TRowId row, size_t field) const override;
    TVirtualFieldValue FieldValue(TRowId row, size_t field, TDateTextBuffer& buffer) const override;
    TRowId SourcePosition() const override;
    void RestoreSourcePosition(TRowId row) override;
    TRowId InsertRow(const std::vector<TVirtualValue>& values) override;
    void EditRow(TRowId row, const std::vector<TVirtualValue>& values) override;
    void DeleteRow(TRowId row) override;

private:
    const TRowStore& Rows() const { return FSource.Rows(); }
    void SyncFieldTypes();
    TVirtualLocalIndex& CurrentLocalIndex(int number);
    void BuildLocalIndex(TVirtualLocalIndex& index);
    void PrepareItem(TVirtualConstraintItem& item) const;
    int CompareField(TRowId row, const TVirtualConstraintItem& item) const;
    bool Holds(TRowId row, const TVirtualConstraintItem& item) const;
    void Seek(TVirtualScan& scan);
    void SetLocalRange(TVirtualScan& scan) const;
    size_t FirstNotBelow(const TVirtualSortedRows& sorted, const TVirtualConstraintItem& item, bool orEqual) const;
    void WriteValue(TRowStore::TRowBuilder& row, const TVirtualFieldDesc& field, const TVirtualValue& value) const;
    void RowsWritten();
    void RequireActive() const;

    TDataSet& FSource;
    const TFormatSettings& FRegional;
    // The row store the column types were last checked against: a source opened again may
    // settle its types anew.
    const TRowStore* FCheckedStore = nullptr;
};

}  // namespace iqo
