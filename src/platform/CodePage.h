#pragma once

#include <string>
#include <string_view>

namespace iqo {

// The 8-bit system code page of the host is Windows-1252. Every byte value maps to one
// character and back: the five bytes that Windows-1252 leaves undefined (81, 8D, 8F, 90, 9D)
// stand for U+0081, U+008D, U+008F, U+0090 and U+009D, so scrambled passwords survive.
// Text inside the program is UTF-8.

// UTF-8 to Windows-1252 bytes; characters the code page lacks (and invalid UTF-8) become '?'.
std::string Utf8ToAnsi(std::string_view utf8);
// Windows-1252 bytes to UTF-8; never fails.
std::string AnsiToUtf8(std::string_view ansi);

// Decodes one character of UTF-8 at pos and advances pos; invalid or truncated sequences,
// overlong forms and encoded surrogates give U+FFFD and advance by one byte.
char32_t DecodeUtf8(std::string_view utf8, size_t& pos);
// Appends the UTF-8 form of a code point (surrogates and values above U+10FFFF as U+FFFD).
void AppendUtf8(std::string& out, char32_t cp);

// UTF-8 and UTF-16; unpaired surrogates in UTF-16 and invalid UTF-8 become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);
// Raw UTF-16 bytes (an odd last byte is dropped) to UTF-8.
std::string Utf16LeBytesToUtf8(std::string_view bytes);
std::string Utf16BeBytesToUtf8(std::string_view bytes);
// UTF-8 to UTF-16 LE bytes, without byte-order mark.
std::string Utf8ToUtf16LeBytes(std::string_view utf8);

// The text with every invalid UTF-8 sequence replaced by U+FFFD.
std::string SanitizeUtf8(std::string_view utf8);

// Number of characters (code points) of a UTF-8 text.
size_t Utf8Length(std::string_view utf8);
// The first maxChars characters of a UTF-8 text, never cutting a character in two.
std::string_view Utf8Left(std::string_view utf8, size_t maxChars);

}  // namespace iqo
