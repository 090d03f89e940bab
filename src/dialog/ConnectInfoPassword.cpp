#include "ConnectInfoPassword.h"

#include "platform/CodePage.h"
#include "platform/IniFile.h"

namespace iqo {

namespace {

// The encoding complements each byte of the password's code-page form; these are the bytes
// whose complement the settings file cannot hold as it is.
constexpr unsigned char kEncodesToNul = 0xFF;         // the value ends there
constexpr unsigned char kEncodesToCarriageReturn = 0xF2;
constexpr unsigned char kEncodesToLineFeed = 0xF5;    // both become blanks when written
constexpr unsigned char kEncodesToBlankFrom = 0xDF;   // 32 or less: trimmed at either end
constexpr unsigned char kEncodesToQuote = 0xDD;       // '"'
constexpr unsigned char kEncodesToApostrophe = 0xD8;  // '\'': a pair of either is removed

bool IsBlank(unsigned char b) { return b <= 0x20; }

std::string Quoted(std::string_view character) { return "\"" + std::string(character) + "\""; }

}  // namespace

std::optional<std::string> PasswordStorageProblem(std::string_view password) {
    for (size_t pos = 0; pos < password.size();) {
        const size_t start = pos;
        DecodeUtf8(password, pos);
        const std::string_view character = password.substr(start, pos - start);
        if (AnsiToUtf8(Utf8ToAnsi(character)) != character)
            return "it holds the character " + Quoted(character) + ", which the code page of the settings file lacks";
    }
    const std::string bytes = Utf8ToAnsi(password);
    if (bytes.empty()) return std::nullopt;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == kEncodesToNul)
            return "it holds the character " + Quoted(AnsiToUtf8(std::string(1, c))) +
                   ", whose encoded form would end the stored value there";
        if (b == kEncodesToCarriageReturn || b == kEncodesToLineFeed)
            return "it holds the character " + Quoted(AnsiToUtf8(std::string(1, c))) +
                   ", whose encoded form is a line break, which the settings file cannot hold";
    }
    const auto first = static_cast<unsigned char>(bytes.front()), last = static_cast<unsigned char>(bytes.back());
    const std::string firstText = AnsiToUtf8(bytes.substr(0, 1)), lastText = AnsiToUtf8(bytes.substr(bytes.size() - 1));
    if (IsBlank(first)) return "it begins with a blank or a control character, which is lost when it is read back";
    if (IsBlank(last)) return "it ends with a blank or a control character, which is lost when it is read back";
    if (first >= kEncodesToBlankFrom)
        return "its first character " + Quoted(firstText) + " encodes to a blank, which is lost when it is stored";
    if (last >= kEncodesToBlankFrom)
        return "its last character " + Quoted(lastText) + " encodes to a blank, which is lost when it is stored";
    if (bytes.size() >= 2 && first == last && (first == kEncodesToQuote || first == kEncodesToApostrophe))
        return "it begins and ends with " + Quoted(firstText) +
               ", which encode to quotation marks that are removed when it is read back";
    if (bytes.size() > TIniFile::kMaxValueChars)
        return "it is longer than " + std::to_string(TIniFile::kMaxValueChars) +
               " characters, the longest value the settings file keeps";
    return std::nullopt;
}

}  // namespace iqo
