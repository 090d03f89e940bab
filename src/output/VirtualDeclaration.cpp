#include "VirtualDeclaration.h"

#include "output/VirtualNames.h"

namespace iqo {

namespace {

std::string WithLength(const char* name, const TVirtualFieldDesc& f) {
    return std::string(name) + "(" + std::to_string(f.Length) + ")";
}

std::string WithLengthAndScale(const char* name, const TVirtualFieldDesc& f) {
    return std::string(name) + "(" + std::to_string(f.Length) + ", " + std::to_string(f.Scale) + ")";
}

std::string WithScaleIfAny(const char* name, const TVirtualFieldDesc& f) {
    return f.Scale != 0 ? std::string(name) + "(" + std::to_string(f.Scale) + ")" : std::string(name);
}

}  // namespace

std::string VirtualTypeText(const TVirtualFieldDesc& f) {
    using F = TFieldType;
    switch (f.DataType) {
        case F::AnsiString: return WithLength("VARCHAR", f);
        case F::AnsiStringLong: return WithLength("EXTVARCHAR", f);
        case F::WideString: return WithLength("WVARCHAR", f);
        case F::WideStringLong: return WithLength("EXTWVARCHAR", f);
        case F::FixedAnsiChar: return WithLength("CHAR", f);
        case F::FixedWideChar: return WithLength("WCHAR", f);
        case F::Int8: return "TINYINT";
        case F::Int16: return "SMALLINT";
        case F::Int32: return "INTEGER";
        case F::Int64: return "BIGINT";
        case F::UInt8: return "BYTE";
        case F::UInt16: return "WORD";
        case F::UInt32: return "LONGWORD";
        case F::UInt64: return "UBIGINT";
        case F::Single: return "REAL";
        case F::Double: return WithLengthAndScale(f.Scale == 0 ? "FLOAT" : "NUMERIC", f);
        case F::Extended: return "EXTENDED";
        case F::Currency: return "MONEY";
        case F::Bcd: return WithLengthAndScale("BCD", f);
        case F::FmtBcd: return WithLengthAndScale("FMTBCD", f);
        case F::Date: return "DATE";
        case F::Time: return WithScaleIfAny("TIME", f);
        case F::DateTime: return WithScaleIfAny("DATETIME", f);
        case F::TimeStamp: return WithScaleIfAny("TIMESTAMP", f);
        case F::TimeStampOffset: return "TIMESTAMPOFFSET";
        case F::Boolean: return "BOOLEAN";
        case F::Bytes: return WithLength("BYTES", f);
        case F::VarBytes: return WithLength("VARBYTES", f);
        case F::VarBytesLong: return WithLength("EXTVARBYTES", f);
        case F::Blob: return "BLOB";
        case F::Memo: return "TEXT";
        case F::WideMemo: return "WTEXT";
        case F::Table: return "ATABLE";
        case F::Cursor: return "CURSOR";
        case F::Xml: return "XML";
        case F::Guid: return WithLength("GUID", f);
        default: return "BLOB";
    }
}

std::string VirtualTableDeclaration(const std::vector<TVirtualFieldDesc>& fields) {
    size_t keys = 0;
    for (const TVirtualFieldDesc& f : fields) keys += f.IsKey;
    std::string text = "CREATE TABLE VT(";
    for (size_t i = 0; i < fields.size(); ++i) {
        const TVirtualFieldDesc& f = fields[i];
        if (i > 0) text += ", ";
        text += NormalizeName(f.Name);
        text += ' ';
        text += VirtualTypeText(f);
        const bool onlyKey = f.IsKey && keys == 1;
        if (f.Required && !(onlyKey && f.DataType == TFieldType::Int32)) text += " NOT NULL";
        if (onlyKey) text += " PRIMARY KEY";
    }
    if (keys > 1) {
        text += ", PRIMARY KEY(";
        bool first = true;
        for (const TVirtualFieldDesc& f : fields) {
            if (!f.IsKey) continue;
            if (!first) text += ", ";
            text += NormalizeName(f.Name);
            first = false;
        }
        text += ')';
    }
    return text + ")";
}

}  // namespace iqo
