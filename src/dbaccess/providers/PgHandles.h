#pragma once

#include <libpq-fe.h>

#include <memory>
#include <string>

namespace iqo {

// Owning handles of libpq's connection and result objects.
struct TPgConnectionFinisher {
    void operator()(PGconn* connection) const { PQfinish(connection); }
};
struct TPgResultClearer {
    void operator()(PGresult* result) const { PQclear(result); }
};
using TPgConnectionHandle = std::unique_ptr<PGconn, TPgConnectionFinisher>;
using TPgResultHandle = std::unique_ptr<PGresult, TPgResultClearer>;

// A libpq message without its final line end; its other lines (DETAIL, HINT, ...) kept.
std::string PgMessageText(const char* message);

// Takes the result of a command: raises the server's message unless its status is `expected`.
TPgResultHandle PgCheckResult(PGconn* connection, PGresult* result, ExecStatusType expected);

}  // namespace iqo
