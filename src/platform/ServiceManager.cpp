#include "ServiceManager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include <systemd/sd-daemon.h>

#include "Exception.h"
#include "FileOperations.h"
#include "FileUtils.h"
#include "TextUtils.h"

extern char** environ;

namespace iqo {

namespace {

// The value of key in section of a unit file's text: the last assignment wins (an empty one
// resets), comments (# and ;) are skipped and a line ending in a backslash continues on the
// next one, as systemd reads it. Empty when absent.
std::string UnitFileValue(std::string_view text, std::string_view section, std::string_view key) {
    std::string value;
    std::string current;
    size_t pos = 0;
    while (pos < text.size()) {
        std::string line;
        // Gather one logical line: a final backslash joins the next physical line with a blank.
        for (;;) {
            const size_t end = std::min(text.find('\n', pos), text.size());
            std::string physical = TrimRight(text.substr(pos, end - pos));
            pos = end + 1;
            const bool continues = !physical.empty() && physical.back() == '\\' && pos < text.size();
            if (!continues) {
                line += physical;
                break;
            }
            physical.pop_back();
            line += physical + " ";
        }
        const std::string t = Trim(line);
        if (t.empty() || t[0] == '#' || t[0] == ';') continue;
        if (t[0] == '[') {
            const size_t close = t.find(']');
            current = close == std::string::npos ? std::string() : t.substr(1, close - 1);
            continue;
        }
        const size_t eq = t.find('=');
        if (eq == std::string::npos || current != section || Trim(t.substr(0, eq)) != key) continue;
        value = Trim(t.substr(eq + 1));
    }
    return value;
}

}  // namespace

TServiceManager::TServiceManager(std::string unitRoot, std::string registryRoot)
    : FUnitRoot(std::move(unitRoot)), FRegistryRoot(std::move(registryRoot)), FReload(ReloadSystemd) {}

std::string TServiceManager::UnitFilePath(std::string_view serviceName) const {
    return FUnitRoot + "/" + std::string(serviceName) + ".service";
}

std::string TServiceManager::EnableLinkPath(std::string_view serviceName) const {
    return FUnitRoot + "/multi-user.target.wants/" + std::string(serviceName) + ".service";
}

std::string TServiceManager::ServiceKey(std::string_view serviceName) {
    return "SYSTEM\\CurrentControlSet\\Services\\" + std::string(serviceName);
}

std::string UnitFileText(const TServiceConfig& config) {
    return "[Unit]\nDescription=" + config.DisplayName + "\n\n[Service]\nType=notify\nExecStart=" + config.ImagePath +
           "\nTimeoutStopSec=90\n\n[Install]\nWantedBy=multi-user.target\n";
}

void TServiceManager::CreateService(const TServiceConfig& config) {
    // A line break would end the assignment and a "%" is a specifier to systemd: either would
    // make the unit run something other than the image path given.
    for (const std::string* text : {&config.ImagePath, &config.DisplayName}) {
        if (std::any_of(text->begin(), text->end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == '%'; }))
            throw Exception("The unit file cannot hold a line break, a control character or \"%\": " + *text);
    }
    const std::string unitFile = UnitFilePath(config.Name);
    struct stat st {};
    if (::lstat(unitFile.c_str(), &st) == 0) throw Exception(kServiceExistsText);
    if (!ForceDirectories(FUnitRoot)) throw Exception(SystemErrorText(errno));
    ReplaceFileAtomically(unitFile, UnitFileText(config), 0644);
    try {
        TRegistry registry(FRegistryRoot);
        if (!registry.OpenKey(ServiceKey(config.Name), true)) throw Exception(SystemErrorText(errno));
        registry.WriteString("ImagePath", config.ImagePath);
        registry.WriteString("DisplayName", config.DisplayName);
        registry.WriteInteger("Start", config.StartType);
        registry.WriteInteger("Type", config.ServiceType);
        registry.WriteInteger("ErrorControl", config.ErrorControl);
        registry.WriteString("ObjectName", config.ObjectName);
        registry.CloseKey();
        if (config.StartType == 2) {
            const std::string link = EnableLinkPath(config.Name);
            if (!ForceDirectories(ExtractFileDir(link)) || ::symlink(unitFile.c_str(), link.c_str()) != 0)
                throw Exception(SystemErrorText(errno));
        }
    } catch (const Exception&) {
        RemoveService(config.Name);
        throw;
    }
    FReload();
}

void TServiceManager::DeleteService(std::string_view serviceName) {
    const std::string unitFile = UnitFilePath(serviceName);
    struct stat st {};
    if (::lstat(unitFile.c_str(), &st) != 0) throw Exception(kServiceMissingText);
    if (FileOperations().Unlink(unitFile.c_str()) != 0) throw Exception(SystemErrorText(errno));
    RemoveService(serviceName);
    FReload();
}

// What a service leaves besides its unit file: a missing part is no error.
void TServiceManager::RemoveService(std::string_view serviceName) {
    FileOperations().Unlink(UnitFilePath(serviceName).c_str());
    FileOperations().Unlink(EnableLinkPath(serviceName).c_str());
    TRegistry(FRegistryRoot).DeleteKey(ServiceKey(serviceName));
}

std::string TServiceManager::ImagePath(std::string_view serviceName) const {
    const auto text = ReadWholeFile(UnitFilePath(serviceName));
    return text ? UnitFileValue(*text, "Service", "ExecStart") : std::string();
}

void NotifyServiceManager(const std::string& state) { sd_notify(0, state.c_str()); }

namespace {

// Spawn attributes and file actions, released on every way out.
struct TSpawnSetup {
    posix_spawnattr_t attr;
    posix_spawn_file_actions_t actions;
    TSpawnSetup() {
        posix_spawnattr_init(&attr);
        posix_spawn_file_actions_init(&actions);
    }
    ~TSpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
    }
    TSpawnSetup(const TSpawnSetup&) = delete;
    TSpawnSetup& operator=(const TSpawnSetup&) = delete;
};

// Starts systemctl with the arguments and the signal mask cleared, since the service blocks
// its control signals in every thread and the child must not inherit that. The child's id, or
// -1 with errno set.
pid_t SpawnSystemctl(const std::vector<std::string>& arguments, TSpawnSetup& setup) {
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&setup.attr, &none);
    posix_spawnattr_setflags(&setup.attr, POSIX_SPAWN_SETSIGMASK);
    std::vector<std::string> words{"systemctl"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    const int error = posix_spawnp(&child, argv[0], &setup.actions, &setup.attr, argv.data(), environ);
    if (error != 0) {
        errno = error;
        return -1;
    }
    return child;
}

int WaitForChild(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

int RunSystemctl(const std::vector<std::string>& arguments) {
    TSpawnSetup setup;
    const pid_t child = SpawnSystemctl(arguments, setup);
    return child < 0 ? -1 : WaitForChild(child);
}

void ReloadSystemd() {
    if (DirectoryExists("/run/systemd/system")) RunSystemctl({"daemon-reload"});
}

bool SystemIsStopping() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    TFileHandle readEnd(fds[0]);
    TFileHandle writeEnd(fds[1]);

    TSpawnSetup setup;
    posix_spawn_file_actions_adddup2(&setup.actions, writeEnd.Get(), STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&setup.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    const pid_t child = SpawnSystemctl({"is-system-running"}, setup);
    if (child < 0) return false;
    writeEnd.Close();

    std::string output;
    char buf[256];
    for (;;) {
        const ssize_t n = ::read(readEnd.Get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (output.size() < 4096) output.append(buf, static_cast<size_t>(n));
    }
    WaitForChild(child);
    return Trim(output) == "stopping";
}

}  // namespace iqo
