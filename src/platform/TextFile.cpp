#include "TextFile.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>

#include "CodePage.h"
#include "Exception.h"
#include "FileOperations.h"
#include "FileUtils.h"

namespace iqo {

std::string TextFromBytes(const std::string& bytes) {
    std::string text;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        text = SanitizeUtf8(std::string_view(bytes).substr(3));
    } else if (bytes.compare(0, 2, "\xFF\xFE") == 0) {
        text = Utf16LeBytesToUtf8(std::string_view(bytes).substr(2));
    } else if (bytes.compare(0, 2, "\xFE\xFF") == 0) {
        text = Utf16BeBytesToUtf8(std::string_view(bytes).substr(2));
    } else {
        text = AnsiToUtf8(bytes);
    }
    text.resize(std::min(text.size(), text.find('\0')));

    std::string out;
    out.reserve(text.size() + text.size() / 16 + 2);
    size_t i = 0;
    while (i < text.size()) {
        const size_t eol = text.find_first_of("\r\n", i);
        if (eol == std::string::npos) {
            out.append(text, i, std::string::npos).append("\r\n");
            break;
        }
        out.append(text, i, eol - i).append("\r\n");
        i = eol + (text[eol] == '\r' && eol + 1 < text.size() && text[eol + 1] == '\n' ? 2 : 1);
    }
    return out;
}

std::string LoadTextFile(const std::string& path) {
    auto& ops = FileOperations();
    TFileHandle file(ops.Open(path.c_str(), O_RDONLY, 0));
    if (!file.Valid()) throw Exception("Cannot open file \"" + path + "\". " + SystemErrorText(errno));
    // A read lock of our own stands for the deny-write share mode: it cannot be taken while
    // another process holds a write lock, and keeps writers that lock out while we read.
    struct flock lock {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    if (ops.Lock(file.Get(), F_OFD_SETLK, &lock) != 0) {
        const int error = errno;
        throw Exception("Cannot open file \"" + path + "\". " +
                        (error == EAGAIN || error == EACCES ? std::string("The file is being written by another process")
                                                            : SystemErrorText(error)));
    }
    std::string bytes;
    char buf[65536];
    for (;;) {
        const ssize_t n = ops.Read(file.Get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw Exception("Cannot read file \"" + path + "\". " + SystemErrorText(errno));
        }
        if (n == 0) break;
        bytes.append(buf, static_cast<size_t>(n));
    }
    return TextFromBytes(bytes);
}

}  // namespace iqo
