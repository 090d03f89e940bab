#pragma once

#include <cerrno>
#include <string>

#include "platform/FileOperations.h"

// File operations that fail one chosen call with a chosen errno, for the failure paths: every
// call of that kind, or only the nth one (counted from 1) when nth is given.
class TFailingFileOperations : public iqo::TFileOperations {
public:
    enum class TCall { None, Open, Write, Fsync, Rename, Unlink, Lock };

    TFailingFileOperations(TCall call, int error, int nth = 0) : FCall(call), FError(error), FNth(nth) {}

    int Open(const char* path, int flags, mode_t mode) override {
        return Fail(TCall::Open) ? -1 : TFileOperations::Open(path, flags, mode);
    }
    ssize_t Write(int fd, const void* buffer, size_t count) override {
        return Fail(TCall::Write) ? -1 : TFileOperations::Write(fd, buffer, count);
    }
    int Fsync(int fd) override { return Fail(TCall::Fsync) ? -1 : TFileOperations::Fsync(fd); }
    int Rename(const char* from, const char* to) override {
        return Fail(TCall::Rename) ? -1 : TFileOperations::Rename(from, to);
    }
    int Unlink(const char* path) override { return Fail(TCall::Unlink) ? -1 : TFileOperations::Unlink(path); }
    int Lock(int fd, int command, struct flock* lock) override {
        return Fail(TCall::Lock) ? -1 : TFileOperations::Lock(fd, command, lock);
    }

    int Failures() const { return FFailures; }

private:
    bool Fail(TCall call) {
        if (call != FCall) return false;
        if (FNth != 0 && ++FCalls != FNth) return false;
        ++FFailures;
        errno = FError;
        return true;
    }

    TCall FCall;
    int FError;
    int FNth;
    int FCalls = 0;
    int FFailures = 0;
};
