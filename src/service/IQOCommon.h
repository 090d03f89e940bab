#pragma once

#include <string>
#include <string_view>

namespace iqo {

// Mode 0 appends "/" when the path does not end in one, mode 1 removes a final "/"; the test
// character is the one at the position of the path's trimmed length, so trailing blanks
// count as the end. An empty path stays empty; other modes change nothing.
std::string AdjustPathDelimiter(const std::string& path, int mode);

// The self-inverse encoding of stored passwords: every byte of the text's Windows-1252 form
// is complemented, the result is read back as Windows-1252 and trimmed.
std::string ScrambleText(std::string_view text);

// Appends one line, "dd-mm-yy hh:nn:ss: " and the text, to the capped text log folder/fileName
// (a bare name in the current folder when folder is empty). A file above 500000 bytes is
// deleted first; a new file starts with the line ".:: <fileName> file created ::.". The file
// is Windows-1252 with CR LF line ends. Every failure is swallowed: the line is then lost.
void WriteTextLog(std::string_view text, const std::string& folder, const std::string& fileName);

}  // namespace iqo
