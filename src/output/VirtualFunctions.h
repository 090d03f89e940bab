#pragma once

#include <sqlite3.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "output/VirtualData.h"

namespace iqo {

// The application-defined functions and collations of the combined query's connection.

// A scalar function: its arguments (text as UTF-8; IntValue and FloatValue hold the engine's
// integer and floating-point conversions of every argument) and its result.
using TVirtualFunction = std::function<TVirtualValue(const std::vector<TVirtualValue>& arguments)>;
// Compares two texts (-1, 0 or 1): UTF-8, Windows-1252 bytes, or UTF-16.
using TVirtualCollation = std::function<int(std::string_view a, std::string_view b)>;
using TVirtualWideCollation = std::function<int(std::u16string_view a, std::u16string_view b)>;

// "UniNoCase": both texts upper-cased (Unicode), then compared by UTF-16 code units.
int UniNoCaseCompare(std::string_view a, std::string_view b);

// The functions and collations, bound to a connection while it is open. A registration
// replaces one of the same name (and argument count) and reaches an open connection at once.
class TVirtualFunctionRegistry {
public:
    TVirtualFunctionRegistry();
    ~TVirtualFunctionRegistry();
    TVirtualFunctionRegistry(const TVirtualFunctionRegistry&) = delete;
    TVirtualFunctionRegistry& operator=(const TVirtualFunctionRegistry&) = delete;

    void RegisterFunction(const std::string& name, int argCount, TVirtualFunction function);
    void UnregisterFunction(std::string_view name, int argCount);
    void RegisterCollation(const std::string& name, TVirtualCollation compare);
    void RegisterAnsiCollation(const std::string& name, TVirtualCollation compare);
    void RegisterWideCollation(const std::string& name, TVirtualWideCollation compare);
    void UnregisterCollation(std::string_view name);

    // "UniNoCase" and the mathematical functions: "COS", "SIN", "TAN", "COT", "ACOS", "ASIN",
    // "ATAN", "ATAN2", "DEGREES", "RADIANS", "TRUNCATE", "ROUND" (ties to even), "CEILING",
    // "FLOOR", "MOD", "POWER", "SQRT", "SIGN", "RAND" (seeded here, once), "EXP", "LOG"
    // (natural), "LOG10". A NULL argument gives NULL, and so does a domain error (a result
    // that is not a finite number, "MOD" by zero, "CEILING" or "FLOOR" beyond 64 bits).
    void RegisterDefaults();

    // Registers everything with the connection (borrowed until Unbind); raises ESQLiteError.
    void Bind(sqlite3* db);
    void Unbind() { FDb = nullptr; }
    // Forgets every function and collation.
    void Clear();

    size_t FunctionCount() const { return FFunctions.size(); }
    size_t CollationCount() const { return FCollations.size(); }

    struct TFunctionEntry {
        std::string Name;
        int ArgCount;
        TVirtualFunction Function;
    };
    struct TCollationEntry {
        std::string Name;
        TVirtualCollation Compare;  // over UTF-8
    };

private:
    void BindFunction(TFunctionEntry& entry);
    void BindCollation(TCollationEntry& entry);

    sqlite3* FDb = nullptr;
    // Stable addresses: the engine holds them as its functions' user data.
    std::vector<std::unique_ptr<TFunctionEntry>> FFunctions;
    std::vector<std::unique_ptr<TCollationEntry>> FCollations;
};

}  // namespace iqo
