#include "platform/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include <gtest/gtest.h>

#include "FailingFileOperations.h"
#include "TestSupport.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "platform/TextUtils.h"

using namespace iqo;

namespace {

const std::string kSample =
    "; written by the CRM product\r\n"
    "[Settings]\r\n"
    "Connection_Number=0x2\r\n"
    "hexdollar=$A\r\n"
    "word=two\r\n"
    "truthy=True\r\n"
    "one=1\r\n"
    "neg=-5\r\n"
    "big=2147483648\r\n"
    "small=-2147483648\r\n"
    "short0x=0x\r\n"
    "quoted=\"  spaced  \"\r\n"
    "single='x'\r\n"
    "empty=\r\n"
    "  Indented Key  =  value with blanks  \r\n"
    "no equals sign here\r\n"
    "\r\n"
    "[Empty]\r\n"
    "[Header only]\r\n"
    "; a comment = not a key\r\n"
    "[connection_info_1]\r\n"
    "Firebird_Server=srv\r\n";

struct ReadCase {
    const char* section;
    const char* key;
    bool exists;
    const char* text;  // ReadString with default "<d>"
    int32_t integer;   // ReadInteger with default 77
    bool boolean;      // ReadBool with default false
};

const ReadCase kReads[] = {
    {"Settings", "Connection_Number", true, "0x2", 2, true},
    {"SETTINGS", "connection_number", true, "0x2", 2, true},
    {"Settings", "hexdollar", true, "$A", 10, true},
    {"Settings", "word", true, "two", 77, false},
    {"Settings", "truthy", true, "True", 77, false},
    {"Settings", "one", true, "1", 1, true},
    {"Settings", "neg", true, "-5", -5, true},
    {"Settings", "big", true, "2147483648", 77, false},
    {"Settings", "small", true, "-2147483648", INT32_MIN, true},
    {"Settings", "short0x", true, "0x", 77, false},
    {"Settings", "quoted", true, "  spaced  ", 77, false},
    {"Settings", "single", true, "x", 77, false},
    {"Settings", "empty", true, "", 77, false},
    {"Settings", "indented key", true, "value with blanks", 77, false},
    {"Settings", "no equals sign here", false, "<d>", 77, false},
    {"Settings", "absent", false, "<d>", 77, false},
    {"Empty", "anything", false, "<d>", 77, false},
    {"Connection_Info_1", "FIREBIRD_SERVER", true, "srv", 77, false},
    {"Nowhere", "Firebird_Server", false, "<d>", 77, false},
};

}  // namespace

TEST(IniFile, ReadingRules) {
    TTempFolder dir;
    WriteBytes(dir.File("a.ini"), kSample);
    const TIniFile ini(dir.File("a.ini"));
    for (const auto& c : kReads) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        EXPECT_EQ(ini.ValueExists(c.section, c.key), c.exists);
        EXPECT_EQ(ini.ReadString(c.section, c.key, "<d>"), c.text);
        EXPECT_EQ(ini.ReadInteger(c.section, c.key, 77), c.integer);
        EXPECT_EQ(ini.ReadBool(c.section, c.key, false), c.boolean);
    }
    EXPECT_TRUE(ini.ReadBool("Settings", "absent", true));
    EXPECT_TRUE(ini.SectionExists("settings"));
    EXPECT_TRUE(ini.SectionExists("CONNECTION_INFO_1"));
    EXPECT_FALSE(ini.SectionExists("Empty"));
    EXPECT_FALSE(ini.SectionExists("Header only"));
    EXPECT_FALSE(ini.SectionExists("Nowhere"));
    EXPECT_EQ(ini.ReadSection("connection_info_1"), std::vector<std::string>{"Firebird_Server"});
    EXPECT_EQ(ini.ReadSection("Settings").size(), 13u);
}

TEST(IniFile, AMissingFileReadsAsAnEmptyOne) {
    TTempFolder dir;
    const TIniFile ini(dir.File("missing.ini"));
    EXPECT_FALSE(ini.SectionExists("Settings"));
    EXPECT_EQ(ini.ReadInteger("Settings", "Connection_Number", 1), 1);
    EXPECT_EQ(ini.ReadString("a", "b", "def"), "def");
}

TEST(IniFile, ABareNameIsLookedUpInTheSystemFolder) {
    EXPECT_EQ(TIniFile("iqoRiveDur.ini").FileName(), "/etc/iqoRiveDur.ini");
    EXPECT_EQ(TIniFile("iqoRiveDur.ini", "/tmp/x").FileName(), "/tmp/x/iqoRiveDur.ini");
    EXPECT_EQ(TIniFile("/srv/a.ini").FileName(), "/srv/a.ini");
}

TEST(IniFile, ValuesAreCutAt2047Characters) {
    TTempFolder dir;
    const std::string longValue(100000, 'v');
    WriteBytes(dir.File("a.ini"), "[S]\r\nk=" + longValue + "\r\nnext=1\r\n");
    const TIniFile ini(dir.File("a.ini"));
    EXPECT_EQ(ini.ReadString("S", "k", ""), std::string(2047, 'v'));
    EXPECT_EQ(ini.ReadInteger("S", "next", 0), 1);
    // Characters, not bytes: a two-byte character is never cut in half.
    std::string e;
    for (int i = 0; i < 3000; ++i) e += "\u00E9";
    WriteBytes(dir.File("b.ini"), "\xEF\xBB\xBF[S]\nk=" + e + "\n");
    EXPECT_EQ(Utf8Length(TIniFile(dir.File("b.ini")).ReadString("S", "k", "")), 2047u);
}

TEST(IniFile, ReadsEveryEncodingAlike) {
    TTempFolder dir;
    const std::string text = "[Widget_Options]\r\nName=M\u00FCller \u20AC\r\n";
    WriteBytes(dir.File("ansi.ini"), Utf8ToAnsi(text));
    WriteBytes(dir.File("utf8.ini"), "\xEF\xBB\xBF" + text);
    WriteBytes(dir.File("utf16.ini"), "\xFF\xFE" + Utf8ToUtf16LeBytes(text));
    for (const char* name : {"ansi.ini", "utf8.ini", "utf16.ini"})
        EXPECT_EQ(TIniFile(dir.File(name)).ReadString("widget_options", "name", ""), "M\u00FCller \u20AC") << name;
}

TEST(IniFile, BadInputReadsAsDefaultsWithoutFailing) {
    TTempFolder dir;
    std::mt19937 rng(42);
    std::string garbage(200000, '\0');
    for (char& c : garbage) c = static_cast<char>(rng());
    WriteBytes(dir.File("garbage.ini"), garbage);
    WriteBytes(dir.File("oneline.ini"), std::string(10 * 1024 * 1024, 'x'));
    WriteBytes(dir.File("badutf8.ini"), "\xEF\xBB\xBF[S]\r\nk=a\xC3\x28\xFF" "b\r\n");
    WriteBytes(dir.File("badutf16.ini"), std::string("\xFF\xFE[\0S\0]\0\n\0k\0=\0\x3D\xD8\n\0x", 19));
    std::filesystem::create_directory(dir.File("folder.ini"));
    for (const char* name : {"garbage.ini", "oneline.ini", "badutf8.ini", "badutf16.ini", "folder.ini"}) {
        const TIniFile ini(dir.File(name));
        EXPECT_EQ(ini.ReadInteger("Settings", "Connection_Number", 1), 1) << name;
        EXPECT_EQ(ini.ReadString("Widget_Options", "Widget_RemoteXMLFile", "d"), "d") << name;
        EXPECT_FALSE(ini.ReadBool("Widget_Options", "Widget_RemoteXML", false)) << name;
    }
    EXPECT_EQ(TIniFile(dir.File("badutf8.ini")).ReadString("S", "k", ""), "a\uFFFD(\uFFFDb");
    EXPECT_EQ(TIniFile(dir.File("badutf16.ini")).ReadString("S", "k", ""), "\uFFFD");
}

namespace {

const std::string kWidget =
    "; CRM widget\r\n"
    "[Widget_Options]\r\n"
    "Widget_RemoteXML=1\r\n"
    "Widget_LastRemoteXML=01/01/2020\r\n"
    "\r\n"
    "[Connect_Info_0]\r\n"
    "Provider=SQLite\r\n"
    "\r\n"
    "[Other]\r\n"
    "x = 1\r\n";

}  // namespace

TEST(IniFile, AWriteChangesOnlyTheLineItTouches) {
    TTempFolder dir;
    const std::string path = dir.File("w.ini");
    struct Case {
        const char* section;
        const char* key;
        std::string value;
        std::string expected;
    };
    const Case cases[] = {
        {"widget_options", "WIDGET_LASTREMOTEXML", "12/11/2026 14:05:09",
         ReplaceAll(kWidget, "Widget_LastRemoteXML=01/01/2020", "Widget_LastRemoteXML=12/11/2026 14:05:09")},
        {"Connect_Info_0", "Server", "db1",
         ReplaceAll(kWidget, "Provider=SQLite\r\n", "Provider=SQLite\r\nServer=db1\r\n")},
        {"Other", "x", "2", ReplaceAll(kWidget, "x = 1", "x = 2")},
        {"New", "k", "v", kWidget + "[New]\r\nk=v\r\n"},
        {"Other", "line", std::string("a\r\nb\0c", 6), ReplaceAll(kWidget, "x = 1\r\n", "x = 1\r\nline=a  b\r\n")},
    };
    for (const auto& c : cases) {
        WriteBytes(path, kWidget);
        TIniFile ini(path);
        ini.WriteString(c.section, c.key, c.value);
        EXPECT_EQ(ReadBytes(path), c.expected) << c.key;
    }
}

TEST(IniFile, AWriteKeepsEncodingLineEndsModeAndLinks) {
    TTempFolder dir;
    // LF line ends and no final line end.
    WriteBytes(dir.File("lf.ini"), "[A]\nk=1\n[B]\nm=2");
    TIniFile(dir.File("lf.ini")).WriteString("A", "n", "3");
    TIniFile(dir.File("lf.ini")).WriteString("B", "o", "4");
    EXPECT_EQ(ReadBytes(dir.File("lf.ini")), "[A]\nk=1\nn=3\n[B]\nm=2\no=4\n");

    // UTF-16 stays UTF-16.
    WriteBytes(dir.File("u16.ini"), "\xFF\xFE" + Utf8ToUtf16LeBytes("[A]\r\nk=1\r\n"));
    TIniFile(dir.File("u16.ini")).WriteString("A", "k", "\u20AC");
    EXPECT_EQ(ReadBytes(dir.File("u16.ini")), "\xFF\xFE" + Utf8ToUtf16LeBytes("[A]\r\nk=\u20AC\r\n"));

    // Mode kept; a link is followed and stays a link.
    WriteBytes(dir.File("target.ini"), "[A]\r\nk=1\r\n");
    chmod(dir.File("target.ini").c_str(), 0600);
    std::filesystem::create_symlink("target.ini", dir.File("link.ini"));
    TIniFile(dir.File("link.ini")).WriteString("A", "k", "2");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.ini")));
    EXPECT_EQ(ReadBytes(dir.File("target.ini")), "[A]\r\nk=2\r\n");
    struct stat st {};
    stat(dir.File("target.ini").c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    // A new file: Windows-1252 without byte-order mark, mode 0644.
    TIniFile(dir.File("new.ini")).WriteString("S", "Name", "Caf\u00E9");
    EXPECT_EQ(ReadBytes(dir.File("new.ini")), "[S]\r\nName=Caf\xE9\r\n");
    stat(dir.File("new.ini").c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 5);  // no temporary files left
}

TEST(IniFile, AFailedWriteRaisesAndLeavesTheOldFile) {
    using TCall = TFailingFileOperations::TCall;
    for (auto [call, error] : {std::pair{TCall::Rename, EIO}, {TCall::Write, ENOSPC}, {TCall::Fsync, EIO},
                               {TCall::Open, EACCES}}) {
        TTempFolder dir;
        const std::string path = dir.File("w.ini");
        WriteBytes(path, kWidget);
        TFailingFileOperations failing(call, error);
        {
            TScopedFileOperations scope(failing);
            TIniFile ini(path);
            try {
                ini.WriteString("Widget_Options", "Widget_LastRemoteXML", "x");
                ADD_FAILURE() << "no error raised";
            } catch (const Exception& e) {
                EXPECT_EQ(e.Message(), "Unable to write to " + path);
            }
        }
        EXPECT_GT(failing.Failures(), 0);
        EXPECT_EQ(ReadBytes(path), kWidget);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
    }
}

TEST(IniFile, DateTimesUseTheGivenRegionalSettings) {
    TTempFolder dir;
    const TFormatSettings de = TFormatSettings::FromLocaleFormats("%d.%m.%Y", "%H:%M:%S", ",");
    const TFormatSettings us = TFormatSettings::FromLocaleFormats("%m/%d/%y", "%H:%M:%S", ".");
    TIniFile ini(dir.File("d.ini"));
    ini.WriteDateTime("S", "When", EncodeDateTime(2026, 12, 11, 14, 5, 9, 0), de);
    EXPECT_EQ(ini.ReadString("S", "When", ""), "11.12.2026 14:05:09");
    EXPECT_EQ(ini.ReadDateTime("S", "When", -1, de), EncodeDateTime(2026, 12, 11, 14, 5, 9, 0));
    EXPECT_EQ(ini.ReadDateTime("S", "When", -1, us), -1);  // written under other settings
    ini.WriteString("S", "Empty", "");
    EXPECT_EQ(ini.ReadDateTime("S", "Empty", -1, us), -1);
}
