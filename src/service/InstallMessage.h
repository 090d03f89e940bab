#pragma once

#include <string>

namespace iqo {

enum class TInstallMessageKind { Information, Error };

// Shows an outcome of installation or removal: a message box where a display is available
// (DISPLAY or WAYLAND_DISPLAY set); otherwise information on standard output, errors on
// standard error.
void ShowInstallMessage(TInstallMessageKind kind, const std::string& text);

}  // namespace iqo
