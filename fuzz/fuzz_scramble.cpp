// The password encoding: any text is encoded without harm, and a password that survives the
// encoding (it needs no trimming at either end, before or after, and holds no byte FF) comes
// back unchanged from a second encoding, stored as the complement of its bytes.

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "platform/CodePage.h"
#include "platform/TextUtils.h"
#include "service/IQOCommon.h"

namespace {

// Whether the password survives: its Windows-1252 bytes are the text exactly, it is trimmed,
// holds no byte FF (its complement 0 would end a stored value), and its first and last bytes
// do not complement to a character that trims (FF minus DF and above is 20 and below).
bool Survives(const std::string& text, const std::string& ansi) {
    if (ansi.empty() || iqo::AnsiToUtf8(ansi) != text || iqo::Trim(text) != text) return false;
    if (ansi.find('\xFF') != std::string::npos) return false;
    const auto first = static_cast<unsigned char>(ansi.front());
    const auto last = static_cast<unsigned char>(ansi.back());
    return first < 0xDF && last < 0xDF;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string encoded = iqo::ScrambleText(text);
    FUZZ_CHECK(iqo::SanitizeUtf8(encoded) == encoded, "the encoded text is not well-formed UTF-8");
    FUZZ_CHECK(iqo::Trim(encoded) == encoded, "the encoded text is not trimmed");

    const std::string ansi = iqo::Utf8ToAnsi(text);
    if (!Survives(text, ansi)) return 0;
    std::string complement = ansi;
    for (char& b : complement) b = static_cast<char>(~static_cast<unsigned char>(b));
    FUZZ_CHECK(iqo::Utf8ToAnsi(encoded) == complement, "the stored bytes are not the complement of the password");
    FUZZ_CHECK(iqo::ScrambleText(encoded) == text, "decoding does not give the password back");
    return 0;
}
