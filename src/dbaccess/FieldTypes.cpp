#include "FieldTypes.h"

namespace iqo {

TStorageClass StorageClassOf(TFieldType t) {
    using F = TFieldType;
    switch (t) {
        case F::Int8: case F::Int16: case F::Int32: case F::Int64:
        case F::UInt8: case F::UInt16: case F::UInt32: case F::UInt64:
        case F::Boolean:
            return TStorageClass::Integer;
        case F::Single: case F::Double: case F::Extended:
            return TStorageClass::Float;
        case F::Currency: case F::Bcd:
            return TStorageClass::Currency;
        case F::Date: case F::Time: case F::DateTime: case F::TimeStamp: case F::TimeStampOffset:
            return TStorageClass::DateTime;
        case F::FmtBcd:
            return TStorageClass::Decimal;
        case F::AnsiString: case F::AnsiStringLong: case F::WideString: case F::WideStringLong:
        case F::FixedAnsiChar: case F::FixedWideChar: case F::Memo: case F::WideMemo:
        case F::Guid: case F::Variant: case F::Xml:
            return TStorageClass::Text;
        case F::Bytes: case F::VarBytes: case F::VarBytesLong: case F::Blob:
            return TStorageClass::Bytes;
        default:
            return TStorageClass::None;
    }
}

const char* FieldTypeName(TFieldType t) {
    static const char* const kNames[] = {
        "Unknown", "AnsiString", "AnsiStringLong", "WideString", "WideStringLong", "FixedAnsiChar", "FixedWideChar",
        "Int8", "Int16", "Int32", "Int64", "UInt8", "UInt16", "UInt32", "UInt64",
        "Single", "Double", "Extended", "Currency", "Bcd", "FmtBcd",
        "Date", "Time", "DateTime", "TimeStamp", "TimeStampOffset", "Boolean",
        "Bytes", "VarBytes", "VarBytesLong", "Blob", "Memo", "WideMemo",
        "Variant", "Object", "Reference", "Array", "Table", "Guid", "Cursor", "Xml"};
    return kNames[static_cast<int>(t)];
}

bool IsTextType(TFieldType t) { return t >= TFieldType::AnsiString && t <= TFieldType::FixedWideChar; }
bool IsIntegerType(TFieldType t) { return t >= TFieldType::Int8 && t <= TFieldType::UInt64; }
bool IsBlobType(TFieldType t) { return t == TFieldType::Memo || t == TFieldType::WideMemo || t == TFieldType::Blob; }

int32_t FieldValueSize(TFieldType t, int length, TProviderKind provider) {
    using F = TFieldType;
    const bool odbcBased = provider == TProviderKind::SQLServer || provider == TProviderKind::ODBC ||
                           provider == TProviderKind::Access;
    switch (t) {
        case F::Int8: case F::UInt8: return odbcBased ? 1 : 2;
        case F::Int16: case F::UInt16: case F::Boolean: return 2;
        case F::Int32: case F::UInt32: case F::Single: return 4;
        case F::Int64: case F::UInt64: case F::Double: case F::Currency: case F::Bcd:
        case F::Date: case F::Time: case F::DateTime: return 8;
        case F::Extended: return 10;
        case F::TimeStamp: return 16;
        case F::FmtBcd: return 34;
        case F::AnsiString: case F::FixedAnsiChar: return length + 3;
        case F::WideString: case F::FixedWideChar: return 2 * length + 4;
        case F::Bytes: return length + 2;
        case F::VarBytes: return length + (provider == TProviderKind::InterBase ? 3 : 2);
        case F::AnsiStringLong: case F::WideStringLong: case F::VarBytesLong: return 6;
        default: return 4;
    }
}

}  // namespace iqo
