#include "IniFile.h"

#include <optional>

#include "CodePage.h"
#include "Exception.h"
#include "FileUtils.h"
#include "TextUtils.h"

namespace iqo {

namespace {

enum class TEncoding { Ansi, Utf8, Utf16Le };

struct TLine {
    enum Kind { Other, Section, Key } kind = Other;
    size_t begin = 0;       // first byte of the line
    size_t end = 0;         // first byte of its line end (or of the next line when it has none)
    size_t next = 0;        // first byte of the next line
    size_t valueBegin = 0;  // first byte after "=" of a key line
    std::string name;       // section or key name
    std::string value;      // key value, trimmed and unquoted
};

struct TContent {
    std::string bytes;
    TEncoding encoding = TEncoding::Ansi;
    std::string lineEnd = "\r\n";  // in the file's encoding
    std::vector<TLine> lines;
    size_t textEnd = 0;  // end of the last whole code unit: a stray last byte of UTF-16 lies after it
};

std::string Decode(std::string_view raw, TEncoding enc) {
    switch (enc) {
        case TEncoding::Ansi: return AnsiToUtf8(raw);
        case TEncoding::Utf8: return SanitizeUtf8(raw);
        case TEncoding::Utf16Le: return Utf16LeBytesToUtf8(raw);
    }
    return {};
}

std::string Encode(std::string_view text, TEncoding enc) {
    switch (enc) {
        case TEncoding::Ansi: return Utf8ToAnsi(text);
        case TEncoding::Utf8: return std::string(text);
        case TEncoding::Utf16Le: return Utf8ToUtf16LeBytes(text);
    }
    return {};
}

std::string Unquote(std::string value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
}

void Classify(TLine& line, const std::string& text, size_t valueByte) {
    const std::string t = TrimLeft(text);
    if (t.empty() || t[0] == ';') return;
    if (t[0] == '[') {
        const size_t close = t.find(']');
        line.kind = TLine::Section;
        line.name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
        return;
    }
    const size_t eq = t.find('=');
    if (eq == std::string::npos) return;
    std::string key = Trim(t.substr(0, eq));
    if (key.empty()) return;
    line.kind = TLine::Key;
    line.name = std::move(key);
    line.value = std::string(Utf8Left(Unquote(Trim(t.substr(eq + 1))), TIniFile::kMaxValueChars));
    line.valueBegin = valueByte;
}

TContent Parse(std::string bytes) {
    TContent c;
    size_t start = 0;
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        c.encoding = TEncoding::Utf8, start = 3;
    } else if (bytes.size() >= 2 && bytes.compare(0, 2, "\xFF\xFE") == 0) {
        c.encoding = TEncoding::Utf16Le, start = 2;
    }
    c.bytes = std::move(bytes);
    const std::string_view b = c.bytes;
    const size_t unit = c.encoding == TEncoding::Utf16Le ? 2 : 1;
    auto unitAt = [&](size_t i) -> unsigned {
        return unit == 1 ? static_cast<unsigned char>(b[i])
                         : static_cast<unsigned char>(b[i]) | (static_cast<unsigned char>(b[i + 1]) << 8);
    };
    bool lineEndKnown = false;
    size_t i = start;
    const size_t stop = start + (b.size() - start) / unit * unit;
    while (i < stop) {
        TLine line;
        line.begin = i;
        size_t equalsByte = std::string::npos;
        while (i < stop && unitAt(i) != '\r' && unitAt(i) != '\n') {
            if (equalsByte == std::string::npos && unitAt(i) == '=') equalsByte = i;
            i += unit;
        }
        line.end = i;
        if (i < stop) {
            const size_t eolStart = i;
            if (unitAt(i) == '\r' && i + unit < stop && unitAt(i + unit) == '\n') i += unit;
            i += unit;
            if (!lineEndKnown) c.lineEnd = std::string(b.substr(eolStart, i - eolStart)), lineEndKnown = true;
        }
        line.next = i;
        // A rewritten value keeps the blanks that stood between "=" and the old value.
        size_t valueByte = equalsByte;
        if (valueByte != std::string::npos)
            for (valueByte += unit; valueByte < line.end && (unitAt(valueByte) == ' ' || unitAt(valueByte) == '\t');)
                valueByte += unit;
        Classify(line, Decode(b.substr(line.begin, line.end - line.begin), c.encoding), valueByte);
        c.lines.push_back(std::move(line));
    }
    if (!lineEndKnown) c.lineEnd = Encode("\r\n", c.encoding);
    c.textEnd = stop;
    return c;
}

// Index of the first header of the section, if any.
std::optional<size_t> FindSection(const TContent& c, std::string_view section) {
    for (size_t i = 0; i < c.lines.size(); ++i)
        if (c.lines[i].kind == TLine::Section && SameText(c.lines[i].name, section)) return i;
    return std::nullopt;
}

template <typename F>
void ForEachKey(const TContent& c, size_t header, F f) {
    for (size_t i = header + 1; i < c.lines.size() && c.lines[i].kind != TLine::Section; ++i)
        if (c.lines[i].kind == TLine::Key && !f(i)) return;
}

std::optional<size_t> FindKey(const TContent& c, std::string_view section, std::string_view key) {
    const auto header = FindSection(c, section);
    if (!header) return std::nullopt;
    std::optional<size_t> found;
    ForEachKey(c, *header, [&](size_t i) {
        if (SameText(c.lines[i].name, key)) found = i;
        return !found;
    });
    return found;
}

std::string Sanitized(std::string_view value) {
    std::string v(value.substr(0, value.find('\0')));
    for (char& ch : v)
        if (ch == '\r' || ch == '\n') ch = ' ';
    return v;
}

}  // namespace

TIniFile::TIniFile(std::string fileName, const std::string& bareNameFolder) : FFileName(std::move(fileName)) {
    if (!FFileName.empty() && FFileName.find('/') == std::string::npos) FFileName = bareNameFolder + "/" + FFileName;
}

namespace {

TContent LoadContent(const std::string& fileName) {
    auto bytes = ReadWholeFile(fileName);
    return Parse(bytes ? std::move(*bytes) : std::string());
}

}  // namespace

bool TIniFile::SectionExists(std::string_view section) const {
    const TContent c = LoadContent(FFileName);
    const auto header = FindSection(c, section);
    bool any = false;
    if (header) ForEachKey(c, *header, [&](size_t) { return !(any = true); });
    return any;
}

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const {
    return FindKey(LoadContent(FFileName), section, key).has_value();
}

std::vector<std::string> TIniFile::ReadSection(std::string_view section) const {
    const TContent c = LoadContent(FFileName);
    std::vector<std::string> keys;
    if (const auto header = FindSection(c, section))
        ForEachKey(c, *header, [&](size_t i) {
            keys.push_back(c.lines[i].name);
            return true;
        });
    return keys;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) const {
    const TContent c = LoadContent(FFileName);
    const auto line = FindKey(c, section, key);
    return line ? c.lines[*line].value : std::string(defaultValue);
}

int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) const {
    std::string text = ReadString(section, key, "");
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.replace(0, 2, "$");
    return TryStrToInt(text).value_or(defaultValue);
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

TDateTime TIniFile::ReadDateTime(std::string_view section, std::string_view key, TDateTime defaultValue,
                                 const TFormatSettings& fs) const {
    const std::string text = ReadString(section, key, "");
    TDateTime value;
    if (text.empty() || !TryStrToDateTime(text, fs, value)) return defaultValue;
    return value;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    TContent c = LoadContent(FFileName);
    const std::string v = Sanitized(value);
    std::string& b = c.bytes;
    if (const auto line = FindKey(c, section, key)) {
        const TLine& l = c.lines[*line];
        b.replace(l.valueBegin, l.end - l.valueBegin, Encode(v, c.encoding));
    } else if (const auto header = FindSection(c, section)) {
        size_t last = *header;
        ForEachKey(c, *header, [&](size_t i) {
            last = i;
            return true;
        });
        const TLine& l = c.lines[last];
        std::string insert = Encode(std::string(key) + "=" + v, c.encoding) + c.lineEnd;
        if (l.next == l.end) insert = c.lineEnd + insert;  // the last line of the file had no line end
        b.insert(l.next, insert);
    } else {
        // A new file gets no byte-order mark: Windows-1252. The section goes after the last
        // whole code unit, so that a stray odd byte of UTF-16 cannot shift it out of step.
        std::string add;
        if (!c.lines.empty() && c.lines.back().next == c.lines.back().end) add = c.lineEnd;
        add += Encode("[" + std::string(section) + "]", c.encoding) + c.lineEnd;
        add += Encode(std::string(key) + "=" + v, c.encoding) + c.lineEnd;
        b.insert(c.textEnd, add);
    }
    try {
        ReplaceFileAtomically(FFileName, b, FNewFileMode);
    } catch (const Exception&) {
        throw Exception("Unable to write to " + FFileName);
    }
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteDateTime(std::string_view section, std::string_view key, TDateTime value,
                             const TFormatSettings& fs) {
    WriteString(section, key, DateTimeToStr(value, fs));
}

}  // namespace iqo
