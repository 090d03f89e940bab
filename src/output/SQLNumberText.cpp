#include "SQLNumberText.h"

#include <sqlite3.h>

#include <charconv>
#include <cmath>

namespace iqo {

namespace {

// The text without blanks around it and without a leading "+"; empty when nothing is left or
// a sign follows the "+".
std::optional<std::string_view> NumberBody(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    if (!s.empty() && s.front() == '+') {
        s.remove_prefix(1);
        if (!s.empty() && (s.front() == '-' || s.front() == '+')) return std::nullopt;
    }
    if (s.empty()) return std::nullopt;
    return s;
}

}  // namespace

std::optional<int64_t> TryReadInt64(std::string_view text) {
    const auto s = NumberBody(text);
    if (!s) return std::nullopt;
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(s->data(), s->data() + s->size(), value);
    if (ec != std::errc() || end != s->data() + s->size()) return std::nullopt;
    return value;
}

std::optional<double> TryReadFloat(std::string_view text) {
    const auto s = NumberBody(text);
    if (!s) return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(s->data(), s->data() + s->size(), value, std::chars_format::general);
    if (ec != std::errc() || end != s->data() + s->size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::string EngineNumberText(int64_t value) { return std::to_string(value); }

std::string EngineNumberText(double value) {
    char buffer[64];
    sqlite3_snprintf(sizeof buffer, buffer, "%!.15g", value);
    return buffer;
}

}  // namespace iqo
