#include "VirtualSQLText.h"

#include <algorithm>

#include "output/VirtualNames.h"
#include "platform/TextUtils.h"

namespace iqo {

namespace {

bool IsNameStart(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || c == '_' || u >= 0x80;
}

bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '$'; }

char ClosingQuote(char c) {
    switch (c) {
        case '\'': case '"': case '`': return c;
        case '[': return ']';
        default: return 0;
    }
}

// The end of the quoted text or comment that starts at i, or i when none starts there. A
// doubled closing quote inside '', "" and `` stands for itself; an unclosed one runs to the end.
size_t SkipQuotedOrComment(std::string_view s, size_t i) {
    if (s.substr(i, 2) == "--") {
        const size_t end = s.find('\n', i);
        return end == std::string_view::npos ? s.size() : end;
    }
    if (s.substr(i, 2) == "/*") {
        const size_t end = s.find("*/", i + 2);
        return end == std::string_view::npos ? s.size() : end + 2;
    }
    const char close = ClosingQuote(s[i]);
    if (close == 0) return i;
    for (size_t j = i + 1; j < s.size(); ++j) {
        if (s[j] != close) continue;
        if (close != ']' && j + 1 < s.size() && s[j + 1] == close) {
            ++j;
            continue;
        }
        return j + 1;
    }
    return s.size();
}

size_t NameEnd(std::string_view s, size_t i) {
    while (i < s.size() && IsNameChar(s[i])) ++i;
    return i;
}

}  // namespace

TVirtualSQLText ParseVirtualSQLText(std::string_view sql) {
    TVirtualSQLText result;
    std::string& out = result.Text;
    out.reserve(sql.size());
    auto addParameter = [&](std::string name) {
        if (std::find(result.Parameters.begin(), result.Parameters.end(), name) == result.Parameters.end())
            result.Parameters.push_back(std::move(name));
    };
    size_t i = 0;
    while (i < sql.size()) {
        const size_t skipped = SkipQuotedOrComment(sql, i);
        if (skipped != i) {
            out.append(sql.substr(i, skipped - i));
            i = skipped;
            continue;
        }
        const char c = sql[i];
        if (c == '&' && i + 1 < sql.size() && IsNameStart(sql[i + 1])) {
            i = NameEnd(sql, i + 1);
            continue;
        }
        if (c == ':' && i + 1 < sql.size() && IsNameChar(sql[i + 1])) {
            const size_t end = NameEnd(sql, i + 1);
            std::string name(sql.substr(i, end - i));
            out += name;
            addParameter(std::move(name));
            i = end;
            continue;
        }
        if (c == ':' && i + 1 < sql.size() && ClosingQuote(sql[i + 1]) != 0) {
            const size_t end = SkipQuotedOrComment(sql, i + 1);
            std::string name = ":" + UnquoteName(sql.substr(i + 1, end - i - 1));
            // Blanks, and every other character a parameter name cannot hold, become "_": the
            // quoted text stays one name and never turns into SQL (";", quotes, "--", "&").
            std::replace_if(name.begin() + 1, name.end(), [](char ch) { return !IsNameChar(ch); }, '_');
            out += name;
            addParameter(std::move(name));
            i = end;
            continue;
        }
        out += c;
        ++i;
    }
    return result;
}

bool HoldsStatement(std::string_view sql) {
    size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (static_cast<unsigned char>(c) <= ' ' || c == ';') {
            ++i;
        } else if (sql.substr(i, 2) == "--" || sql.substr(i, 2) == "/*") {
            i = SkipQuotedOrComment(sql, i);
        } else {
            return true;
        }
    }
    return false;
}

bool SQLTextNamesTable(std::string_view sql, std::string_view tableName) {
    const std::string wanted = UnquoteName(tableName);
    size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        const size_t skipped = SkipQuotedOrComment(sql, i);
        if (skipped != i) {
            if ((c == '"' || c == '`' || c == '[') && SameText(UnquoteName(sql.substr(i, skipped - i)), wanted))
                return true;
            i = skipped;
        } else if (IsNameStart(c)) {
            const size_t end = NameEnd(sql, i);
            if (SameText(sql.substr(i, end - i), wanted)) return true;
            i = end;
        } else {
            ++i;
        }
    }
    return false;
}

}  // namespace iqo
