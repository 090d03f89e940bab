#include "dbaccess/MemDataSet.h"

#include <gtest/gtest.h>

#include "platform/Exception.h"

using namespace iqo;

namespace {

TColumnDescriptor Column(const std::string& name, TFieldType type) {
    TColumnDescriptor c;
    c.Name = name;
    c.DataType = type;
    return c;
}

std::unique_ptr<TMemDataSet> ThreeRows() {
    auto ds = std::make_unique<TMemDataSet>(std::vector{Column("ID", TFieldType::Int32), Column("Name", TFieldType::AnsiString),
                                                        Column("Amount", TFieldType::Currency), Column("Paid", TFieldType::Boolean)});
    auto row = ds->NewRow();
    for (int i = 1; i <= 3; ++i) {
        row.Clear();
        row.SetInteger(0, i);
        if (i != 2) row.SetBytes(1, "row " + std::to_string(i));
        row.SetInteger(2, -125000 * i);
        row.SetInteger(3, i % 2);
        ds->AppendRow(row);
    }
    return ds;
}

}  // namespace

TEST(DataSet, CursorWalksAndReturnsToARememberedRow) {
    auto ds = ThreeRows();
    ds->Open();
    EXPECT_EQ(ds->RecordCount(), 3);
    std::vector<int64_t> ids;
    TRowId second = kNoRow;
    for (ds->First(); !ds->Eof(); ds->Next()) {
        ids.push_back(ds->AsInteger(0));
        if (ds->AsInteger(0) == 2) second = ds->Bookmark();
    }
    EXPECT_EQ(ids, (std::vector<int64_t>{1, 2, 3}));
    EXPECT_EQ(ds->Bookmark(), kNoRow);
    ASSERT_TRUE(ds->GotoBookmark(second));
    EXPECT_EQ(ds->AsInteger(0), 2);
    EXPECT_TRUE(ds->IsNull(1));
    ds->Next();
    EXPECT_EQ(ds->FieldByName("name").AsString(), "row 3");
}

TEST(DataSet, FieldsByNameAndDisplayTexts) {
    auto ds = ThreeRows();
    ds->Open();
    ds->First();
    EXPECT_EQ(ds->FindField("NAME"), 1);
    EXPECT_EQ(ds->FindField("nope"), -1);
    EXPECT_EQ(ds->FieldByName("amount").AsString(), "-12.5");
    EXPECT_EQ(ds->FieldByName("Paid").AsString(), "True");
    EXPECT_EQ(ds->FieldByName("id").AsString(), "1");
    try {
        ds->FieldByName("WizFileName");
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Field \"WizFileName\" not found");
    }
}

TEST(DataSet, AnEmptyOrClosedResultHasNoCurrentRow) {
    TMemDataSet ds({Column("A", TFieldType::Int32)});
    EXPECT_EQ(ds.RecordCount(), 0);
    ds.Open();
    EXPECT_TRUE(ds.Eof());
    EXPECT_EQ(ds.Bookmark(), kNoRow);
    EXPECT_THROW(ds.AsInteger(0), Exception);
    ds.Close();
    ds.Close();
    EXPECT_FALSE(ds.Active());
}
