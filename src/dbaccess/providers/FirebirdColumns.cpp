#include "FirebirdColumns.h"

#include <cmath>
#include <cstring>
#include <string_view>

namespace iqo {

namespace {

constexpr int kCharsetOctets = 1;
constexpr int kCharsetUnicodeFss = 3;
constexpr int kCharsetUtf8 = 4;
// The declared length from which a variable text or byte column is a long one.
constexpr int kLongLength = 32;
// ISC_DATE counts days from 17 November 1858; day serials count from 30 December 1899.
constexpr int kSerialZeroDate = 15018;
// ISC_TIME counts ten-thousandths of a second.
constexpr double kTimeUnitsPerDay = 864000000.0;

int BaseType(const XSQLVAR& column) { return column.sqltype & ~1; }

int Charset(const XSQLVAR& column) { return column.sqlsubtype & 0xFF; }

// Bytes per character of the character sets a UTF8 connection delivers text in.
int BytesPerCharacter(int charset) {
    switch (charset) {
        case kCharsetUtf8: return 4;
        case kCharsetUnicodeFss: return 3;
        default: return 1;
    }
}

uint16_t Characters(const XSQLVAR& column) {
    return static_cast<uint16_t>(static_cast<unsigned short>(column.sqllen) / BytesPerCharacter(Charset(column)));
}

// The precision of a NUMERIC or DECIMAL that the catalog does not give: what its storage holds.
int StoragePrecision(int type) {
    switch (type) {
        case SQL_SHORT: return 4;
        case SQL_LONG: return 9;
        case SQL_DOUBLE: return 15;
        default: return 18;
    }
}

bool IsExactNumeric(const XSQLVAR& column) {
    const int type = BaseType(column);
    if (type == SQL_DOUBLE) return column.sqlscale < 0;  // a dialect 1 NUMERIC
    return (type == SQL_SHORT || type == SQL_LONG || type == SQL_INT64) &&
           (column.sqlscale < 0 || column.sqlsubtype == 1 || column.sqlsubtype == 2);
}

TFieldType FieldTypeOf(const XSQLVAR& column) {
    using F = TFieldType;
    if (IsExactNumeric(column)) return F::Double;
    const bool octets = Charset(column) == kCharsetOctets;
    switch (BaseType(column)) {
        case SQL_SHORT: return F::Int16;
        case SQL_LONG: return F::Int32;
        case SQL_INT64: return F::Int64;
        case SQL_FLOAT: return F::Single;
        case SQL_DOUBLE: case SQL_D_FLOAT: return F::Double;
        case SQL_TYPE_DATE: return F::Date;
        case SQL_TYPE_TIME: return F::Time;
        case SQL_TIMESTAMP: return F::DateTime;
        case SQL_BOOLEAN: return F::Boolean;
        case SQL_TEXT: return octets ? F::Bytes : F::AnsiString;
        case SQL_VARYING:
            if (octets) return column.sqllen < kLongLength ? F::VarBytes : F::VarBytesLong;
            return Characters(column) < kLongLength ? F::AnsiString : F::AnsiStringLong;
        case SQL_BLOB: return column.sqlsubtype == 1 ? F::Memo : F::Blob;
        case SQL_ARRAY: return F::Array;
        default: return F::Unknown;
    }
}

// The characters of a CHAR(n) value: a UTF8 connection pads it with blanks to 4n bytes.
std::string_view FirstCharacters(std::string_view text, size_t count) {
    size_t seen = 0;
    for (size_t i = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && seen++ == count) return text.substr(0, i);
    return text;
}

template <typename T>
T Load(const char* data) {
    T value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

double DateSerial(ISC_DATE date) { return static_cast<double>(date - kSerialZeroDate); }

double TimeSerial(ISC_TIME time) { return time / kTimeUnitsPerDay; }

}  // namespace

TColumnDescriptor DescribeFirebirdColumn(const XSQLVAR& column, const TFbBaseColumn* base) {
    TColumnDescriptor d;
    d.Name.assign(column.aliasname, static_cast<size_t>(column.aliasname_length));
    d.DataType = FieldTypeOf(column);
    const int type = BaseType(column);
    if (IsExactNumeric(column)) {
        d.Length = static_cast<uint16_t>(base && base->Precision > 0 ? base->Precision : StoragePrecision(type));
        d.Scale = static_cast<uint16_t>(-column.sqlscale);
    } else if (type == SQL_TEXT || type == SQL_VARYING) {
        const bool octets = Charset(column) == kCharsetOctets;
        d.Length = octets ? static_cast<uint16_t>(column.sqllen) : Characters(column);
        d.Fixed = type == SQL_TEXT;
    }
    if (base) {
        d.ActualName.assign(column.sqlname, static_cast<size_t>(column.sqlname_length));
        d.TableName.assign(column.relname, static_cast<size_t>(column.relname_length));
        // An outer join makes a NOT NULL column nullable in the result.
        d.Required = base->NotNull && !(column.sqltype & 1);
        d.IsKey = base->IsKey;
        d.IsAutoIncrement = base->IsIdentity;
    }
    return d;
}

TFirebirdRowReader::TFirebirdRowReader(const TFbStatement& statement, const std::vector<TColumnDescriptor>& columns) {
    FColumns.resize(columns.size());
    for (size_t i = 0; i < columns.size(); ++i) {
        const XSQLVAR& column = statement.Column(i);
        TColumnReader& reader = FColumns[i];
        switch (BaseType(column)) {
            case SQL_SHORT: case SQL_LONG: case SQL_INT64:
                reader.Kind = IsExactNumeric(column) ? TKind::Scaled : TKind::Integer;
                reader.Divisor = std::pow(10.0, -column.sqlscale);
                break;
            case SQL_FLOAT: reader.Kind = TKind::Single; break;
            case SQL_DOUBLE: case SQL_D_FLOAT: reader.Kind = TKind::Double; break;
            case SQL_TYPE_DATE: reader.Kind = TKind::Date; break;
            case SQL_TYPE_TIME: reader.Kind = TKind::Time; break;
            case SQL_TIMESTAMP: reader.Kind = TKind::TimeStamp; break;
            case SQL_BOOLEAN: reader.Kind = TKind::Boolean; break;
            case SQL_TEXT:
                reader.Kind = BytesPerCharacter(Charset(column)) > 1 ? TKind::FixedText : TKind::Bytes;
                reader.Characters = columns[i].Length;
                break;
            case SQL_VARYING: reader.Kind = TKind::Bytes; break;
            case SQL_BLOB: reader.Kind = TKind::Blob; break;
            default: reader.Kind = TKind::None; break;
        }
    }
}

void TFirebirdRowReader::Read(TFbStatement& statement, TRowStore::TRowBuilder& row) const {
    for (size_t i = 0; i < FColumns.size(); ++i) {
        const TColumnReader& reader = FColumns[i];
        if (reader.Kind == TKind::None || statement.IsNull(i)) {
            row.SetNull(i);
            continue;
        }
        const char* data = statement.Data(i);
        switch (reader.Kind) {
            case TKind::Integer: row.SetInteger(i, statement.Integer(i)); break;
            // Division by an exact power of ten gives the double nearest to the decimal.
            case TKind::Scaled: row.SetFloat(i, static_cast<double>(statement.Integer(i)) / reader.Divisor); break;
            case TKind::Single: row.SetFloat(i, Load<float>(data)); break;
            case TKind::Double: row.SetFloat(i, Load<double>(data)); break;
            case TKind::Date: row.SetFloat(i, DateSerial(Load<ISC_DATE>(data))); break;
            case TKind::Time: row.SetFloat(i, TimeSerial(Load<ISC_TIME>(data))); break;
            case TKind::TimeStamp: {
                const auto stamp = Load<ISC_TIMESTAMP>(data);
                const double days = DateSerial(stamp.timestamp_date);
                const double time = TimeSerial(stamp.timestamp_time);
                row.SetFloat(i, days >= 0 ? days + time : days - time);
                break;
            }
            case TKind::Boolean: row.SetInteger(i, Load<FB_BOOLEAN>(data) ? 1 : 0); break;
            case TKind::FixedText: row.SetBytes(i, FirstCharacters(statement.Text(i), reader.Characters)); break;
            case TKind::Bytes: row.SetBytes(i, statement.Text(i)); break;
            case TKind::Blob: statement.ReadBlob(i, row.BytesBuffer(i)); break;
            case TKind::None: break;
        }
    }
}

}  // namespace iqo
