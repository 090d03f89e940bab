#include "RowsetHooks.h"

#include <charconv>
#include <cstring>

#include "NumberFormat.h"
#include "platform/DateTime.h"
#include "platform/Exception.h"
#include "platform/TextUtils.h"

namespace iqo {

namespace {

using F = TFieldType;

constexpr std::string_view kLongMaxLength = "2147483647";

[[noreturn]] void NotSupported() { throw Exception("Data type is not supported"); }

void WriteNumber(XmlTextWriter& writer, std::string_view name, int64_t value) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    writer.WriteAttributeString(name, std::string_view(buf, static_cast<size_t>(r.ptr - buf)));
}

bool Writable(const TColumnDescriptor& c) { return !c.ReadOnly; }
bool RequiredAndWritable(const TColumnDescriptor& c) { return c.Required && Writable(c); }

// Two digits of a value from 0 to 99.
void PutTwoDigits(char* p, int value) {
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    std::memcpy(p, kPairs + 2 * value, 2);
}

// "hh:nn:ss" at p.
void PutTime(char* p, const TDateTimeParts& t) {
    PutTwoDigits(p, t.Hour);
    p[2] = ':';
    PutTwoDigits(p + 3, t.Minute);
    p[5] = ':';
    PutTwoDigits(p + 6, t.Second);
}

// The date, then "T" and the time when withTime is set. A year outside 0..9999 is written
// as "%4d" writes it, blanks turned into "0".
void AppendDateTime(std::string& out, const TDateTimeParts& t, bool withTime) {
    char text[19];
    size_t length = 0;
    if (t.Year >= 0 && t.Year <= 9999) {
        PutTwoDigits(text, t.Year / 100);
        PutTwoDigits(text + 2, t.Year % 100);
        length = 4;
    } else {
        AppendZeroPadded(out, t.Year, 4);
    }
    text[length] = '-';
    PutTwoDigits(text + length + 1, t.Month);
    text[length + 3] = '-';
    PutTwoDigits(text + length + 4, t.Day);
    length += 6;
    if (withTime) {
        text[length] = 'T';
        PutTime(text + length + 1, t);
        length += 9;
    }
    out.append(text, length);
}

template <typename TInteger>
void AppendInteger(std::string& out, TInteger value) {
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, static_cast<size_t>(r.ptr - digits));
}

void AppendHex(std::string& out, std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const size_t start = out.size();
    out.resize(start + 2 * bytes.size());
    char* p = out.data() + start;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *p++ = kHex[b >> 4];
        *p++ = kHex[b & 15];
    }
}

// A Guid in its 38-character form: upper case, in braces.
void AppendGuid(std::string& out, std::string_view text) {
    const bool braced = !text.empty() && text.front() == '{';
    if (!braced) out += '{';
    out += UpperCaseAscii(text);
    if (!braced) out += '}';
}

}  // namespace

void TRowsetHooks::WriteColumnAttributes(const TColumnDescriptor& c, XmlTextWriter& writer,
                                         std::string_view alias) const {
    writer.WriteAttributeString("name", alias.empty() ? std::string_view(c.Name) : alias);
    if (!alias.empty()) writer.WriteAttributeString("rs:name", c.Name);
    WriteNumber(writer, "rs:number", c.FieldNo);
    if (!c.Required && Writable(c)) writer.WriteAttributeString("rs:nullable", "true");
    if (Writable(c)) writer.WriteAttributeString("rs:writeunknown", "true");
    if (!c.ActualName.empty()) writer.WriteAttributeString("rs:basecolumn", c.ActualName);
    if (c.IsKey) writer.WriteAttributeString("rs:keycolumn", "true");
    if (c.IsAutoIncrement) writer.WriteAttributeString("rs:autoincrement", "true");
    if (!c.TableName.empty()) writer.WriteAttributeString("rs:basetable", c.TableName);
}

void TRowsetHooks::WriteColumnDataType(const TColumnDescriptor& c, XmlTextWriter& writer) const {
    const auto type = [&](std::string_view name) { writer.WriteAttributeString("dt:type", name); };
    const auto dbType = [&](std::string_view name) { writer.WriteAttributeString("rs:dbtype", name); };
    const auto maxLength = [&](int64_t value) { WriteNumber(writer, "dt:maxLength", value); };
    const auto precision = [&](int64_t value) { WriteNumber(writer, "rs:precision", value); };
    const auto scale = [&] { WriteNumber(writer, "rs:scale", c.Scale); };
    const auto longMaxLength = [&] {
        writer.WriteAttributeString("dt:maxLength", kLongMaxLength);
    };
    const auto longUnlessFixed = [&] {
        if (!c.Fixed) writer.WriteAttributeString("rs:long", "true");
    };
    switch (c.DataType) {
        case F::Variant: type("string"); break;
        case F::AnsiString: case F::AnsiStringLong: case F::FixedAnsiChar:
            type("string"); maxLength(c.Length); dbType("str"); break;
        case F::WideString: case F::WideStringLong: case F::FixedWideChar:
            type("string"); maxLength(c.Length); break;
        case F::Memo: type("string"); longMaxLength(); dbType("str"); longUnlessFixed(); break;
        case F::WideMemo: type("string"); longMaxLength(); longUnlessFixed(); break;
        case F::Int8: type("i1"); maxLength(c.Size); precision(c.Length); break;
        case F::Int16: type("i2"); maxLength(c.Size); precision(5); break;
        case F::Int32: type("int"); maxLength(c.Size); precision(10); break;
        case F::Int64: type("i8"); maxLength(c.Size); precision(19); break;
        case F::UInt8: type("ui1"); maxLength(c.Size); precision(c.Length); break;
        case F::UInt16: type("ui2"); maxLength(c.Size); precision(c.Length); break;
        case F::UInt32: type("ui4"); maxLength(c.Size); precision(c.Length); break;
        case F::UInt64: type("ui8"); maxLength(c.Size); precision(19); break;
        case F::Single: case F::Double: case F::Extended:
            if (c.Length > 7 || c.Size > 4) {
                type("float"); maxLength(c.Size);
            } else {
                type("r4"); maxLength(4);
            }
            precision(c.Length);
            break;
        case F::Currency: case F::Bcd:
            type("number"); dbType("currency"); maxLength(c.Size); precision(c.Length); break;
        case F::FmtBcd: type("number"); dbType("numeric"); maxLength(c.Size); scale(); precision(c.Length); break;
        case F::Date: type("date"); maxLength(c.Size); scale(); precision(c.Length); break;
        case F::Time: type("time"); maxLength(c.Size); scale(); precision(c.Length); break;
        case F::DateTime:
            type("datetime"); dbType("variantdate"); maxLength(c.Size); scale(); precision(c.Length); break;
        case F::TimeStamp:
            type("datetime"); dbType("timestamp"); maxLength(c.Size); scale(); precision(c.Length); break;
        case F::Boolean: type("boolean"); maxLength(c.Size); break;
        case F::Bytes: case F::VarBytes: case F::VarBytesLong: type("bin.hex"); maxLength(c.Length); break;
        case F::Blob: type("bin.hex"); longMaxLength(); longUnlessFixed(); break;
        case F::Guid: type("uuid"); maxLength(38); break;
        default: NotSupported();
    }
    if (c.DataType != F::Variant && c.Fixed) writer.WriteAttributeString("rs:fixedlength", "true");
    if (RequiredAndWritable(c)) writer.WriteAttributeString("rs:maybenull", "false");
}

TValueText TRowsetHooks::GetColumnValueText(const TDataSet& dataSet, size_t index, const TColumnDescriptor& c,
                                            std::string& buffer) const {
    buffer.clear();
    switch (c.DataType) {
        case F::Int8: case F::Int16: case F::Int32: case F::Int64:
        case F::UInt8: case F::UInt16: case F::UInt32:
            AppendInteger(buffer, dataSet.AsInteger(index));
            break;
        // Held by its bits in the signed reading: written unsigned.
        case F::UInt64: AppendInteger(buffer, static_cast<uint64_t>(dataSet.AsInteger(index))); break;
        case F::Boolean: return {dataSet.AsInteger(index) != 0 ? "True" : "False", false};
        case F::Single: case F::Extended:
            if (c.Length == 0 && c.Scale == 0)
                AppendGeneralNumber(buffer, dataSet.AsFloat(index), 15, 0);
            else
                AppendGeneralNumber(buffer, dataSet.AsFloat(index), c.Length, c.Scale);
            break;
        case F::Double:
            if (c.Scale == 0)
                AppendGeneralNumber(buffer, dataSet.AsFloat(index), 15, 0);
            else
                AppendFixedNumber(buffer, dataSet.AsFloat(index), c.Length, c.Scale);
            break;
        case F::Currency: case F::Bcd: AppendCurrency(buffer, dataSet.AsInteger(index)); break;
        case F::FmtBcd:
            // The data layer keeps decimals as exact text; anything else it might hold is
            // written as it is, escaped.
            if (!AppendExactDecimal(buffer, dataSet.AsBytes(index))) return {dataSet.AsBytes(index), true};
            break;
        case F::Date: AppendDateTime(buffer, DecodeDateTime(dataSet.AsFloat(index)), false); break;
        case F::Time: {
            char text[8];
            PutTime(text, DecodeDateTime(dataSet.AsFloat(index)));
            buffer.append(text, sizeof text);
            break;
        }
        case F::DateTime: case F::TimeStamp:
            AppendDateTime(buffer, DecodeDateTime(dataSet.AsFloat(index)), true);
            break;
        case F::Bytes: case F::VarBytes: case F::VarBytesLong: case F::Blob:
            AppendHex(buffer, dataSet.AsBytes(index));
            break;
        case F::AnsiString: case F::AnsiStringLong: case F::WideString: case F::WideStringLong:
        case F::FixedAnsiChar: case F::FixedWideChar: case F::Memo: case F::WideMemo: case F::Variant:
            return {dataSet.AsBytes(index), true};
        case F::Guid: AppendGuid(buffer, dataSet.AsBytes(index)); return {buffer, true};
        default: NotSupported();
    }
    return {buffer, false};
}

void TSQLServerRowsetHooks::WriteColumnAttributes(const TColumnDescriptor& c, XmlTextWriter& writer,
                                                  std::string_view alias) const {
    TRowsetHooks::WriteColumnAttributes(c, writer, alias);
    if (!c.BaseCatalogName.empty()) writer.WriteAttributeString("rs:basecatalog", c.BaseCatalogName);
    if (!c.BaseSchemaName.empty()) writer.WriteAttributeString("rs:baseschema", c.BaseSchemaName);
    if (c.IsTimestamp) writer.WriteAttributeString("rs:rowver", "true");
}

void TSQLServerRowsetHooks::WriteColumnDataType(const TColumnDescriptor& c, XmlTextWriter& writer) const {
    TRowsetHooks::WriteColumnDataType(c, writer);
    // Only when the general rule has not written it already.
    if (c.IsAutoIncrement && !RequiredAndWritable(c)) writer.WriteAttributeString("rs:maybenull", "false");
}

const TRowsetHooks& RowsetHooksFor(TProviderKind kind) {
    static const TRowsetHooks kGeneral;
    static const TSQLServerRowsetHooks kSQLServer;
    return kind == TProviderKind::SQLServer ? static_cast<const TRowsetHooks&>(kSQLServer) : kGeneral;
}

}  // namespace iqo
