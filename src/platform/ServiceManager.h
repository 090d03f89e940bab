#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "Registry.h"

namespace iqo {

// What a service is created with; the defaults are an own-process service started
// automatically, with normal error control, under the system account.
struct TServiceConfig {
    std::string Name;
    std::string DisplayName;
    std::string ImagePath;      // as it is to be stored: quoted by the caller when it holds a blank
    uint32_t ServiceType = 16;  // SERVICE_WIN32_OWN_PROCESS
    uint32_t StartType = 2;     // SERVICE_AUTO_START
    uint32_t ErrorControl = 1;  // SERVICE_ERROR_NORMAL
    std::string ObjectName = "LocalSystem";
};

// The service manager of the host (systemd): a service is installed as the unit file
// <unit root>/<name>.service, enabled for automatic start by the link
// <unit root>/multi-user.target.wants/<name>.service, and has its key
// "SYSTEM\CurrentControlSet\Services\<name>" in the registry.
class TServiceManager {
public:
    static constexpr const char* kSystemUnitRoot = "/etc/systemd/system";
    static constexpr const char* kServiceExistsText = "The specified service already exists.";
    static constexpr const char* kServiceMissingText = "The specified service does not exist as an installed service.";

    explicit TServiceManager(std::string unitRoot = kSystemUnitRoot, std::string registryRoot = TRegistry::kSystemRoot);
    virtual ~TServiceManager() = default;

    const std::string& UnitRoot() const { return FUnitRoot; }
    const std::string& RegistryRoot() const { return FRegistryRoot; }
    std::string UnitFilePath(std::string_view serviceName) const;
    std::string EnableLinkPath(std::string_view serviceName) const;
    static std::string ServiceKey(std::string_view serviceName);

    // What runs after a unit was created or deleted; ReloadSystemd unless replaced.
    void SetReload(std::function<void()> reload) { FReload = std::move(reload); }

    // Writes the unit file, the service's key (ImagePath, DisplayName, Start, Type,
    // ErrorControl, ObjectName) and, for automatic start, the enablement link, then reloads.
    // Raises Exception with kServiceExistsText when the unit exists, or with the system's text
    // when a part cannot be written (what was written is then removed again).
    void CreateService(const TServiceConfig& config);
    // Removes the unit file, its enablement link and the service's key, then reloads. Raises
    // Exception with kServiceMissingText when the unit does not exist, or with the system's
    // text when it cannot be removed.
    void DeleteService(std::string_view serviceName);

    // The image path of the service: the ExecStart= of its unit's [Service] section as stored
    // (quotation marks and arguments included); empty when the unit is absent, unreadable or
    // has none.
    std::string ImagePath(std::string_view serviceName) const;

private:
    void RemoveService(std::string_view serviceName);

    std::string FUnitRoot;
    std::string FRegistryRoot;
    std::function<void()> FReload;
};

// The unit file text of a service.
std::string UnitFileText(const TServiceConfig& config);

// Runs systemctl with the arguments, its standard streams those of this process, and returns
// its exit status (128 + the signal when one ended it); -1 with errno set when systemctl
// cannot be started (ENOENT when it is not installed).
int RunSystemctl(const std::vector<std::string>& arguments);

// `systemctl daemon-reload`, only where systemd runs (/run/systemd/system exists); its
// outcome is not needed, as the unit files are what counts.
void ReloadSystemd();

// Reports a state to the service manager (sd_notify, for instance "READY=1\nSTATUS=Running");
// nothing happens when the process was not started by it.
void NotifyServiceManager(const std::string& state);

// True while the host is shutting down: `systemctl is-system-running` prints "stopping".
bool SystemIsStopping();

}  // namespace iqo
