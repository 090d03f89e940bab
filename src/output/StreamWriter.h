#pragma once

#include <string>
#include <string_view>

#include "Stream.h"

namespace iqo {

// Turns text into bytes and writes them to a byte stream that it does not own. Text in this
// system is UTF-8 already, so it goes out as UTF-8, without byte-order mark; a byte sequence
// that is not well-formed UTF-8 is replaced by U+FFFD (one for each maximal ill-formed
// subpart), so that a reader never meets an encoding error in the file.
class StreamWriter {
public:
    explicit StreamWriter(TStream& output) : FOutput(output) {}
    StreamWriter(const StreamWriter&) = delete;
    StreamWriter& operator=(const StreamWriter&) = delete;

    void Write(std::string_view value);
    // The text followed by CR LF.
    void WriteLine(std::string_view value);

private:
    TStream& FOutput;
    std::string FRepaired;  // reused for text that needs replacements
};

// The length of the well-formed UTF-8 prefix of a text.
size_t WellFormedUtf8Length(std::string_view text);

}  // namespace iqo
