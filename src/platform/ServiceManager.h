#pragma once

#include <string>
#include <string_view>

namespace iqo {

// The service manager of the host (systemd): a service is installed as the unit file
// <root>/<name>.service. This class reads what the installed units hold; the installer builds
// on it to write and remove them.
class TServiceManager {
public:
    static constexpr const char* kSystemUnitRoot = "/etc/systemd/system";

    explicit TServiceManager(std::string unitRoot = kSystemUnitRoot);
    virtual ~TServiceManager() = default;

    const std::string& UnitRoot() const { return FUnitRoot; }
    std::string UnitFilePath(std::string_view serviceName) const;

    // The image path of the service: the ExecStart= of its unit's [Service] section as stored
    // (quotation marks and arguments included); empty when the unit is absent, unreadable or
    // has none.
    std::string ImagePath(std::string_view serviceName) const;

private:
    std::string FUnitRoot;
};

// Reports a state to the service manager (sd_notify, for instance "READY=1\nSTATUS=Running");
// nothing happens when the process was not started by it.
void NotifyServiceManager(const std::string& state);

// True while the host is shutting down: `systemctl is-system-running` prints "stopping".
bool SystemIsStopping();

}  // namespace iqo
