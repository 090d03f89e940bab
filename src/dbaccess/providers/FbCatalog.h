#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "FbAttachment.h"

namespace iqo {

// What the catalog says about one column of a table or view.
struct TFbBaseColumn {
    bool NotNull = false;     // declared NOT NULL, on the column or its domain
    bool IsKey = false;       // part of the primary key
    bool IsIdentity = false;  // an identity column
    int Precision = 0;        // the declared precision of a NUMERIC or DECIMAL; 0 when none
};

// The catalog of one attachment, asked once per statement about the columns of the tables
// (and views) that the statement reads.
class TFbCatalog {
public:
    using TColumnKey = std::pair<std::string, std::string>;  // table, column

    explicit TFbCatalog(std::shared_ptr<TFbAttachment> attachment) : FAttachment(std::move(attachment)) {}

    // Every column of the named tables; tables the catalog does not hold (procedures) have none.
    std::map<TColumnKey, TFbBaseColumn> BaseColumns(TFbTransaction& transaction, const std::set<std::string>& tables);

private:
    // Identity columns came with Firebird 3; an older server's catalog lacks their column.
    bool HasIdentityColumns(TFbTransaction& transaction);

    std::shared_ptr<TFbAttachment> FAttachment;
    std::optional<bool> FHasIdentityColumns;
};

}  // namespace iqo
