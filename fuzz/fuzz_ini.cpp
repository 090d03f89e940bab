// The INI reader and writer over a file of any bytes. Reading: a section exists exactly when
// it lists keys, every listed key exists and reads as at most 2047 characters, names compare
// without regard to ASCII case, ReadBool follows ReadInteger, and a decimal value reads as its
// number. Writing: a value (taken from the last bytes of the input) written to an existing
// key, to a new key of an existing section and to a new section reads back as written after
// the documented rules (cut at NUL, line breaks as blanks, trimmed, one pair of quotes off,
// 2047 characters), and every other key of the file keeps its value.

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "FuzzCheck.h"
#include "TestSupport.h"
#include "platform/CodePage.h"
#include "platform/IniFile.h"
#include "platform/TextUtils.h"

namespace {

struct TValue {
    std::string Section, Key, Value;
};
using TValues = std::vector<TValue>;

// Keys looked at, in all: each reading parses the whole file again.
constexpr size_t kCheckedKeys = 8;
constexpr size_t kComparedKeys = 16;

bool Names(const TValue& v, const std::string& section, const std::string& key) {
    return iqo::SameText(v.Section, section) && iqo::SameText(v.Key, key);
}

// The names between "[" and "]" at the start of a line: the sections to ask for. The file's
// own rules decide what they hold; this only picks the questions.
std::vector<std::string> SectionCandidates(const std::string& bytes) {
    std::string text;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text = iqo::SanitizeUtf8(std::string_view(bytes).substr(3));
    else if (bytes.compare(0, 2, "\xFF\xFE") == 0)
        text = iqo::Utf16LeBytesToUtf8(std::string_view(bytes).substr(2));
    else
        text = iqo::AnsiToUtf8(bytes);
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= text.size() && names.size() < 4) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        const std::string line = iqo::TrimLeft(std::string_view(text).substr(start, end - start));
        if (!line.empty() && line[0] == '[') {
            const std::string name = iqo::Trim(line.substr(1, line.find(']') == std::string::npos ? std::string::npos
                                                                                               : line.find(']') - 1));
            if (std::none_of(names.begin(), names.end(), [&](const std::string& n) { return iqo::SameText(n, name); }))
                names.push_back(name);
        }
        start = end + 1;
    }
    return names;
}

std::optional<int64_t> DecimalValue(const std::string& text) {
    size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    if (i == text.size() || text.size() - i > 12) return std::nullopt;
    int64_t v = 0;
    for (size_t k = i; k < text.size(); ++k) {
        if (text[k] < '0' || text[k] > '9') return std::nullopt;
        v = v * 10 + (text[k] - '0');
    }
    return text[0] == '-' ? -v : v;
}

// Every key of every candidate section with its value, checking the reading rules on the way
// unless only the values are wanted.
TValues ReadAll(const iqo::TIniFile& ini, const std::vector<std::string>& sections, bool check) {
    TValues values;
    for (const std::string& section : sections) {
        const std::vector<std::string> keys = ini.ReadSection(section);
        FUZZ_CHECK(ini.SectionExists(section) == !keys.empty(), section);
        FUZZ_CHECK(ini.ReadSection(iqo::UpperCaseAscii(section)) == keys, section);
        for (const std::string& key : keys) {
            if (values.size() >= (check ? kCheckedKeys : kComparedKeys)) break;
            if (std::any_of(values.begin(), values.end(), [&](const TValue& v) { return Names(v, section, key); }))
                continue;
            const std::string value = ini.ReadString(section, key, "\x01");
            FUZZ_CHECK(value != "\x01", key);
            values.push_back({section, key, value});
            if (!check) continue;
            FUZZ_CHECK(ini.ValueExists(section, key), key);
            FUZZ_CHECK(iqo::Utf8Length(value) <= iqo::TIniFile::kMaxValueChars, key);
            FUZZ_CHECK(iqo::SanitizeUtf8(value) == value, key);
            FUZZ_CHECK(ini.ReadString(iqo::UpperCaseAscii(section), iqo::UpperCaseAscii(key), "\x01") ==
                           ini.ReadString(section, key, "\x01"),
                       key);
            const int32_t number = ini.ReadInteger(section, key, 12345);
            FUZZ_CHECK(ini.ReadBool(section, key, false) == (ini.ReadInteger(section, key, 0) != 0), key);
            if (const auto decimal = DecimalValue(value))
                FUZZ_CHECK(number == (*decimal >= INT32_MIN && *decimal <= INT32_MAX ? *decimal : 12345), value);
        }
    }
    return values;
}

// What a written value reads back as.
std::string ReadBackOf(const std::string& value) {
    std::string v = value.substr(0, value.find('\0'));
    for (char& c : v)
        if (c == '\r' || c == '\n') c = ' ';
    v = iqo::Trim(v);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) v = v.substr(1, v.size() - 2);
    return std::string(iqo::Utf8Left(v, iqo::TIniFile::kMaxValueChars));
}

void CheckWrite(const std::string& path, const std::string& bytes, const std::vector<std::string>& sections,
                const std::string& section, const std::string& key, const std::string& value) {
    WriteBytes(path, bytes);
    iqo::TIniFile ini(path);
    std::vector<std::string> all = sections;
    all.push_back(section);
    const TValues before = ReadAll(ini, all, false);
    ini.WriteString(section, key, value);
    const std::string expected = ReadBackOf(value);
    FUZZ_CHECK(ini.ValueExists(section, key), section + "/" + key);
    FUZZ_CHECK(ini.ReadString(section, key, "\x01") == expected,
               section + "/" + key + " reads '" + ini.ReadString(section, key, "\x01") + "', not '" + expected + "'");

    TValues after = ReadAll(ini, all, false);
    for (const TValue& old : before) {
        if (Names(old, section, key)) continue;
        const auto it = std::find_if(after.begin(), after.end(), [&](const TValue& v) { return Names(v, old.Section, old.Key); });
        FUZZ_CHECK(it != after.end(), old.Section + "/" + old.Key + " is gone");
        FUZZ_CHECK(it->Value == old.Value, old.Section + "/" + old.Key + " changed");
        after.erase(it);
    }
    std::erase_if(after, [&](const TValue& v) { return Names(v, section, key); });
    FUZZ_CHECK(after.empty(), "a key appeared: " + (after.empty() ? std::string() : after.front().Key));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A memory file system: the INI writer flushes every replacement to disk.
    static const TTempFolder folder("/dev/shm");
    static const std::string path = folder.File("widget.ini");

    const std::string bytes(reinterpret_cast<const char*>(data), size);
    WriteBytes(path, bytes);
    const iqo::TIniFile ini(path);
    const std::vector<std::string> sections = SectionCandidates(bytes);
    ReadAll(ini, sections, true);
    FUZZ_CHECK(!ini.SectionExists("\x02 no such section"), "a missing section exists");
    ini.ReadDateTime(sections.empty() ? "Widget_Options" : sections[0], "Widget_LastRemoteXML", 0);

    // Any Windows-1252 bytes stand for a value: quotes, blanks, "=", ";", CR, LF and NUL.
    const std::string value = iqo::AnsiToUtf8(std::string_view(bytes).substr(size > 40 ? size - 40 : 0));
    // An existing key, a new key of an existing section, a new section.
    std::vector<std::pair<std::string, std::string>> writes;
    if (!sections.empty()) {
        const std::vector<std::string> keys = ini.ReadSection(sections.front());
        if (!keys.empty()) writes.emplace_back(sections.front(), keys.front());
        writes.emplace_back(sections.back(), "Fuzz_New_Key");
    }
    writes.emplace_back("Fuzz New Section", "Widget_LastRemoteXML");
    for (const auto& [section, key] : writes) CheckWrite(path, bytes, sections, section, key, value);
    return 0;
}
