#include "PostgreSQLColumns.h"

#include <algorithm>
#include <charconv>

#include "DateTimeText.h"
#include "platform/Exception.h"
#include "platform/TextUtils.h"

namespace iqo {

namespace {

// Type oids of the built-in types (pg_type.dat).
enum : Oid {
    kBool = 16, kBytea = 17, kChar = 18, kName = 19, kInt8 = 20, kInt2 = 21, kInt4 = 23, kText = 25, kOid = 26,
    kJson = 114, kXml = 142, kFloat4 = 700, kFloat8 = 701, kBpChar = 1042, kVarChar = 1043, kDate = 1082,
    kTime = 1083, kTimeStamp = 1114, kTimeStampTz = 1184, kTimeTz = 1266, kNumeric = 1700, kUuid = 2950,
    kJsonb = 3802
};

// The declared length from which a text column is a long one.
constexpr int kLongLength = 32;
// The length of the name type, without its terminator.
constexpr int kNameLength = 63;
// Type modifiers carry a header of four bytes.
constexpr int kModifierHeader = 4;

uint16_t Clip(int value) { return static_cast<uint16_t>(std::clamp(value, 0, 65535)); }

void SetText(TColumnDescriptor& d, int length, bool fixed) {
    if (length <= 0) {
        d.DataType = TFieldType::Memo;
        return;
    }
    d.DataType = length < kLongLength ? TFieldType::AnsiString : TFieldType::AnsiStringLong;
    d.Length = Clip(length);
    d.Fixed = fixed;
}

void MapType(Oid type, int modifier, TColumnDescriptor& d) {
    using F = TFieldType;
    switch (type) {
        case kInt2: d.DataType = F::Int16; break;
        case kInt4: d.DataType = F::Int32; break;
        case kInt8: case kOid: d.DataType = F::Int64; break;
        case kFloat4: d.DataType = F::Single; break;
        case kFloat8: d.DataType = F::Double; break;
        case kNumeric:
            d.DataType = F::Double;
            if (modifier >= kModifierHeader) {
                d.Length = Clip(((modifier - kModifierHeader) >> 16) & 0xFFFF);
                d.Scale = Clip((modifier - kModifierHeader) & 0xFFFF);
            }
            break;
        case kBool: d.DataType = F::Boolean; break;
        case kBpChar: SetText(d, modifier >= kModifierHeader ? modifier - kModifierHeader : 0, true); break;
        case kVarChar: SetText(d, modifier >= kModifierHeader ? modifier - kModifierHeader : 0, false); break;
        case kChar: SetText(d, 1, true); break;
        case kName: SetText(d, kNameLength, false); break;
        case kDate: d.DataType = F::Date; break;
        case kTime: case kTimeTz: d.DataType = F::Time; break;
        case kTimeStamp: case kTimeStampTz: d.DataType = F::DateTime; break;
        case kBytea: d.DataType = F::Blob; break;
        case kUuid: d.DataType = F::Guid; d.Length = 38; break;
        // text, json, jsonb, xml and every other type: the server's text form.
        default: d.DataType = F::Memo; break;
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

TColumnDescriptor DescribePostgreSQLColumn(const PGresult* description, int column, const TPgBaseColumn* base) {
    TColumnDescriptor d;
    d.Name = PQfname(description, column);
    MapType(PQftype(description, column), PQfmod(description, column), d);
    if (base) {
        d.TableName = base->Table;
        d.ActualName = base->Column;
        d.Required = base->NotNull;
        d.IsKey = base->IsKey;
        d.IsAutoIncrement = base->IsAutoIncrement;
    }
    return d;
}

TPostgreSQLRowReader::TPostgreSQLRowReader(const PGresult* description, const std::vector<TColumnDescriptor>& columns) {
    for (size_t i = 0; i < columns.size(); ++i) {
        TColumnReader reader;
        reader.Name = columns[i].Name;
        const Oid type = PQftype(description, static_cast<int>(i));
        switch (StorageClassOf(columns[i].DataType)) {
            case TStorageClass::Integer: reader.Kind = type == kBool ? TKind::Boolean : TKind::Integer; break;
            case TStorageClass::Float: reader.Kind = TKind::Float; break;
            case TStorageClass::DateTime: reader.Kind = TKind::DateTime; break;
            case TStorageClass::Bytes: reader.Kind = TKind::Bytea; break;
            default: reader.Kind = type == kUuid ? TKind::Guid : TKind::Text; break;
        }
        FColumns.push_back(std::move(reader));
    }
}

void TPostgreSQLRowReader::Read(const PGresult* result, TRowStore& rows) const {
    TRowStore::TRowBuilder row(rows);
    const int count = PQntuples(result);
    for (int r = 0; r < count; ++r) {
        row.Clear();
        for (size_t i = 0; i < FColumns.size(); ++i) {
            const int c = static_cast<int>(i);
            if (PQgetisnull(result, r, c)) continue;
            ReadValue(FColumns[i], std::string_view(PQgetvalue(result, r, c), static_cast<size_t>(PQgetlength(result, r, c))),
                      i, row);
        }
        rows.Append(row);
    }
}

void TPostgreSQLRowReader::ReadValue(const TColumnReader& reader, std::string_view text, size_t column,
                                     TRowStore::TRowBuilder& row) const {
    auto unreadable = [&](const char* what) {
        return Exception("Column " + reader.Name + " holds '" + std::string(text.substr(0, 100)) + "', which is not " + what);
    };
    const char* end = text.data() + text.size();
    switch (reader.Kind) {
        case TKind::Integer: {
            int64_t value = 0;
            if (std::from_chars(text.data(), end, value).ptr != end) throw unreadable("an integer");
            row.SetInteger(column, value);
            break;
        }
        case TKind::Float: {
            double value = 0;
            if (std::from_chars(text.data(), end, value).ptr != end) throw unreadable("a number");
            row.SetFloat(column, value);
            break;
        }
        case TKind::Boolean: row.SetInteger(column, text == "t" ? 1 : 0); break;
        case TKind::DateTime: {
            const auto value = DateTimeSerialOfText(text);
            if (!value) throw unreadable("a date or time between the years 1 and 9999");
            row.SetFloat(column, *value);
            break;
        }
        case TKind::Bytea: {
            // The connection asks for the hex form: "\x" and two digits per byte.
            if (text.size() < 2 || text[0] != '\\' || text[1] != 'x' || text.size() % 2 != 0)
                throw unreadable("bytea in hex form");
            std::string& bytes = row.BytesBuffer(column);
            bytes.clear();
            bytes.reserve(text.size() / 2);
            for (size_t i = 2; i < text.size(); i += 2) {
                const int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
                if (high < 0 || low < 0) throw unreadable("bytea in hex form");
                bytes += static_cast<char>(high * 16 + low);
            }
            break;
        }
        case TKind::Guid: row.SetBytes(column, "{" + UpperCaseAscii(text) + "}"); break;
        case TKind::Text: row.SetBytes(column, text); break;
    }
}

}  // namespace iqo
