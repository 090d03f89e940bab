#include "FileUtils.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>

#include "Exception.h"
#include "FileOperations.h"

namespace iqo {

TFileHandle::~TFileHandle() { Close(); }

TFileHandle& TFileHandle::operator=(TFileHandle&& other) noexcept {
    if (this != &other) {
        Close();
        FFd = other.Release();
    }
    return *this;
}

int TFileHandle::Release() {
    const int fd = FFd;
    FFd = -1;
    return fd;
}

bool TFileHandle::Close() {
    if (FFd < 0) return true;
    const int fd = Release();
    return FileOperations().Close(fd) == 0;
}

std::string SystemErrorText(int error) {
    char buf[256];
    return strerror_r(error, buf, sizeof buf);
}

bool FileExists(const std::string& path) {
    struct stat st {};
    // A regular file only: reading a FIFO or a device named by a widget would block the worker.
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(const std::string& path) {
    if (path.empty()) return false;
    if (DirectoryExists(path)) return true;
    const std::string parent = ExtractFileDir(path);
    if (!parent.empty() && parent != path && !ForceDirectories(parent)) return false;
    return ::mkdir(path.c_str(), 0755) == 0 || (errno == EEXIST && DirectoryExists(path));
}

std::string ExtractFileDir(std::string_view path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return {};
    if (slash == 0) return "/";
    return std::string(path.substr(0, slash));
}

std::string ExtractFileName(std::string_view path) {
    const size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

int64_t FileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = FileOperations().Write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    TFileHandle file(FileOperations().Open(path.c_str(), O_RDONLY, 0));
    if (!file.Valid()) return std::nullopt;
    std::string content;
    char buf[65536];
    for (;;) {
        const ssize_t n = FileOperations().Read(file.Get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (n == 0) break;
        content.append(buf, static_cast<size_t>(n));
    }
    return content;
}

std::string TemporarySiblingName(const std::string& path) {
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (;;) {
        std::string name = path + ".tmp";
        for (int i = 0; i < 8; ++i) name += kChars[rng() % (sizeof kChars - 1)];
        struct stat st {};
        if (::lstat(name.c_str(), &st) != 0) return name;
    }
}

namespace {

// The file a write must replace: the final target when path is a symbolic link.
std::string ResolveTarget(const std::string& path) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(current.c_str(), buf, sizeof buf - 1);
        if (n < 0) return current;
        std::string link(buf, static_cast<size_t>(n));
        if (link.empty() || link[0] != '/') {
            const std::string dir = ExtractFileDir(current);
            link = (dir.empty() ? std::string() : dir + "/") + link;
        }
        current = link;
    }
    return current;
}

void SyncFolder(const std::string& path) {
    const std::string dir = ExtractFileDir(path);
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

void ReplaceFileAtomically(const std::string& path, std::string_view bytes, mode_t newFileMode) {
    const std::string target = ResolveTarget(path);
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    const std::string temp = TemporarySiblingName(target);
    auto& ops = FileOperations();
    TFileHandle file(ops.Open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600));
    if (!file.Valid()) throw Exception(SystemErrorText(errno));
    auto fail = [&](int error) {
        file.Close();
        ops.Unlink(temp.c_str());
        throw Exception(SystemErrorText(error));
    };
    if (!WriteAll(file.Get(), bytes)) fail(errno);
    if (exists) {
        // Owner first: changing the owner may clear set-id bits that the mode then restores.
        if (::fchown(file.Get(), old.st_uid, old.st_gid) != 0 && errno != EPERM) fail(errno);
        if (::fchmod(file.Get(), old.st_mode & 07777) != 0) fail(errno);
    } else if (::fchmod(file.Get(), newFileMode) != 0) {
        fail(errno);
    }
    if (ops.Fsync(file.Get()) != 0) fail(errno);
    if (!file.Close()) {
        const int error = errno;
        ops.Unlink(temp.c_str());
        throw Exception(SystemErrorText(error));
    }
    if (ops.Rename(temp.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ops.Unlink(temp.c_str());
        throw Exception(SystemErrorText(error));
    }
    SyncFolder(target);
}

}  // namespace iqo
