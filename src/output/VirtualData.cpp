#include "VirtualData.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <optional>

#include "output/NumberFormat.h"
#include "output/SQLNumberText.h"
#include "platform/Exception.h"
#include "platform/TextUtils.h"

namespace iqo {

namespace {

// What the comparison rules make of a column, by its data type.
enum class TColumnClass { None, Integer, Boolean, Float, Date, Extended, Currency, Decimal, TimeStamp, Text, Bytes };

TColumnClass ClassOf(const TVirtualFieldDesc& field) {
    using F = TFieldType;
    if (field.ActualIndex < 0) return TColumnClass::None;
    if (IsIntegerType(field.DataType)) return TColumnClass::Integer;
    switch (field.DataType) {
        case F::Boolean: return TColumnClass::Boolean;
        case F::Single: case F::Double: return TColumnClass::Float;
        case F::Date: case F::Time: case F::DateTime: return TColumnClass::Date;
        case F::Extended: return TColumnClass::Extended;
        case F::Currency: case F::Bcd: return TColumnClass::Currency;
        case F::FmtBcd: return TColumnClass::Decimal;
        case F::TimeStamp: case F::TimeStampOffset: return TColumnClass::TimeStamp;
        default: break;
    }
    switch (field.Storage) {
        case TStorageClass::Text: return TColumnClass::Text;
        case TStorageClass::Bytes: return TColumnClass::Bytes;
        default: return TColumnClass::None;
    }
}

// A filter or write value read as a number: integers and floats as they are, text (and the
// bytes of a blob) as an integer or a decimal number.
struct TNumber {
    bool IsInteger = false;
    int64_t Integer = 0;
    double Float = 0;
};

std::optional<TNumber> NumberOf(const TVirtualValue& v) {
    switch (v.ValueType) {
        case TVirtualType::vrInteger: return TNumber{true, v.IntValue, static_cast<double>(v.IntValue)};
        case TVirtualType::vrFloat: return TNumber{false, 0, v.FloatValue};
        case TVirtualType::vrString:
        case TVirtualType::vrBlob:
            if (const auto i = TryReadInt64(v.StrValue)) return TNumber{true, *i, static_cast<double>(*i)};
            if (const auto d = TryReadFloat(v.StrValue)) return TNumber{false, 0, *d};
            return std::nullopt;
        default: return std::nullopt;
    }
}

// 9.2e18: doubles below it in magnitude convert to int64 without overflow.
constexpr double kInt64Limit = 9.2e18;

std::optional<int64_t> IntegralOf(double d) {
    if (std::fabs(d) >= kInt64Limit || d != std::trunc(d)) return std::nullopt;
    return static_cast<int64_t>(d);
}

std::optional<bool> BooleanOf(const TVirtualValue& v) {
    if (const auto n = NumberOf(v)) return n->IsInteger ? n->Integer != 0 : n->Float != 0;
    if (v.ValueType == TVirtualType::vrString) {
        if (SameText(Trim(v.StrValue), "true")) return true;
        if (SameText(Trim(v.StrValue), "false")) return false;
    }
    return std::nullopt;
}

// A day serial from a number or a date text.
std::optional<double> DateTimeOf(const TVirtualValue& v, const TFormatSettings& regional) {
    if (v.ValueType == TVirtualType::vrInteger) return static_cast<double>(v.IntValue);
    if (v.ValueType == TVirtualType::vrFloat) return v.FloatValue;
    if (v.ValueType != TVirtualType::vrString) return std::nullopt;
    if (const auto d = TryReadFloat(v.StrValue)) return d;
    return FilterDateTextToDateTime(v.StrValue, regional);
}

std::string TextOf(const TVirtualValue& v) {
    switch (v.ValueType) {
        case TVirtualType::vrInteger: return EngineNumberText(v.IntValue);
        case TVirtualType::vrFloat: return EngineNumberText(v.FloatValue);
        default: return v.StrValue;
    }
}

[[noreturn]] void RaiseNotNumber(const TVirtualValue& v, const char* kind) {
    throw EConvertError("'" + TextOf(v) + "' is not a valid " + kind + " value");
}

bool OperationHolds(TVirtualOperation op, int c) {
    switch (op) {
        case TVirtualOperation::Equal: return c == 0;
        case TVirtualOperation::Greater: return c > 0;
        case TVirtualOperation::Less: return c < 0;
        case TVirtualOperation::GreaterOrEqual: return c >= 0;
        case TVirtualOperation::LessOrEqual: return c <= 0;
        case TVirtualOperation::NotEqual: return c != 0;
        default: return false;
    }
}

// The first eight bytes of a text as a number that orders as CompareText does, texts that
// agree in them being equal.
uint64_t TextPrefix(std::string_view text, TVirtualCollationType collation) {
    if (collation == TVirtualCollationType::vcRTrim) text = detail::TrimBlanks(text);
    uint64_t key = 0;
    for (size_t i = 0; i < 8; ++i) {
        unsigned char b = i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
        if (collation == TVirtualCollationType::vcNocase) b = detail::FoldAscii(static_cast<char>(b));
        // Lead bytes of U+E000..U+FFFF sort after those of U+10000 and above, as in UTF-16.
        if (b == 0xEE || b == 0xEF) b = static_cast<unsigned char>(b + 0x10);
        key = key << 8 | b;
    }
    return key;
}

uint64_t FenceBits(int64_t key) { return static_cast<uint64_t>(key); }
uint64_t FenceBits(double key) { return std::bit_cast<uint64_t>(key); }
uint64_t FenceBits(uint64_t key) { return key; }

// Sorts rows by a key read once per row from the row store, ties by a comparison of the rows,
// and keeps every kFenceStep-th key. The sort runs over a compact array instead of reaching
// into the row store at each step, which at a million rows is many times faster.
template <class Key, class KeyOf, class TieLess>
void SortByKey(std::vector<TRowId>::iterator first, std::vector<TRowId>::iterator last, KeyOf keyOf, TieLess tieLess,
               std::vector<uint64_t>& fence) {
    std::vector<std::pair<Key, TRowId>> keyed;
    keyed.reserve(static_cast<size_t>(last - first));
    for (auto it = first; it != last; ++it) keyed.emplace_back(keyOf(*it), *it);
    std::sort(keyed.begin(), keyed.end(), [&](const std::pair<Key, TRowId>& a, const std::pair<Key, TRowId>& b) {
        return a.first < b.first || (a.first == b.first && tieLess(a.second, b.second));
    });
    for (size_t i = 0; i < keyed.size(); i += TVirtualSortedRows::kFenceStep) fence.push_back(FenceBits(keyed[i].first));
    for (const auto& k : keyed) *first++ = k.second;
}

}  // namespace

bool TVirtualConstraint::SamePlan(const TVirtualConstraint& other) const {
    if (Items.size() != other.Items.size()) return false;
    for (size_t i = 0; i < Items.size(); ++i) {
        const TVirtualConstraintItem& a = Items[i];
        const TVirtualConstraintItem& b = other.Items[i];
        if (a.FieldIndex != b.FieldIndex || a.ArgIndex != b.ArgIndex || a.Operation != b.Operation ||
            a.Collation != b.Collation || a.CollationName != b.CollationName)
            return false;
    }
    return true;
}

TVirtualData::~TVirtualData() = default;

int TVirtualData::AddConstraint(const TVirtualConstraint& constraint) {
    for (size_t i = 0; i < FConstraints.size(); ++i) {
        TVirtualConstraint& known = FConstraints[i];
        if (!known.SamePlan(constraint)) continue;
        // Planned again after local indexes were switched on.
        if (known.LocalIndex < 0 && constraint.LocalIndex >= 0) {
            known.LocalIndex = constraint.LocalIndex;
            known.SortItemIndex = constraint.SortItemIndex;
        }
        return static_cast<int>(i + 1);
    }
    FConstraints.push_back(constraint);
    return static_cast<int>(FConstraints.size());
}

std::string TVirtualData::LocalIndexKey(const TVirtualConstraint& constraint) const {
    std::string key;
    for (const TVirtualConstraintItem& item : constraint.Items) {
        if (!item.Used()) continue;
        const TVirtualFieldDesc& field = FFields[static_cast<size_t>(item.FieldIndex)];
        key += field.Name;
        key += '_';
        key += std::to_string(static_cast<int>(item.Operation));
        // Indexes of one column under two collations differ in order.
        if (field.Storage == TStorageClass::Text && item.Collation != TVirtualCollationType::vcBinary) {
            key += ' ';
            key += item.CollationName;
        }
        key += ';';
    }
    return key;
}

std::vector<std::string> TVirtualData::LocalIndexKeys() const {
    std::vector<std::string> keys;
    for (const TVirtualLocalIndex& index : FLocalIndexes) keys.push_back(index.Key());
    return keys;
}

void TVirtualData::FindOrAddLocalIndex(TVirtualConstraint& constraint) {
    const std::string key = LocalIndexKey(constraint);
    for (size_t i = 0; i < FLocalIndexes.size(); ++i)
        if (FLocalIndexes[i].Key() == key) {
            constraint.LocalIndex = static_cast<int>(i);
            return;
        }
    const TVirtualConstraintItem& item = constraint.Items[static_cast<size_t>(constraint.SortItemIndex)];
    const bool text = FFields[static_cast<size_t>(item.FieldIndex)].Storage == TStorageClass::Text;
    FLocalIndexes.emplace_back(key, item.FieldIndex, text ? item.Collation : TVirtualCollationType::vcBinary);
    constraint.LocalIndex = static_cast<int>(FLocalIndexes.size() - 1);
}

void TVirtualData::ClearPlans() {
    FConstraints.clear();
    FLocalIndexes.clear();
}

TVirtualMemData::TVirtualMemData(TDataSet& source, const TFormatSettings& regional)
    : FSource(source), FRegional(regional) {}

void TVirtualMemData::DescribeFields() {
    if (!FSource.Prepared()) throw Exception("Source dataset is not active");
    FFields.clear();
    const std::vector<TColumnDescriptor>& columns = FSource.Columns();
    for (size_t i = 0; i < columns.size(); ++i) {
        const TColumnDescriptor& c = columns[i];
        if (c.DataType == TFieldType::Object || c.DataType == TFieldType::Array) continue;
        TVirtualFieldDesc f;
        f.Name = c.Name;
        f.DataType = c.DataType;
        f.Length = c.Length;
        f.Scale = c.Scale;
        f.IsKey = c.IsKey;
        f.IsAutoIncrement = c.IsAutoIncrement;
        f.Required = c.Required;
        f.ReadOnly = c.ReadOnly;
        f.ActualIndex = static_cast<int>(i);
        f.Storage = StorageClassOf(c.DataType);
        FFields.push_back(std::move(f));
    }
    if (FFields.empty()) {
        TVirtualFieldDesc id;
        id.Name = "_id";
        id.DataType = TFieldType::WideString;
        id.Length = 24;
        id.IsKey = true;
        FFields.push_back(std::move(id));
    }
    FCheckedStore = nullptr;
}

void TVirtualMemData::SyncFieldTypes() {
    const TRowStore* store = &Rows();
    if (store == FCheckedStore) return;
    const std::vector<TColumnDescriptor>& columns = FSource.Columns();
    for (TVirtualFieldDesc& f : FFields) {
        if (f.ActualIndex < 0) continue;
        if (static_cast<size_t>(f.ActualIndex) >= columns.size() || columns[f.ActualIndex].Name != f.Name)
            throw Exception("The columns of the source dataset have changed");
        f.DataType = columns[f.ActualIndex].DataType;
        f.Storage = StorageClassOf(f.DataType);
    }
    FCheckedStore = store;
}

bool TVirtualMemData::FieldIsNull(TRowId row, size_t field) const {
    const TVirtualFieldDesc& f = FFields[field];
    if (f.ActualIndex < 0) return true;
    const auto column = static_cast<size_t>(f.ActualIndex);
    const TRowStore& rows = Rows();
    if (rows.IsNull(row, column)) return true;
    switch (f.Storage) {
        case TStorageClass::Float:
        case TStorageClass::DateTime: return std::isnan(rows.Float(row, column));
        case TStorageClass::Bytes: return rows.Bytes(row, column).empty();
        case TStorageClass::None: return true;
        default: return false;
    }
}

TVirtualFieldValue TVirtualMemData::FieldValue(TRowId row, size_t field, TDateTextBuffer& buffer) const {
    TVirtualFieldValue out;
    if (FieldIsNull(row, field)) return out;
    const TVirtualFieldDesc& f = FFields[field];
    const auto column = static_cast<size_t>(f.ActualIndex);
    const TRowStore& rows = Rows();
    switch (f.Storage) {
        case TStorageClass::Integer:
            out.ValueType = TVirtualType::vrInteger;
            out.IntValue = rows.Integer(row, column);
            if (f.DataType == TFieldType::Boolean) out.IntValue = out.IntValue != 0;
            break;
        case TStorageClass::Float:
            out.ValueType = TVirtualType::vrFloat;
            out.FloatValue = rows.Float(row, column);
            break;
        case TStorageClass::Currency:
            out.ValueType = TVirtualType::vrFloat;
            out.FloatValue = static_cast<double>(rows.Integer(row, column)) / 10000.0;
            break;
        case TStorageClass::Decimal:
            out.ValueType = TVirtualType::vrFloat;
            out.FloatValue = TryReadFloat(rows.Bytes(row, column)).value_or(0.0);
            break;
        case TStorageClass::DateTime:
            out.ValueType = TVirtualType::vrString;
            out.Bytes = FormatDateText(f.DataType, f.Scale, rows.Float(row, column), FRegional.DecimalSeparator, buffer);
            out.Transient = true;
            break;
        case TStorageClass::Text:
            out.ValueType = TVirtualType::vrString;
            out.Bytes = rows.Bytes(row, column);
            break;
        case TStorageClass::Bytes:
            out.ValueType = TVirtualType::vrBlob;
            out.Bytes = rows.Bytes(row, column);
            break;
        default: break;
    }
    return out;
}

void TVirtualMemData::PrepareItem(TVirtualConstraintItem& item) const {
    using K = TVirtualCompareKind;
    TVirtualValue& v = item.Value;
    item.CompareKind = K::Never;
    if (v.ValueType == TVirtualType::vrNull) return;
    const TVirtualFieldDesc& field = FFields[static_cast<size_t>(item.FieldIndex)];
    auto setInteger = [&](int64_t i, K kind = K::Integer) {
        v.ValueType = TVirtualType::vrInteger;
        v.IntValue = i;
        item.CompareKind = kind;
    };
    auto setFloat = [&](double d, K kind) {
        v.ValueType = TVirtualType::vrFloat;
        v.FloatValue = d;
        item.CompareKind = kind;
    };
    switch (ClassOf(field)) {
        case TColumnClass::Integer:
            if (const auto n = NumberOf(v)) {
                // A number that is not an integer compares with the column's values as a float.
                const auto integral = n->IsInteger ? std::optional(n->Integer) : IntegralOf(n->Float);
                if (integral) setInteger(*integral);
                else setFloat(n->Float, K::IntegerAsFloat);
            }
            break;
        case TColumnClass::Boolean:
            if (const auto b = BooleanOf(v)) setInteger(*b ? 1 : 0);
            break;
        case TColumnClass::Float:
            if (const auto n = NumberOf(v)) setFloat(n->Float, K::Float);
            break;
        case TColumnClass::Date:
            if (const auto d = DateTimeOf(v, FRegional)) setFloat(*d, K::Float);
            break;
        case TColumnClass::Extended:
            if (const auto n = NumberOf(v)) setFloat(n->Float, K::Exact);
            break;
        case TColumnClass::Currency:
            if (const auto n = NumberOf(v)) {
                int64_t scaled = 0;
                if (n->IsInteger && !__builtin_mul_overflow(n->Integer, int64_t{10000}, &scaled)) setInteger(scaled);
                else if (!n->IsInteger && std::fabs(n->Float * 10000) < kInt64Limit) setInteger(std::llround(n->Float * 10000));
                else setFloat(n->Float * 10000, K::IntegerAsFloat);
            }
            break;
        case TColumnClass::Decimal:
            if (const auto n = NumberOf(v)) setFloat(n->Float, K::Decimal);
            break;
        case TColumnClass::TimeStamp:
            if (const auto d = DateTimeOf(v, FRegional)) setInteger(DateTimeToMilliseconds(*d), K::Milliseconds);
            break;
        case TColumnClass::Text:
            if (v.ValueType != TVirtualType::vrString) v.StrValue = TextOf(v);
            v.ValueType = TVirtualType::vrString;
            item.CompareKind = K::Text;
            break;
        case TColumnClass::Bytes:
            if (v.ValueType != TVirtualType::vrString && v.ValueType != TVirtualType::vrBlob) v.StrValue = TextOf(v);
            v.ValueType = TVirtualType::vrBlob;
            item.CompareKind = K::Bytes;
            break;
        case TColumnClass::None: break;
    }
}

int TVirtualMemData::CompareField(TRowId row, const TVirtualConstraintItem& item) const {
    using K = TVirtualCompareKind;
    const TRowStore& rows = Rows();
    const auto column = static_cast<size_t>(FFields[static_cast<size_t>(item.FieldIndex)].ActualIndex);
    const TVirtualValue& v = item.Value;
    switch (item.CompareKind) {
        case K::Integer: return CompareInteger(rows.Integer(row, column), v.IntValue);
        case K::IntegerAsFloat: return CompareFloat(static_cast<double>(rows.Integer(row, column)), v.FloatValue);
        case K::Float: return CompareFloat(rows.Float(row, column), v.FloatValue);
        case K::Exact: return CompareExact(rows.Float(row, column), v.FloatValue);
        case K::Decimal: return CompareExact(TryReadFloat(rows.Bytes(row, column)).value_or(0.0), v.FloatValue);
        case K::Milliseconds: return CompareInteger(DateTimeToMilliseconds(rows.Float(row, column)), v.IntValue);
        case K::Text: return CompareText(rows.Bytes(row, column), v.StrValue, item.Collation);
        case K::Bytes: return CompareBytes(rows.Bytes(row, column), v.StrValue);
        case K::Never: break;
    }
    return 0;
}

bool TVirtualMemData::Holds(TRowId row, const TVirtualConstraintItem& item) const {
    const bool null = FieldIsNull(row, static_cast<size_t>(item.FieldIndex));
    if (item.Operation == TVirtualOperation::IsNull) return null;
    if (item.Operation == TVirtualOperation::IsNotNull) return !null;
    if (null || item.CompareKind == TVirtualCompareKind::Never) return false;
    return OperationHolds(item.Operation, CompareField(row, item));
}

TVirtualLocalIndex& TVirtualMemData::CurrentLocalIndex(int number) {
    TVirtualLocalIndex& index = FLocalIndexes.at(static_cast<size_t>(number));
    if (!index.CurrentFor(&Rows(), Rows().Count())) BuildLocalIndex(index);
    return index;
}

void TVirtualMemData::BuildLocalIndex(TVirtualLocalIndex& index) {
    FSource.RecordCount();
    SyncFieldTypes();
    const TRowStore& rows = Rows();
    // Indexes of one column under one collation (keys of other operations) share their order.
    for (const TVirtualLocalIndex& other : FLocalIndexes)
        if (&other != &index && other.FieldIndex() == index.FieldIndex() && other.Collation() == index.Collation() &&
            other.CurrentFor(&rows, rows.Count())) {
            index.Assign(other.Rows(), &rows);
            return;
        }

    const auto field = static_cast<size_t>(index.FieldIndex());
    const TVirtualFieldDesc& f = FFields[field];
    const size_t count = rows.Count();
    auto sorted = std::make_shared<TVirtualSortedRows>();
    std::vector<TRowId>& ids = sorted->Ids;
    ids.reserve(count);
    for (size_t pos = 0; pos < count; ++pos)
        if (FieldIsNull(rows.IdAt(pos), field)) ids.push_back(rows.IdAt(pos));
    sorted->StartIndex = ids.size();
    for (size_t pos = 0; pos < count; ++pos)
        if (!FieldIsNull(rows.IdAt(pos), field)) ids.push_back(rows.IdAt(pos));

    const auto first = ids.begin() + static_cast<std::ptrdiff_t>(sorted->StartIndex);
    const auto column = static_cast<size_t>(f.ActualIndex);
    auto noTie = [](TRowId, TRowId) { return false; };
    switch (ClassOf(f)) {
        case TColumnClass::Integer:
            SortByKey<int64_t>(first, ids.end(), [&](TRowId r) { return rows.Integer(r, column); }, noTie, sorted->Fence);
            break;
        // Exact order, which is also the order under the tolerance (NaNs count as NULL).
        case TColumnClass::Float:
        case TColumnClass::Date:
            SortByKey<double>(first, ids.end(), [&](TRowId r) { return rows.Float(r, column); }, noTie, sorted->Fence);
            break;
        case TColumnClass::Text: {
            const TVirtualCollationType collation = index.Collation();
            SortByKey<uint64_t>(
                first, ids.end(), [&](TRowId r) { return TextPrefix(rows.Bytes(r, column), collation); },
                [&](TRowId a, TRowId b) { return CompareText(rows.Bytes(a, column), rows.Bytes(b, column), collation) < 0; },
                sorted->Fence);
            break;
        }
        default: break;  // other types count as equal
    }
    ++FLocalIndexBuilds;
    index.Assign(std::move(sorted), &rows);
}

size_t TVirtualMemData::FirstNotBelow(const TVirtualSortedRows& sorted, const TVirtualConstraintItem& item,
                                      bool orEqual) const {
    using K = TVirtualCompareKind;
    const std::vector<TRowId>& ids = sorted.Ids;
    const TVirtualValue& v = item.Value;
    const uint64_t valuePrefix = item.CompareKind == K::Text ? TextPrefix(v.StrValue, item.Collation) : 0;
    // A fence key against the value: -1, 0 or 1 as CompareField, 2 when only the row can tell.
    auto order = [&](uint64_t key) {
        switch (item.CompareKind) {
            case K::Integer: return CompareInteger(static_cast<int64_t>(key), v.IntValue);
            case K::IntegerAsFloat: return CompareFloat(static_cast<double>(static_cast<int64_t>(key)), v.FloatValue);
            case K::Float: return CompareFloat(std::bit_cast<double>(key), v.FloatValue);
            case K::Text: return key < valuePrefix ? -1 : key > valuePrefix ? 1 : 2;
            default: return 2;
        }
    };
    auto below = [&](int c) { return c == -1 || (orEqual && c == 0); };
    auto notBelow = [&](int c) { return c == 1 || (!orEqual && c == 0); };
    // The fence narrows the search to the rows between its last key below the value and its
    // first key not below it.
    const std::vector<uint64_t>& fence = sorted.Fence;
    const auto fenceBelow = std::partition_point(fence.begin(), fence.end(), [&](uint64_t k) { return below(order(k)); });
    const auto fenceNotBelow = std::partition_point(fenceBelow, fence.end(), [&](uint64_t k) { return !notBelow(order(k)); });
    const size_t step = TVirtualSortedRows::kFenceStep;
    size_t from = sorted.StartIndex, to = ids.size();
    if (fenceBelow != fence.begin()) from = sorted.StartIndex + static_cast<size_t>(fenceBelow - fence.begin() - 1) * step + 1;
    if (fenceNotBelow != fence.end()) to = sorted.StartIndex + static_cast<size_t>(fenceNotBelow - fence.begin()) * step;
    const auto rowBelow = [&](TRowId r) { return below(CompareField(r, item)); };
    const auto begin = ids.begin();
    return static_cast<size_t>(
        std::partition_point(begin + static_cast<std::ptrdiff_t>(from), begin + static_cast<std::ptrdiff_t>(to), rowBelow) -
        begin);
}

void TVirtualMemData::SetLocalRange(TVirtualScan& scan) const {
    const TVirtualSortedRows& sorted = *scan.Index;
    const TVirtualConstraintItem& item = scan.Filter.Items[static_cast<size_t>(scan.Filter.SortItemIndex)];
    scan.End = sorted.Ids.size();
    if (item.CompareKind == TVirtualCompareKind::Never) {
        scan.Filter.CurrentItem = scan.End;
        return;
    }
    // ">", ">=" and "=" start at the first row not below the value; "<" and "<=" at the first
    // row that is not NULL.
    switch (item.Operation) {
        case TVirtualOperation::Greater: scan.Filter.CurrentItem = FirstNotBelow(sorted, item, true); break;
        case TVirtualOperation::Equal:
        case TVirtualOperation::GreaterOrEqual: scan.Filter.CurrentItem = FirstNotBelow(sorted, item, false); break;
        default: scan.Filter.CurrentItem = sorted.StartIndex; break;
    }
    // Along the index, "<" and "<=" on its column hold up to some row and never after it, and
    // so does "=" from where the walk starts: the sort item itself, or the upper end of a range
    // ("DOCDATE >= a AND DOCDATE <= b").
    auto bounds = [&](const TVirtualConstraintItem& other) {
        return other.Used() && other.FieldIndex == item.FieldIndex && other.Collation == item.Collation &&
               (other.Operation == TVirtualOperation::Less || other.Operation == TVirtualOperation::LessOrEqual);
    };
    scan.BoundItemIndex = -1;
    if (item.Operation == TVirtualOperation::Equal || bounds(item)) {
        scan.BoundItemIndex = scan.Filter.SortItemIndex;
    } else {
        for (size_t i = 0; i < scan.Filter.Items.size() && scan.BoundItemIndex < 0; ++i)
            if (bounds(scan.Filter.Items[i])) scan.BoundItemIndex = static_cast<int>(i);
    }
}

void TVirtualMemData::OpenScan(TVirtualScan& scan, int planNumber, const TVirtualValueSource& values) {
    scan.Row = kNoRow;
    scan.Index.reset();
    scan.BoundItemIndex = -1;
    scan.Filtered = false;
    scan.Filter.CurrentItem = 0;
    scan.End = 0;
    if (!FSource.Active()) {
        // A prepared source has no rows yet; a closed one cannot be read at all.
        if (!FSource.Prepared()) throw Exception("Source dataset is not active");
        return;
    }
    FSource.RecordCount();
    SyncFieldTypes();
    if (planNumber >= 1 && static_cast<size_t>(planNumber) <= FConstraints.size()) {
        scan.Filter = FConstraints[static_cast<size_t>(planNumber - 1)];
        scan.Filtered = true;
        for (TVirtualConstraintItem& item : scan.Filter.Items)
            if (item.Used()) {
                values.Read(item.ArgIndex, item.Value);
                PrepareItem(item);
            }
    }
    if (scan.Filtered && scan.Filter.LocalIndex >= 0 && FCanUseLocalIndex) {
        scan.Index = CurrentLocalIndex(scan.Filter.LocalIndex).Rows();
        SetLocalRange(scan);
    } else {
        scan.Filter.CurrentItem = 0;
        scan.End = Rows().Count();
    }
    Seek(scan);
}

void TVirtualMemData::Next(TVirtualScan& scan) {
    if (scan.Row == kNoRow) return;
    ++scan.Filter.CurrentItem;
    Seek(scan);
}

void TVirtualMemData::Seek(TVirtualScan& scan) {
    const TRowStore& rows = Rows();
    const std::vector<TRowId>* index = scan.Index ? &scan.Index->Ids : nullptr;
    // In an index the rows that satisfy the sort item stand together from where the scan
    // started, and the first row that fails the bound item ends it.
    const int sortItem = index ? scan.Filter.SortItemIndex : -1;
    const TVirtualConstraintItem* bound =
        index && scan.BoundItemIndex >= 0 ? &scan.Filter.Items[static_cast<size_t>(scan.BoundItemIndex)] : nullptr;
    size_t& pos = scan.Filter.CurrentItem;
    for (; pos < scan.End; ++pos) {
        TRowId row;
        if (index) {
            row = (*index)[pos];
            if (!rows.Contains(row)) continue;
            if (bound && !Holds(row, *bound)) break;
        } else {
            if (pos >= rows.Count()) break;
            row = rows.IdAt(pos);
        }
        ++FRowsVisited;
        bool holds = true;
        if (scan.Filtered)
            for (size_t i = 0; holds && i < scan.Filter.Items.size(); ++i) {
                const TVirtualConstraintItem& item = scan.Filter.Items[i];
                holds = !item.Used() || static_cast<int>(i) == sortItem || Holds(row, item);
            }
        if (holds) {
            scan.Row = row;
            return;
        }
    }
    scan.Filter.CurrentItem = scan.End;
    scan.Row = kNoRow;
}

TRowId TVirtualMemData::SourcePosition() const { return FSource.Active() ? FSource.Bookmark() : kNoRow; }

void TVirtualMemData::RestoreSourcePosition(TRowId row) {
    if (row != kNoRow && FSource.Active() && FSource.Bookmark() != row) FSource.GotoBookmark(row);
}

void TVirtualMemData::RequireActive() const {
    if (!FSource.Active()) throw Exception("Source dataset is not active");
}

void TVirtualMemData::WriteValue(TRowStore::TRowBuilder& row, const TVirtualFieldDesc& field,
                                 const TVirtualValue& value) const {
    const auto column = static_cast<size_t>(field.ActualIndex);
    if (value.ValueType == TVirtualType::vrNull) {
        row.SetNull(column);
        return;
    }
    switch (field.Storage) {
        case TStorageClass::Integer: {
            if (field.DataType == TFieldType::Boolean) {
                const auto b = BooleanOf(value);
                if (!b) RaiseNotNumber(value, "boolean");
                row.SetInteger(column, *b ? 1 : 0);
                break;
            }
            const auto n = NumberOf(value);
            // Reals go toward zero, as the engine casts them.
            if (!n || (!n->IsInteger && std::fabs(n->Float) >= kInt64Limit)) RaiseNotNumber(value, "integer");
            row.SetInteger(column, n->IsInteger ? n->Integer : static_cast<int64_t>(n->Float));
            break;
        }
        case TStorageClass::Float: {
            const auto n = NumberOf(value);
            if (!n) RaiseNotNumber(value, "floating point");
            row.SetFloat(column, n->Float);
            break;
        }
        case TStorageClass::Currency: {
            const auto n = NumberOf(value);
            if (!n || std::fabs(n->Float * 10000) >= kInt64Limit) RaiseNotNumber(value, "currency");
            row.SetInteger(column, n->IsInteger ? n->Integer * 10000 : std::llround(n->Float * 10000));
            break;
        }
        case TStorageClass::DateTime: {
            const auto d = DateTimeOf(value, FRegional);
            if (!d) RaiseNotNumber(value, "date and time");
            row.SetFloat(column, *d);
            break;
        }
        case TStorageClass::Decimal: {
            std::string text = TextOf(value);
            if (value.ValueType == TVirtualType::vrFloat) {
                char buffer[512];
                const auto result = std::to_chars(buffer, buffer + sizeof buffer, value.FloatValue, std::chars_format::fixed);
                text.assign(buffer, result.ptr);
            }
            std::string& out = row.BytesBuffer(column);
            if (!AppendExactDecimal(out, text)) RaiseNotNumber(value, "decimal");
            break;
        }
        case TStorageClass::Text:
        case TStorageClass::Bytes: row.SetBytes(column, TextOf(value)); break;
        case TStorageClass::None: break;
    }
}

void TVirtualMemData::RowsWritten() {
    for (TVirtualLocalIndex& index : FLocalIndexes) index.Invalidate();
}

TRowId TVirtualMemData::InsertRow(const std::vector<TVirtualValue>& values) {
    RequireActive();
    TRowStore& rows = FSource.Rows();
    TRowStore::TRowBuilder row(rows);
    for (size_t i = 0; i < FFields.size() && i < values.size(); ++i)
        if (FFields[i].ActualIndex >= 0 && !FFields[i].ReadOnly) WriteValue(row, FFields[i], values[i]);
    const TRowId id = rows.Append(row);
    RowsWritten();
    return id;
}

void TVirtualMemData::EditRow(TRowId id, const std::vector<TVirtualValue>& values) {
    RequireActive();
    TRowStore& rows = FSource.Rows();
    if (!rows.Contains(id)) throw Exception("Record not found");
    TRowStore::TRowBuilder row(rows);
    for (size_t c = 0; c < rows.ColumnCount(); ++c) {
        if (rows.IsNull(id, c)) continue;
        switch (rows.StorageOf(c)) {
            case TStorageClass::Integer:
            case TStorageClass::Currency: row.SetInteger(c, rows.Integer(id, c)); break;
            case TStorageClass::Float:
            case TStorageClass::DateTime: row.SetFloat(c, rows.Float(id, c)); break;
            case TStorageClass::Decimal:
            case TStorageClass::Text:
            case TStorageClass::Bytes: row.SetBytes(c, rows.Bytes(id, c)); break;
            case TStorageClass::None: break;
        }
    }
    for (size_t i = 0; i < FFields.size() && i < values.size(); ++i)
        if (FFields[i].ActualIndex >= 0 && !FFields[i].ReadOnly) WriteValue(row, FFields[i], values[i]);
    rows.Replace(id, row);
    RowsWritten();
}

void TVirtualMemData::DeleteRow(TRowId id) {
    RequireActive();
    FSource.Rows().Delete(id);
    RowsWritten();
}

}  // namespace iqo
