#pragma once

#include <string>

namespace iqo {

// Shows the Connection Information dialog for "iqoRiveDur.ini" in the settings folder and
// returns when it closes. Each call works on a new dialog that loads the file afresh. Where a
// display is available (DISPLAY or WAYLAND_DISPLAY set) it is a modal window; otherwise it runs
// as prompts on the terminal, and without a terminal on standard input it saves nothing and
// says so on standard error.
void ShowConnectInfoDialog(const std::string& settingsFolder);

}  // namespace iqo
