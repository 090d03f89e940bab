#pragma once

#include <functional>
#include <string>
#include <vector>

#include "service/InstallMessage.h"
#include "service/uiqoDatraCtr.h"

namespace iqo {

// The installer's switches on a command line.
struct TInstallSwitches {
    bool Install = false;
    bool Uninstall = false;
    bool Silent = false;

    bool Any() const { return Install || Uninstall; }
};

// "INSTALL", "UNINSTALL" and "SILENT", each introduced by "/" or "-", in any letter case,
// anywhere among the arguments (the program's name not included).
TInstallSwitches ParseInstallSwitches(const std::vector<std::string>& arguments);

// The image path of an executable as the service manager stores it: in double quotation marks
// when it holds a blank, no arguments.
std::string ServiceImagePath(const std::string& executable);

using TShowInstallMessage = std::function<void(TInstallMessageKind kind, const std::string& text)>;

// Installs the module's service ("INSTALL") or, without that, removes it ("UNINSTALL"), and
// shows the outcome: failures always, success only without "SILENT". Installation creates the
// service and runs ServiceAfterInstall; when that raises, the service is deleted again.
// Returns the program's exit status: 0 on success, 1 on failure.
int RunInstallSwitches(const TInstallSwitches& switches, TiqoRiveDur& module,
                       const TShowInstallMessage& show = ShowInstallMessage);

}  // namespace iqo
