#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

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
