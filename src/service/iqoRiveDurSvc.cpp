#include <string>
#include <vector>

#include "platform/RegionalSettings.h"
#include "platform/ServiceApplication.h"
#include "service/ServiceInstaller.h"
#include "service/uiqoDatraCtr.h"

// The service program iqoRiveDur. With "INSTALL" or "UNINSTALL" it installs or removes the
// service and ends; otherwise it serves in the foreground, under systemd or from a shell,
// until the service has stopped; the process then waits for the worker to end.
int main(int argc, char** argv) {
    iqo::RegionalSettings();  // captured at the start, as every date-time text uses them

    const iqo::TInstallSwitches switches = iqo::ParseInstallSwitches(std::vector<std::string>(argv + 1, argv + argc));
    if (switches.Any()) {
        // Before the service application: the administrator's program keeps its signals.
        iqo::TiqoRiveDur module;
        return iqo::RunInstallSwitches(switches, module);
    }

    iqo::TServiceApplication application;
    iqo::TiqoRiveDur module;
    application.Run(module);
    return 0;
}
