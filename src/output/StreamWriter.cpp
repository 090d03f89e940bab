#include "StreamWriter.h"

#include <cstdint>
#include <cstring>

namespace iqo {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Bytes of the sequence that starts at text[pos]: its full length when well-formed, else
// the negated length of its maximal ill-formed subpart (at least 1).
int SequenceLength(std::string_view text, size_t pos) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(pos);
    int length;
    uint8_t low = 0x80, high = 0xBF;  // range of the first continuation byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;        // no overlong forms
        else if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;        // no overlong forms
        else if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return -1;
    }
    for (int i = 1; i < length; ++i) {
        if (pos + i >= text.size()) return -i;
        const uint8_t b = byte(pos + i);
        if (i == 1 ? (b < low || b > high) : (b < 0x80 || b > 0xBF)) return -i;
    }
    return length;
}

// Whether any of the 32 bytes at p has its high bit set.
bool HasNonAscii(const char* p) {
    uint64_t words[4];
    std::memcpy(words, p, sizeof words);
    return ((words[0] | words[1] | words[2] | words[3]) & 0x8080808080808080ULL) != 0;
}

}  // namespace

size_t WellFormedUtf8Length(std::string_view text) {
    size_t pos = 0;
    while (pos < text.size()) {
        if (pos + 32 <= text.size() && !HasNonAscii(text.data() + pos)) {
            pos += 32;
        } else if (static_cast<uint8_t>(text[pos]) < 0x80) {
            ++pos;
        } else {
            const int length = SequenceLength(text, pos);
            if (length < 0) break;
            pos += static_cast<size_t>(length);
        }
    }
    return pos;
}

void StreamWriter::Write(std::string_view value) {
    size_t good = WellFormedUtf8Length(value);
    if (good == value.size()) {
        FOutput.Write(value);
        return;
    }
    FRepaired.clear();
    while (good < value.size()) {
        FRepaired.append(value.substr(0, good)).append(kReplacement);
        value.remove_prefix(good + static_cast<size_t>(-SequenceLength(value, good)));
        good = WellFormedUtf8Length(value);
    }
    FRepaired.append(value);
    FOutput.Write(FRepaired);
}

void StreamWriter::WriteLine(std::string_view value) {
    Write(value);
    FOutput.Write("\r\n");
}

}  // namespace iqo
