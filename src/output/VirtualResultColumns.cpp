#include "VirtualResultColumns.h"

#include <algorithm>
#include <map>
#include <string>

#include "dbaccess/DataSet.h"
#include "dbaccess/SQLiteColumnFlags.h"
#include "output/SQLNumberText.h"
#include "output/VirtualNames.h"
#include "platform/TextUtils.h"

namespace iqo {

namespace {

using F = TFieldType;

const std::map<std::string, F, std::less<>>& DeclaredTypeNames() {
    static const std::map<std::string, F, std::less<>> names = {
        {"VARCHAR", F::AnsiString}, {"CHAR", F::AnsiString}, {"EXTVARCHAR", F::AnsiStringLong},
        {"WVARCHAR", F::WideString}, {"WCHAR", F::WideString}, {"EXTWVARCHAR", F::WideStringLong},
        {"TINYINT", F::Int8}, {"SMALLINT", F::Int16}, {"INTEGER", F::Int32}, {"BIGINT", F::Int64},
        {"BYTE", F::UInt8}, {"WORD", F::UInt16}, {"LONGWORD", F::UInt32}, {"UBIGINT", F::UInt64},
        {"REAL", F::Single}, {"FLOAT", F::Double}, {"DOUBLE", F::Double}, {"NUMERIC", F::Double},
        {"EXTENDED", F::Extended}, {"MONEY", F::Currency}, {"CURRENCY", F::Currency}, {"BCD", F::Bcd},
        {"FMTBCD", F::FmtBcd}, {"DATE", F::Date}, {"TIME", F::Time}, {"DATETIME", F::DateTime},
        {"TIMESTAMP", F::TimeStamp}, {"TIMESTAMPOFFSET", F::TimeStampOffset}, {"BOOLEAN", F::Boolean},
        {"BYTES", F::Bytes}, {"VARBYTES", F::VarBytes}, {"EXTVARBYTES", F::VarBytesLong}, {"BLOB", F::Blob},
        {"TEXT", F::Memo}, {"WTEXT", F::WideMemo}, {"OBJECT", F::Object}, {"ARRAY", F::Array},
        {"ATABLE", F::Table}, {"GUID", F::Guid}, {"CURSOR", F::Cursor}, {"XML", F::Xml},
    };
    return names;
}

int NumberOrAbsent(std::string_view text) {
    const auto n = TryReadInt64(text);
    return n && *n >= 0 && *n <= INT32_MAX ? static_cast<int>(*n) : -1;
}

uint16_t Clamp16(int value) { return static_cast<uint16_t>(std::clamp(value, 0, 65535)); }

// How many bytes one character of the host's 8-bit code page takes at most: Windows-1252.
constexpr int kAnsiCharBytes = 1;

TDeclaredType FromStorageClass(int storage) {
    TDeclaredType t;
    switch (storage) {
        case SQLITE_INTEGER: t.DataType = F::Int64; break;
        case SQLITE_FLOAT: t.DataType = F::Double; break;
        case SQLITE_TEXT: t.DataType = F::AnsiString; break;
        case SQLITE_BLOB: t.DataType = F::Blob; break;
        default: break;
    }
    return t;
}

}  // namespace

TDeclaredType ReadDeclaredType(std::string_view declared, const TSpecificTypeRegistry& specificTypes) {
    std::string text;
    for (const char c : UpperCaseAscii(declared))
        if (c != '"' && c != '\'' && c != '`') text += c;
    int a = -1, b = -1;
    const size_t open = text.find('(');
    if (open != std::string::npos) {
        const size_t close = text.find(')', open);
        const std::string inside = text.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
        const size_t comma = inside.find(',');
        a = NumberOrAbsent(inside.substr(0, comma));
        if (comma != std::string::npos) b = NumberOrAbsent(inside.substr(comma + 1));
        text.erase(open);
    }
    const std::string name = Trim(text);
    TDeclaredType t;
    t.Length = a;
    t.Scale = b;
    if (b < 0 && (name == "TIME" || name == "DATETIME" || name == "TIMESTAMP")) {
        t.Length = -1;
        t.Scale = a;
    }
    const auto& names = DeclaredTypeNames();
    if (const auto it = names.find(name); it != names.end()) {
        t.DataType = it->second;
        t.Fixed = name == "CHAR" || name == "WCHAR";
    } else if (const TSpecificTypeDesc* specific = specificTypes.Find(name)) {
        t.DataType = specific->FDataType;
        t.Length = specific->FLength;
        t.Scale = specific->FScale;
    }
    return t;
}

void SettleResultColumnType(TColumnDescriptor& column, const TDeclaredType& declared, bool useUnicode) {
    F type = declared.DataType;
    int length = declared.Length;
    int scale = declared.Scale;
    if (type == F::Unknown) type = F::AnsiString;
    if (type == F::VarBytes && length < 1) type = F::Blob;
    if (type == F::AnsiString && (length > 8000 || length < 0)) type = F::Memo;
    if (useUnicode && type == F::AnsiString) type = F::WideString;
    if (useUnicode && type == F::Memo) type = F::WideMemo;

    length = std::max(length, 0);
    if (scale < 0) scale = type == F::TimeStamp ? 3 : 0;
    if (!useUnicode && (type == F::AnsiString || type == F::WideString || type == F::FixedAnsiChar || type == F::FixedWideChar))
        length *= kAnsiCharBytes;

    switch (type) {
        case F::FmtBcd:
            if (length > 32 || length < 1) length = 32;
            scale = std::min(scale, length);
            break;
        case F::Bcd:
            if (length > 18 || length < 1) length = 18;
            scale = std::min(scale, 4);
            break;
        case F::Guid: length = 38; break;
        default: break;
    }
    if ((type == F::AnsiString || type == F::WideString) && length < 1) length = 8192;
    if (type == F::AnsiString && length >= 32) type = F::AnsiStringLong;
    if (type == F::WideString && length >= 32) type = F::WideStringLong;
    if (type == F::VarBytes && length >= 32) type = F::VarBytesLong;

    column.DataType = type;
    column.Length = Clamp16(length);
    column.Scale = Clamp16(scale);
    column.Fixed = declared.Fixed;
    column.Size = FieldValueSize(type, column.Length, TProviderKind::Virtual);
}

std::vector<TColumnDescriptor> DescribeResultColumns(sqlite3* db, sqlite3_stmt* stmt, bool hasRow,
                                                     const TSpecificTypeRegistry& specificTypes, bool useUnicode) {
    const int count = sqlite3_column_count(stmt);
    std::vector<TColumnDescriptor> columns(static_cast<size_t>(count));
    std::string updatingTable;
    for (int i = 0; i < count; ++i) {
        TColumnDescriptor& c = columns[static_cast<size_t>(i)];
        const char* name = sqlite3_column_name(stmt, i);
        c.Name = name ? name : "";
        c.FieldNo = static_cast<uint16_t>(i + 1);
        const char* origin = sqlite3_column_origin_name(stmt, i);
        const char* table = sqlite3_column_table_name(stmt, i);
        c.ActualName = origin ? origin : "";
        const char* declared = nullptr;
        if (table) {
            c.TableName = NormalizeName(table);
            if (updatingTable.empty()) updatingTable = c.TableName;
            declared = ReadSQLiteColumnFlags(db, stmt, i, c);
        } else {
            declared = sqlite3_column_decltype(stmt, i);
        }
        TDeclaredType type;
        if (declared && *declared) type = ReadDeclaredType(declared, specificTypes);
        else if (!origin && hasRow) type = FromStorageClass(sqlite3_column_type(stmt, i));
        SettleResultColumnType(c, type, useUnicode);
        if (c.ActualName.empty()) c.ActualName = c.Name;
        c.ReadOnly = c.TableName.empty() || !SameText(c.TableName, updatingTable);
    }
    // A key of several columns is no autoincrement column.
    for (TColumnDescriptor& c : columns) {
        if (c.TableName.empty()) continue;
        const auto keys = std::count_if(columns.begin(), columns.end(), [&](const TColumnDescriptor& o) {
            return o.IsKey && SameText(o.TableName, c.TableName);
        });
        if (keys >= 2) c.IsAutoIncrement = false;
    }
    MakeColumnNamesUnique(columns);
    return columns;
}

}  // namespace iqo
