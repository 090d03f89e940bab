#include "OdbcColumns.h"

#include <algorithm>

#include "DateTimeText.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "platform/TextUtils.h"

namespace iqo {

namespace {

// SQL Server's own types, as its drivers report them.
constexpr SQLSMALLINT kSsVariant = -150;
constexpr SQLSMALLINT kSsXml = -152;
constexpr SQLSMALLINT kSsTime2 = -154;
constexpr SQLSMALLINT kSsTimeStampOffset = -155;
// The declared length from which a variable text or byte column is a long one.
constexpr SQLLEN kLongLength = 32;
// The piece size of SQLGetData for text and binary values.
constexpr size_t kPieceBytes = 16384;

std::string TextAttribute(const TOdbcHandle& statement, SQLUSMALLINT column, SQLUSMALLINT field) {
    SQLWCHAR buffer[512];
    SQLSMALLINT bytes = 0;
    if (!SQL_SUCCEEDED(SQLColAttributeW(statement.Get(), column, field, buffer, sizeof buffer, &bytes, nullptr)))
        return {};
    return FromOdbcText(buffer, std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(bytes, 0)), sizeof buffer - sizeof(SQLWCHAR)));
}

SQLLEN NumberAttribute(const TOdbcHandle& statement, SQLUSMALLINT column, SQLUSMALLINT field) {
    SQLLEN value = 0;
    if (!SQL_SUCCEEDED(SQLColAttributeW(statement.Get(), column, field, nullptr, 0, nullptr, &value))) return 0;
    return value;
}

uint16_t Clip(SQLLEN value) { return static_cast<uint16_t>(std::clamp<SQLLEN>(value, 0, 65535)); }

void SetText(TColumnDescriptor& d, SQLLEN length, bool wide, bool fixed) {
    using F = TFieldType;
    if (length <= 0) {
        d.DataType = wide ? F::WideMemo : F::Memo;
        return;
    }
    if (length < kLongLength) d.DataType = wide ? F::WideString : F::AnsiString;
    else d.DataType = wide ? F::WideStringLong : F::AnsiStringLong;
    d.Length = Clip(length);
    d.Fixed = fixed;
}

void SetBytes(TColumnDescriptor& d, SQLLEN length, bool fixed) {
    using F = TFieldType;
    if (length <= 0) {
        d.DataType = F::Blob;
        return;
    }
    d.DataType = fixed ? F::Bytes : length < kLongLength ? F::VarBytes : F::VarBytesLong;
    d.Length = Clip(length);
    d.Fixed = fixed;
}

void MapType(SQLSMALLINT type, SQLLEN size, SQLLEN digits, bool isUnsigned, TColumnDescriptor& d) {
    using F = TFieldType;
    switch (type) {
        case SQL_TINYINT: d.DataType = isUnsigned ? F::UInt8 : F::Int8; d.Length = 3; break;
        case SQL_SMALLINT: d.DataType = isUnsigned ? F::UInt16 : F::Int16; d.Length = isUnsigned ? 5 : 0; break;
        case SQL_INTEGER: d.DataType = isUnsigned ? F::UInt32 : F::Int32; d.Length = isUnsigned ? 10 : 0; break;
        case SQL_BIGINT: d.DataType = isUnsigned ? F::UInt64 : F::Int64; break;
        case SQL_REAL: d.DataType = F::Single; break;
        case SQL_FLOAT: case SQL_DOUBLE: d.DataType = F::Double; break;
        case SQL_NUMERIC: case SQL_DECIMAL:
            d.DataType = F::Double;
            d.Length = Clip(size);
            d.Scale = Clip(digits);
            break;
        case SQL_BIT: d.DataType = F::Boolean; break;
        case SQL_TYPE_DATE: case SQL_DATE: d.DataType = F::Date; break;
        case SQL_TYPE_TIME: case SQL_TIME: case kSsTime2: d.DataType = F::Time; break;
        case SQL_TYPE_TIMESTAMP: case SQL_TIMESTAMP: case kSsTimeStampOffset: d.DataType = F::DateTime; break;
        case SQL_CHAR: SetText(d, size, false, true); break;
        case SQL_VARCHAR: SetText(d, size, false, false); break;
        case SQL_LONGVARCHAR: d.DataType = F::Memo; break;
        case SQL_WCHAR: SetText(d, size, true, true); break;
        case SQL_WVARCHAR: SetText(d, size, true, false); break;
        case SQL_WLONGVARCHAR: case kSsXml: d.DataType = F::WideMemo; break;
        case SQL_BINARY: SetBytes(d, size, true); break;
        case SQL_VARBINARY: SetBytes(d, size, false); break;
        case SQL_LONGVARBINARY: d.DataType = F::Blob; break;
        case SQL_GUID: d.DataType = F::Guid; d.Length = 38; break;
        case kSsVariant: d.DataType = F::Variant; break;
        // Any other type (intervals, driver types): the driver's text form.
        default: d.DataType = F::WideMemo; break;
    }
}

}  // namespace

TOdbcColumn DescribeOdbcColumn(const TOdbcHandle& statement, SQLUSMALLINT column, TProviderKind kind) {
    TOdbcColumn c;
    TColumnDescriptor& d = c.Descriptor;
    // SQLDescribeCol gives the concise type, which some drivers (SQLite's) misreport as a
    // column attribute.
    SQLWCHAR name[256];
    SQLSMALLINT nameLength = 0, digits = 0, nullable = SQL_NULLABLE_UNKNOWN;
    SQLULEN size = 0;
    statement.Check(SQLDescribeColW(statement.Get(), column, name, static_cast<SQLSMALLINT>(sizeof name / sizeof name[0]),
                                    &nameLength, &c.SqlType, &size, &digits, &nullable),
                    "Describing a column");
    d.Name = FromOdbcText(name, std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(nameLength, 0)),
                                                 sizeof name / sizeof name[0] - 1) * sizeof(SQLWCHAR));
    const auto columnSize = static_cast<SQLLEN>(std::min<SQLULEN>(size, 1u << 30));
    MapType(c.SqlType, columnSize, digits, NumberAttribute(statement, column, SQL_DESC_UNSIGNED) == SQL_TRUE, d);
    d.TableName = TextAttribute(statement, column, SQL_DESC_BASE_TABLE_NAME);
    if (d.TableName.empty()) d.TableName = TextAttribute(statement, column, SQL_DESC_TABLE_NAME);
    if (!d.TableName.empty()) {
        d.ActualName = TextAttribute(statement, column, SQL_DESC_BASE_COLUMN_NAME);
        // Drivers differ in which of the two ways they tell it.
        d.Required = nullable == SQL_NO_NULLS || NumberAttribute(statement, column, SQL_DESC_NULLABLE) == SQL_NO_NULLS;
        c.Catalog = TextAttribute(statement, column, SQL_DESC_CATALOG_NAME);
        c.Schema = TextAttribute(statement, column, SQL_DESC_SCHEMA_NAME);
    }
    d.IsAutoIncrement = NumberAttribute(statement, column, SQL_DESC_AUTO_UNIQUE_VALUE) == SQL_TRUE;
    if (kind == TProviderKind::SQLServer) {
        d.BaseCatalogName = c.Catalog;
        d.BaseSchemaName = c.Schema;
        // A rowversion column is binary(8) by the name "timestamp".
        const std::string typeName = TextAttribute(statement, column, SQL_DESC_TYPE_NAME);
        d.IsTimestamp = SameText(typeName, "timestamp") || SameText(typeName, "rowversion");
    }
    return c;
}

TOdbcRowReader::TOdbcRowReader(const std::vector<TOdbcColumn>& columns) {
    for (const auto& c : columns) {
        TColumnReader reader;
        reader.Name = c.Descriptor.Name;
        switch (c.Descriptor.DataType) {
            using F = TFieldType;
            case F::UInt64: reader.Kind = TKind::Unsigned; break;
            case F::Boolean: reader.Kind = TKind::Boolean; break;
            case F::Date: reader.Kind = TKind::Date; break;
            case F::Time: reader.Kind = TKind::Time; break;
            case F::DateTime: reader.Kind = c.SqlType == kSsTimeStampOffset ? TKind::DateTimeText : TKind::DateTime; break;
            case F::Guid: reader.Kind = TKind::Guid; break;
            default:
                switch (StorageClassOf(c.Descriptor.DataType)) {
                    case TStorageClass::Integer: reader.Kind = TKind::Integer; break;
                    case TStorageClass::Float: reader.Kind = TKind::Float; break;
                    case TStorageClass::Text: reader.Kind = TKind::Text; break;
                    case TStorageClass::Bytes: reader.Kind = TKind::Bytes; break;
                    default: reader.Kind = TKind::None; break;
                }
        }
        FColumns.push_back(std::move(reader));
    }
}

void TOdbcRowReader::Read(const TOdbcHandle& statement, TRowStore& rows) const {
    TRowStore::TRowBuilder row(rows);
    for (;;) {
        const SQLRETURN rc = SQLFetch(statement.Get());
        if (rc == SQL_NO_DATA) break;
        statement.Check(rc, "Fetching a row");
        row.Clear();
        for (size_t i = 0; i < FColumns.size(); ++i) ReadValue(statement, FColumns[i], i, row);
        rows.Append(row);
    }
}

namespace {

// A fixed-size value; false when it is NULL.
template <typename T>
bool GetFixed(const TOdbcHandle& statement, size_t column, SQLSMALLINT cType, T& value) {
    SQLLEN indicator = 0;
    statement.Check(SQLGetData(statement.Get(), static_cast<SQLUSMALLINT>(column + 1), cType, &value, sizeof value, &indicator),
                    "Reading a value");
    return indicator != SQL_NULL_DATA;
}

// A text (SQL_C_WCHAR, as UTF-16) or binary value read in pieces; false when it is NULL.
bool GetLong(const TOdbcHandle& statement, size_t column, SQLSMALLINT cType, std::string& value) {
    const size_t terminator = cType == SQL_C_WCHAR ? sizeof(SQLWCHAR) : 0;
    char piece[kPieceBytes];
    value.clear();
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc =
            SQLGetData(statement.Get(), static_cast<SQLUSMALLINT>(column + 1), cType, piece, sizeof piece, &indicator);
        if (rc == SQL_NO_DATA) return true;
        statement.Check(rc, "Reading a value");
        if (indicator == SQL_NULL_DATA) return false;
        const size_t room = sizeof piece - terminator;
        const bool whole = indicator != SQL_NO_TOTAL && static_cast<size_t>(indicator) <= room;
        value.append(piece, whole ? static_cast<size_t>(indicator) : room);
        if (rc == SQL_SUCCESS || whole) return true;
    }
}

}  // namespace

void TOdbcRowReader::ReadValue(const TOdbcHandle& statement, const TColumnReader& reader, size_t column,
                               TRowStore::TRowBuilder& row) const {
    auto outOfRange = [&]() { return Exception("Column " + reader.Name + " holds a date or time outside the years 1 to 9999"); };
    switch (reader.Kind) {
        case TKind::Integer: {
            SQLBIGINT value = 0;
            if (GetFixed(statement, column, SQL_C_SBIGINT, value)) row.SetInteger(column, value);
            break;
        }
        case TKind::Unsigned: {
            SQLUBIGINT value = 0;
            if (GetFixed(statement, column, SQL_C_UBIGINT, value)) row.SetInteger(column, static_cast<int64_t>(value));
            break;
        }
        case TKind::Float: {
            SQLDOUBLE value = 0;
            if (GetFixed(statement, column, SQL_C_DOUBLE, value)) row.SetFloat(column, value);
            break;
        }
        case TKind::Boolean: {
            SQLCHAR value = 0;
            if (GetFixed(statement, column, SQL_C_BIT, value)) row.SetInteger(column, value ? 1 : 0);
            break;
        }
        case TKind::Date: {
            SQL_DATE_STRUCT value{};
            if (!GetFixed(statement, column, SQL_C_TYPE_DATE, value)) break;
            const auto serial = DateTimeSerialOf(value.year, value.month, value.day, 0, 0, 0, 0);
            if (!serial) throw outOfRange();
            row.SetFloat(column, *serial);
            break;
        }
        case TKind::Time: {
            SQL_TIME_STRUCT value{};
            if (!GetFixed(statement, column, SQL_C_TYPE_TIME, value)) break;
            const auto serial = TimeSerialOf(value.hour, value.minute, value.second, 0);
            if (!serial) throw outOfRange();
            row.SetFloat(column, *serial);
            break;
        }
        case TKind::DateTime: {
            SQL_TIMESTAMP_STRUCT value{};
            if (!GetFixed(statement, column, SQL_C_TYPE_TIMESTAMP, value)) break;
            const auto serial = DateTimeSerialOf(value.year, value.month, value.day, value.hour, value.minute,
                                                 value.second, static_cast<int>(std::min<SQLUINTEGER>((value.fraction + 500) / 1000, 999999)));
            if (!serial) throw outOfRange();
            row.SetFloat(column, *serial);
            break;
        }
        case TKind::DateTimeText: {
            std::string text;
            if (!GetLong(statement, column, SQL_C_WCHAR, text)) break;
            const auto serial = DateTimeSerialOfText(Trim(Utf16LeBytesToUtf8(text)));
            if (!serial) throw outOfRange();
            row.SetFloat(column, *serial);
            break;
        }
        case TKind::Text: case TKind::Guid: {
            std::string text;
            if (!GetLong(statement, column, SQL_C_WCHAR, text)) break;
            std::string value = Utf16LeBytesToUtf8(text);
            if (reader.Kind == TKind::Guid) {
                value = UpperCaseAscii(Trim(value));
                if (value.empty() || value.front() != '{') value = "{" + value + "}";
            }
            row.SetBytes(column, value);
            break;
        }
        case TKind::Bytes: {
            std::string& bytes = row.BytesBuffer(column);
            if (!GetLong(statement, column, SQL_C_BINARY, bytes)) row.SetNull(column);
            break;
        }
        case TKind::None: break;
    }
}

}  // namespace iqo
