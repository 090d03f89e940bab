#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FieldTypes.h"

namespace iqo {

// A row's reference in its row store: stable while the store holds the row. Not its position.
using TRowId = uint32_t;
constexpr TRowId kNoRow = UINT32_MAX;

// The rows of one result, held compactly: each row is one block of a NULL bitmap, an 8-byte
// slot per fixed-size column, a 4-byte end offset per variable-size column and the variable
// bytes, carved out of 1 MiB chunks. A row of five columns with one 20-character text takes
// well under 100 bytes including its references.
class TRowStore {
public:
    explicit TRowStore(std::vector<TStorageClass> layout);
    ~TRowStore();
    TRowStore(const TRowStore&) = delete;
    TRowStore& operator=(const TRowStore&) = delete;

    size_t ColumnCount() const { return FLayout.size(); }
    TStorageClass StorageOf(size_t column) const { return FLayout[column]; }

    // Collects the values of one row; reused from row to row, so its buffers stay allocated.
    class TRowBuilder {
    public:
        explicit TRowBuilder(const TRowStore& store);
        void Clear();  // every column NULL
        void SetNull(size_t column);
        // Integer and Currency columns (Currency: the value times 10000).
        void SetInteger(size_t column, int64_t value);
        // Float and DateTime columns.
        void SetFloat(size_t column, double value);
        // Text, Bytes and Decimal columns.
        void SetBytes(size_t column, std::string_view value);
        // The buffer of a Text, Bytes or Decimal column, marked not NULL, for filling in place.
        std::string& BytesBuffer(size_t column);

    private:
        friend class TRowStore;
        const TRowStore* FStore;
        std::vector<bool> FNull;
        std::vector<uint64_t> FFixed;
        std::vector<std::string> FVar;
    };

    TRowId Append(const TRowBuilder& row);
    // The write path of the virtual tables: the row keeps its id and position.
    void Replace(TRowId id, const TRowBuilder& row);
    void Delete(TRowId id);
    void Clear();

    size_t Count() const { return FOrder.size(); }
    TRowId IdAt(size_t position) const { return FOrder[position]; }
    std::optional<size_t> PositionOf(TRowId id) const;
    bool Contains(TRowId id) const { return id < FRows.size() && FRows[id] != nullptr; }

    bool IsNull(TRowId id, size_t column) const {
        const uint8_t* row = FRows[id];
        return (row[column >> 3] >> (column & 7)) & 1;
    }
    int64_t Integer(TRowId id, size_t column) const;
    double Float(TRowId id, size_t column) const;
    std::string_view Bytes(TRowId id, size_t column) const;

    // Bytes held for rows and their references.
    size_t MemoryUsage() const;

private:
    uint8_t* Allocate(size_t size);

    std::vector<TStorageClass> FLayout;
    std::vector<uint32_t> FSlot;  // per column: its fixed or variable slot number
    size_t FBitmapBytes = 0;
    size_t FFixedCount = 0;
    size_t FVarCount = 0;
    std::vector<std::unique_ptr<uint8_t[]>> FChunks;
    size_t FChunkFree = 0;
    uint8_t* FChunkNext = nullptr;
    size_t FAllocated = 0;
    std::vector<const uint8_t*> FRows;  // by row id; null once deleted
    std::vector<TRowId> FOrder;         // row ids in row order
};

}  // namespace iqo
