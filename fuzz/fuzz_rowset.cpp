// The rowset writer over a one-row result set of fuzzed columns and values, written to memory.
// The document is well-formed UTF-8 with its fixed frame; names and text values come back
// exactly from their escaped form; row attributes carry plain names (aliases for the others,
// never twice the same); integers, currency and exact decimals read back as the same value;
// a Single reads back as the same Single; the other floating-point forms keep the digits and
// the layout they promise and lie within half a unit of their last digit; dates name the
// instant to the second; a type the format lacks fails with "Data type is not supported".

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "dbaccess/MemDataSet.h"
#include "output/RowsetWriter.h"
#include "output/StreamWriter.h"
#include "platform/DateTime.h"
#include "platform/Exception.h"
#include "platform/TextUtils.h"

namespace {

using iqo::TFieldType;
using F = TFieldType;

constexpr int kTypeCount = static_cast<int>(F::Xml) + 1;
// The serials whose instants, rounded to the millisecond, lie from 2 January of year 1 to
// 30 December 9999: their texts have four-digit years.
constexpr double kFirstSerial = -693592;
constexpr double kLastSerial = 2958464;

bool Supported(F type) {
    switch (type) {
        case F::Unknown: case F::TimeStampOffset: case F::Object: case F::Reference: case F::Array:
        case F::Table: case F::Cursor: case F::Xml:
            return false;
        default:
            return true;
    }
}

bool Written(const iqo::TColumnDescriptor& c) {
    return c.FieldKind != iqo::TFieldKind::fkCalculated && c.FieldKind != iqo::TFieldKind::fkLookup;
}

bool IsPlain(std::string_view name) {
    if (name.empty()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        if (!letter && !(i > 0 && c >= '0' && c <= '9')) return false;
    }
    return true;
}

bool ValidUtf8(std::string_view s) { return iqo::WellFormedUtf8Length(s) == s.size(); }

// The text of an attribute value, every reference of the writer's escaping resolved; empty
// when the value holds a raw character that escaping must have replaced.
std::optional<std::string> Unescape(std::string_view v) {
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) {
        const char c = v[i];
        if (c == '\'' || c == '"' || c == '<' || c == '>') return std::nullopt;
        if (c != '&') {
            out += c;
            continue;
        }
        const std::string_view ref = v.substr(i, 6);
        if (ref == "&#x26;") out += '&';
        else if (ref == "&#x27;") out += '\'';
        else if (ref == "&#x22;") out += '"';
        else if (ref == "&#x3c;") out += '<';
        else if (ref == "&#x3e;") out += '>';
        else return std::nullopt;
        i += 5;
    }
    return out;
}

// The attributes of one element, in order, as name and raw value; empty when malformed.
struct TAttribute {
    std::string Name, Value;
};
std::optional<std::vector<TAttribute>> Attributes(std::string_view s) {
    std::vector<TAttribute> list;
    size_t i = 0;
    while (i < s.size()) {
        if (s[i] != ' ') return std::nullopt;
        const size_t eq = s.find("='", i);
        if (eq == std::string_view::npos) return std::nullopt;
        const size_t close = s.find('\'', eq + 2);
        if (close == std::string_view::npos) return std::nullopt;
        list.push_back({std::string(s.substr(i + 1, eq - i - 1)), std::string(s.substr(eq + 2, close - eq - 2))});
        i = close + 1;
    }
    return list;
}

const TAttribute* Find(const std::vector<TAttribute>& list, std::string_view name) {
    for (const TAttribute& a : list)
        if (a.Name == name) return &a;
    return nullptr;
}

// A decimal text in canonical form: sign only when not zero, no leading zeros, no trailing
// fraction zeros. Empty for a text that is not sign, digits, point and digits.
std::optional<std::string> CanonicalDecimal(std::string_view t) {
    const bool negative = !t.empty() && t[0] == '-';
    if (!t.empty() && (t[0] == '-' || t[0] == '+')) t.remove_prefix(1);
    const size_t point = t.find('.');
    std::string whole(t.substr(0, point));
    std::string fraction(point == std::string_view::npos ? std::string_view() : t.substr(point + 1));
    const auto digits = [](const std::string& s) { return s.find_first_not_of("0123456789") == std::string::npos; };
    if ((whole.empty() && fraction.empty()) || !digits(whole) || !digits(fraction)) return std::nullopt;
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
    fraction.erase(fraction.find_last_not_of('0') + 1);
    std::string out = (negative && !(whole.empty() && fraction.empty())) ? "-" : "";
    out += whole.empty() ? "0" : whole;
    if (!fraction.empty()) out += "." + fraction;
    return out;
}

// A number form: "-"? digits ("." digits)? ("E" "-"? digits)?; its significant digits, the
// decimal exponent E of its 0.ddd form, its decimals and its exponent digits.
struct TNumberText {
    bool Negative = false, Scientific = false;
    int Significant = 0, Exponent = 0, Decimals = 0, ExponentDigits = 0;
    long double Value = 0;
};
std::optional<TNumberText> ReadNumberText(const std::string& t) {
    TNumberText n;
    size_t i = 0;
    if (i < t.size() && t[i] == '-') n.Negative = true, ++i;
    std::string digits;
    int intDigits = 0;
    bool point = false;
    for (; i < t.size() && (std::isdigit(static_cast<unsigned char>(t[i])) || (t[i] == '.' && !point)); ++i) {
        if (t[i] == '.') {
            point = true;
            continue;
        }
        digits += t[i];
        (point ? n.Decimals : intDigits)++;
    }
    if (digits.empty() || (point && n.Decimals == 0)) return std::nullopt;
    int exponent = 0;
    if (i < t.size()) {
        if (t[i] != 'E') return std::nullopt;
        n.Scientific = true;
        ++i;
        const bool minus = i < t.size() && t[i] == '-';
        if (minus) ++i;
        const size_t start = i;
        for (; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])); ++i) exponent = exponent * 10 + (t[i] - '0');
        n.ExponentDigits = static_cast<int>(i - start);
        if (n.ExponentDigits == 0 || i != t.size() || n.ExponentDigits > 4) return std::nullopt;
        if (minus) exponent = -exponent;
    }
    const size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos) {
        n.Significant = 0;
        n.Exponent = 0;
    } else {
        const size_t last = digits.find_last_not_of('0');
        n.Significant = static_cast<int>(last - first + 1);
        n.Exponent = intDigits - static_cast<int>(first) + exponent;
    }
    n.Value = std::strtold(t.c_str(), nullptr);
    return n;
}

// The decimal exponent E of the 0.ddd form of a finite value that is not zero.
int DecimalExponent(double v) {
    char text[40];
    const auto r = std::to_chars(text, text + sizeof text, std::fabs(v), std::chars_format::scientific);
    const char* e = std::find(text, r.ptr, 'e');
    int exp10 = 0;
    std::from_chars(e + 1 + (e[1] == '+'), r.ptr, exp10);
    return exp10 + 1;
}

// Whether a number text (read as a long double) lies within half a unit of its last digit of
// the value; the reading itself may be off by two units of the long double's last bit.
bool WithinHalfUnit(long double text, double v, long double unit) {
    const long double exact = v;
    return std::fabs(text - exact) <= unit / 2 + std::fabs(exact) * 0x1p-62L;
}

void CheckNonFinite(const std::string& text, double v) {
    FUZZ_CHECK(text == (std::isnan(v) ? "NAN" : v < 0 ? "-INF" : "INF"), text);
}

// The general form with P significant digits and at least D exponent digits.
void CheckGeneral(const std::string& text, double v, int precision, int exponentDigits) {
    if (!std::isfinite(v)) return CheckNonFinite(text, v);
    const int p = std::clamp(precision, 2, 18);
    const auto n = ReadNumberText(text);
    FUZZ_CHECK(n, text);
    FUZZ_CHECK(n->Significant <= p, text);
    if (v == 0) {
        FUZZ_CHECK(text == "0", text);
        return;
    }
    FUZZ_CHECK(n->Negative == (v < 0) && n->Significant > 0, text);
    FUZZ_CHECK(n->Scientific == (n->Exponent > p || n->Exponent < -3), text);
    if (n->Scientific) {
        FUZZ_CHECK(n->ExponentDigits >= (exponentDigits > 4 ? 0 : exponentDigits), text);
        FUZZ_CHECK(text.find('.') == std::string::npos || text.find('.') == static_cast<size_t>(1 + n->Negative), text);
    }
    FUZZ_CHECK(WithinHalfUnit(n->Value, v, std::pow(10.0L, DecimalExponent(v) - p)), text);
}

// The fixed form with P significant digits and D decimals.
void CheckFixed(const std::string& text, double v, int precision, int decimals) {
    if (!std::isfinite(v)) return CheckNonFinite(text, v);
    const int p = std::clamp(precision, 2, 18);
    const int d = std::clamp(decimals, 0, 18);
    const auto n = ReadNumberText(text);
    FUZZ_CHECK(n, text);
    // A value too large for the precision takes the general form.
    if (n->Scientific) {
        FUZZ_CHECK(n->Exponent > p, text);
        return CheckGeneral(text, v, p, d);
    }
    FUZZ_CHECK(n->Exponent <= p && n->Decimals == d && n->Significant <= p, text);
    FUZZ_CHECK(!n->Negative || n->Significant > 0, text);
    FUZZ_CHECK(WithinHalfUnit(n->Value, v, v == 0 ? 0 : std::pow(10.0L, std::max(-d, DecimalExponent(v) - p))), text);
}

// "-"? digits ("." up to four digits, the last not 0)? as the value times 10000.
std::optional<__int128> ReadCurrency(const std::string& text) {
    const auto canonical = CanonicalDecimal(text);
    if (!canonical || *canonical != text) return std::nullopt;
    const size_t point = text.find('.');
    const size_t fraction = point == std::string::npos ? 0 : text.size() - point - 1;
    if (fraction > 4) return std::nullopt;
    __int128 v = 0;
    for (const char c : text)
        if (c >= '0' && c <= '9') v = v * 10 + (c - '0');
    for (size_t k = fraction; k < 4; ++k) v *= 10;
    return text[0] == '-' ? -v : v;
}

// "yyyy-mm-dd", "hh:nn:ss" or both with "T": the instant, given to the second, that the value
// rounded to the millisecond falls in.
void CheckDateText(const std::string& text, F type, double v) {
    if (!std::isfinite(v) || v < kFirstSerial || v > kLastSerial) return;
    const auto number = [&](size_t at, size_t count) {
        int value = 0;
        for (size_t k = at; k < at + count; ++k) {
            FUZZ_CHECK(k < text.size() && std::isdigit(static_cast<unsigned char>(text[k])), text);
            value = value * 10 + (text[k] - '0');
        }
        return value;
    };
    const int64_t ms = iqo::DateTimeToMilliseconds(v);
    const int64_t day = iqo::kMSecsPerDay;
    if (type == F::Time) {
        FUZZ_CHECK(text.size() == 8 && text[2] == ':' && text[5] == ':', text);
        const int64_t clock = (number(0, 2) * 3600 + number(3, 2) * 60 + number(6, 2)) * 1000LL;
        FUZZ_CHECK(clock == (ms % day + day) % day / 1000 * 1000, text);
        return;
    }
    const bool withTime = type != F::Date;
    FUZZ_CHECK(text.size() == (withTime ? 19u : 10u) && text[4] == '-' && text[7] == '-', text);
    iqo::TDateTimeParts parts;
    parts.Year = number(0, 4), parts.Month = number(5, 2), parts.Day = number(8, 2);
    if (withTime) {
        FUZZ_CHECK(text[10] == 'T' && text[13] == ':' && text[16] == ':', text);
        parts.Hour = number(11, 2), parts.Minute = number(14, 2), parts.Second = number(17, 2);
    } else {
        parts.Hour = parts.Minute = parts.Second = 0;
    }
    iqo::TDateTime named = 0;
    FUZZ_CHECK(iqo::TryEncodeDateTime(parts, named), text);
    const int64_t offset = ms - iqo::DateTimeToMilliseconds(named);
    FUZZ_CHECK(offset >= 0 && offset < (withTime ? 1000 : day), text);
}

std::string Hex(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes) {
        out += kHex[static_cast<unsigned char>(c) >> 4];
        out += kHex[static_cast<unsigned char>(c) & 15];
    }
    return out;
}

// One column's value as the writer must have written it.
void CheckValue(const iqo::TColumnDescriptor& c, const iqo::TMemDataSet& ds, size_t index, const std::string& raw) {
    const auto text = Unescape(raw);
    FUZZ_CHECK(text, "a raw special character in a value: " + raw);
    switch (c.DataType) {
        case F::Int8: case F::Int16: case F::Int32: case F::Int64: case F::UInt8: case F::UInt16: case F::UInt32: {
            int64_t back = 0;
            const auto r = std::from_chars(text->data(), text->data() + text->size(), back);
            FUZZ_CHECK(r.ec == std::errc() && r.ptr == text->data() + text->size() && back == ds.AsInteger(index),
                       *text);
            FUZZ_CHECK(*text == std::to_string(back), *text);
            break;
        }
        case F::UInt64: {
            uint64_t back = 0;
            const auto r = std::from_chars(text->data(), text->data() + text->size(), back);
            FUZZ_CHECK(r.ec == std::errc() && r.ptr == text->data() + text->size() &&
                           back == static_cast<uint64_t>(ds.AsInteger(index)),
                       *text);
            break;
        }
        case F::Boolean: FUZZ_CHECK(*text == (ds.AsInteger(index) != 0 ? "True" : "False"), *text); break;
        case F::Single: case F::Extended: {
            const double v = ds.AsFloat(index);
            if (c.Length == 0 && c.Scale == 0) {
                CheckGeneral(*text, v, 15, 0);
                if (c.DataType == F::Single && std::isfinite(v))
                    FUZZ_CHECK(std::strtof(text->c_str(), nullptr) == static_cast<float>(v), *text);
            } else {
                CheckGeneral(*text, v, c.Length, c.Scale);
            }
            break;
        }
        case F::Double:
            if (c.Scale == 0)
                CheckGeneral(*text, ds.AsFloat(index), 15, 0);
            else
                CheckFixed(*text, ds.AsFloat(index), c.Length, c.Scale);
            break;
        case F::Currency: case F::Bcd: {
            const auto back = ReadCurrency(*text);
            FUZZ_CHECK(back && *back == ds.AsInteger(index), *text);
            break;
        }
        case F::FmtBcd: {
            const auto canonical = CanonicalDecimal(ds.AsBytes(index));
            if (canonical)
                FUZZ_CHECK(*text == *canonical, *text);
            else if (ValidUtf8(ds.AsBytes(index)))
                FUZZ_CHECK(*text == ds.AsBytes(index), *text);
            break;
        }
        case F::Date: case F::Time: case F::DateTime: case F::TimeStamp:
            CheckDateText(*text, c.DataType, ds.AsFloat(index));
            break;
        case F::Bytes: case F::VarBytes: case F::VarBytesLong: case F::Blob:
            FUZZ_CHECK(*text == Hex(ds.AsBytes(index)), *text);
            break;
        case F::Guid: break;
        default:
            if (ValidUtf8(ds.AsBytes(index))) FUZZ_CHECK(*text == ds.AsBytes(index), *text);
            break;
    }
}

// A double of any bits, or, for dates, mostly one of the years the file can name.
double ConsumeDouble(FuzzedDataProvider& in, bool date) {
    if (date && in.ConsumeBool()) return in.ConsumeFloatingPointInRange<double>(kFirstSerial, kLastSerial);
    double v = 0;
    const std::string bits = in.ConsumeBytesAsString(sizeof v);
    std::memcpy(&v, bits.data(), bits.size());
    return v;
}

// A decimal text of up to 40 digits, mostly well-formed.
std::string ConsumeDecimal(FuzzedDataProvider& in) {
    if (in.ConsumeBool()) return in.ConsumeRandomLengthString(24);
    std::string s = in.ConsumeBool() ? "-" : "";
    s += std::string(in.ConsumeIntegralInRange<size_t>(0, 3), '0');
    for (size_t k = in.ConsumeIntegralInRange<size_t>(0, 20); k > 0; --k) s += static_cast<char>('0' + in.ConsumeIntegralInRange(0, 9));
    if (in.ConsumeBool()) {
        s += '.';
        for (size_t k = in.ConsumeIntegralInRange<size_t>(0, 20); k > 0; --k) s += static_cast<char>('0' + in.ConsumeIntegralInRange(0, 9));
    }
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const auto kind = in.ConsumeBool() ? iqo::TProviderKind::SQLServer : iqo::TProviderKind::Generic;
    std::vector<iqo::TColumnDescriptor> columns(in.ConsumeIntegralInRange<size_t>(1, 4));
    for (size_t i = 0; i < columns.size(); ++i) {
        iqo::TColumnDescriptor& c = columns[i];
        c.DataType = static_cast<F>(in.ConsumeIntegralInRange(0, kTypeCount - 1));
        c.Name = in.ConsumeRandomLengthString(12);
        c.FieldNo = static_cast<uint16_t>(i + 1);
        c.Length = in.ConsumeBool() ? in.ConsumeIntegral<uint16_t>() : in.ConsumeIntegralInRange<uint16_t>(0, 20);
        c.Scale = in.ConsumeBool() ? in.ConsumeIntegral<uint16_t>() : in.ConsumeIntegralInRange<uint16_t>(0, 6);
        c.Size = iqo::FieldValueSize(c.DataType, c.Length, kind);
        c.Fixed = in.ConsumeBool();
        c.Required = in.ConsumeBool();
        c.ReadOnly = in.ConsumeBool();
        c.IsKey = in.ConsumeBool();
        c.IsAutoIncrement = in.ConsumeBool();
        c.ActualName = in.ConsumeRandomLengthString(8);
        c.TableName = in.ConsumeRandomLengthString(8);
        c.FieldKind = static_cast<iqo::TFieldKind>(in.ConsumeIntegralInRange(0, 4));
    }
    iqo::MakeColumnNamesUnique(columns);
    iqo::TMemDataSet ds(columns, kind);
    auto row = ds.NewRow();
    for (size_t i = 0; i < columns.size(); ++i) {
        const F type = columns[i].DataType;
        if (in.ConsumeIntegralInRange(0, 7) == 0) continue;  // NULL
        switch (iqo::StorageClassOf(type)) {
            case iqo::TStorageClass::Integer:
                row.SetInteger(i, type == F::Boolean ? in.ConsumeBool() : in.ConsumeIntegral<int64_t>());
                break;
            case iqo::TStorageClass::Currency: row.SetInteger(i, in.ConsumeIntegral<int64_t>()); break;
            case iqo::TStorageClass::Float: {
                const double v = ConsumeDouble(in, false);
                row.SetFloat(i, type == F::Single ? static_cast<double>(static_cast<float>(v)) : v);
                break;
            }
            case iqo::TStorageClass::DateTime: row.SetFloat(i, ConsumeDouble(in, true)); break;
            case iqo::TStorageClass::Decimal: row.SetBytes(i, ConsumeDecimal(in)); break;
            case iqo::TStorageClass::Text:
            case iqo::TStorageClass::Bytes: row.SetBytes(i, in.ConsumeRandomLengthString(40)); break;
            case iqo::TStorageClass::None: break;
        }
    }
    ds.AppendRow(row);

    const bool supported = std::all_of(columns.begin(), columns.end(),
                                       [](const iqo::TColumnDescriptor& c) { return !Written(c) || Supported(c.DataType); });
    iqo::TMemoryStream stream;
    try {
        iqo::SaveToXML(ds, stream);
    } catch (const iqo::Exception& e) {
        FUZZ_CHECK(!supported && std::string(e.what()) == "Data type is not supported", e.what());
        return 0;
    }
    FUZZ_CHECK(supported, "a type the format lacks was written");
    FUZZ_CHECK(!ds.Active(), "the result set was left open");

    const std::string& doc = stream.Data();
    FUZZ_CHECK(ValidUtf8(doc), "the document is not well-formed UTF-8");
    const std::string head = "<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882'";
    const std::string tail = " />\r  </rs:data>\r\n</xml>";
    FUZZ_CHECK(doc.compare(0, head.size(), head) == 0, "the document head");
    FUZZ_CHECK(doc.size() > tail.size() && doc.compare(doc.size() - tail.size(), tail.size(), tail) == 0,
               "the document end");

    // The schema: one s:AttributeType per written column, its name or alias and rs:name.
    std::vector<std::string> attributeNames;
    std::vector<size_t> written;
    size_t at = 0;
    const std::string open = "\r\n      <s:AttributeType";
    for (size_t i = 0; i < columns.size(); ++i) {
        if (!Written(columns[i])) continue;
        written.push_back(i);
        at = doc.find(open, at);
        FUZZ_CHECK(at != std::string::npos, "a column is missing from the schema");
        at += open.size();
        const size_t end = doc.find(">\r\n", at);
        const auto attributes = Attributes(std::string_view(doc).substr(at, end - at));
        FUZZ_CHECK(attributes, "malformed schema attributes");
        const TAttribute* name = Find(*attributes, "name");
        FUZZ_CHECK(name && IsPlain(name->Value), "a column has no plain name");
        const TAttribute* original = Find(*attributes, "rs:name");
        const std::string& c = columns[i].Name;
        if (IsPlain(c)) {
            FUZZ_CHECK(name->Value == c && !original, c);
        } else {
            FUZZ_CHECK(original && name->Value[0] == 'c', c);
            if (ValidUtf8(c)) FUZZ_CHECK(Unescape(original->Value) == c, c);
        }
        const TAttribute* number = Find(*attributes, "rs:number");
        FUZZ_CHECK(number && number->Value == std::to_string(columns[i].FieldNo), "rs:number");
        for (const std::string& other : attributeNames)
            FUZZ_CHECK(iqo::UpperCaseAscii(other) != iqo::UpperCaseAscii(name->Value), "two columns named " + other);
        attributeNames.push_back(name->Value);
        at = end;
    }
    FUZZ_CHECK(doc.find(open, at) == std::string::npos, "a column that is not written is in the schema");

    // The row: the written columns that are not NULL, in order, by the names of the schema.
    const std::string rowStart = "\r  <rs:data>\r    <z:row";
    const size_t rowAt = doc.find(rowStart);
    FUZZ_CHECK(rowAt != std::string::npos, "the row is missing");
    const size_t bodyAt = rowAt + rowStart.size();
    const auto values = Attributes(std::string_view(doc).substr(bodyAt, doc.size() - tail.size() - bodyAt));
    FUZZ_CHECK(values, "malformed row attributes");
    ds.Open();
    ds.First();
    size_t next = 0;
    for (size_t w = 0; w < written.size(); ++w) {
        const size_t i = written[w];
        if (ds.IsNull(i)) continue;
        FUZZ_CHECK(next < values->size() && (*values)[next].Name == attributeNames[w], "row attribute " + columns[i].Name);
        CheckValue(columns[i], ds, i, (*values)[next].Value);
        ++next;
    }
    FUZZ_CHECK(next == values->size(), "the row has attributes of no column");
    return 0;
}
