#include "VirtualValueImport.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "output/DateText.h"
#include "output/NumberFormat.h"
#include "platform/CodePage.h"
#include "platform/TextUtils.h"

namespace iqo {

namespace {

using F = TFieldType;

std::string_view TextOf(sqlite3_stmt* stmt, int i) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
    return text ? std::string_view(text, static_cast<size_t>(sqlite3_column_bytes(stmt, i))) : std::string_view();
}

std::string_view BlobOf(sqlite3_stmt* stmt, int i) {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, i));
    return bytes ? std::string_view(bytes, static_cast<size_t>(sqlite3_column_bytes(stmt, i))) : std::string_view();
}

// A scaled value in the 64-bit range, ties to even.
int64_t ScaledBy10000(sqlite3_stmt* stmt, int i) {
    constexpr double kLimit = 9223372036854775807.0;
    if (sqlite3_column_type(stmt, i) == SQLITE_INTEGER) {
        const int64_t v = sqlite3_column_int64(stmt, i);
        if (v <= INT64_MAX / 10000 && v >= INT64_MIN / 10000) return v * 10000;
    }
    const double scaled = std::nearbyint(sqlite3_column_double(stmt, i) * 10000);
    if (std::isnan(scaled)) return 0;
    if (scaled >= kLimit) return INT64_MAX;
    if (scaled <= -kLimit) return INT64_MIN;
    return static_cast<int64_t>(scaled);
}

// The engine's value as decimal text: the integer, the stored text, or the floating-point
// value in its general form (15 significant digits, written out without exponent).
std::string DecimalTextOf(sqlite3_stmt* stmt, int i) {
    switch (sqlite3_column_type(stmt, i)) {
        case SQLITE_INTEGER: return std::to_string(sqlite3_column_int64(stmt, i));
        case SQLITE_TEXT: return Trim(TextOf(stmt, i));
        default: {
            char general[64];
            std::snprintf(general, sizeof general, "%.15g", sqlite3_column_double(stmt, i));
            char fixed[512];
            const auto r = std::to_chars(fixed, fixed + sizeof fixed, std::strtod(general, nullptr), std::chars_format::fixed);
            return std::string(fixed, r.ptr);
        }
    }
}

int64_t WidthOf(F type, int value) {
    switch (type) {
        case F::Int8: return static_cast<int8_t>(value);
        case F::UInt8: return static_cast<uint8_t>(value);
        case F::Int16: return static_cast<int16_t>(value);
        case F::UInt16: return static_cast<uint16_t>(value);
        default: return value;
    }
}

}  // namespace

void TVirtualValueImporter::Import(sqlite3_stmt* stmt, TRowStore::TRowBuilder& row) {
    for (size_t column = 0; column < FColumns.size(); ++column) {
        const TColumnDescriptor& c = FColumns[column];
        const int i = static_cast<int>(column);
        if (sqlite3_column_type(stmt, i) == SQLITE_NULL) {
            row.SetNull(column);
            continue;
        }
        switch (c.DataType) {
            case F::AnsiString: case F::AnsiStringLong: case F::FixedAnsiChar: case F::Memo: {
                FAnsi = Utf8ToAnsi(TextOf(stmt, i));
                if (c.DataType != F::Memo && FAnsi.size() > c.Length) FAnsi.resize(c.Length);
                row.SetBytes(column, AnsiToUtf8(FAnsi));
                break;
            }
            case F::WideString: case F::WideStringLong: case F::FixedWideChar:
                row.SetBytes(column, Utf8Left(TextOf(stmt, i), c.Length));
                break;
            case F::Int8: case F::UInt8: case F::Int16: case F::UInt16: case F::Int32:
                row.SetInteger(column, WidthOf(c.DataType, sqlite3_column_int(stmt, i)));
                break;
            case F::Int64: case F::UInt32: case F::UInt64:
                row.SetInteger(column, sqlite3_column_int64(stmt, i));
                break;
            case F::Single: row.SetFloat(column, static_cast<float>(sqlite3_column_double(stmt, i))); break;
            case F::Double: row.SetFloat(column, sqlite3_column_double(stmt, i)); break;
            case F::Extended:
                row.SetFloat(column, sqlite3_column_type(stmt, i) == SQLITE_INTEGER
                                         ? static_cast<double>(sqlite3_column_int64(stmt, i))
                                         : sqlite3_column_double(stmt, i));
                break;
            case F::Currency: case F::Bcd: row.SetInteger(column, ScaledBy10000(stmt, i)); break;
            case F::FmtBcd: {
                const std::string text = DecimalTextOf(stmt, i);
                std::string& out = row.BytesBuffer(column);
                out.clear();
                if (!AppendExactDecimal(out, text)) throw EConvertError("'" + text + "' is not a valid BCD value");
                break;
            }
            case F::Date: case F::Time: case F::DateTime: case F::TimeStamp: case F::TimeStampOffset: {
                std::string_view text = TextOf(stmt, i);
                // The module writes a time stamp with offset as local time and a blank.
                if (c.DataType == F::TimeStampOffset) {
                    const size_t blank = text.find(' ', text.find(':'));
                    if (blank != std::string_view::npos) text = text.substr(0, blank);
                }
                const TDateTime value = DateTextToDateTime(text);
                if (c.DataType == F::Date) row.SetFloat(column, std::trunc(value));
                else if (c.DataType == F::Time) row.SetFloat(column, std::fabs(value - std::trunc(value)));
                else row.SetFloat(column, value);
                break;
            }
            case F::Boolean: row.SetInteger(column, sqlite3_column_int64(stmt, i) != 0 ? 1 : 0); break;
            case F::Bytes: case F::VarBytes: {
                const std::string_view bytes = BlobOf(stmt, i);
                row.SetBytes(column, bytes.substr(0, c.Length));
                break;
            }
            case F::VarBytesLong: case F::Blob: row.SetBytes(column, BlobOf(stmt, i)); break;
            default:
                if (StorageClassOf(c.DataType) == TStorageClass::Text) row.SetBytes(column, TextOf(stmt, i));
                else row.SetNull(column);
                break;
        }
    }
}

}  // namespace iqo
