#pragma once

#include <string>
#include <vector>

#include "output/VirtualData.h"

namespace iqo {

// The declaration of a virtual table to the engine: "CREATE TABLE VT(" and the columns with
// their type texts and flags, from which the combined query reads the source's column types
// back.

// "VARCHAR(40)", "NUMERIC(15, 2)", "DATETIME(3)", "BIGINT", ...
std::string VirtualTypeText(const TVirtualFieldDesc& field);
std::string VirtualTableDeclaration(const std::vector<TVirtualFieldDesc>& fields);

}  // namespace iqo
