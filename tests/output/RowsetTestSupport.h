#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dbaccess/MemDataSet.h"
#include "output/RowsetWriter.h"
#include "output/Stream.h"
#include "platform/DateTime.h"

// A column descriptor with the value size the data layer reports for it.
inline iqo::TColumnDescriptor Col(std::string name, iqo::TFieldType type, uint16_t length = 0, uint16_t scale = 0,
                                  iqo::TProviderKind kind = iqo::TProviderKind::Generic) {
    iqo::TColumnDescriptor c;
    c.Name = std::move(name);
    c.DataType = type;
    c.Length = length;
    c.Scale = scale;
    c.Size = iqo::FieldValueSize(type, length, kind);
    return c;
}

// A result set of the columns, numbered from 1.
inline std::unique_ptr<iqo::TMemDataSet> MakeDataSet(std::vector<iqo::TColumnDescriptor> columns,
                                                      iqo::TProviderKind kind = iqo::TProviderKind::Generic) {
    for (size_t i = 0; i < columns.size(); ++i) columns[i].FieldNo = static_cast<uint16_t>(i + 1);
    return std::make_unique<iqo::TMemDataSet>(std::move(columns), kind);
}

// The result set of the customer example: ID, "Customer Name" and CREATED of table CUSTOMER,
// two rows, the second with a NULL name.
inline std::unique_ptr<iqo::TMemDataSet> CustomerDataSet() {
    using iqo::TFieldType;
    auto id = Col("ID", TFieldType::Int32, 0, 0, iqo::TProviderKind::InterBase);
    id.Required = true;
    id.IsKey = true;
    id.ActualName = "ID";
    auto name = Col("Customer Name", TFieldType::AnsiStringLong, 40, 0, iqo::TProviderKind::InterBase);
    name.ActualName = "NAME";
    auto created = Col("CREATED", TFieldType::DateTime, 0, 0, iqo::TProviderKind::InterBase);
    created.ActualName = "CREATED";
    for (auto* c : {&id, &name, &created}) c->TableName = "CUSTOMER";
    auto ds = MakeDataSet({id, name, created}, iqo::TProviderKind::InterBase);
    auto row = ds->NewRow();
    row.SetInteger(0, 1);
    row.SetBytes(1, "Smith & Sons");
    row.SetFloat(2, iqo::EncodeDateTime(2024, 2, 13, 14, 5, 9, 0));
    ds->AppendRow(row);
    row.Clear();
    row.SetInteger(0, 2);
    row.SetFloat(2, iqo::EncodeDateTime(2024, 3, 1, 8, 0, 0, 0));
    ds->AppendRow(row);
    return ds;
}

inline std::string SaveToString(iqo::TDataSet& dataSet) {
    iqo::TMemoryStream stream;
    iqo::SaveToXML(dataSet, stream);
    return stream.Data();
}

// The fixed parts of every document.
inline const std::string kDocumentHead =
    "<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882' xmlns:dt='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882'"
    " xmlns:rs='urn:schemas-microsoft-com:rowset' xmlns:z='#RowsetSchema'>\r\n"
    "  <s:Schema id='RowsetSchema'>\r\n"
    "    <s:ElementType name='row' content='eltOnly' rs:updatable='true'>";
inline const std::string kSchemaEnd =
    "\r\n      <s:extends type='rs:rowbase' />\r\n    </s:ElementType>\r\n  </s:Schema>\r  <rs:data>";
inline const std::string kDocumentEnd = "\r  </rs:data>\r\n</xml>";

// The text between two markers of a document (empty when they are missing).
inline std::string Between(const std::string& doc, const std::string& from, const std::string& to) {
    const size_t start = doc.find(from);
    if (start == std::string::npos) return {};
    const size_t end = doc.find(to, start + from.size());
    if (end == std::string::npos) return {};
    return doc.substr(start + from.size(), end - start - from.size());
}

// The s:AttributeType elements of a document, and its row elements.
inline std::string SchemaColumns(const std::string& doc) { return Between(doc, kDocumentHead, kSchemaEnd); }
inline std::string DataRows(const std::string& doc) { return Between(doc, kSchemaEnd, kDocumentEnd); }
