#include "OdbcHandles.h"

#include "platform/CodePage.h"
#include "platform/Exception.h"

namespace iqo {

TOdbcHandle::TOdbcHandle(SQLSMALLINT type, SQLHANDLE parent) : FType(type) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(type, parent, &FHandle))) {
        FHandle = SQL_NULL_HANDLE;
        throw Exception(type == SQL_HANDLE_ENV ? "The ODBC driver manager could not allocate an environment"
                                               : "The ODBC driver manager could not allocate a handle");
    }
}

TOdbcHandle::~TOdbcHandle() {
    if (FHandle != SQL_NULL_HANDLE) SQLFreeHandle(FType, FHandle);
}

std::string TOdbcHandle::Diagnostics() const {
    std::string text;
    for (SQLSMALLINT record = 1;; ++record) {
        SQLWCHAR state[6];
        SQLINTEGER nativeError = 0;
        SQLWCHAR message[2048];
        SQLSMALLINT length = 0;
        const SQLRETURN rc = SQLGetDiagRecW(FType, FHandle, record, state, &nativeError, message,
                                            static_cast<SQLSMALLINT>(sizeof message / sizeof message[0]), &length);
        if (!SQL_SUCCEEDED(rc)) break;
        const size_t characters = std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)),
                                                   sizeof message / sizeof message[0] - 1);
        std::string line = FromOdbcText(message, characters * sizeof(SQLWCHAR));
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        if (line.empty()) continue;
        if (!text.empty()) text += '\n';
        text += line;
    }
    return text;
}

void TOdbcHandle::Check(SQLRETURN rc, std::string_view what) const {
    if (SQL_SUCCEEDED(rc)) return;
    std::string text = Diagnostics();
    if (text.empty()) text = std::string(what) + " failed and the ODBC driver gave no reason";
    throw Exception(text);
}

std::u16string ToOdbcText(std::string_view utf8) { return Utf8ToUtf16(utf8); }

SQLWCHAR* OdbcText(std::u16string& text) { return reinterpret_cast<SQLWCHAR*>(text.data()); }

std::string FromOdbcText(const SQLWCHAR* text, size_t bytes) {
    return Utf16LeBytesToUtf8(std::string_view(reinterpret_cast<const char*>(text), bytes));
}

}  // namespace iqo
