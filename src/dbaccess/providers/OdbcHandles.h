#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <string_view>

namespace iqo {

static_assert(sizeof(SQLWCHAR) == 2, "the driver manager's wide characters are UTF-16");

// One handle of the ODBC driver manager (environment, connection or statement), freed when
// destroyed. A statement or connection handle must go before the handle it was allocated on.
class TOdbcHandle {
public:
    // An environment handle when `type` is SQL_HANDLE_ENV (parent SQL_NULL_HANDLE).
    TOdbcHandle(SQLSMALLINT type, SQLHANDLE parent);
    ~TOdbcHandle();
    TOdbcHandle(const TOdbcHandle&) = delete;
    TOdbcHandle& operator=(const TOdbcHandle&) = delete;

    SQLHANDLE Get() const { return FHandle; }
    SQLSMALLINT Type() const { return FType; }

    // Every diagnostic record of the handle, in order, one per line (without a final line end).
    std::string Diagnostics() const;
    // Raises the diagnostics (or, when there are none, `what` with a general reason) unless
    // `rc` reports success.
    void Check(SQLRETURN rc, std::string_view what) const;

private:
    SQLSMALLINT FType;
    SQLHANDLE FHandle = SQL_NULL_HANDLE;
};

// Text for the wide-character functions, and back (the lengths are in bytes).
std::u16string ToOdbcText(std::string_view utf8);
SQLWCHAR* OdbcText(std::u16string& text);
std::string FromOdbcText(const SQLWCHAR* text, size_t bytes);

}  // namespace iqo
