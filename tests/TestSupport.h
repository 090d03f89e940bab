#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

// A temporary folder that is removed with everything in it at the end of the test.
class TTempFolder {
public:
    // Under the system's temporary folder unless another parent is given.
    explicit TTempFolder(const std::filesystem::path& parent = std::filesystem::temp_directory_path()) {
        std::string templ = (parent / "iqo-test-XXXXXX").string();
        FPath = mkdtemp(templ.data());
    }
    ~TTempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(FPath, ec);
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    const std::string& Path() const { return FPath; }
    std::string File(const std::string& name) const { return FPath + "/" + name; }

private:
    std::string FPath;
};

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool FileExistsForTest(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// count distinct TCP ports on 127.0.0.1 that nothing listens on, chosen by the kernel: all are
// bound at once, so that they differ, and released before they are returned.
inline std::vector<int> FreeLoopbackPorts(size_t count) {
    std::vector<int> sockets, ports;
    for (size_t i = 0; i < count; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
                           ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0;
        if (fd >= 0) sockets.push_back(fd);
        if (!bound) break;
        ports.push_back(ntohs(address.sin_port));
    }
    for (const int fd : sockets) ::close(fd);
    if (ports.size() != count) throw std::runtime_error("no free TCP port on 127.0.0.1");
    return ports;
}
