#pragma once

#include <string>
#include <string_view>

#include "XmlTextWriter.h"
#include "dbaccess/DataSet.h"

namespace iqo {

// The text of one value of the current row, and whether the rowset writer must escape it.
// The text lives in the buffer given to GetColumnValueText or in the result set's row store.
struct TValueText {
    std::string_view Text;
    bool Escape = false;
};

// The per-column steps of the rowset writer that depend on the result set's provider.
class TRowsetHooks {
public:
    virtual ~TRowsetHooks() = default;

    // The attributes of s:AttributeType; alias is empty for a column known by its name.
    virtual void WriteColumnAttributes(const TColumnDescriptor& column, XmlTextWriter& writer,
                                       std::string_view alias) const;
    // The attributes of s:datatype. Raises "Data type is not supported" for a type the file
    // format has no form for, before writing anything.
    virtual void WriteColumnDataType(const TColumnDescriptor& column, XmlTextWriter& writer) const;
    // The value of the column on the current row, which is not NULL.
    virtual TValueText GetColumnValueText(const TDataSet& dataSet, size_t index, const TColumnDescriptor& column,
                                          std::string& buffer) const;
};

// SQL Server results: the base catalog, schema and row-version attributes, and
// rs:maybenull for auto-increment columns.
class TSQLServerRowsetHooks : public TRowsetHooks {
public:
    void WriteColumnAttributes(const TColumnDescriptor& column, XmlTextWriter& writer,
                               std::string_view alias) const override;
    void WriteColumnDataType(const TColumnDescriptor& column, XmlTextWriter& writer) const override;
};

// The hooks of a provider's result sets.
const TRowsetHooks& RowsetHooksFor(TProviderKind kind);

}  // namespace iqo
