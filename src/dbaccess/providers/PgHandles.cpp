#include "PgHandles.h"

#include "platform/Exception.h"

namespace iqo {

std::string PgMessageText(const char* message) {
    std::string text = message ? message : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

TPgResultHandle PgCheckResult(PGconn* connection, PGresult* result, ExecStatusType expected) {
    TPgResultHandle handle(result);
    if (!handle) throw Exception(PgMessageText(PQerrorMessage(connection)));
    if (PQresultStatus(result) != expected) {
        std::string text = PgMessageText(PQresultErrorMessage(result));
        if (text.empty()) text = "Unexpected result from the PostgreSQL server: " + std::string(PQresStatus(PQresultStatus(result)));
        throw Exception(text);
    }
    return handle;
}

}  // namespace iqo
