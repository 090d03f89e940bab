#include "FileOperations.h"

#include <unistd.h>

namespace iqo {

namespace {

TFileOperations& SystemOperations() {
    static TFileOperations ops;
    return ops;
}

TFileOperations* gCurrent = nullptr;

}  // namespace

int TFileOperations::Open(const char* path, int flags, mode_t mode) { return ::open(path, flags | O_CLOEXEC, mode); }
ssize_t TFileOperations::Read(int fd, void* buffer, size_t count) { return ::read(fd, buffer, count); }
ssize_t TFileOperations::Write(int fd, const void* buffer, size_t count) { return ::write(fd, buffer, count); }
int TFileOperations::Fsync(int fd) { return ::fsync(fd); }
int TFileOperations::Truncate(int fd, off_t length) { return ::ftruncate(fd, length); }
int TFileOperations::Close(int fd) { return ::close(fd); }
int TFileOperations::Rename(const char* from, const char* to) { return ::rename(from, to); }
int TFileOperations::Unlink(const char* path) { return ::unlink(path); }
int TFileOperations::Lock(int fd, int command, struct flock* lock) { return ::fcntl(fd, command, lock); }

TFileOperations& FileOperations() { return gCurrent ? *gCurrent : SystemOperations(); }

TScopedFileOperations::TScopedFileOperations(TFileOperations& replacement) : FPrevious(gCurrent) {
    gCurrent = &replacement;
}

TScopedFileOperations::~TScopedFileOperations() { gCurrent = FPrevious; }

}  // namespace iqo
