#pragma once

#include <cstddef>
#include <string>

#include "Stream.h"
#include "platform/FileUtils.h"

namespace iqo {

// A file created for one writer: opened for reading and writing, created or truncated, and
// held under an open-file-description write lock while it is open, so that no other process
// shares it. Every call goes through the platform's file-operations seam.
class TFileStream : public TStream {
public:
    // Raises 'Cannot create file "<full path>". <system text>' when the file cannot be
    // created or another process holds a lock on it; such a file is left as it was.
    explicit TFileStream(const std::string& fileName);

    using TStream::Write;
    // Raises 'Cannot write file "<full path>". <system text>'.
    void Write(const void* data, size_t size) override;
    // Closes now and raises like Write when the system reports an error on closing. Without
    // it the file is closed quietly when the stream goes.
    void Close();

private:
    std::string FFullPath;
    TFileHandle FHandle;
};

}  // namespace iqo
