// The SQL side-file loader over any bytes: whatever the byte-order mark and the line ends, the
// text is well-formed UTF-8 without NUL, every line ends in CR LF, and reading it again as a
// UTF-8 file changes nothing. Loading the file gives what converting its bytes gives.

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "TestSupport.h"
#include "platform/CodePage.h"
#include "platform/TextFile.h"
#include "platform/TextUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const TTempFolder folder("/dev/shm");
    static const std::string path = folder.File("widget_03.sql");

    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string text = iqo::TextFromBytes(bytes);

    FUZZ_CHECK(iqo::SanitizeUtf8(text) == text, "the text is not well-formed UTF-8");
    FUZZ_CHECK(text.find('\0') == std::string::npos, "a NUL is left in the text");
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') FUZZ_CHECK(i + 1 < text.size() && text[i + 1] == '\n', "a CR without LF");
        if (text[i] == '\n') FUZZ_CHECK(i > 0 && text[i - 1] == '\r', "an LF without CR");
    }
    FUZZ_CHECK(text.empty() || (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0),
               "the last line has no line end");
    FUZZ_CHECK(iqo::TextFromBytes("\xEF\xBB\xBF" + text) == text, "reading the text again changes it");

    WriteBytes(path, bytes);
    FUZZ_CHECK(iqo::LoadTextFile(path) == text, "loading the file differs from converting its bytes");
    return 0;
}
