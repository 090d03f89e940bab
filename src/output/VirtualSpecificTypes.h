#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "dbaccess/FieldTypes.h"

namespace iqo {

// A type name that a source reports for a column with a data type, length and scale of its
// own; -1 for a length or scale it does not give.
struct TSpecificTypeDesc {
    std::string FDataTypeName;
    TFieldType FDataType = TFieldType::Unknown;
    int FLength = -1;
    int FScale = -1;
};

// The specific types met while the sources' columns were described, sorted by lower-case
// name, each name once. The combined query reads a declared type it does not know here.
class TSpecificTypeRegistry {
public:
    // Keeps the first entry of a name (names equal without regard to ASCII case).
    void Add(TSpecificTypeDesc type);
    const TSpecificTypeDesc* Find(std::string_view name) const;
    size_t Count() const { return FTypes.size(); }
    void Clear() { FTypes.clear(); }

private:
    std::vector<TSpecificTypeDesc> FTypes;  // FDataTypeName lower-cased
};

}  // namespace iqo
