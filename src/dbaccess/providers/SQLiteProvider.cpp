#include "SQLiteProvider.h"

#include <sqlite3.h>

#include <cmath>
#include <cstring>
#include <optional>

#include "dbaccess/SQLiteColumnFlags.h"
#include "dbaccess/SQLiteHandles.h"
#include "platform/DateTime.h"
#include "platform/Exception.h"
#include "platform/TextUtils.h"

namespace iqo {

namespace {

[[noreturn]] void RaiseEngineError(sqlite3* db) { throw Exception(sqlite3_errmsg(db)); }

// A declared type: its upper-case name without the bracketed part, and the numbers in brackets.
struct TDeclaredType {
    std::string name;
    int length = -1;
    int scale = -1;
};

TDeclaredType ParseDeclaredType(const char* decl) {
    TDeclaredType t;
    std::string text = UpperCase(Trim(decl ? decl : ""));
    const size_t open = text.find('(');
    if (open != std::string::npos) {
        const size_t close = text.find(')', open);
        const std::string inner = text.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
        const size_t comma = inner.find(',');
        t.length = TryStrToInt(Trim(inner.substr(0, comma))).value_or(-1);
        if (comma != std::string::npos) t.scale = TryStrToInt(Trim(inner.substr(comma + 1))).value_or(-1);
        text = Trim(text.substr(0, open));
    }
    t.name = text;
    return t;
}

bool Contains(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

TFieldType StringType(int length) {
    if (length <= 0) return TFieldType::Memo;
    return length < 32 ? TFieldType::AnsiString : TFieldType::AnsiStringLong;
}

// Maps a declared type to a field type; names outside the list follow the engine's type
// affinity rules.
void MapDeclaredType(const TDeclaredType& d, TColumnDescriptor& c) {
    const std::string& n = d.name;
    const int len = d.length > 0 ? d.length : 0;
    auto set = [&](TFieldType type, int length = 0, int scale = 0) {
        c.DataType = type;
        c.Length = static_cast<uint16_t>(std::min(length, 65535));
        c.Scale = static_cast<uint16_t>(std::max(scale, 0));
    };
    if (n == "SMALLINT" || n == "INT2") return set(TFieldType::Int16);
    if (n == "TINYINT") return set(TFieldType::Int8, 3);
    if (n == "MEDIUMINT") return set(TFieldType::Int32);
    if (n == "BOOLEAN" || n == "BOOL" || n == "BIT") return set(TFieldType::Boolean);
    if (n == "REAL" || n == "FLOAT" || n == "DOUBLE" || n == "DOUBLE PRECISION") return set(TFieldType::Double);
    if (n == "NUMERIC" || n == "DECIMAL") return set(TFieldType::Double, len, d.scale);
    if (n == "MONEY" || n == "CURRENCY") return set(TFieldType::Currency, 19, 4);
    if (n == "DATE") return set(TFieldType::Date);
    if (n == "TIME") return set(TFieldType::Time);
    if (n == "DATETIME" || n == "TIMESTAMP") return set(TFieldType::DateTime);
    if (n == "GUID" || n == "UUID" || n == "UNIQUEIDENTIFIER") return set(TFieldType::Guid, 38);
    if (n == "CHAR" || n == "NCHAR" || n == "CHARACTER" || n == "NATIVE CHARACTER") {
        set(len > 0 ? StringType(len) : TFieldType::AnsiString, len > 0 ? len : 1);
        c.Fixed = true;
        return;
    }
    if (n == "VARCHAR" || n == "NVARCHAR" || n == "VARYING CHARACTER" || n == "NVARCHAR2")
        return set(StringType(len), len);
    if (n == "BINARY") return set(TFieldType::Bytes, len), void(c.Fixed = true);
    if (n == "VARBINARY") return set(len > 0 ? TFieldType::VarBytes : TFieldType::Blob, len);
    if (Contains(n, "INT")) return set(TFieldType::Int64);
    if (Contains(n, "CHAR") || Contains(n, "CLOB") || Contains(n, "TEXT")) return set(TFieldType::Memo);
    if (Contains(n, "BLOB")) return set(TFieldType::Blob);
    if (Contains(n, "REAL") || Contains(n, "FLOA") || Contains(n, "DOUB")) return set(TFieldType::Double);
    set(TFieldType::Double);
}

TFieldType TypeOfValue(int storageClass) {
    switch (storageClass) {
        case SQLITE_INTEGER: return TFieldType::Int64;
        case SQLITE_FLOAT: return TFieldType::Double;
        case SQLITE_BLOB: return TFieldType::Blob;
        default: return TFieldType::Memo;
    }
}

// Dates are kept by the engine as text ("yyyy-mm-dd hh:nn:ss.zzz", "hh:nn:ss"), as a
// Julian day number (real) or as Unix seconds (integer).
std::optional<TDateTime> DateTimeOfText(std::string_view s) {
    TDateTimeParts p;
    auto number = [&](size_t& i, int digits, int& out) {
        out = 0;
        for (int k = 0; k < digits; ++k, ++i) {
            if (i >= s.size() || s[i] < '0' || s[i] > '9') return false;
            out = out * 10 + (s[i] - '0');
        }
        return true;
    };
    size_t i = 0;
    bool hasDate = false;
    if (s.size() >= 10 && s[4] == '-' && s[7] == '-') {
        if (!number(i, 4, p.Year) || s[i++] != '-' || !number(i, 2, p.Month) || s[i++] != '-' || !number(i, 2, p.Day))
            return std::nullopt;
        hasDate = true;
        if (i < s.size() && (s[i] == ' ' || s[i] == 'T')) ++i;
    }
    if (i < s.size()) {
        if (!number(i, 2, p.Hour) || i >= s.size() || s[i++] != ':' || !number(i, 2, p.Minute)) return std::nullopt;
        if (i < s.size() && s[i] == ':') {
            ++i;
            if (!number(i, 2, p.Second)) return std::nullopt;
            if (i < s.size() && s[i] == '.') {
                ++i;
                int digits = 0, ms = 0;
                while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
                    if (digits < 3) ms = ms * 10 + (s[i] - '0');
                    ++digits, ++i;
                }
                while (digits++ < 3) ms *= 10;
                p.Millisecond = ms;
            }
        }
        if (i < s.size() && s[i] == 'Z') ++i;
    }
    if (i != s.size()) return std::nullopt;
    TDateTime v;
    if (!hasDate) return IsValidTime(p.Hour, p.Minute, p.Second, p.Millisecond) ? std::optional(EncodeTime(p.Hour, p.Minute, p.Second, p.Millisecond)) : std::nullopt;
    if (!TryEncodeDateTime(p, v)) return std::nullopt;
    return v;
}

std::string GuidText(std::string_view v) {
    static const char kHex[] = "0123456789ABCDEF";
    if (v.size() == 16) {
        std::string s = "{";
        for (size_t i = 0; i < 16; ++i) {
            if (i == 4 || i == 6 || i == 8 || i == 10) s += '-';
            s += kHex[static_cast<unsigned char>(v[i]) >> 4];
            s += kHex[static_cast<unsigned char>(v[i]) & 15];
        }
        return s + "}";
    }
    std::string s = UpperCaseAscii(Trim(v));
    if (s.size() == 36) s = "{" + s + "}";
    return s;
}

class TSQLiteStatement : public TProviderStatement {
public:
    TSQLiteStatement(sqlite3* db, TSQLiteStatementHandle stmt) : FDb(db), FStmt(std::move(stmt)) {}

    std::vector<TColumnDescriptor> Describe() override {
        std::vector<TColumnDescriptor> columns;
        const int n = sqlite3_column_count(FStmt.get());
        for (int i = 0; i < n; ++i) columns.push_back(DescribeColumn(i));
        return columns;
    }

    void Execute() override {
        sqlite3_reset(FStmt.get());
        FStep = sqlite3_step(FStmt.get());
        if (FStep != SQLITE_ROW && FStep != SQLITE_DONE) RaiseEngineError(FDb);
        FColumns = Describe();
    }

    void Fetch(TRowStore& rows) override {
        TRowStore::TRowBuilder row(rows);
        while (FStep == SQLITE_ROW) {
            row.Clear();
            for (size_t i = 0; i < FColumns.size(); ++i) ReadValue(static_cast<int>(i), row);
            rows.Append(row);
            FStep = sqlite3_step(FStmt.get());
        }
        if (FStep != SQLITE_DONE) RaiseEngineError(FDb);
    }

private:
    TColumnDescriptor DescribeColumn(int i) {
        sqlite3_stmt* s = FStmt.get();
        TColumnDescriptor c;
        c.Name = sqlite3_column_name(s, i);
        const char* table = sqlite3_column_table_name(s, i);
        const char* origin = sqlite3_column_origin_name(s, i);
        const char* decl = sqlite3_column_decltype(s, i);
        if (table && origin) {
            c.TableName = table;
            c.ActualName = origin;
            ReadSQLiteColumnFlags(FDb, s, i, c);
        }
        if (decl && *decl) {
            MapDeclaredType(ParseDeclaredType(decl), c);
        } else {
            // An expression: typed by its value in the first row.
            c.DataType = TypeOfValue(FStep == SQLITE_ROW ? sqlite3_column_type(s, i) : SQLITE_NULL);
        }
        return c;
    }

    void ReadValue(int i, TRowStore::TRowBuilder& row) {
        sqlite3_stmt* s = FStmt.get();
        const int storage = sqlite3_column_type(s, i);
        if (storage == SQLITE_NULL) return;
        const TColumnDescriptor& c = FColumns[static_cast<size_t>(i)];
        const auto col = static_cast<size_t>(i);
        switch (StorageClassOf(c.DataType)) {
            case TStorageClass::Integer:
                row.SetInteger(col, c.DataType == TFieldType::Boolean ? (sqlite3_column_int64(s, i) != 0)
                                                                      : sqlite3_column_int64(s, i));
                break;
            case TStorageClass::Float: row.SetFloat(col, sqlite3_column_double(s, i)); break;
            case TStorageClass::Currency:
                row.SetInteger(col, storage == SQLITE_INTEGER ? sqlite3_column_int64(s, i) * 10000
                                                              : std::llround(sqlite3_column_double(s, i) * 10000));
                break;
            case TStorageClass::DateTime: row.SetFloat(col, DateTimeValue(i, storage, c)); break;
            case TStorageClass::Text: {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
                std::string_view v(text ? text : "", static_cast<size_t>(sqlite3_column_bytes(s, i)));
                if (c.DataType == TFieldType::Guid) {
                    const void* blob = storage == SQLITE_BLOB ? sqlite3_column_blob(s, i) : nullptr;
                    row.SetBytes(col, GuidText(blob ? std::string_view(static_cast<const char*>(blob), v.size()) : v));
                } else {
                    row.SetBytes(col, v);
                }
                break;
            }
            case TStorageClass::Bytes: {
                const void* blob = sqlite3_column_blob(s, i);
                row.SetBytes(col, std::string_view(static_cast<const char*>(blob ? blob : ""),
                                                   static_cast<size_t>(sqlite3_column_bytes(s, i))));
                break;
            }
            default: break;
        }
    }

    double DateTimeValue(int i, int storage, const TColumnDescriptor& c) {
        sqlite3_stmt* s = FStmt.get();
        if (storage == SQLITE_INTEGER) return 25569.0 + static_cast<double>(sqlite3_column_int64(s, i)) / 86400.0;
        if (storage == SQLITE_FLOAT) return sqlite3_column_double(s, i) - 2415018.5;
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
        const std::string_view v(text ? text : "", static_cast<size_t>(sqlite3_column_bytes(s, i)));
        const auto value = DateTimeOfText(Trim(v));
        if (!value)
            throw Exception("Column " + c.Name + " holds '" + std::string(v.substr(0, 100)) +
                            "', which is not a date or time");
        return *value;
    }

    sqlite3* FDb;
    TSQLiteStatementHandle FStmt;
    int FStep = SQLITE_DONE;
    std::vector<TColumnDescriptor> FColumns;
};

class TSQLiteSession : public TProviderSession {
public:
    explicit TSQLiteSession(const TConnectParams& params) {
        sqlite3* db = nullptr;
        // No CREATE flag: a path that names no database is an error, not a new empty file.
        const int rc = sqlite3_open_v2(params.Database.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        FDb.reset(db);
        if (rc != SQLITE_OK) {
            const std::string reason = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
            throw Exception(reason + ": " + params.Database);
        }
        sqlite3_extended_result_codes(db, 1);
        sqlite3_busy_timeout(db, 5000);
    }

    TProviderKind Kind() const override { return TProviderKind::SQLite; }

    std::unique_ptr<TProviderStatement> Prepare(const std::string& sql) override {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(FDb.get(), sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr) != SQLITE_OK)
            RaiseEngineError(FDb.get());
        TSQLiteStatementHandle handle(stmt);
        if (!handle) throw Exception("No SQL statement provided");
        return std::make_unique<TSQLiteStatement>(FDb.get(), std::move(handle));
    }

private:
    TSQLiteDatabaseHandle FDb;
};

}  // namespace

std::unique_ptr<TProviderSession> OpenSQLiteSession(const TConnectParams& params) {
    return std::make_unique<TSQLiteSession>(params);
}

}  // namespace iqo
