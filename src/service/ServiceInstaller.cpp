#include "ServiceInstaller.h"

#include <optional>

#include "platform/Exception.h"
#include "platform/TextUtils.h"

namespace iqo {

namespace {

std::string FailureText(const char* action, const std::string& error) {
    return std::string("Service \"") + TiqoRiveDur::kDisplayName + "\" failed to " + action + " with error: \"" + error + "\"";
}

// The error text of a failed installation, or none on success.
std::optional<std::string> Install(TiqoRiveDur& module) {
    TServiceManager& manager = module.ServiceManager();
    try {
        manager.CreateService({TiqoRiveDur::kServiceName, TiqoRiveDur::kDisplayName, ServiceImagePath(module.ExecutablePath())});
    } catch (const std::exception& e) {
        return e.what();
    }
    try {
        module.ServiceAfterInstall(module);
    } catch (const std::exception& e) {
        const std::string error = e.what();
        try {
            manager.DeleteService(TiqoRiveDur::kServiceName);
        } catch (const std::exception&) {
            // The failure shown is the one that ended the installation.
        }
        return error;
    }
    return std::nullopt;
}

std::optional<std::string> Uninstall(TiqoRiveDur& module) {
    try {
        module.ServiceManager().DeleteService(TiqoRiveDur::kServiceName);
    } catch (const std::exception& e) {
        return e.what();
    }
    return std::nullopt;
}

}  // namespace

TInstallSwitches ParseInstallSwitches(const std::vector<std::string>& arguments) {
    TInstallSwitches switches;
    for (const auto& argument : arguments) {
        if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) continue;
        const std::string name = UpperCase(argument.substr(1));
        if (name == "INSTALL") switches.Install = true;
        if (name == "UNINSTALL") switches.Uninstall = true;
        if (name == "SILENT") switches.Silent = true;
    }
    return switches;
}

std::string ServiceImagePath(const std::string& executable) {
    return executable.find(' ') == std::string::npos ? executable : "\"" + executable + "\"";
}

int RunInstallSwitches(const TInstallSwitches& switches, TiqoRiveDur& module, const TShowInstallMessage& show) {
    const bool install = switches.Install;
    const std::optional<std::string> error = install ? Install(module) : Uninstall(module);
    if (error) {
        show(TInstallMessageKind::Error, FailureText(install ? "install" : "uninstall", *error));
        return 1;
    }
    if (!switches.Silent)
        show(TInstallMessageKind::Information, install ? "Service installed successfully" : "Service uninstalled successfully");
    return 0;
}

}  // namespace iqo
