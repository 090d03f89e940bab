#include "VirtualNames.h"

#include <sqlite3.h>

namespace iqo {

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

struct TQuotePair {
    char Open, Close;
};
constexpr TQuotePair kQuotePairs[] = {{'[', ']'}, {'"', '"'}, {'`', '`'}, {'\'', '\''}};

}  // namespace

bool NameNeedsQuotes(std::string_view name) {
    if (name.empty() || !IsAsciiLetter(name.front())) return true;
    for (char c : name.substr(1))
        if (!IsAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '_' && c != '$') return true;
    return false;
}

bool IsReservedWord(std::string_view name) {
    return !name.empty() && sqlite3_keyword_check(name.data(), static_cast<int>(name.size())) != 0;
}

std::string UnquoteName(std::string_view name) {
    if (name.size() < 2) return std::string(name);
    for (const TQuotePair& q : kQuotePairs) {
        if (name.front() != q.Open || name.back() != q.Close) continue;
        const std::string_view inner = name.substr(1, name.size() - 2);
        if (q.Open == '[') return std::string(inner);
        std::string out;
        for (size_t i = 0; i < inner.size(); ++i) {
            out += inner[i];
            if (inner[i] == q.Close && i + 1 < inner.size() && inner[i + 1] == q.Close) ++i;
        }
        return out;
    }
    return std::string(name);
}

std::string QuoteName(std::string_view name) {
    for (const TQuotePair& q : kQuotePairs)
        if (name.find(q.Open) == std::string_view::npos && name.find(q.Close) == std::string_view::npos)
            return q.Open + std::string(name) + q.Close;
    // Doubling keeps the name one identifier, whatever it holds.
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + '"';
}

std::string NormalizeName(std::string_view name) {
    std::string plain = UnquoteName(name);
    if (NameNeedsQuotes(plain) || IsReservedWord(plain) || plain.find('.') != std::string::npos) return QuoteName(plain);
    return plain;
}

}  // namespace iqo
