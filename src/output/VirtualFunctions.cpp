#include "VirtualFunctions.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>

#include "output/SQLiteError.h"
#include "output/VirtualCompare.h"
#include "platform/CodePage.h"
#include "platform/TextUtils.h"

namespace iqo {

int UniNoCaseCompare(std::string_view a, std::string_view b) {
    return CompareText(UpperCase(a), UpperCase(b), TVirtualCollationType::vcBinary);
}

namespace {

using TEntry = TVirtualFunctionRegistry::TFunctionEntry;
using TCollationEntry = TVirtualFunctionRegistry::TCollationEntry;

TVirtualValue Null() { return {}; }

TVirtualValue Float(double value) {
    if (!std::isfinite(value)) return Null();
    TVirtualValue v;
    v.ValueType = TVirtualType::vrFloat;
    v.FloatValue = value;
    return v;
}

TVirtualValue Integer(int64_t value) {
    TVirtualValue v;
    v.ValueType = TVirtualType::vrInteger;
    v.IntValue = value;
    return v;
}

// A whole number within the 64-bit range as an integer; anything else is a domain error.
TVirtualValue WholeNumber(double value) {
    constexpr double kLimit = 9223372036854775808.0;  // 2^63
    if (!(value >= -kLimit && value < kLimit)) return Null();
    return Integer(static_cast<int64_t>(value));
}

bool AnyNull(const std::vector<TVirtualValue>& args) {
    return std::any_of(args.begin(), args.end(), [](const TVirtualValue& v) { return v.ValueType == TVirtualType::vrNull; });
}

// The default functions give NULL for a NULL argument.
template <class F>
TVirtualFunction NullSafe(F f) {
    return [f](const std::vector<TVirtualValue>& args) { return AnyNull(args) ? Null() : f(args); };
}

TVirtualFunction Unary(double (*f)(double)) {
    return NullSafe([f](const std::vector<TVirtualValue>& a) { return Float(f(a[0].FloatValue)); });
}

TVirtualValue ReadArgument(sqlite3_value* value) {
    TVirtualValue v;
    switch (sqlite3_value_type(value)) {
        case SQLITE_INTEGER: v.ValueType = TVirtualType::vrInteger; break;
        case SQLITE_FLOAT: v.ValueType = TVirtualType::vrFloat; break;
        case SQLITE_TEXT: v.ValueType = TVirtualType::vrString; break;
        case SQLITE_BLOB: v.ValueType = TVirtualType::vrBlob; break;
        default: return v;
    }
    if (v.ValueType == TVirtualType::vrString || v.ValueType == TVirtualType::vrBlob) {
        const void* bytes = v.ValueType == TVirtualType::vrString ? static_cast<const void*>(sqlite3_value_text(value))
                                                                  : sqlite3_value_blob(value);
        if (bytes) v.StrValue.assign(static_cast<const char*>(bytes), static_cast<size_t>(sqlite3_value_bytes(value)));
    }
    v.IntValue = sqlite3_value_int64(value);
    v.FloatValue = sqlite3_value_double(value);
    return v;
}

void CallFunction(sqlite3_context* context, int argc, sqlite3_value** argv) {
    const auto* entry = static_cast<const TEntry*>(sqlite3_user_data(context));
    try {
        std::vector<TVirtualValue> args;
        args.reserve(static_cast<size_t>(argc));
        for (int i = 0; i < argc; ++i) args.push_back(ReadArgument(argv[i]));
        const TVirtualValue r = entry->Function(args);
        switch (r.ValueType) {
            case TVirtualType::vrNull: sqlite3_result_null(context); break;
            case TVirtualType::vrInteger: sqlite3_result_int64(context, r.IntValue); break;
            case TVirtualType::vrFloat: sqlite3_result_double(context, r.FloatValue); break;
            case TVirtualType::vrString:
                sqlite3_result_text64(context, r.StrValue.data(), r.StrValue.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
                break;
            case TVirtualType::vrBlob:
                sqlite3_result_blob64(context, r.StrValue.data(), r.StrValue.size(), SQLITE_TRANSIENT);
                break;
        }
    } catch (const std::exception& e) {
        sqlite3_result_error(context, e.what(), -1);
    }
}

int CallCollation(void* user, int lengthA, const void* a, int lengthB, const void* b) {
    const auto* entry = static_cast<const TCollationEntry*>(user);
    try {
        return entry->Compare(std::string_view(static_cast<const char*>(a), static_cast<size_t>(lengthA)),
                              std::string_view(static_cast<const char*>(b), static_cast<size_t>(lengthB)));
    } catch (const std::exception&) {
        // A collation cannot report an error to the engine; equal is the neutral answer.
        return 0;
    }
}

template <class List, class Match>
auto FindEntry(List& list, Match match) {
    return std::find_if(list.begin(), list.end(), [&](const auto& e) { return match(*e); });
}

}  // namespace

TVirtualFunctionRegistry::TVirtualFunctionRegistry() = default;

TVirtualFunctionRegistry::~TVirtualFunctionRegistry() = default;

void TVirtualFunctionRegistry::RegisterFunction(const std::string& name, int argCount, TVirtualFunction function) {
    auto entry = std::make_unique<TEntry>(TEntry{name, argCount, std::move(function)});
    if (FDb) BindFunction(*entry);
    const auto it = FindEntry(FFunctions, [&](const TEntry& e) { return SameText(e.Name, name) && e.ArgCount == argCount; });
    if (it != FFunctions.end()) *it = std::move(entry);
    else FFunctions.push_back(std::move(entry));
}

void TVirtualFunctionRegistry::UnregisterFunction(std::string_view name, int argCount) {
    const auto it = FindEntry(FFunctions, [&](const TEntry& e) { return SameText(e.Name, name) && e.ArgCount == argCount; });
    if (it == FFunctions.end()) return;
    if (FDb) {
        const int rc = sqlite3_create_function_v2(FDb, (*it)->Name.c_str(), argCount, SQLITE_UTF8, nullptr, nullptr,
                                                  nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) throw ESQLiteError(sqlite3_errmsg(FDb), sqlite3_extended_errcode(FDb));
    }
    FFunctions.erase(it);
}

void TVirtualFunctionRegistry::RegisterCollation(const std::string& name, TVirtualCollation compare) {
    auto entry = std::make_unique<TCollationEntry>(TCollationEntry{name, std::move(compare)});
    if (FDb) BindCollation(*entry);
    const auto it = FindEntry(FCollations, [&](const TCollationEntry& e) { return SameText(e.Name, name); });
    if (it != FCollations.end()) *it = std::move(entry);
    else FCollations.push_back(std::move(entry));
}

void TVirtualFunctionRegistry::RegisterAnsiCollation(const std::string& name, TVirtualCollation compare) {
    RegisterCollation(name, [compare = std::move(compare)](std::string_view a, std::string_view b) {
        return compare(Utf8ToAnsi(a), Utf8ToAnsi(b));
    });
}

void TVirtualFunctionRegistry::RegisterWideCollation(const std::string& name, TVirtualWideCollation compare) {
    RegisterCollation(name, [compare = std::move(compare)](std::string_view a, std::string_view b) {
        return compare(Utf8ToUtf16(a), Utf8ToUtf16(b));
    });
}

void TVirtualFunctionRegistry::UnregisterCollation(std::string_view name) {
    const auto it = FindEntry(FCollations, [&](const TCollationEntry& e) { return SameText(e.Name, name); });
    if (it == FCollations.end()) return;
    if (FDb) {
        const int rc = sqlite3_create_collation_v2(FDb, (*it)->Name.c_str(), SQLITE_UTF8, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) throw ESQLiteError(sqlite3_errmsg(FDb), sqlite3_extended_errcode(FDb));
    }
    FCollations.erase(it);
}

void TVirtualFunctionRegistry::RegisterDefaults() {
    RegisterCollation("UniNoCase", UniNoCaseCompare);
    RegisterFunction("COS", 1, Unary([](double x) { return std::cos(x); }));
    RegisterFunction("SIN", 1, Unary([](double x) { return std::sin(x); }));
    RegisterFunction("TAN", 1, Unary([](double x) { return std::tan(x); }));
    RegisterFunction("COT", 1, Unary([](double x) { return 1 / std::tan(x); }));
    RegisterFunction("ACOS", 1, Unary([](double x) { return std::acos(x); }));
    RegisterFunction("ASIN", 1, Unary([](double x) { return std::asin(x); }));
    RegisterFunction("ATAN", 1, Unary([](double x) { return std::atan(x); }));
    RegisterFunction("DEGREES", 1, Unary([](double x) { return x * 180 / std::numbers::pi; }));
    RegisterFunction("RADIANS", 1, Unary([](double x) { return x * std::numbers::pi / 180; }));
    RegisterFunction("SQRT", 1, Unary([](double x) { return std::sqrt(x); }));
    RegisterFunction("EXP", 1, Unary([](double x) { return std::exp(x); }));
    RegisterFunction("LOG", 1, Unary([](double x) { return std::log(x); }));
    RegisterFunction("LOG10", 1, Unary([](double x) { return std::log10(x); }));
    RegisterFunction("ATAN2", 2, NullSafe([](const std::vector<TVirtualValue>& a) {
        return Float(std::atan2(a[0].FloatValue, a[1].FloatValue));
    }));
    RegisterFunction("POWER", 2, NullSafe([](const std::vector<TVirtualValue>& a) {
        return Float(std::pow(a[0].FloatValue, a[1].FloatValue));
    }));
    RegisterFunction("TRUNCATE", 2, NullSafe([](const std::vector<TVirtualValue>& a) {
        const double p = std::pow(10.0, static_cast<double>(a[1].IntValue));
        return Float(std::trunc(a[0].FloatValue * p) / p);
    }));
    // The power of ten in single precision, and the default rounding mode: ties to even.
    RegisterFunction("ROUND", 2, NullSafe([](const std::vector<TVirtualValue>& a) {
        const double p = static_cast<double>(std::pow(10.0f, static_cast<float>(a[1].IntValue)));
        return Float(std::nearbyint(a[0].FloatValue * p) / p);
    }));
    RegisterFunction("CEILING", 1, NullSafe([](const std::vector<TVirtualValue>& a) {
        return WholeNumber(std::ceil(a[0].FloatValue));
    }));
    RegisterFunction("FLOOR", 1, NullSafe([](const std::vector<TVirtualValue>& a) {
        return WholeNumber(std::floor(a[0].FloatValue));
    }));
    // Both arguments as the engine's integers (a real toward zero); the sign of the dividend.
    RegisterFunction("MOD", 2, NullSafe([](const std::vector<TVirtualValue>& a) {
        const int64_t x = a[0].IntValue, y = a[1].IntValue;
        if (y == 0) return Null();
        return Integer(y == -1 ? 0 : x % y);
    }));
    RegisterFunction("SIGN", 1, NullSafe([](const std::vector<TVirtualValue>& a) {
        const double x = a[0].FloatValue;
        return Integer((x > 0) - (x < 0));
    }));
    auto random = std::make_shared<std::mt19937_64>(std::random_device{}());
    RegisterFunction("RAND", 0, [random](const std::vector<TVirtualValue>&) {
        return Float(std::uniform_real_distribution<double>(0.0, 1.0)(*random));
    });
}

void TVirtualFunctionRegistry::Bind(sqlite3* db) {
    FDb = db;
    for (auto& f : FFunctions) BindFunction(*f);
    for (auto& c : FCollations) BindCollation(*c);
}

void TVirtualFunctionRegistry::Clear() {
    if (FDb) {
        for (const auto& f : FFunctions)
            sqlite3_create_function_v2(FDb, f->Name.c_str(), f->ArgCount, SQLITE_UTF8, nullptr, nullptr, nullptr, nullptr,
                                       nullptr);
        for (const auto& c : FCollations)
            sqlite3_create_collation_v2(FDb, c->Name.c_str(), SQLITE_UTF8, nullptr, nullptr, nullptr);
    }
    FFunctions.clear();
    FCollations.clear();
}

void TVirtualFunctionRegistry::BindFunction(TEntry& entry) {
    const int rc = sqlite3_create_function_v2(FDb, entry.Name.c_str(), entry.ArgCount, SQLITE_UTF8, &entry, CallFunction,
                                              nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) throw ESQLiteError(sqlite3_errmsg(FDb), sqlite3_extended_errcode(FDb));
}

void TVirtualFunctionRegistry::BindCollation(TCollationEntry& entry) {
    const int rc = sqlite3_create_collation_v2(FDb, entry.Name.c_str(), SQLITE_UTF8, &entry, CallCollation, nullptr);
    if (rc != SQLITE_OK) throw ESQLiteError(sqlite3_errmsg(FDb), sqlite3_extended_errcode(FDb));
}

}  // namespace iqo
