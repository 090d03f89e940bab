#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace iqo {

// The value type of a result-set column.
enum class TFieldType {
    Unknown, AnsiString, AnsiStringLong, WideString, WideStringLong, FixedAnsiChar, FixedWideChar,
    Int8, Int16, Int32, Int64, UInt8, UInt16, UInt32, UInt64,
    Single, Double, Extended, Currency, Bcd, FmtBcd,
    Date, Time, DateTime, TimeStamp, TimeStampOffset, Boolean,
    Bytes, VarBytes, VarBytesLong, Blob, Memo, WideMemo,
    Variant, Object, Reference, Array, Table, Guid, Cursor, Xml
};

// Where the values of a column come from.
enum class TFieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc, fkAggregate };

// The product behind a result set: it decides a few value sizes and the SQL Server
// attributes of the rowset writer.
enum class TProviderKind { Generic, InterBase, SQLite, PostgreSQL, ODBC, SQLServer, Access, Virtual };

// How the row store keeps a value of the type.
enum class TStorageClass {
    Integer,   // int64: the integer types (UInt64 by its bits) and Boolean (0 or 1)
    Float,     // double: Single (its exact value), Double, Extended
    Currency,  // int64 holding the value times 10000: Currency, Bcd
    DateTime,  // double day serial: Date, Time, DateTime, TimeStamp, TimeStampOffset (local time)
    Decimal,   // exact decimal text ("-123.45"): FmtBcd
    Text,      // UTF-8: the string and memo types, Guid ("{...}"), Variant, Xml
    Bytes,     // raw bytes: Bytes, VarBytes, VarBytesLong, Blob
    None       // Unknown and the structured types: always NULL
};

TStorageClass StorageClassOf(TFieldType type);
const char* FieldTypeName(TFieldType type);
bool IsTextType(TFieldType type);     // AnsiString to FixedWideChar
bool IsIntegerType(TFieldType type);  // Int8 to UInt64
bool IsBlobType(TFieldType type);     // Memo, WideMemo, Blob

// The size of a stored value in bytes, as column descriptors report it.
int32_t FieldValueSize(TFieldType type, int length, TProviderKind provider);

}  // namespace iqo
