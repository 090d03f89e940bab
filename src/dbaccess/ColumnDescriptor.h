#pragma once

#include <cstdint>
#include <string>

#include "FieldTypes.h"

namespace iqo {

// What a result set tells about one of its columns.
struct TColumnDescriptor {
    std::string Name;            // unique within the result set
    uint16_t FieldNo = 0;        // 1-based position
    TFieldType DataType = TFieldType::Unknown;
    uint16_t Length = 0;         // characters of text, bytes of binary, precision of numbers and dates
    uint16_t Scale = 0;          // digits after the decimal point
    int32_t Size = 0;            // bytes of the stored value (FieldValueSize)
    bool Fixed = false;          // CHAR(n), BINARY(n)
    bool Required = false;       // a base-table column declared NOT NULL
    bool ReadOnly = false;       // not a column of the result's updating table
    std::string ActualName;      // the base column, when known
    bool IsKey = false;          // part of its table's primary key
    bool IsAutoIncrement = false;
    std::string TableName;       // the base table, when known
    TFieldKind FieldKind = TFieldKind::fkData;
    // SQL Server result sets only.
    std::string BaseCatalogName;
    std::string BaseSchemaName;
    bool IsTimestamp = false;

    bool IsBlob() const { return IsBlobType(DataType); }
};

}  // namespace iqo
