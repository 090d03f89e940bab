#pragma once

#include <stdexcept>
#include <string>

namespace iqo {

// The one error type of the system: every failure is raised as an Exception (or a class
// derived from it) that carries the message text the log entry will show.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

}  // namespace iqo
