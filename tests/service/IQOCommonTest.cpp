#include "service/IQOCommon.h"

#include <regex>

#include <gtest/gtest.h>

#include "FailingFileOperations.h"
#include "TestSupport.h"
#include "platform/CodePage.h"
#include "platform/IniFile.h"

using namespace iqo;

TEST(AdjustPathDelimiter, Cases) {
    struct Case {
        std::string path;
        int mode;
        std::string expected;
    };
    const Case cases[] = {
        {"/x", 0, "/x/"},     {"/x/", 0, "/x/"},    {"", 0, ""},          {"/x/  ", 0, "/x/  "},
        {"/x  ", 0, "/x  /"}, {"   ", 0, "   /"},   {"/x/", 1, "/x"},     {"/x", 1, "/x"},
        {"", 1, ""},          {"   ", 1, "   "},    {"/x/  ", 1, "/x"},   {"/x/", 2, "/x/"},
        {"/", 1, ""},         {"/", 0, "/"},
    };
    for (const auto& c : cases) EXPECT_EQ(AdjustPathDelimiter(c.path, c.mode), c.expected) << "'" << c.path << "' " << c.mode;
}

TEST(ScrambleText, IsTheByteComplementAndSelfInverse) {
    EXPECT_EQ(Utf8ToAnsi(ScrambleText("abc")), "\x9E\x9D\x9C");
    for (const std::string pwd : {"quillbent", "masterkey", "P@ss w0rd", "Caf\u00E9\u20AC", "\u0081x\u009D"})
        EXPECT_EQ(ScrambleText(ScrambleText(pwd)), pwd) << pwd;
}

TEST(ScrambleText, Losses) {
    struct Case {
        std::string password;
        std::string afterRoundTrip;
    };
    const Case cases[] = {
        {"  abc  ", "abc"},           // blanks at either end survive encoding, are trimmed after decoding
        {"\u00DFabc", "abc"},         // first byte DF: its complement 20 is trimmed on encoding
        {"abc\u00FF", "abc"},         // last byte FF: complement 00 is trimmed on encoding
        {"a\u03A9b", "a?b"},          // outside the code page
    };
    for (const auto& c : cases) EXPECT_EQ(ScrambleText(ScrambleText(c.password)), c.afterRoundTrip) << c.password;
}

TEST(ScrambleText, AByte255InsideTheValueCutsTheStoredPassword) {
    TTempFolder dir;
    TIniFile ini(dir.File("s.ini"));
    ini.WriteString("S", "PWD", ScrambleText("ab\u00FFcd"));
    EXPECT_EQ(ScrambleText(ini.ReadString("S", "PWD", "")), "ab");
    ini.WriteString("S", "PWD", ScrambleText("abc"));
    EXPECT_EQ(ReadBytes(dir.File("s.ini")), "[S]\r\nPWD=\x9E\x9D\x9C\r\n");
}

namespace {

const std::regex kLine(R"(\d\d-\d\d-\d\d \d\d:\d\d:\d\d: )");

}  // namespace

TEST(WriteTextLog, CreatesTheFileWithItsHeader) {
    TTempFolder dir;
    WriteTextLog("Started \u20AC", dir.Path(), "eventlog.txt");
    WriteTextLog("second", dir.Path() + "/", "eventlog.txt");
    const std::string content = ReadBytes(dir.File("eventlog.txt"));
    const std::string header = ".:: eventlog.txt file created ::.\r\n";
    ASSERT_EQ(content.substr(0, header.size()), header);
    const std::string rest = content.substr(header.size());
    EXPECT_TRUE(std::regex_match(rest, std::regex(R"(\d\d-\d\d-\d\d \d\d:\d\d:\d\d: Started \x80\r\n)"
                                                  R"(\d\d-\d\d-\d\d \d\d:\d\d:\d\d: second\r\n)")))
        << rest;
}

TEST(WriteTextLog, KeepsAFileOf500000BytesAndReplacesALargerOne) {
    for (const size_t size : {size_t{500000}, size_t{500001}}) {
        TTempFolder dir;
        const std::string path = dir.File("eventlog.txt");
        WriteBytes(path, std::string(size, 'x'));
        WriteTextLog("msg", dir.Path(), "eventlog.txt");
        const std::string content = ReadBytes(path);
        if (size == 500000) {
            EXPECT_EQ(content.substr(0, size), std::string(size, 'x'));
            EXPECT_EQ(content.size(), size + 24);
        } else {
            EXPECT_EQ(content.substr(0, 4), ".:: ");
            EXPECT_EQ(content.size(), 35 + 24u);
        }
        EXPECT_EQ(content.substr(content.size() - 5), "msg\r\n");
    }
}

TEST(WriteTextLog, SwallowsEveryFailure) {
    using TCall = TFailingFileOperations::TCall;
    for (const auto call : {TCall::Open, TCall::Write, TCall::Fsync, TCall::Unlink}) {
        TTempFolder dir;
        WriteBytes(dir.File("eventlog.txt"), std::string(500001, 'x'));
        TFailingFileOperations failing(call, EIO);
        TScopedFileOperations scope(failing);
        EXPECT_NO_THROW(WriteTextLog("lost", dir.Path(), "eventlog.txt"));
    }
    EXPECT_NO_THROW(WriteTextLog("lost", "/nonexistent/folder", "eventlog.txt"));
}
