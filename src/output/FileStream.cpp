#include "FileStream.h"

#include <fcntl.h>

#include <cerrno>
#include <filesystem>

#include "platform/Exception.h"
#include "platform/FileOperations.h"

namespace iqo {

namespace {

[[noreturn]] void RaiseFileError(const char* what, const std::string& path, int error) {
    throw Exception(std::string(what) + " \"" + path + "\". " + SystemErrorText(error));
}

// The absolute, lexically normalized form of a path, as error texts name it; links are not
// followed.
std::string ExpandFileName(const std::string& fileName) {
    std::error_code ec;
    std::filesystem::path path = std::filesystem::absolute(fileName, ec);
    if (ec) path = fileName;
    return path.lexically_normal().string();
}

}  // namespace

TFileStream::TFileStream(const std::string& fileName) : FFullPath(ExpandFileName(fileName)) {
    TFileOperations& ops = FileOperations();
    // Not O_TRUNC: a file that another process holds must keep its content, so it is only
    // emptied once the lock is ours.
    TFileHandle file(ops.Open(fileName.c_str(), O_RDWR | O_CREAT, 0666));
    if (!file.Valid()) RaiseFileError("Cannot create file", FFullPath, errno);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (ops.Lock(file.Get(), F_OFD_SETLK, &lock) != 0 || ops.Truncate(file.Get(), 0) != 0)
        RaiseFileError("Cannot create file", FFullPath, errno);
    FHandle = std::move(file);
}

void TFileStream::Write(const void* data, size_t size) {
    if (!WriteAll(FHandle.Get(), std::string_view(static_cast<const char*>(data), size)))
        RaiseFileError("Cannot write file", FFullPath, errno);
}

void TFileStream::Close() {
    if (!FHandle.Close()) RaiseFileError("Cannot write file", FFullPath, errno);
}

}  // namespace iqo
