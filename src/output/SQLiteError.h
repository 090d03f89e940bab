#pragma once

#include <string>

#include "platform/Exception.h"

namespace iqo {

// An error the SQLite engine reported: its message and its extended result code.
class ESQLiteError : public Exception {
public:
    ESQLiteError(const std::string& message, int code) : Exception(message), FCode(code) {}
    int Code() const { return FCode; }

private:
    int FCode;
};

}  // namespace iqo
