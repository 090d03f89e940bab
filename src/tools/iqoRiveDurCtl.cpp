// iqoRiveDurCtl: the administrator's tool. "extract" runs the extraction job of one widget
// now, "cycle" one worker cycle; their log entries go to standard output. "status", "pause",
// "continue" and "stop" hand the request to systemctl for the installed service.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "ConsoleLogTarget.h"
#include "extraction/iqoDataThread.h"
#include "platform/FileUtils.h"
#include "platform/ServiceManager.h"
#include "service/IQOCommon.h"

namespace {

constexpr const char* kUsage =
    "usage: iqoRiveDurCtl extract [--json] WIDGET_FILE\n"
    "       iqoRiveDurCtl cycle [--json] SETTINGS   (a folder, or the file iqoRiveDur.ini in it)\n"
    "       iqoRiveDurCtl status|pause|continue|stop\n";

int UsageError(const std::string& why) {
    std::fprintf(stderr, "iqoRiveDurCtl: %s\n%s", why.c_str(), kUsage);
    return 2;
}

// The systemctl arguments of a service command: pause and continue are the control signals
// of the service's main process.
const std::map<std::string, std::vector<std::string>>& ServiceCommands() {
    static const std::map<std::string, std::vector<std::string>> commands{
        {"status", {"status", "iqoRiveDur"}},
        {"pause", {"kill", "-s", "SIGUSR1", "--kill-who=main", "iqoRiveDur"}},
        {"continue", {"kill", "-s", "SIGUSR2", "--kill-who=main", "iqoRiveDur"}},
        {"stop", {"stop", "iqoRiveDur"}},
    };
    return commands;
}

int RunServiceCommand(const std::string& command, int argc) {
    if (argc != 2) return UsageError(command + " takes no arguments");
    const int status = iqo::RunSystemctl(ServiceCommands().at(command));
    if (status >= 0) return status;
    const int error = errno;
    std::fprintf(stderr, "iqoRiveDurCtl: systemctl could not be run (%s): the service is controlled through systemd, which is not available here\n",
                 iqo::SystemErrorText(error).c_str());
    return error == ENOENT ? 127 : 126;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace iqo;
    if (argc < 2) return UsageError("no command given");
    const std::string command = argv[1];
    if (ServiceCommands().count(command)) return RunServiceCommand(command, argc);
    bool json = false;
    std::vector<std::string> files;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--json")
            json = true;
        else if (arg.size() > 1 && arg[0] == '-')
            return UsageError("unknown option " + arg);
        else
            files.push_back(arg);
    }
    if (command != "extract" && command != "cycle") return UsageError("unknown command " + command);
    if (files.size() != 1) return UsageError(command + " takes exactly one " + (command == "extract" ? "WIDGET_FILE" : "SETTINGS"));

    std::string settingsFolder;
    if (command == "cycle") {
        const std::string& settings = files[0];
        if (DirectoryExists(settings))
            settingsFolder = settings;
        else if (ExtractFileName(settings) == TIqoDataThread::kSettingsFileName)
            settingsFolder = ExtractFileDir(settings);
        else
            return UsageError("SETTINGS must be a folder or a file named iqoRiveDur.ini: " + settings);
        SetServicePath(settingsFolder.empty() ? std::string() : AdjustPathDelimiter(settingsFolder, 0));
    }

    TConsoleLogTarget log(stdout, json);
    // A bare INI name would be looked up in the system folder: name the file the administrator means.
    std::string widgetFile = files[0];
    if (!widgetFile.empty() && widgetFile[0] != '/') widgetFile = std::filesystem::current_path().string() + "/" + widgetFile;
    TLogTargetInstallation installation(log);
    TIqoDataThread worker(true);
    if (command == "extract")
        worker.ExtractWidgetData(widgetFile);
    else
        worker.Cycle();
    return 0;
}
