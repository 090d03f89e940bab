#include "RemoteDataFile.h"

#include <fcntl.h>

#include <cerrno>
#include <filesystem>

#include "output/FileStream.h"
#include "output/RowsetWriter.h"
#include "platform/Exception.h"
#include "platform/FileOperations.h"
#include "platform/FileUtils.h"
#include "platform/TextUtils.h"

namespace iqo {

namespace {

std::string FullPath(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    return (ec ? std::filesystem::path(path) : full).lexically_normal().string();
}

// Flushes a written file to disk through a descriptor of its own.
bool SyncFile(const std::string& path) {
    TFileHandle file(FileOperations().Open(path.c_str(), O_RDONLY, 0));
    return file.Valid() && FileOperations().Fsync(file.Get()) == 0;
}

}  // namespace

void SaveRemoteDataFile(TDataSet& dataSet, const std::string& path) {
    const std::string temp = TemporarySiblingName(path);
    auto& ops = FileOperations();
    try {
        TFileStream stream(temp);
        SaveToXML(dataSet, stream);
        stream.Close();
        if (!SyncFile(temp)) throw Exception("Cannot write file \"" + FullPath(temp) + "\". " + SystemErrorText(errno));
        if (ops.Rename(temp.c_str(), path.c_str()) != 0)
            throw Exception("Cannot create file \"" + FullPath(temp) + "\". " + SystemErrorText(errno));
    } catch (const Exception& e) {
        ops.Unlink(temp.c_str());
        // The temporary file is ours: the administrator knows the file by its own name.
        throw Exception(ReplaceAll(e.Message(), FullPath(temp), FullPath(path)));
    } catch (...) {
        ops.Unlink(temp.c_str());
        throw;
    }
}

}  // namespace iqo
