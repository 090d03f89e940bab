#include "DataSet.h"

#include <cmath>
#include <cstdio>

#include "platform/Exception.h"
#include "platform/RegionalSettings.h"
#include "platform/TextUtils.h"

namespace iqo {

const TColumnDescriptor& TField::Descriptor() const { return FDataSet->Columns()[FIndex]; }
bool TField::IsNull() const { return FDataSet->IsNull(FIndex); }
std::string TField::AsString() const { return FDataSet->AsString(FIndex); }
int64_t TField::AsInteger() const { return FDataSet->AsInteger(FIndex); }
double TField::AsFloat() const { return FDataSet->AsFloat(FIndex); }

void MakeColumnNamesUnique(std::vector<TColumnDescriptor>& columns) {
    for (size_t i = 0; i < columns.size(); ++i) {
        TColumnDescriptor& c = columns[i];
        const std::string base = c.Name;
        for (int n = 1;; ++n) {
            bool clash = false;
            for (size_t j = 0; j < i && !clash; ++j) clash = SameText(columns[j].Name, c.Name);
            if (!clash) break;
            c.Name = base + "_" + std::to_string(n);
        }
    }
}

TDataSet::~TDataSet() = default;

void TDataSet::Open() {
    if (FActive) return;
    FPosition = 0;
    FFetchedAll = false;
    DoOpen();
    if (!FRows) SetColumns(FColumns);
    FActive = true;
}

void TDataSet::Close() {
    if (!FActive) return;
    FActive = false;
    DoClose();
    if (!KeepRowsWhenClosed()) FRows.reset();
    FPosition = 0;
}

void TDataSet::SetColumns(std::vector<TColumnDescriptor> columns) {
    FColumns = std::move(columns);
    std::vector<TStorageClass> layout;
    layout.reserve(FColumns.size());
    for (const auto& c : FColumns) layout.push_back(StorageClassOf(c.DataType));
    FRows = std::make_unique<TRowStore>(std::move(layout));
}

int TDataSet::FindField(std::string_view name) const {
    for (size_t i = 0; i < FColumns.size(); ++i)
        if (SameText(FColumns[i].Name, name)) return static_cast<int>(i);
    return -1;
}

TField TDataSet::FieldByName(std::string_view name) const {
    const int index = FindField(name);
    if (index < 0) throw Exception("Field \"" + std::string(name) + "\" not found");
    return TField(*this, static_cast<size_t>(index));
}

bool TDataSet::EnsureRow(size_t position) {
    if (!FActive || !FRows) return false;
    while (position >= FRows->Count() && !FFetchedAll)
        if (!FetchMore()) FFetchedAll = true;
    return position < FRows->Count();
}

int64_t TDataSet::RecordCount() {
    if (!FActive) return 0;
    while (!FFetchedAll)
        if (!FetchMore()) FFetchedAll = true;
    return static_cast<int64_t>(FRows->Count());
}

void TDataSet::First() { FPosition = 0; }

void TDataSet::Next() {
    if (EnsureRow(FPosition)) ++FPosition;
}

bool TDataSet::Eof() { return !EnsureRow(FPosition); }

TRowId TDataSet::Bookmark() const {
    if (!FActive || !FRows || FPosition >= FRows->Count()) return kNoRow;
    return FRows->IdAt(FPosition);
}

bool TDataSet::GotoBookmark(TRowId row) {
    if (!FActive || !FRows || row == kNoRow) return false;
    const auto pos = FRows->PositionOf(row);
    if (!pos) return false;
    FPosition = *pos;
    return true;
}

void TDataSet::SetCurrentRow(TRowId row) {
    if (!GotoBookmark(row)) throw Exception("Record not found");
}

namespace {

[[noreturn]] void NoCurrentRow() { throw Exception("No current record"); }

}  // namespace

bool TDataSet::IsNull(size_t column) const {
    const TRowId id = Bookmark();
    if (id == kNoRow) NoCurrentRow();
    return FRows->IsNull(id, column);
}

int64_t TDataSet::AsInteger(size_t column) const {
    const TRowId id = Bookmark();
    if (id == kNoRow) NoCurrentRow();
    return FRows->Integer(id, column);
}

double TDataSet::AsFloat(size_t column) const {
    const TRowId id = Bookmark();
    if (id == kNoRow) NoCurrentRow();
    return FRows->Float(id, column);
}

std::string_view TDataSet::AsBytes(size_t column) const {
    const TRowId id = Bookmark();
    if (id == kNoRow) NoCurrentRow();
    return FRows->Bytes(id, column);
}

std::string TDataSet::AsString(size_t column) const {
    if (IsNull(column)) return {};
    const TColumnDescriptor& c = FColumns[column];
    char buf[64];
    switch (StorageClassOf(c.DataType)) {
        case TStorageClass::Integer:
            if (c.DataType == TFieldType::Boolean) return AsInteger(column) ? "True" : "False";
            if (c.DataType == TFieldType::UInt64) return std::to_string(static_cast<uint64_t>(AsInteger(column)));
            return std::to_string(AsInteger(column));
        case TStorageClass::Float:
            std::snprintf(buf, sizeof buf, "%.15g", AsFloat(column));
            return buf;
        case TStorageClass::Currency: {
            const int64_t v = AsInteger(column);
            std::snprintf(buf, sizeof buf, "%s%lld.%04lld", v < 0 ? "-" : "", std::llabs(v / 10000),
                          std::llabs(v % 10000));
            std::string s = buf;
            while (s.back() == '0') s.pop_back();
            if (s.back() == '.') s.pop_back();
            return s;
        }
        case TStorageClass::DateTime: return DateTimeToStr(AsFloat(column), RegionalSettings());
        case TStorageClass::None: return {};
        default: return std::string(AsBytes(column));
    }
}

}  // namespace iqo
