#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Exception.h"

namespace iqo {

// Why a password cannot come back unchanged from the settings file, where it is stored
// encoded (ScrambleText) as one value of an INI file; nothing when it can. The empty password
// is stored as it is: the service then uses its default password.
std::optional<std::string> PasswordStorageProblem(std::string_view password);

// A save refused before anything was written, because a password would not survive it.
class EPasswordNotStorable : public Exception {
public:
    using Exception::Exception;
};

}  // namespace iqo
