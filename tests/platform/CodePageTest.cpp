#include "platform/CodePage.h"

#include <gtest/gtest.h>

using namespace iqo;

TEST(CodePage, EveryByteSurvivesTheRoundTripThroughText) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
}

TEST(CodePage, MapsTheSpecialBytesBothWays) {
    struct Case {
        std::string ansi;
        std::string utf8;
    };
    const Case cases[] = {
        {"\x80", "\u20AC"}, {"\x81", "\u0081"}, {"\x8D", "\u008D"}, {"\x8F", "\u008F"},
        {"\x90", "\u0090"}, {"\x9D", "\u009D"}, {"\x9F", "\u0178"}, {"\xE9", "\u00E9"},
        {"\xFF", "\u00FF"}, {"abc", "abc"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AnsiToUtf8(c.ansi), c.utf8);
        EXPECT_EQ(Utf8ToAnsi(c.utf8), c.ansi);
    }
}

TEST(CodePage, CharactersTheCodePageLacksBecomeQuestionMarks) {
    EXPECT_EQ(Utf8ToAnsi("a\u03A9b"), "a?b");           // Greek omega
    EXPECT_EQ(Utf8ToAnsi("\U0001F600"), "?");            // outside the BMP
    EXPECT_EQ(Utf8ToAnsi("\u0080"), "?");                // C1 control that 1252 puts elsewhere
    EXPECT_EQ(Utf8ToAnsi(std::string("x\xC3") + "y"), "x?y");  // truncated sequence
    EXPECT_EQ(Utf8ToAnsi("\xED\xA0\x80"), "???");        // an encoded surrogate is invalid
}

TEST(CodePage, Utf16HandlesPairsAndUnpairedSurrogates) {
    const std::string smile = "\U0001F600";
    EXPECT_EQ(Utf8ToUtf16(smile), std::u16string({0xD83D, 0xDE00}));
    EXPECT_EQ(Utf16ToUtf8(std::u16string({0xD83D, 0xDE00})), smile);
    EXPECT_EQ(Utf16ToUtf8(std::u16string({u'a', 0xD83D, u'b'})), "a\uFFFDb");
    EXPECT_EQ(Utf16ToUtf8(std::u16string({0xDE00})), "\uFFFD");
    EXPECT_EQ(Utf16LeBytesToUtf8(std::string("a\0b\0c", 5)), "ab");  // odd byte dropped
    EXPECT_EQ(Utf16BeBytesToUtf8(std::string("\0a\0b", 4)), "ab");
    EXPECT_EQ(Utf16LeBytesToUtf8(Utf8ToUtf16LeBytes("M\u00FCller\u20AC")), "M\u00FCller\u20AC");
}

TEST(CodePage, LeftNeverCutsACharacter) {
    EXPECT_EQ(Utf8Left("\u00E9\u00E9\u00E9", 2), "\u00E9\u00E9");
    EXPECT_EQ(Utf8Length("\u00E9a\U0001F600"), 3u);
    EXPECT_EQ(SanitizeUtf8("a\xFF" "b\xE2\x82\xAC"), "a\uFFFDb\u20AC");
}
