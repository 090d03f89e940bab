// Inputs that the fuzz targets of the combined query's SQL text and of the date texts found,
// each with the sound result.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "RowsetTestSupport.h"
#include "dbaccess/MemDataSet.h"
#include "output/DateText.h"
#include "output/VirtualQuery.h"
#include "output/VirtualSQLText.h"
#include "platform/Exception.h"

using namespace iqo;

// A quoted parameter name stays one name: blanks and every other character a name cannot
// hold become "_", so that no quoted text turns into SQL (a second statement, a string, a
// comment, a macro).
TEST(FuzzRegression, QuotedParameterNamesStayOneName) {
    const struct {
        std::string Sql;
        std::string Text;
        std::vector<std::string> Parameters;
    } cases[] = {
        {"SELECT :\"a;b\", :'c d', :[e f] FROM IQOSQL", "SELECT :a_b, :c_d, :e_f FROM IQOSQL", {":a_b", ":c_d", ":e_f"}},
        {"SELECT :\"my param\"", "SELECT :my_param", {":my_param"}},
        {"SELECT :\"x'y\", 1", "SELECT :x_y, 1", {":x_y"}},
        {"SELECT :\"c--d\", 2", "SELECT :c__d, 2", {":c__d"}},
        {"SELECT :[e&f], :`g\"h`", "SELECT :e_f, :g_h", {":e_f", ":g_h"}},
        {"SELECT :\"caf\xC3\xA9 $1\"", "SELECT :caf\xC3\xA9_$1", {":caf\xC3\xA9_$1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Sql);
        const TVirtualSQLText parsed = ParseVirtualSQLText(c.Sql);
        EXPECT_EQ(parsed.Text, c.Text);
        EXPECT_EQ(parsed.Parameters, c.Parameters);
    }
}

namespace {

// A text literal with its NULs.
template <size_t N>
std::string Bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

// The combined query over one source T of two rows.
class FuzzRegressionQuery : public ::testing::Test {
protected:
    FuzzRegressionQuery() : FSource(MakeDataSet({Col("Acc", TFieldType::AnsiString, 10)})) {
        for (const char* acc : {"A", "B"}) {
            auto row = FSource->NewRow();
            row.SetBytes(0, acc);
            FSource->AppendRow(row);
        }
        FSource->Open();
        TDataSetLink& link = FQuery.SourceDataSets().Add();
        link.DataSet = FSource.get();
        link.TableName = "T";
    }

    // The rows of the result, values joined with "|", or the error text.
    std::vector<std::string> Run(const std::string& sql) {
        FQuery.SetSQL(sql);
        std::vector<std::string> rows;
        try {
            FQuery.Open();
        } catch (const Exception& e) {
            return {std::string("error: ") + e.what()};
        }
        for (FQuery.First(); !FQuery.Eof(); FQuery.Next()) {
            std::string row;
            for (size_t i = 0; i < FQuery.FieldCount(); ++i) row += (i ? "|" : "") + FQuery.AsString(i);
            rows.push_back(row);
        }
        FQuery.Close();
        return rows;
    }

    std::unique_ptr<TMemDataSet> FSource;
    TVirtualQuery FQuery;
};

}  // namespace

TEST_F(FuzzRegressionQuery, AQuotedParameterNameRunsNoStatementOfItsOwn) {
    EXPECT_EQ(Run("SELECT :\"x;DELETE FROM T\" IS NULL, count(*) FROM T"), (std::vector<std::string>{"1|2"}));
    EXPECT_EQ(FSource->RecordCount(), 2);
    EXPECT_EQ(Run("SELECT :\"it's\" IS NULL, Acc FROM T"), (std::vector<std::string>{"1|A", "1|B"}));
}

// The engine reads a text only up to a NUL; before, the statement loop stood still at one
// for ever (the fuzz target's text began with a form feed and a NUL).
TEST_F(FuzzRegressionQuery, ANulEndsTheSqlText) {
    const struct {
        std::string Sql;
        std::vector<std::string> Rows;
    } cases[] = {
        {Bytes("\x0c\0\0\0VACUUM INTO &c\x06\x06opy.db"), {"error: No SQL statement provided"}},
        {Bytes("SELECT Acc FROM T WHERE Acc = 'B'\0SELECT 2"), {"B"}},
        {Bytes("SELECT 1;\0 DELETE FROM T; SELECT 3"), {"1"}},
        {Bytes("SELECT 'a\0b'"), {"error: unrecognized token: \"'a\""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Sql);
        EXPECT_EQ(Run(c.Sql), c.Rows);
    }
    EXPECT_EQ(FSource->RecordCount(), 2);
}

// A date text can be a day serial of any size ("1.5e300"); one too far from the epoch names no
// instant and is written as the epoch, where it overflowed the millisecond count before.
TEST(FuzzRegression, AnAbsurdDaySerialIsWrittenAsTheEpoch) {
    const TDateTime serial = DateTextToDateTime("1.5e300");
    EXPECT_EQ(serial, 1.5e300);
    TDateTextBuffer buffer;
    EXPECT_EQ(FormatDateText(TFieldType::TimeStamp, 3, serial, ".", buffer), "1899-12-30 00:00:00");

    auto ds = MakeDataSet({Col("D", TFieldType::DateTime), Col("T", TFieldType::Time)});
    auto row = ds->NewRow();
    row.SetFloat(0, serial);
    row.SetFloat(1, -5.602705286451007e+92);
    ds->AppendRow(row);
    EXPECT_EQ(DataRows(SaveToString(*ds)), "\r    <z:row D='1899-12-30T00:00:00' T='00:00:00' />");
}
