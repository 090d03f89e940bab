#include <gtest/gtest.h>

#include <string>

#include "RowsetTestSupport.h"
#include "output/RowsetHooks.h"
#include "output/StreamWriter.h"
#include "output/XmlTextWriter.h"

using namespace iqo;

namespace {

using F = TFieldType;

// The element that one hook writes its attributes into.
template <typename THook>
std::string Element(const char* name, THook hook) {
    TMemoryStream stream;
    StreamWriter bytes(stream);
    XmlTextWriter xml(bytes);
    xml.SetQuoteChar('\'');
    xml.WriteStartElement(name);
    hook(xml);
    xml.WriteEndElement();
    xml.Close();
    return stream.Data();
}

std::string DataType(const TColumnDescriptor& c, TProviderKind kind = TProviderKind::Generic) {
    return Element("s:datatype", [&](XmlTextWriter& xml) { RowsetHooksFor(kind).WriteColumnDataType(c, xml); });
}

std::string Attributes(const TColumnDescriptor& c, std::string_view alias,
                       TProviderKind kind = TProviderKind::Generic) {
    return Element("s:AttributeType",
                   [&](XmlTextWriter& xml) { RowsetHooksFor(kind).WriteColumnAttributes(c, xml, alias); });
}

// The column with one more flag set.
TColumnDescriptor With(bool TColumnDescriptor::*flag, TColumnDescriptor c) {
    c.*flag = true;
    return c;
}

TColumnDescriptor Fixed(TColumnDescriptor c) { return With(&TColumnDescriptor::Fixed, std::move(c)); }
TColumnDescriptor RequiredWritable(TColumnDescriptor c) { return With(&TColumnDescriptor::Required, std::move(c)); }
TColumnDescriptor ReadOnly(TColumnDescriptor c) { return With(&TColumnDescriptor::ReadOnly, std::move(c)); }
TColumnDescriptor AutoIncrement(TColumnDescriptor c) { return With(&TColumnDescriptor::IsAutoIncrement, std::move(c)); }

TEST(RowsetHooksTest, DataTypeAttributesOfEveryFieldType) {
    const struct {
        TColumnDescriptor Column;
        std::string Attributes;
    } cases[] = {
        {Col("v", F::Variant), "dt:type='string'"},
        {Fixed(Col("v", F::Variant)), "dt:type='string'"},  // never rs:fixedlength
        {Col("s", F::AnsiString, 20), "dt:type='string' dt:maxLength='20' rs:dbtype='str'"},
        {Col("s", F::AnsiStringLong, 40), "dt:type='string' dt:maxLength='40' rs:dbtype='str'"},
        {Fixed(Col("s", F::AnsiString, 10)),
         "dt:type='string' dt:maxLength='10' rs:dbtype='str' rs:fixedlength='true'"},
        {Fixed(Col("s", F::FixedAnsiChar, 10)),
         "dt:type='string' dt:maxLength='10' rs:dbtype='str' rs:fixedlength='true'"},
        {Col("w", F::WideString, 30), "dt:type='string' dt:maxLength='30'"},
        {Col("w", F::WideStringLong, 100), "dt:type='string' dt:maxLength='100'"},
        {Fixed(Col("w", F::FixedWideChar, 8)), "dt:type='string' dt:maxLength='8' rs:fixedlength='true'"},
        {Col("m", F::Memo), "dt:type='string' dt:maxLength='2147483647' rs:dbtype='str' rs:long='true'"},
        {Fixed(Col("m", F::Memo)),
         "dt:type='string' dt:maxLength='2147483647' rs:dbtype='str' rs:fixedlength='true'"},
        {Col("m", F::WideMemo), "dt:type='string' dt:maxLength='2147483647' rs:long='true'"},
        {Col("i", F::Int8, 3), "dt:type='i1' dt:maxLength='2' rs:precision='3'"},
        {Col("i", F::Int16), "dt:type='i2' dt:maxLength='2' rs:precision='5'"},
        {Col("i", F::Int32), "dt:type='int' dt:maxLength='4' rs:precision='10'"},
        {Col("i", F::Int64), "dt:type='i8' dt:maxLength='8' rs:precision='19'"},
        {Col("u", F::UInt8, 3), "dt:type='ui1' dt:maxLength='2' rs:precision='3'"},
        {Col("u", F::UInt16, 5), "dt:type='ui2' dt:maxLength='2' rs:precision='5'"},
        {Col("u", F::UInt32, 10), "dt:type='ui4' dt:maxLength='4' rs:precision='10'"},
        {Col("u", F::UInt64, 20), "dt:type='ui8' dt:maxLength='8' rs:precision='19'"},
        {Col("f", F::Single, 7), "dt:type='r4' dt:maxLength='4' rs:precision='7'"},
        {Col("f", F::Single), "dt:type='r4' dt:maxLength='4' rs:precision='0'"},
        {Col("f", F::Single, 8), "dt:type='float' dt:maxLength='4' rs:precision='8'"},
        {Col("f", F::Double, 15), "dt:type='float' dt:maxLength='8' rs:precision='15'"},
        {Col("f", F::Double), "dt:type='float' dt:maxLength='8' rs:precision='0'"},
        {Col("f", F::Extended, 19), "dt:type='float' dt:maxLength='10' rs:precision='19'"},
        {Col("c", F::Currency, 19), "dt:type='number' rs:dbtype='currency' dt:maxLength='8' rs:precision='19'"},
        {Col("c", F::Bcd, 10), "dt:type='number' rs:dbtype='currency' dt:maxLength='8' rs:precision='10'"},
        {Col("n", F::FmtBcd, 18, 4),
         "dt:type='number' rs:dbtype='numeric' dt:maxLength='34' rs:scale='4' rs:precision='18'"},
        {Col("d", F::Date), "dt:type='date' dt:maxLength='8' rs:scale='0' rs:precision='0'"},
        {Col("t", F::Time, 8, 3), "dt:type='time' dt:maxLength='8' rs:scale='3' rs:precision='8'"},
        {Col("d", F::DateTime),
         "dt:type='datetime' rs:dbtype='variantdate' dt:maxLength='8' rs:scale='0' rs:precision='0'"},
        {Col("d", F::TimeStamp, 23, 3),
         "dt:type='datetime' rs:dbtype='timestamp' dt:maxLength='16' rs:scale='3' rs:precision='23'"},
        {Col("b", F::Boolean), "dt:type='boolean' dt:maxLength='2'"},
        {Col("x", F::Bytes, 16), "dt:type='bin.hex' dt:maxLength='16'"},
        {Fixed(Col("x", F::Bytes, 16)), "dt:type='bin.hex' dt:maxLength='16' rs:fixedlength='true'"},
        {Col("x", F::VarBytes, 50), "dt:type='bin.hex' dt:maxLength='50'"},
        {Col("x", F::VarBytesLong, 100), "dt:type='bin.hex' dt:maxLength='100'"},
        {Col("x", F::Blob), "dt:type='bin.hex' dt:maxLength='2147483647' rs:long='true'"},
        {Fixed(Col("x", F::Blob)), "dt:type='bin.hex' dt:maxLength='2147483647' rs:fixedlength='true'"},
        {Col("g", F::Guid), "dt:type='uuid' dt:maxLength='38'"},
        // rs:maybenull for a required column that can be written, and only then.
        {RequiredWritable(Col("i", F::Int32)),
         "dt:type='int' dt:maxLength='4' rs:precision='10' rs:maybenull='false'"},
        {RequiredWritable(Col("v", F::Variant)), "dt:type='string' rs:maybenull='false'"},
        {ReadOnly(RequiredWritable(Col("i", F::Int32))), "dt:type='int' dt:maxLength='4' rs:precision='10'"},
        {AutoIncrement(Col("i", F::Int32)), "dt:type='int' dt:maxLength='4' rs:precision='10'"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DataType(c.Column), "<s:datatype " + c.Attributes + " />") << FieldTypeName(c.Column.DataType);
}

TEST(RowsetHooksTest, SQLServerAddsMaybeNullOnceForAutoIncrementColumns) {
    const TProviderKind sql = TProviderKind::SQLServer;
    const struct {
        TColumnDescriptor Column;
        std::string Attributes;
    } cases[] = {
        {Col("i", F::Int32), "dt:type='int' dt:maxLength='4' rs:precision='10'"},
        {AutoIncrement(Col("i", F::Int32)), "dt:type='int' dt:maxLength='4' rs:precision='10' rs:maybenull='false'"},
        {AutoIncrement(RequiredWritable(Col("i", F::Int32))),
         "dt:type='int' dt:maxLength='4' rs:precision='10' rs:maybenull='false'"},
        {AutoIncrement(ReadOnly(RequiredWritable(Col("i", F::Int32)))),
         "dt:type='int' dt:maxLength='4' rs:precision='10' rs:maybenull='false'"},
        {AutoIncrement(ReadOnly(Col("i", F::Int64))),
         "dt:type='i8' dt:maxLength='8' rs:precision='19' rs:maybenull='false'"},
        // SQL Server reports one byte for its tinyint.
        {Col("t", F::UInt8, 3, 0, sql), "dt:type='ui1' dt:maxLength='1' rs:precision='3'"},
        {Fixed(AutoIncrement(Col("x", F::Bytes, 8))),
         "dt:type='bin.hex' dt:maxLength='8' rs:fixedlength='true' rs:maybenull='false'"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DataType(c.Column, sql), "<s:datatype " + c.Attributes + " />") << FieldTypeName(c.Column.DataType);
}

TEST(RowsetHooksTest, UnsupportedTypesRaiseBeforeWritingAnything) {
    for (const F type : {F::TimeStampOffset, F::Object, F::Reference, F::Array, F::Table, F::Cursor, F::Xml,
                         F::Unknown}) {
        for (const TProviderKind kind : {TProviderKind::Generic, TProviderKind::SQLServer}) {
            TMemoryStream stream;
            StreamWriter bytes(stream);
            XmlTextWriter xml(bytes);
            xml.WriteStartElement("s:datatype");
            TColumnDescriptor c = AutoIncrement(RequiredWritable(Fixed(Col("x", type))));
            try {
                RowsetHooksFor(kind).WriteColumnDataType(c, xml);
                ADD_FAILURE() << FieldTypeName(type) << " was written";
            } catch (const Exception& e) {
                EXPECT_EQ(e.Message(), "Data type is not supported") << FieldTypeName(type);
            }
            EXPECT_EQ(xml.WriteState(), XmlWriteState::wsElement) << FieldTypeName(type);
            xml.Close();
            EXPECT_EQ(stream.Data(), "<s:datatype") << FieldTypeName(type);
        }
    }
}

TEST(RowsetHooksTest, ColumnAttributesInOrderUnderTheirConditions) {
    TColumnDescriptor full = Col("Customer Name", F::Int32);
    full.FieldNo = 12;
    full.ActualName = "NAME";
    full.IsKey = true;
    full.IsAutoIncrement = true;
    full.TableName = "CUSTOMER";
    full.BaseCatalogName = "crm";
    full.BaseSchemaName = "dbo";
    full.IsTimestamp = true;
    TColumnDescriptor plain = Col("ID", F::Int32);
    plain.FieldNo = 1;
    TColumnDescriptor special = Col("a&b", F::Int32);
    special.FieldNo = 2;
    special.TableName = "O'Brien <co>";
    const struct {
        const char* Name;
        TColumnDescriptor Column;
        std::string Alias;
        std::string Attributes;
    } cases[] = {
        {"nullable and writable", plain, "", "name='ID' rs:number='1' rs:nullable='true' rs:writeunknown='true'"},
        {"required", RequiredWritable(plain), "", "name='ID' rs:number='1' rs:writeunknown='true'"},
        {"read only", ReadOnly(plain), "", "name='ID' rs:number='1'"},
        {"required and read only", ReadOnly(RequiredWritable(plain)), "", "name='ID' rs:number='1'"},
        {"every origin attribute", full, "c3",
         "name='c3' rs:name='Customer Name' rs:number='12' rs:nullable='true' rs:writeunknown='true'"
         " rs:basecolumn='NAME' rs:keycolumn='true' rs:autoincrement='true' rs:basetable='CUSTOMER'"},
        {"escaped values", special, "c1",
         "name='c1' rs:name='a&#x26;b' rs:number='2' rs:nullable='true' rs:writeunknown='true'"
         " rs:basetable='O&#x27;Brien &#x3c;co&#x3e;'"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Attributes(c.Column, c.Alias), "<s:AttributeType " + c.Attributes + " />") << c.Name;
}

TEST(RowsetHooksTest, SQLServerAddsCatalogSchemaAndRowVersionLast) {
    TColumnDescriptor c = Col("ts", F::Bytes, 8);
    c.FieldNo = 4;
    c.ReadOnly = true;
    c.TableName = "ORDERS";
    c.BaseCatalogName = "crm";
    c.BaseSchemaName = "dbo";
    c.IsTimestamp = true;
    EXPECT_EQ(Attributes(c, "", TProviderKind::SQLServer),
              "<s:AttributeType name='ts' rs:number='4' rs:basetable='ORDERS' rs:basecatalog='crm'"
              " rs:baseschema='dbo' rs:rowver='true' />");
    c.BaseCatalogName.clear();
    c.IsTimestamp = false;
    EXPECT_EQ(Attributes(c, "", TProviderKind::SQLServer),
              "<s:AttributeType name='ts' rs:number='4' rs:basetable='ORDERS' rs:baseschema='dbo' />");
}

TEST(RowsetHooksTest, OnlySQLServerResultsGetTheSQLServerHooks) {
    for (const TProviderKind kind :
         {TProviderKind::Generic, TProviderKind::InterBase, TProviderKind::SQLite, TProviderKind::PostgreSQL,
          TProviderKind::ODBC, TProviderKind::SQLServer, TProviderKind::Access, TProviderKind::Virtual}) {
        const bool sqlServer = dynamic_cast<const TSQLServerRowsetHooks*>(&RowsetHooksFor(kind)) != nullptr;
        EXPECT_EQ(sqlServer, kind == TProviderKind::SQLServer) << static_cast<int>(kind);
    }
}

}  // namespace
