// Inputs that the fuzz targets of the INI file and the date-time serials found, each with the
// sound result.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>

#include "TestSupport.h"
#include "platform/CodePage.h"
#include "platform/DateTime.h"
#include "platform/IniFile.h"

using namespace iqo;

// A UTF-16 file whose byte count is odd: the stray last byte reads as nothing, and a write
// keeps the text in step with the code units, so that what was written reads back.
TEST(FuzzRegression, AStrayByteOfAUtf16FileDoesNotShiftAWrite) {
    TTempFolder dir;
    const std::string path = dir.File("odd.ini");
    const std::string bom = "\xFF\xFE";
    struct Case {
        std::string text;  // the whole code units after the byte-order mark
        const char* section;
        const char* key;
        std::string expected;  // the code units after the write
    };
    const Case cases[] = {
        {"[A]\r\nk=1\r\n", "New", "n", "[A]\r\nk=1\r\n[New]\r\nn=v\r\n"},
        {"[A]\r\nk=1", "New", "n", "[A]\r\nk=1\r\n[New]\r\nn=v\r\n"},
        {"[A]\r\nk=1", "A", "n", "[A]\r\nk=1\r\nn=v\r\n"},
        {"[A]\r\nk=1\r\n", "A", "k", "[A]\r\nk=v\r\n"},
        {"", "New", "n", "[New]\r\nn=v\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + " " + c.section + "/" + c.key);
        WriteBytes(path, bom + Utf8ToUtf16LeBytes(c.text) + "Z");
        TIniFile ini(path);
        ini.WriteString(c.section, c.key, "v");
        EXPECT_EQ(ReadBytes(path), bom + Utf8ToUtf16LeBytes(c.expected) + "Z");
        EXPECT_EQ(ini.ReadString(c.section, c.key, "default"), "v");
        if (std::string(c.key) != "k") {
            EXPECT_EQ(ini.ReadString("A", "k", "gone"), c.text.empty() ? "gone" : "1");
        }
    }

    // The file the fuzz target found: a widget file of mixed UTF-16 and 8-bit text, 131 bytes.
    const std::string found(
        "\xff\xfe[\x00W\x00i\x00\x64\x00g\x00\x65\x00t\x00_\x00O\x00p\x00t["
        "Settings]\x0d\x0a\x43onn\x00i\x00o\x00n\x00s\x00"
        "]\x00\x0a\x00W\x00i\x00\x64\x00\x65gct\x00\x65\x00t\x00_\x00R\x00\x65"
        "\x00m\x00o\x00t\x00\x65\x00X\x00M\x00L\x00=\x00\x31\x00\x0a\x00W\x00i"
        "on_Numberi\x00\x64\x00g\x00\x65\x00t\x00_\x00R=2"
        "\x0d\x0a\x0d\x0a[Co\x00\x65nn",
        131);
    WriteBytes(path, found);
    TIniFile ini(path);
    ini.WriteString("Fuzz New Section", "Widget_LastRemoteXML", "12/11/2026 14:05:09");
    EXPECT_EQ(ini.ReadString("Fuzz New Section", "Widget_LastRemoteXML", ""), "12/11/2026 14:05:09");
}

// Serials too far from the epoch for the millisecond count (the fuzz target's was -5.6E92)
// name no instant: they decode like the non-finite ones, to the epoch, instead of
// overflowing the count.
TEST(FuzzRegression, AbsurdSerialsDecodeToTheEpoch) {
    const double cases[] = {-5.602705286451007e+92, 1e11, -1e11, 1e300, -DBL_MAX, DBL_MAX,
                            std::numeric_limits<double>::infinity(), std::nan("")};
    for (const double serial : cases) {
        SCOPED_TRACE(serial);
        const TDateTimeParts p = DecodeDateTime(serial);
        EXPECT_EQ(FormatIsoDateTime(serial, ":"), "1899-12-30 00:00:00");
        EXPECT_EQ(p.Millisecond, 0);
        EXPECT_EQ(DateTimeToMilliseconds(serial), 0);
    }
    // Just inside the limit a serial still names its day, some 270 million years on.
    const TDateTimeParts far = DecodeDateTime(9.9e10);
    EXPECT_GT(far.Year, 271000000);
    EXPECT_EQ(far.Hour, 0);
    EXPECT_EQ(DateTimeToMilliseconds(9.9e10) - DateTimeToMilliseconds(9.9e10 - 1), kMSecsPerDay);
}
