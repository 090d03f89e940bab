#include "RowStore.h"

#include <algorithm>
#include <cstring>

#include "platform/Exception.h"

namespace iqo {

namespace {

// Chunks are left unzeroed: every byte is written before it is read, and zeroing a whole
// chunk would cost more than a small result's rows.
constexpr size_t kChunkSize = 1 << 20;

bool IsVariable(TStorageClass c) {
    return c == TStorageClass::Text || c == TStorageClass::Bytes || c == TStorageClass::Decimal;
}

}  // namespace

TRowStore::TRowStore(std::vector<TStorageClass> layout) : FLayout(std::move(layout)) {
    FSlot.resize(FLayout.size());
    for (size_t i = 0; i < FLayout.size(); ++i) FSlot[i] = static_cast<uint32_t>(IsVariable(FLayout[i]) ? FVarCount++ : FFixedCount++);
    FBitmapBytes = (FLayout.size() + 7) / 8;
}

TRowStore::~TRowStore() = default;

TRowStore::TRowBuilder::TRowBuilder(const TRowStore& store)
    : FStore(&store), FNull(store.ColumnCount(), true), FFixed(store.FFixedCount, 0), FVar(store.FVarCount) {}

void TRowStore::TRowBuilder::Clear() {
    std::fill(FNull.begin(), FNull.end(), true);
}

void TRowStore::TRowBuilder::SetNull(size_t column) { FNull[column] = true; }

void TRowStore::TRowBuilder::SetInteger(size_t column, int64_t value) {
    FNull[column] = false;
    std::memcpy(&FFixed[FStore->FSlot[column]], &value, sizeof value);
}

void TRowStore::TRowBuilder::SetFloat(size_t column, double value) {
    FNull[column] = false;
    std::memcpy(&FFixed[FStore->FSlot[column]], &value, sizeof value);
}

void TRowStore::TRowBuilder::SetBytes(size_t column, std::string_view value) {
    BytesBuffer(column).assign(value);
}

std::string& TRowStore::TRowBuilder::BytesBuffer(size_t column) {
    FNull[column] = false;
    std::string& buffer = FVar[FStore->FSlot[column]];
    buffer.clear();
    return buffer;
}

uint8_t* TRowStore::Allocate(size_t size) {
    if (size > kChunkSize / 4) {
        FChunks.push_back(std::make_unique_for_overwrite<uint8_t[]>(size));
        FAllocated += size;
        return FChunks.back().get();
    }
    if (size > FChunkFree) {
        // The chunk of large rows stays last only when it is the current one; a new regular
        // chunk goes in front of the list's end either way.
        FChunks.push_back(std::make_unique_for_overwrite<uint8_t[]>(kChunkSize));
        FAllocated += kChunkSize;
        FChunkNext = FChunks.back().get();
        FChunkFree = kChunkSize;
    }
    uint8_t* p = FChunkNext;
    FChunkNext += size;
    FChunkFree -= size;
    return p;
}

namespace {

size_t EncodedSize(size_t bitmap, size_t fixed, const std::vector<std::string>& var) {
    size_t size = bitmap + fixed * 8 + var.size() * 4;
    return size;
}

}  // namespace

TRowId TRowStore::Append(const TRowBuilder& row) {
    if (FRows.size() >= kNoRow) throw Exception("Too many rows in one result set");
    FRows.push_back(nullptr);
    const auto id = static_cast<TRowId>(FRows.size() - 1);
    Replace(id, row);
    FOrder.push_back(id);
    return id;
}

void TRowStore::Replace(TRowId id, const TRowBuilder& row) {
    size_t varBytes = 0;
    for (size_t i = 0; i < FLayout.size(); ++i)
        if (!row.FNull[i] && IsVariable(FLayout[i])) varBytes += row.FVar[FSlot[i]].size();
    if (varBytes > UINT32_MAX) throw Exception("A row of a result set exceeds 4 GiB");
    const size_t head = EncodedSize(FBitmapBytes, FFixedCount, row.FVar);
    // At least one byte: a row of a result without columns is a row all the same.
    uint8_t* p = Allocate(std::max<size_t>(head + varBytes, 1));
    std::memset(p, 0, FBitmapBytes);
    for (size_t i = 0; i < FLayout.size(); ++i)
        if (row.FNull[i]) p[i >> 3] |= static_cast<uint8_t>(1u << (i & 7));
    if (FFixedCount > 0) std::memcpy(p + FBitmapBytes, row.FFixed.data(), FFixedCount * 8);
    uint8_t* ends = p + FBitmapBytes + FFixedCount * 8;
    uint8_t* data = ends + FVarCount * 4;
    uint32_t end = 0;
    size_t varIndex = 0;
    for (size_t i = 0; i < FLayout.size(); ++i) {
        if (!IsVariable(FLayout[i])) continue;
        if (!row.FNull[i]) {
            const std::string& v = row.FVar[FSlot[i]];
            std::memcpy(data + end, v.data(), v.size());
            end += static_cast<uint32_t>(v.size());
        }
        std::memcpy(ends + 4 * varIndex++, &end, 4);
    }
    FRows[id] = p;
}

void TRowStore::Delete(TRowId id) {
    if (!Contains(id)) return;
    FRows[id] = nullptr;
    const auto pos = PositionOf(id);
    if (pos) FOrder.erase(FOrder.begin() + static_cast<std::ptrdiff_t>(*pos));
}

void TRowStore::Clear() {
    FRows.clear();
    FOrder.clear();
    FChunks.clear();
    FChunkFree = 0;
    FChunkNext = nullptr;
    FAllocated = 0;
}

std::optional<size_t> TRowStore::PositionOf(TRowId id) const {
    if (id < FOrder.size() && FOrder[id] == id) return id;
    const auto it = std::find(FOrder.begin(), FOrder.end(), id);
    if (it == FOrder.end()) return std::nullopt;
    return static_cast<size_t>(it - FOrder.begin());
}

int64_t TRowStore::Integer(TRowId id, size_t column) const {
    int64_t v;
    std::memcpy(&v, FRows[id] + FBitmapBytes + 8 * FSlot[column], sizeof v);
    return v;
}

double TRowStore::Float(TRowId id, size_t column) const {
    double v;
    std::memcpy(&v, FRows[id] + FBitmapBytes + 8 * FSlot[column], sizeof v);
    return v;
}

std::string_view TRowStore::Bytes(TRowId id, size_t column) const {
    const uint8_t* ends = FRows[id] + FBitmapBytes + FFixedCount * 8;
    const uint32_t slot = FSlot[column];
    uint32_t begin = 0, end;
    if (slot > 0) std::memcpy(&begin, ends + 4 * (slot - 1), 4);
    std::memcpy(&end, ends + 4 * slot, 4);
    const uint8_t* data = ends + FVarCount * 4;
    return {reinterpret_cast<const char*>(data + begin), end - begin};
}

size_t TRowStore::MemoryUsage() const {
    return FAllocated + FRows.capacity() * sizeof(const uint8_t*) + FOrder.capacity() * sizeof(TRowId);
}

}  // namespace iqo
