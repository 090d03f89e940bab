#include "platform/RegionalSettings.h"
#include "platform/ServiceApplication.h"
#include "service/uiqoDatraCtr.h"

// The service program iqoRiveDur. It has no options of its own: it serves in the foreground,
// under systemd or from a shell, until the service has stopped; the process then waits for
// the worker to end.
int main() {
    iqo::RegionalSettings();  // captured at the start, as every date-time text uses them

    iqo::TServiceApplication application;
    iqo::TiqoRiveDur module;
    // Serving is what the program does without an installation switch ("INSTALL",
    // "UNINSTALL"); the installer's switches are dispatched at this point, before serving.
    application.Run(module);
    return 0;
}
