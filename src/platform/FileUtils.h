#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace iqo {

// Owns one file descriptor; closes it through the file-operations seam.
class TFileHandle {
public:
    TFileHandle() = default;
    explicit TFileHandle(int fd) : FFd(fd) {}
    ~TFileHandle();
    TFileHandle(TFileHandle&& other) noexcept : FFd(other.Release()) {}
    TFileHandle& operator=(TFileHandle&& other) noexcept;
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;

    int Get() const { return FFd; }
    bool Valid() const { return FFd >= 0; }
    int Release();
    // Closes now; false (errno set) when the close reports an error.
    bool Close();

private:
    int FFd = -1;
};

// The operating system's text for an errno value.
std::string SystemErrorText(int error);

// A path that names an existing regular file (links followed; a folder, a FIFO or a device
// does not count).
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Creates the folder and every missing parent; false when that fails.
bool ForceDirectories(const std::string& path);
// The folder part of a path (everything before its last "/"; "/" for a file in the root;
// empty for a bare name) and the name part.
std::string ExtractFileDir(std::string_view path);
std::string ExtractFileName(std::string_view path);
// Size in bytes, or -1 when the file cannot be examined.
int64_t FileSize(const std::string& path);

// Writes every byte; false (errno set) on failure.
bool WriteAll(int fd, std::string_view data);
// The whole content of a file, or empty when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Replaces the file (the target of a symbolic link) with the given bytes so that it is
// never torn: a temporary file in the same folder is written, flushed to disk and renamed
// over the target. An existing file keeps its owner, group and mode; a new one gets
// newFileMode. Raises Exception with the operating system's text on failure; the old file
// is then untouched and the temporary file removed.
void ReplaceFileAtomically(const std::string& path, std::string_view bytes, mode_t newFileMode);

// A name for a temporary file beside path (same folder): path, ".tmp" and a random suffix;
// no such file exists yet.
std::string TemporarySiblingName(const std::string& path);

}  // namespace iqo
