// The texts of the virtual tables: date texts, names, type texts, and the comparison rules.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "output/DateText.h"
#include "output/SQLNumberText.h"
#include "output/VirtualCompare.h"
#include "output/VirtualDeclaration.h"
#include "output/VirtualNames.h"
#include "platform/DateTime.h"

using namespace iqo;

namespace {

TEST(DateText, ReadsTheFixedFormatsAndDaySerials) {
    const struct {
        const char* Text;
        TDateTime Expected;
    } cases[] = {
        {"2024-02-13 10:20:30.005", EncodeDateTime(2024, 2, 13, 10, 20, 30, 5)},
        {"2024-02-13 10:20:30,5Z", EncodeDateTime(2024, 2, 13, 10, 20, 30, 500)},
        {"2024-02-13 10:20:30.12345", EncodeDateTime(2024, 2, 13, 10, 20, 30, 123)},
        {"2024-02-13 10:20:30.x", EncodeDateTime(2024, 2, 13, 10, 20, 30, 0)},
        {"2024-1-5", EncodeDate(2024, 1, 5)},
        {" 2024-01-05 ", EncodeDate(2024, 1, 5)},
        {"10:20:30", EncodeTime(10, 20, 30, 0)},
        {"10:20:30.25", EncodeTime(10, 20, 30, 250)},
        {"ab-cd-ef", 0},
        {"2024-13-45", 0},
        {"45000.5", 45000.5},
        {"-7", -7},
        {"45000", 45000},
        {"5", 0},
        {"", 0},
    };
    for (const auto& c : cases) EXPECT_NEAR(DateTextToDateTime(c.Text), c.Expected, 1e-9) << c.Text;
}

TEST(DateText, ADaySerialThatIsNoNumberIsAConversionError) {
    for (const char* text : {"abc", "2024-01", "1.x", "12:30"}) EXPECT_THROW(DateTextToDateTime(text), EConvertError) << text;
}

TEST(DateText, FilterValuesFallBackToTheRegionalFormats) {
    TFormatSettings regional;
    regional.ShortDateFormat = "dd/mm/yyyy";
    regional.DateSeparator = ".";
    regional.TimeSeparator = ":";
    EXPECT_NEAR(FilterDateTextToDateTime("13.02.2024", regional), EncodeDate(2024, 2, 13), 1e-9);
    EXPECT_NEAR(FilterDateTextToDateTime("13.02.2024 10:20", regional), EncodeDateTime(2024, 2, 13, 10, 20, 0, 0), 1e-9);
    EXPECT_NEAR(FilterDateTextToDateTime("2024-02-13", regional), EncodeDate(2024, 2, 13), 1e-9);
    EXPECT_EQ(FilterDateTextToDateTime("xx.yy.zz", regional), 0);
    EXPECT_EQ(DateTextToDateTime("13.02.2024"), 0);
}

TEST(DateText, WritesMillisecondsWithoutTrailingZeros) {
    TDateTextBuffer buffer;
    const TDateTime value = EncodeDateTime(2024, 2, 13, 10, 20, 30, 50);
    EXPECT_EQ(FormatDateText(TFieldType::DateTime, 3, value, ".", buffer), "2024-02-13 10:20:30.05");
    EXPECT_EQ(FormatDateText(TFieldType::DateTime, 0, value, ".", buffer), "2024-02-13 10:20:30");
    EXPECT_EQ(FormatDateText(TFieldType::Time, 3, value, ",", buffer), "10:20:30,05");
    EXPECT_EQ(FormatDateText(TFieldType::Date, 3, value, ".", buffer), "2024-02-13");
    EXPECT_EQ(FormatDateText(TFieldType::TimeStamp, 0, EncodeDate(1899, 12, 30), ".", buffer), "1899-12-30 00:00:00");
}

TEST(SQLNumberText, ReadsNumbersWithAPointAndWritesThemAsTheEngineDoes) {
    EXPECT_EQ(TryReadInt64(" 12 "), 12);
    EXPECT_EQ(TryReadInt64("+5"), 5);
    EXPECT_EQ(TryReadInt64("-9223372036854775808"), INT64_MIN);
    for (const char* text : {"", " ", "+-5", "1.5", "9223372036854775808", "12abc", "0x10"})
        EXPECT_FALSE(TryReadInt64(text)) << text;
    EXPECT_EQ(TryReadFloat("1.5"), 1.5);
    EXPECT_EQ(TryReadFloat(" -1e3\t"), -1000);
    EXPECT_EQ(TryReadFloat(".5"), 0.5);
    for (const char* text : {"", "1,5", "inf", "nan", "1e999", "++1", "1.5x"}) EXPECT_FALSE(TryReadFloat(text)) << text;
    EXPECT_EQ(EngineNumberText(1.0), "1.0");
    EXPECT_EQ(EngineNumberText(0.1), "0.1");
    EXPECT_EQ(EngineNumberText(1e20), "1.0e+20");
    EXPECT_EQ(EngineNumberText(int64_t{-12}), "-12");
}

TEST(VirtualNames, QuotesWhatNeedsQuotesWithAPairThatDoesNotClash) {
    const struct {
        const char* Name;
        const char* Normalized;
    } cases[] = {
        {"PASTELSQL", "PASTELSQL"},   {"a1_$", "a1_$"},         {"Order", "[Order]"},
        {"select", "[select]"},       {"[x]", "x"},             {"\"x\"", "x"},
        {"`Order`", "[Order]"},       {"1a", "[1a]"},           {"_id", "[_id]"},
        {"a.b", "[a.b]"},             {"[a.b]", "[a.b]"},       {"sp ace", "[sp ace]"},
        {"a]b", "\"a]b\""},           {"\"a\"\"b\"", "[a\"b]"}, {"'it''s'", "[it's]"},
        {"a]b\"c`d'e", "\"a]b\"\"c`d'e\""}, {"M\xC3\xBCller", "[M\xC3\xBCller]"},
    };
    for (const auto& c : cases) EXPECT_EQ(NormalizeName(c.Name), c.Normalized) << c.Name;
    for (const auto& c : cases) EXPECT_EQ(NormalizeName(c.Normalized), c.Normalized) << "normalizing again: " << c.Name;
}

TEST(VirtualCompare, FloatsWithinTheToleranceAreEqual) {
    EXPECT_EQ(CompareFloat(0.1000000000001, 0.1), 0);
    EXPECT_EQ(CompareFloat(0.1, 0.1001), -1);
    EXPECT_EQ(CompareFloat(1e6 + 1e-7, 1e6), 0);
    EXPECT_EQ(CompareFloat(1e6 + 1e-5, 1e6), 1);
    EXPECT_EQ(CompareFloat(0, 2e-12), -1);
}

TEST(VirtualCompare, TextsCompareByCollationInUtf16Order) {
    using C = TVirtualCollationType;
    const struct {
        const char* A;
        const char* B;
        C Collation;
        int Expected;
    } cases[] = {
        {"a", "b", C::vcBinary, -1},
        {"A", "a", C::vcBinary, -1},
        {"ab", "abc", C::vcBinary, -1},
        {"abc", "abc", C::vcBinary, 0},
        // U+FF01 is one UTF-16 unit above the surrogates of U+1F600, unlike in UTF-8 byte order.
        {"\xEF\xBC\x81", "\xF0\x9F\x98\x80", C::vcBinary, 1},
        {"\xC3\xA9", "\xC3\xA8", C::vcBinary, 1},
        {"ABC", "abc", C::vcNocase, 0},
        {"abd", "ABC", C::vcNocase, 1},
        {"_", "a", C::vcNocase, -1},
        {"\xC3\x84", "\xC3\xA4", C::vcNocase, -1},
        {" abc\t", "abc", C::vcRTrim, 0},
        {"abc ", "abd", C::vcRTrim, -1},
        {"abc", "ABC", C::vcCustom, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CompareText(c.A, c.B, c.Collation), c.Expected) << c.A << " / " << c.B;
        EXPECT_EQ(CompareText(c.B, c.A, c.Collation), -c.Expected) << c.B << " / " << c.A;
    }
}

TEST(VirtualDeclaration, TypeTextOfEveryDataType) {
    using F = TFieldType;
    const struct {
        F Type;
        int Length, Scale;
        const char* Text;
    } cases[] = {
        {F::AnsiString, 40, 0, "VARCHAR(40)"},       {F::AnsiStringLong, 300, 0, "EXTVARCHAR(300)"},
        {F::WideString, 10, 0, "WVARCHAR(10)"},      {F::WideStringLong, 50, 0, "EXTWVARCHAR(50)"},
        {F::FixedAnsiChar, 4, 0, "CHAR(4)"},         {F::FixedWideChar, 2, 0, "WCHAR(2)"},
        {F::Int8, 0, 0, "TINYINT"},                  {F::Int16, 0, 0, "SMALLINT"},
        {F::Int32, 0, 0, "INTEGER"},                 {F::Int64, 0, 0, "BIGINT"},
        {F::UInt8, 0, 0, "BYTE"},                    {F::UInt16, 0, 0, "WORD"},
        {F::UInt32, 0, 0, "LONGWORD"},               {F::UInt64, 0, 0, "UBIGINT"},
        {F::Single, 0, 0, "REAL"},                   {F::Double, 15, 0, "FLOAT(15, 0)"},
        {F::Double, 15, 2, "NUMERIC(15, 2)"},        {F::Extended, 0, 0, "EXTENDED"},
        {F::Currency, 19, 4, "MONEY"},               {F::Bcd, 18, 4, "BCD(18, 4)"},
        {F::FmtBcd, 32, 8, "FMTBCD(32, 8)"},         {F::Date, 0, 0, "DATE"},
        {F::Time, 0, 0, "TIME"},                     {F::Time, 0, 3, "TIME(3)"},
        {F::DateTime, 0, 0, "DATETIME"},             {F::DateTime, 0, 3, "DATETIME(3)"},
        {F::TimeStamp, 0, 0, "TIMESTAMP"},           {F::TimeStamp, 0, 4, "TIMESTAMP(4)"},
        {F::TimeStampOffset, 0, 3, "TIMESTAMPOFFSET"}, {F::Boolean, 0, 0, "BOOLEAN"},
        {F::Bytes, 16, 0, "BYTES(16)"},              {F::VarBytes, 8, 0, "VARBYTES(8)"},
        {F::VarBytesLong, 100, 0, "EXTVARBYTES(100)"}, {F::Blob, 0, 0, "BLOB"},
        {F::Memo, 0, 0, "TEXT"},                     {F::WideMemo, 0, 0, "WTEXT"},
        {F::Table, 0, 0, "ATABLE"},                  {F::Cursor, 0, 0, "CURSOR"},
        {F::Xml, 0, 0, "XML"},                       {F::Guid, 38, 0, "GUID(38)"},
        {F::Variant, 0, 0, "BLOB"},                  {F::Reference, 0, 0, "BLOB"},
        {F::Unknown, 0, 0, "BLOB"},
    };
    for (const auto& c : cases) {
        TVirtualFieldDesc f;
        f.DataType = c.Type;
        f.Length = c.Length;
        f.Scale = c.Scale;
        EXPECT_EQ(VirtualTypeText(f), c.Text) << FieldTypeName(c.Type);
    }
}

}  // namespace
