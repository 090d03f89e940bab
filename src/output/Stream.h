#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace iqo {

// A byte stream that a writer puts its bytes into, from the stream's current position.
class TStream {
public:
    virtual ~TStream() = default;
    // Writes every byte or raises.
    virtual void Write(const void* data, size_t size) = 0;
    void Write(std::string_view bytes) { Write(bytes.data(), bytes.size()); }
};

// A stream held in memory: every write is appended to Data.
class TMemoryStream : public TStream {
public:
    using TStream::Write;
    void Write(const void* data, size_t size) override { FData.append(static_cast<const char*>(data), size); }
    const std::string& Data() const { return FData; }

private:
    std::string FData;
};

}  // namespace iqo
