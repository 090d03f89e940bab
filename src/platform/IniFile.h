#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "DateTime.h"
#include "RegionalSettings.h"

namespace iqo {

// An INI file read and written by the private-profile rules the CRM product relies on:
// section and key names compare without regard to case; values are trimmed and lose one pair
// of surrounding quotes; at most 2047 characters of a value are seen; a section exists only
// while it holds a key; lines starting with ";" are comments and lines without "=" are not
// keys. Files with a UTF-16 LE, a UTF-8 or no byte-order mark (then Windows-1252) are read.
// Every read opens the file afresh; a missing or unreadable file reads as an empty one.
// Every write changes only the line it touches (or adds one), keeps the encoding and the line
// ends, and replaces the file atomically; a failed write raises "Unable to write to <file>".
class TIniFile {
public:
    static constexpr size_t kMaxValueChars = 2047;

    // A bare file name (no folder) is looked up in bareNameFolder, the system folder.
    explicit TIniFile(std::string fileName, const std::string& bareNameFolder = "/etc");

    const std::string& FileName() const { return FFileName; }
    // The mode of a file that a write creates (0644 unless set); an existing file keeps its own.
    void SetNewFileMode(mode_t mode) { FNewFileMode = mode; }

    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view key) const;
    std::vector<std::string> ReadSection(std::string_view section) const;
    std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) const;
    // Decimal, or hexadecimal after "$" or (texts longer than two characters) "0x"; signed
    // 32-bit; anything else gives the default.
    int32_t ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) const;
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;
    // The regional date-time text; the default when the value is empty or does not parse.
    TDateTime ReadDateTime(std::string_view section, std::string_view key, TDateTime defaultValue,
                           const TFormatSettings& fs = RegionalSettings()) const;

    // A NUL ends the value written; line breaks in it become blanks, so that a value can
    // never add lines to the file.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int32_t value);
    void WriteDateTime(std::string_view section, std::string_view key, TDateTime value,
                       const TFormatSettings& fs = RegionalSettings());
    // Writes are on disk when they return; kept for callers that flush explicitly.
    void UpdateFile() {}

private:
    std::string FFileName;
    mode_t FNewFileMode = 0644;
};

}  // namespace iqo
