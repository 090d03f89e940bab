#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "FailingFileOperations.h"
#include "RowsetTestSupport.h"
#include "TestSupport.h"
#include "output/FileStream.h"
#include "platform/Exception.h"

using namespace iqo;

namespace {

using F = TFieldType;
using TSetter = std::function<void(TRowStore::TRowBuilder&)>;

const std::string kGolden = std::string(IQO_FIXTURES) + "/fixtures/customer.xml";

// The data section of a one-column, one-row result set.
std::string OneValueRows(const TColumnDescriptor& column, const TSetter& set) {
    auto ds = MakeDataSet({column});
    auto row = ds->NewRow();
    set(row);
    ds->AppendRow(row);
    return DataRows(SaveToString(*ds));
}

TSetter Int(int64_t v) {
    return [v](TRowStore::TRowBuilder& r) { r.SetInteger(0, v); };
}
TSetter Float(double v) {
    return [v](TRowStore::TRowBuilder& r) { r.SetFloat(0, v); };
}
TSetter Bytes(std::string v) {
    return [v](TRowStore::TRowBuilder& r) { r.SetBytes(0, v); };
}

// 23:59:59.9996 on the given day.
double JustBeforeMidnight(int year, int month, int day) {
    return EncodeDateTime(year, month, day, 23, 59, 59, 999) + 0.6 / kMSecsPerDay;
}

// A result set with one Int32 column "N" holding 1..count.
std::unique_ptr<TMemDataSet> NumberedDataSet(int count, std::vector<TColumnDescriptor> more = {}) {
    std::vector<TColumnDescriptor> columns{Col("N", F::Int32)};
    columns.insert(columns.end(), more.begin(), more.end());
    auto ds = MakeDataSet(columns);
    auto row = ds->NewRow();
    for (int i = 1; i <= count; ++i) {
        row.SetInteger(0, i);
        ds->AppendRow(row);
    }
    return ds;
}

std::string NumberedRows(int from, int to) {
    std::string rows;
    for (int i = from; i <= to; ++i) rows += "\r    <z:row N='" + std::to_string(i) + "' />";
    return rows;
}

const std::string kColumnN =
    "\r\n      <s:AttributeType name='N' rs:number='1' rs:nullable='true' rs:writeunknown='true'>"
    "\r\n        <s:datatype dt:type='int' dt:maxLength='4' rs:precision='10' />"
    "\r\n      </s:AttributeType>";

size_t OpenDescriptorCount() {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(no error)";
}

// ---- the document ----------------------------------------------------------------------

TEST(SaveToXMLTest, CustomerExampleMatchesTheGoldenFileByteForByte) {
    const std::string golden = ReadBytes(kGolden);
    ASSERT_EQ(golden.size(), 1314u) << "fixture damaged (line ends must stay CR LF / CR)";
    auto ds = CustomerDataSet();
    EXPECT_EQ(SaveToString(*ds), golden);
    TTempFolder folder;
    SaveToXML(*ds, folder.File("customer.xml"));
    EXPECT_EQ(ReadBytes(folder.File("customer.xml")), golden);
}

TEST(SaveToXMLTest, WritesFromTheStreamsCurrentPosition) {
    auto ds = CustomerDataSet();
    TMemoryStream stream;
    stream.Write("before|");
    SaveToXML(*ds, stream);
    EXPECT_EQ(stream.Data(), "before|" + ReadBytes(kGolden));
}

TEST(SaveToXMLTest, EmptyResultSetHasTheSchemaAndAnEmptyDataSection) {
    auto ds = NumberedDataSet(0);
    EXPECT_EQ(SaveToString(*ds), kDocumentHead + kColumnN + kSchemaEnd + kDocumentEnd);
}

TEST(SaveToXMLTest, CalculatedAndLookupColumnsAreLeftOutOfTheWholeDocument) {
    auto calculated = Col("Sum Of", F::Int32);
    calculated.FieldKind = TFieldKind::fkCalculated;
    auto lookup = Col("Look Up", F::AnsiString, 10);
    lookup.FieldKind = TFieldKind::fkLookup;
    {
        auto ds = MakeDataSet({calculated, lookup});
        auto row = ds->NewRow();
        row.SetInteger(0, 5);
        row.SetBytes(1, "x");
        ds->AppendRow(row);
        ds->AppendRow(row);
        EXPECT_EQ(SaveToString(*ds), kDocumentHead + kSchemaEnd + "\r    <z:row />\r    <z:row />" + kDocumentEnd);
    }
    // Other kinds are written, and aliases count the written columns only.
    auto internal = Col("Inner Calc", F::Int32);
    internal.FieldKind = TFieldKind::fkInternalCalc;
    auto aggregate = Col("Agg", F::Int32);
    aggregate.FieldKind = TFieldKind::fkAggregate;
    auto ds = MakeDataSet({calculated, internal, lookup, aggregate});
    auto row = ds->NewRow();
    for (size_t i = 0; i < 4; ++i) i == 2 ? row.SetBytes(i, "x") : row.SetInteger(i, static_cast<int64_t>(i));
    ds->AppendRow(row);
    const std::string doc = SaveToString(*ds);
    EXPECT_NE(SchemaColumns(doc).find("name='c1' rs:name='Inner Calc' rs:number='2'"), std::string::npos);
    EXPECT_NE(SchemaColumns(doc).find("name='Agg' rs:number='4'"), std::string::npos);
    EXPECT_EQ(SchemaColumns(doc).find("rs:number='1'"), std::string::npos);
    EXPECT_EQ(SchemaColumns(doc).find("rs:number='3'"), std::string::npos);
    EXPECT_EQ(DataRows(doc), "\r    <z:row c1='1' Agg='3' />");
}

TEST(SaveToXMLTest, NullLeavesTheAttributeOutEmptyTextKeepsIt) {
    auto ds = MakeDataSet({Col("A", F::AnsiString, 10), Col("B", F::Int32), Col("C", F::WideMemo)});
    auto row = ds->NewRow();
    row.SetBytes(0, "");
    row.SetInteger(1, 7);
    ds->AppendRow(row);
    row.Clear();
    ds->AppendRow(row);
    row.SetBytes(2, "");
    ds->AppendRow(row);
    EXPECT_EQ(DataRows(SaveToString(*ds)), "\r    <z:row A='' B='7' />\r    <z:row />\r    <z:row C='' />");
}

TEST(SaveToXMLTest, ValueTextOfEveryFieldType) {
    const struct {
        TColumnDescriptor Column;
        TSetter Value;
        std::string Text;
    } cases[] = {
        {Col("v", F::Int8), Int(-5), "-5"},
        {Col("v", F::Int16), Int(32767), "32767"},
        {Col("v", F::Int32), Int(-2147483648LL), "-2147483648"},
        {Col("v", F::Int64), Int(INT64_MIN), "-9223372036854775808"},
        {Col("v", F::UInt8), Int(255), "255"},
        {Col("v", F::UInt16), Int(65535), "65535"},
        {Col("v", F::UInt32), Int(4294967295LL), "4294967295"},
        {Col("v", F::UInt64), Int(-1), "18446744073709551615"},  // held by its bits
        {Col("v", F::Boolean), Int(1), "True"},
        {Col("v", F::Boolean), Int(0), "False"},
        {Col("v", F::Single), Float(static_cast<double>(0.1f)), "0.100000001490116"},
        {Col("v", F::Single, 7), Float(1234.5), "1234.5"},
        {Col("v", F::Single, 7, 2), Float(1e-5), "1E-05"},
        {Col("v", F::Extended), Float(1.0 / 3), "0.333333333333333"},
        {Col("v", F::Extended, 18), Float(1.0 / 3), "0.333333333333333315"},
        {Col("v", F::Double), Float(1234.5), "1234.5"},
        {Col("v", F::Double), Float(1.0 / 3), "0.333333333333333"},
        {Col("v", F::Double), Float(0.0001), "0.0001"},
        {Col("v", F::Double), Float(0.00001), "1E-5"},
        {Col("v", F::Double), Float(1e16), "1E16"},
        {Col("v", F::Double), Float(0), "0"},
        {Col("v", F::Double), Float(-0.5), "-0.5"},
        {Col("v", F::Double, 15), Float(1e16), "1E16"},  // Scale 0: general form whatever the length
        {Col("v", F::Double, 15, 2), Float(1234.5), "1234.50"},
        {Col("v", F::Double, 15, 2), Float(0), "0.00"},
        {Col("v", F::Double), Float(std::numeric_limits<double>::infinity()), "INF"},
        {Col("v", F::Double), Float(-std::numeric_limits<double>::infinity()), "-INF"},
        {Col("v", F::Double, 15, 2), Float(std::nan("")), "NAN"},
        {Col("v", F::Currency, 19), Int(125000), "12.5"},
        {Col("v", F::Currency, 19), Int(1000000), "100"},
        {Col("v", F::Bcd, 10), Int(-15000), "-1.5"},
        {Col("v", F::FmtBcd, 18, 4), Bytes("-123.4500"), "-123.45"},
        {Col("v", F::FmtBcd, 18, 4), Bytes("0.0000"), "0"},
        {Col("v", F::FmtBcd, 18, 4), Bytes("1e5<"), "1e5&#x3c;"},  // not a decimal: as it is, escaped
        {Col("v", F::Date), Float(EncodeDate(2024, 2, 13)), "2024-02-13"},
        {Col("v", F::Date), Float(EncodeDate(999, 1, 2)), "0999-01-02"},
        {Col("v", F::Time), Float(EncodeTime(8, 5, 9, 0)), "08:05:09"},
        {Col("v", F::Time), Float(JustBeforeMidnight(1899, 12, 30)), "00:00:00"},
        {Col("v", F::DateTime), Float(EncodeDateTime(2024, 2, 13, 14, 5, 9, 750)), "2024-02-13T14:05:09"},
        {Col("v", F::DateTime), Float(JustBeforeMidnight(2024, 2, 13)), "2024-02-14T00:00:00"},
        {Col("v", F::DateTime), Float(JustBeforeMidnight(2023, 12, 31)), "2024-01-01T00:00:00"},
        {Col("v", F::TimeStamp), Float(EncodeDateTime(999, 3, 4, 5, 6, 7, 499)), "0999-03-04T05:06:07"},
        {Col("v", F::DateTime), Float(EncodeDate(9999, 12, 31) + 1.5), "10000-01-01T12:00:00"},
        {Col("v", F::Bytes, 2), Bytes("\x0A\xFF"), "0AFF"},
        {Col("v", F::VarBytes, 10), Bytes(""), ""},
        {Col("v", F::VarBytesLong, 100), Bytes(std::string("\x00\x01\xab", 3)), "0001AB"},
        {Col("v", F::Blob), Bytes("\x7F\x80"), "7F80"},
        {Col("v", F::AnsiString, 20), Bytes("Smith & Sons"), "Smith &#x26; Sons"},
        {Col("v", F::AnsiStringLong, 40), Bytes("a<b>c"), "a&#x3c;b&#x3e;c"},
        {Col("v", F::WideString, 20), Bytes("\xC3\xA9t\xC3\xA9"), "\xC3\xA9t\xC3\xA9"},
        {Col("v", F::Memo), Bytes("line1\r\nline2"), "line1\r\nline2"},
        {Col("v", F::WideMemo), Bytes("\"q\""), "&#x22;q&#x22;"},
        {Col("v", F::Variant), Bytes("x'y"), "x&#x27;y"},
        {Col("v", F::FixedAnsiChar, 5), Bytes("ab   "), "ab   "},
        {Col("v", F::Guid), Bytes("{0f8fad5b-d9cb-469f-a165-70867728950e}"), "{0F8FAD5B-D9CB-469F-A165-70867728950E}"},
        {Col("v", F::Guid), Bytes("0f8fad5b-d9cb-469f-a165-70867728950e"), "{0F8FAD5B-D9CB-469F-A165-70867728950E}"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OneValueRows(c.Column, c.Value), "\r    <z:row v='" + c.Text + "' />")
            << FieldTypeName(c.Column.DataType) << " " << c.Text;
}

TEST(SaveToXMLTest, EscapesTheFiveSpecialsAndKeepsControlCharacters) {
    const std::string value = "&'\"<>\r\n\t\x01\x1F\x7F end";
    EXPECT_EQ(OneValueRows(Col("v", F::AnsiString, 40), Bytes(value)),
              "\r    <z:row v='&#x26;&#x27;&#x22;&#x3c;&#x3e;\r\n\t\x01\x1F\x7F end' />");
}

TEST(SaveToXMLTest, IllFormedUtf8BecomesReplacementCharacters) {
    EXPECT_EQ(OneValueRows(Col("v", F::AnsiString, 40), Bytes("ok \xFF \xC3 \xE2\x82\xAC \xED\xA0\x80")),
              "\r    <z:row v='ok \xEF\xBF\xBD \xEF\xBF\xBD \xE2\x82\xAC \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD' />");
    // Names and schema texts go through the same encoding.
    auto c = Col("bad\xFFname", F::Int32);
    c.TableName = "T\xC3";
    auto ds = MakeDataSet({c});
    const std::string doc = SaveToString(*ds);
    EXPECT_NE(doc.find("name='c1' rs:name='bad\xEF\xBF\xBDname'"), std::string::npos);
    EXPECT_NE(doc.find("rs:basetable='T\xEF\xBF\xBD'"), std::string::npos);
}

TEST(SaveToXMLTest, TenMegabyteTextValue) {
    std::string big(10 << 20, 'a');
    for (size_t i = 0; i < big.size(); i += 4096) big[i] = '&';
    std::string escaped;
    for (const char ch : big) escaped += ch == '&' ? "&#x26;" : std::string(1, ch);
    auto ds = MakeDataSet({Col("N", F::Int32), Col("T", F::Memo)});
    auto row = ds->NewRow();
    row.SetInteger(0, 1);
    row.SetBytes(1, big);
    ds->AppendRow(row);
    row.SetInteger(0, 2);
    row.SetBytes(1, "small");
    ds->AppendRow(row);
    TTempFolder folder;
    SaveToXML(*ds, folder.File("big.xml"));
    const std::string doc = ReadBytes(folder.File("big.xml"));
    EXPECT_EQ(DataRows(doc), "\r    <z:row N='1' T='" + escaped + "' />\r    <z:row N='2' T='small' />");
    EXPECT_EQ(doc.substr(doc.size() - kDocumentEnd.size()), kDocumentEnd);
}

TEST(SaveToXMLTest, ManyRowsAreWrittenInOrder) {
    auto ds = NumberedDataSet(60000);
    TTempFolder folder;
    SaveToXML(*ds, folder.File("rows.xml"));
    EXPECT_EQ(ReadBytes(folder.File("rows.xml")), kDocumentHead + kColumnN + kSchemaEnd + NumberedRows(1, 60000) + kDocumentEnd);
}

// ---- names and aliases -----------------------------------------------------------------

TEST(SaveToXMLTest, NamesThatAreNotPlainGetAliasesInColumnOrder) {
    const struct {
        std::string Name;
        std::string Attribute;
    } cases[] = {
        {"Customer Name", "c1"}, {"ID", "ID"},       {"first-name", "c2"}, {"1st", "c3"},
        {"Gr\xC3\xB6\xC3\x9F" "e", "c4"},
        {"", "c5"},  // an attribute needs a name, so the empty name is aliased too
        {"A_b9", "A_b9"},        {"_x", "_x"},       {"a.b", "c6"},        {"a#b", "c7"},
        {"a$b", "c8"},           {"x1", "x1"},       {"Z", "Z"},           {"\xC3\xA9", "c9"},
    };
    std::vector<TColumnDescriptor> columns;
    for (const auto& c : cases) columns.push_back(Col(c.Name, F::Int32));
    auto ds = MakeDataSet(columns);
    auto row = ds->NewRow();
    for (size_t i = 0; i < columns.size(); ++i) row.SetInteger(i, static_cast<int64_t>(i));
    ds->AppendRow(row);
    const std::string doc = SaveToString(*ds);
    std::string expectedRow = "\r    <z:row";
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        const std::string number = " rs:number='" + std::to_string(i + 1) + "'";
        const std::string head = c.Attribute == c.Name ? "name='" + c.Name + "'" + number
                                                       : "name='" + c.Attribute + "' rs:name='" + c.Name + "'" + number;
        EXPECT_NE(SchemaColumns(doc).find("<s:AttributeType " + head + " "), std::string::npos) << c.Name;
        expectedRow += " " + c.Attribute + "='" + std::to_string(i) + "'";
    }
    EXPECT_EQ(DataRows(doc), expectedRow + " />");
}

TEST(SaveToXMLTest, AliasesSkipNamesThatPlainColumnsUse) {
    auto ds = MakeDataSet({Col("A B", F::Int32), Col("c1", F::Int32), Col("C D", F::Int32), Col("C3", F::Int32),
                           Col("E F", F::Int32), Col("c10", F::Int32)});
    auto row = ds->NewRow();
    for (size_t i = 0; i < 6; ++i) row.SetInteger(i, static_cast<int64_t>(i));
    ds->AppendRow(row);
    const std::string doc = SaveToString(*ds);
    EXPECT_EQ(DataRows(doc), "\r    <z:row c2='0' c1='1' c4='2' C3='3' c5='4' c10='5' />");
    EXPECT_NE(doc.find("name='c2' rs:name='A B' rs:number='1'"), std::string::npos);
    EXPECT_NE(doc.find("name='c4' rs:name='C D' rs:number='3'"), std::string::npos);
    EXPECT_NE(doc.find("name='c5' rs:name='E F' rs:number='5'"), std::string::npos);
}

// ---- the result set's state --------------------------------------------------------------

TEST(SaveToXMLTest, ActiveResultSetIsBackOnItsRow) {
    auto ds = NumberedDataSet(5);
    ds->Open();
    ds->First();
    ds->Next();
    ds->Next();
    const TRowId third = ds->Bookmark();
    EXPECT_EQ(DataRows(SaveToString(*ds)), NumberedRows(1, 5));
    EXPECT_TRUE(ds->Active());
    EXPECT_EQ(ds->Bookmark(), third);
    EXPECT_EQ(ds->AsInteger(0), 3);
}

TEST(SaveToXMLTest, ActiveResultSetAtItsEndStaysAtItsEnd) {
    auto ds = NumberedDataSet(2);
    ds->Open();
    ds->First();
    ds->Next();
    ds->Next();
    ASSERT_TRUE(ds->Eof());
    EXPECT_EQ(DataRows(SaveToString(*ds)), NumberedRows(1, 2));
    EXPECT_TRUE(ds->Active());
    EXPECT_TRUE(ds->Eof());
}

TEST(SaveToXMLTest, ClosedResultSetIsOpenedForTheWriteAndClosedAgain) {
    auto ds = NumberedDataSet(3);
    ASSERT_FALSE(ds->Active());
    EXPECT_EQ(DataRows(SaveToString(*ds)), NumberedRows(1, 3));
    EXPECT_FALSE(ds->Active());
}

TEST(SaveToXMLTest, UnsupportedTypeFailsWhileTheSchemaIsWrittenAndRestoresTheResultSet) {
    for (const bool active : {false, true}) {
        auto ds = NumberedDataSet(3, {Col("Stamp", F::TimeStampOffset)});
        if (active) {
            ds->Open();
            ds->First();
            ds->Next();
        }
        TMemoryStream stream;
        EXPECT_EQ(ErrorOf([&] { SaveToXML(*ds, stream); }), "Data type is not supported");
        // What was passed on before the failure: the columns before it, described.
        EXPECT_EQ(stream.Data(), kDocumentHead + kColumnN);
        EXPECT_EQ(ds->Active(), active);
        if (active) {
            EXPECT_EQ(ds->AsInteger(0), 2);
        }
    }
}

class TFailingOpenDataSet : public TDataSet {
public:
    TProviderKind ProviderKind() const override { return TProviderKind::Generic; }

protected:
    void DoOpen() override { throw Exception("Connection lost"); }
};

TEST(SaveToXMLTest, DataLayerErrorsPassThroughUnchanged) {
    TFailingOpenDataSet ds;
    TMemoryStream stream;
    EXPECT_EQ(ErrorOf([&] { SaveToXML(ds, stream); }), "Connection lost");
    EXPECT_EQ(stream.Data(), "");
    EXPECT_FALSE(ds.Active());
    TTempFolder folder;
    EXPECT_EQ(ErrorOf([&] { SaveToXML(ds, folder.File("out.xml")); }), "Connection lost");
    EXPECT_EQ(ReadBytes(folder.File("out.xml")), "");
}

// ---- the file ---------------------------------------------------------------------------

TEST(SaveToXMLFileTest, OverwritesAnExistingFile) {
    TTempFolder folder;
    const std::string path = folder.File("out.xml");
    WriteBytes(path, std::string(100000, 'z'));
    auto ds = CustomerDataSet();
    SaveToXML(*ds, path);
    EXPECT_EQ(ReadBytes(path), ReadBytes(kGolden));
}

TEST(SaveToXMLFileTest, CreateErrorsNameTheFullPathAndTheSystemText) {
    TTempFolder folder;
    auto ds = CustomerDataSet();
    EXPECT_EQ(ErrorOf([&] { SaveToXML(*ds, folder.File("missing/out.xml")); }),
              "Cannot create file \"" + folder.File("missing/out.xml") + "\". No such file or directory");
    EXPECT_EQ(ErrorOf([&] { SaveToXML(*ds, folder.Path()); }),
              "Cannot create file \"" + folder.Path() + "\". Is a directory");
    {
        TFailingFileOperations failing(TFailingFileOperations::TCall::Open, EACCES);
        TScopedFileOperations scope(failing);
        EXPECT_EQ(ErrorOf([&] { SaveToXML(*ds, folder.File("denied.xml")); }),
                  "Cannot create file \"" + folder.File("denied.xml") + "\". Permission denied");
    }
    {
        // A lock that cannot be taken leaves an existing file as it was.
        WriteBytes(folder.File("kept.xml"), "kept");
        TFailingFileOperations failing(TFailingFileOperations::TCall::Lock, EAGAIN);
        TScopedFileOperations scope(failing);
        EXPECT_EQ(ErrorOf([&] { SaveToXML(*ds, folder.File("kept.xml")); }),
                  "Cannot create file \"" + folder.File("kept.xml") + "\". Resource temporarily unavailable");
        EXPECT_EQ(ReadBytes(folder.File("kept.xml")), "kept");
    }
    EXPECT_FALSE(ds->Active());
    // A relative name is reported with its full path.
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());
    const std::string error = ErrorOf([&] { SaveToXML(*ds, "./sub/../missing/x.xml"); });
    std::filesystem::current_path(previous);
    EXPECT_EQ(error, "Cannot create file \"" + folder.File("missing/x.xml") + "\". No such file or directory");
}

// A child process that holds a lock on a file until the object goes.
class TLockHolder {
public:
    TLockHolder(const std::string& path, int command, short type) {
        int ready[2];
        if (pipe(ready) != 0 || pipe(FDone) != 0) return;
        FPid = fork();
        if (FPid == 0) {
            close(ready[0]);
            close(FDone[1]);
            const int fd = open(path.c_str(), O_RDWR);
            struct flock lock {};
            lock.l_type = type;
            lock.l_whence = SEEK_SET;
            char answer = fd >= 0 && fcntl(fd, command, &lock) == 0 ? '1' : '0';
            (void)!write(ready[1], &answer, 1);
            (void)!read(FDone[0], &answer, 1);
            _exit(0);
        }
        close(ready[1]);
        close(FDone[0]);
        char answer = '0';
        FLocked = read(ready[0], &answer, 1) == 1 && answer == '1';
        close(ready[0]);
    }
    ~TLockHolder() {
        if (FPid <= 0) return;
        close(FDone[1]);
        waitpid(FPid, nullptr, 0);
    }
    TLockHolder(const TLockHolder&) = delete;
    TLockHolder& operator=(const TLockHolder&) = delete;

    bool Locked() const { return FLocked; }

private:
    pid_t FPid = -1;
    int FDone[2] = {-1, -1};
    bool FLocked = false;
};

TEST(SaveToXMLFileTest, FileLockedByAnotherProcessIsNotTouched) {
    const struct {
        const char* Name;
        int Command;
        short Type;
    } cases[] = {
        {"open-file write lock", F_OFD_SETLK, F_WRLCK},
        {"open-file read lock", F_OFD_SETLK, F_RDLCK},
        {"POSIX write lock", F_SETLK, F_WRLCK},
    };
    for (const auto& c : cases) {
        TTempFolder folder;
        const std::string path = folder.File("held.xml");
        WriteBytes(path, "the other process's content");
        auto ds = CustomerDataSet();
        {
            TLockHolder holder(path, c.Command, c.Type);
            ASSERT_TRUE(holder.Locked()) << c.Name;
            EXPECT_EQ(ErrorOf([&] { SaveToXML(*ds, path); }),
                      "Cannot create file \"" + path + "\". Resource temporarily unavailable")
                << c.Name;
        }
        EXPECT_EQ(ReadBytes(path), "the other process's content") << c.Name;
        EXPECT_FALSE(ds->Active());
        SaveToXML(*ds, path);
        EXPECT_EQ(ReadBytes(path), ReadBytes(kGolden)) << c.Name;
    }
}

TEST(SaveToXMLFileTest, NoOtherProcessCanLockTheFileWhileItIsWritten) {
    TTempFolder folder;
    const std::string path = folder.File("busy.xml");
    {
        TFileStream stream(path);
        stream.Write("partial");
        {
            // The child shares the stream's open file (and so its lock) until it ends.
            TLockHolder reader(path, F_OFD_SETLK, F_RDLCK);
            EXPECT_FALSE(reader.Locked());
        }
        stream.Close();
        TLockHolder after(path, F_OFD_SETLK, F_RDLCK);
        EXPECT_TRUE(after.Locked());
    }
    EXPECT_EQ(ReadBytes(path), "partial");
}

// Lets a number of writes through, then fails every one.
class TFailAfterWrites : public TFileOperations {
public:
    explicit TFailAfterWrites(int allowed) : FAllowed(allowed) {}
    ssize_t Write(int fd, const void* buffer, size_t count) override {
        if (FAllowed-- > 0) return TFileOperations::Write(fd, buffer, count);
        errno = ENOSPC;
        return -1;
    }

private:
    int FAllowed;
};

TEST(SaveToXMLFileTest, WriteFailureClosesTheFileKeepsWhatWasWrittenAndRestoresTheResultSet) {
    TTempFolder folder;
    const std::string path = folder.File("full.xml");
    auto ds = NumberedDataSet(4);
    ds->Open();
    ds->First();
    ds->Next();
    const size_t descriptors = OpenDescriptorCount();
    {
        TFailAfterWrites failing(2);
        TScopedFileOperations scope(failing);
        EXPECT_EQ(ErrorOf([&] { SaveToXML(*ds, path); }),
                  "Cannot write file \"" + path + "\". No space left on device");
    }
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    const std::string written = ReadBytes(path);
    const std::string complete = kDocumentHead + kColumnN + kSchemaEnd + NumberedRows(1, 4) + kDocumentEnd;
    EXPECT_FALSE(written.empty());
    EXPECT_LT(written.size(), complete.size());
    EXPECT_EQ(complete.substr(0, written.size()), written);
    EXPECT_TRUE(ds->Active());
    EXPECT_EQ(ds->AsInteger(0), 2);
}

// ---- the host's locale ------------------------------------------------------------------

// A German locale (decimal comma) built into a temporary folder and made the process locale.
class TCommaLocale {
public:
    TCommaLocale() {
        const std::string command = "localedef -i de_DE -f UTF-8 '" + FFolder.File("de_DE.UTF-8") + "' >/dev/null 2>&1";
        (void)!std::system(command.c_str());
        setenv("LOCPATH", FFolder.Path().c_str(), 1);
        FActive = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    }
    ~TCommaLocale() {
        std::setlocale(LC_ALL, "C");
        unsetenv("LOCPATH");
    }
    TCommaLocale(const TCommaLocale&) = delete;
    TCommaLocale& operator=(const TCommaLocale&) = delete;

    bool Active() const { return FActive; }

private:
    TTempFolder FFolder;
    bool FActive = false;
};

TEST(SaveToXMLLocaleTest, DecimalPointIgnoresAHostWithADecimalComma) {
    auto ds = MakeDataSet({Col("D", F::Double), Col("F", F::Double, 15, 2), Col("S", F::Single),
                           Col("C", F::Currency, 19), Col("N", F::FmtBcd, 18, 2), Col("E", F::Single, 7, 2)});
    auto row = ds->NewRow();
    row.SetFloat(0, 1234.5);
    row.SetFloat(1, 1234.5);
    row.SetFloat(2, static_cast<double>(0.1f));
    row.SetInteger(3, 125000);
    row.SetBytes(4, "1.50");
    row.SetFloat(5, 1.5e-7);
    ds->AppendRow(row);
    TCommaLocale locale;
    ASSERT_TRUE(locale.Active()) << "the de_DE.UTF-8 locale could not be built with localedef";
    char probe[32];
    std::snprintf(probe, sizeof probe, "%.1f", 1234.5);
    ASSERT_STREQ(probe, "1234,5") << "the locale does not use a decimal comma";
    EXPECT_EQ(DataRows(SaveToString(*ds)),
              "\r    <z:row D='1234.5' F='1234.50' S='0.100000001490116' C='12.5' N='1.5' E='1.5E-07' />");
}

}  // namespace
