#include "VirtualSpecificTypes.h"

#include <algorithm>

namespace iqo {

namespace {

std::string LowerCaseAscii(std::string_view text) {
    std::string s(text);
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}

template <class Types>
auto Position(Types& types, const std::string& key) {
    return std::lower_bound(types.begin(), types.end(), key,
                            [](const TSpecificTypeDesc& t, const std::string& k) { return t.FDataTypeName < k; });
}

}  // namespace

void TSpecificTypeRegistry::Add(TSpecificTypeDesc type) {
    type.FDataTypeName = LowerCaseAscii(type.FDataTypeName);
    const auto it = Position(FTypes, type.FDataTypeName);
    if (it != FTypes.end() && it->FDataTypeName == type.FDataTypeName) return;
    FTypes.insert(it, std::move(type));
}

const TSpecificTypeDesc* TSpecificTypeRegistry::Find(std::string_view name) const {
    const std::string key = LowerCaseAscii(name);
    const auto it = Position(FTypes, key);
    return it != FTypes.end() && it->FDataTypeName == key ? &*it : nullptr;
}

}  // namespace iqo
