#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <memory>

namespace iqo {

// The narrow seam through which every file write of the system goes. The calls follow the
// POSIX ones (-1 and errno on failure). Tests install a derived object to inject failures:
// they run as root, where permissions block nothing.
class TFileOperations {
public:
    virtual ~TFileOperations() = default;
    virtual int Open(const char* path, int flags, mode_t mode);
    virtual ssize_t Read(int fd, void* buffer, size_t count);
    virtual ssize_t Write(int fd, const void* buffer, size_t count);
    virtual int Fsync(int fd);
    virtual int Truncate(int fd, off_t length);
    virtual int Close(int fd);
    virtual int Rename(const char* from, const char* to);
    virtual int Unlink(const char* path);
    // fcntl with F_OFD_SETLK / F_OFD_GETLK and the like.
    virtual int Lock(int fd, int command, struct flock* lock);
};

// The operations in force: the system's own unless a test has installed others.
TFileOperations& FileOperations();

// Installs replacement operations for its lifetime (tests only; not thread-safe by design,
// since tests install it before any file work starts).
class TScopedFileOperations {
public:
    explicit TScopedFileOperations(TFileOperations& replacement);
    ~TScopedFileOperations();
    TScopedFileOperations(const TScopedFileOperations&) = delete;
    TScopedFileOperations& operator=(const TScopedFileOperations&) = delete;

private:
    TFileOperations* FPrevious;
};

}  // namespace iqo
