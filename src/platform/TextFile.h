#pragma once

#include <string>

namespace iqo {

// Loads a text file the way the SQL side files are read: a byte-order mark selects UTF-8,
// UTF-16 LE or UTF-16 BE (no mark: Windows-1252); lines end at CR LF, CR or LF; a NUL ends
// the text. The result is the lines joined by CR LF with a CR LF after the last one (empty
// for an empty file), as UTF-8.
// The file is opened with write access denied to others: while another process holds a
// write lock on it, the load fails. Failures raise Exception
// 'Cannot open file "<path>". <reason>' or 'Cannot read file "<path>". <reason>'.
std::string LoadTextFile(const std::string& path);

// The same conversion on bytes already read.
std::string TextFromBytes(const std::string& bytes);

}  // namespace iqo
