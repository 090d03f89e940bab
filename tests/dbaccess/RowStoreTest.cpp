#include "dbaccess/RowStore.h"

#include <gtest/gtest.h>

using namespace iqo;

namespace {

const std::vector<TStorageClass> kLayout = {TStorageClass::Integer, TStorageClass::Text, TStorageClass::Float,
                                            TStorageClass::Bytes, TStorageClass::Integer};

}  // namespace

TEST(RowStore, KeepsEveryValueAndNull) {
    TRowStore store(kLayout);
    TRowStore::TRowBuilder row(store);
    const std::string big(3 << 20, 'x');  // larger than a chunk: stored on its own
    for (int i = 0; i < 3000; ++i) {
        row.Clear();
        row.SetInteger(0, INT64_MAX - i);
        if (i % 3) row.SetBytes(1, "text " + std::to_string(i));
        row.SetFloat(2, i / 3.0);
        if (i == 1500) row.SetBytes(3, big);
        else if (i % 2) row.SetBytes(3, std::string("\0\1\2", 3));
        if (i % 7 == 0) row.SetInteger(4, -i);
        EXPECT_EQ(store.Append(row), static_cast<TRowId>(i));
    }
    ASSERT_EQ(store.Count(), 3000u);
    for (TRowId i = 0; i < 3000; ++i) {
        EXPECT_EQ(store.Integer(i, 0), INT64_MAX - i);
        EXPECT_EQ(store.IsNull(i, 1), i % 3 == 0);
        if (i % 3) {
            EXPECT_EQ(store.Bytes(i, 1), "text " + std::to_string(i));
        }
        EXPECT_EQ(store.Float(i, 2), i / 3.0);
        EXPECT_EQ(store.IsNull(i, 3), i != 1500 && i % 2 == 0);
        if (i == 1500) {
            EXPECT_EQ(store.Bytes(i, 3), big);
        } else if (i % 2) {
            EXPECT_EQ(store.Bytes(i, 3), std::string("\0\1\2", 3));
        }
        EXPECT_EQ(store.IsNull(i, 4), i % 7 != 0);
    }
}

TEST(RowStore, RowIdsStayStableAcrossDeletesAndReplacements) {
    TRowStore store(kLayout);
    TRowStore::TRowBuilder row(store);
    for (int i = 0; i < 5; ++i) {
        row.Clear();
        row.SetInteger(0, i);
        store.Append(row);
    }
    store.Delete(1);
    row.Clear();
    row.SetInteger(0, 30);
    row.SetBytes(1, "replaced");
    store.Replace(3, row);
    ASSERT_EQ(store.Count(), 4u);
    EXPECT_EQ(store.IdAt(1), 2u);
    EXPECT_EQ(store.PositionOf(3), 2u);
    EXPECT_FALSE(store.PositionOf(1).has_value());
    EXPECT_FALSE(store.Contains(1));
    EXPECT_EQ(store.Integer(3, 0), 30);
    EXPECT_EQ(store.Bytes(3, 1), "replaced");
    EXPECT_EQ(store.Integer(4, 0), 4);
}

TEST(RowStore, ASmallRowTakesLittleMemory) {
    TRowStore store(kLayout);
    TRowStore::TRowBuilder row(store);
    const int rows = 100000;
    for (int i = 0; i < rows; ++i) {
        row.Clear();
        row.SetInteger(0, i);
        row.SetBytes(1, "twenty characters...");
        row.SetFloat(2, i);
        store.Append(row);
    }
    const double perRow = static_cast<double>(store.MemoryUsage()) / rows - 20;
    EXPECT_LT(perRow, 64.0);
}
