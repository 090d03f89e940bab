#include "MemDataSet.h"

namespace iqo {

TMemDataSet::TMemDataSet(std::vector<TColumnDescriptor> columns, TProviderKind kind) : FKind(kind) {
    SetColumns(std::move(columns));
}

}  // namespace iqo
