#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "output/Stream.h"
#include "output/StreamWriter.h"
#include "output/XmlTextWriter.h"

using namespace iqo;

namespace {

// A writer over a memory stream, set up as the rowset writer sets it up.
struct TWriterFixture {
    TMemoryStream Stream;
    StreamWriter Bytes{Stream};
    XmlTextWriter Xml{Bytes};

    explicit TWriterFixture(bool rowsetSettings = true) {
        if (!rowsetSettings) return;
        Xml.SetQuoteChar('\'');
        Xml.SetFormatting(XmlFormatting::fmtIndented);
    }
    std::string Closed() {
        Xml.Close();
        return Stream.Data();
    }
};

TEST(XmlEscapeTest, ReplacesTheFiveSpecialsInPlaceAndNothingElse) {
    std::string out = "kept:";
    AppendXmlEscaped(out, "a&b'c\"d<e>f\r\n\tg\x01h\x7f\xC3\xA9&&");
    EXPECT_EQ(out, "kept:a&#x26;b&#x27;c&#x22;d&#x3c;e&#x3e;f\r\n\tg\x01h\x7f\xC3\xA9&#x26;&#x26;");
}

TEST(XmlEscapeTest, FindsSpecialsAtEveryPosition) {
    const std::pair<char, std::string> specials[] = {
        {'&', "&#x26;"}, {'\'', "&#x27;"}, {'"', "&#x22;"}, {'<', "&#x3c;"}, {'>', "&#x3e;"}};
    for (const auto& [special, reference] : specials) {
        for (size_t at = 0; at < 20; ++at) {
            std::string text(20, '%');  // '%' differs from '&' in one bit only
            text[at] = special;
            std::string out;
            AppendXmlEscaped(out, text);
            EXPECT_EQ(out, std::string(at, '%') + reference + std::string(19 - at, '%')) << special << " at " << at;
        }
    }
}

TEST(XmlEscapeTest, TextWithoutSpecialsIsCopied) {
    std::string out;
    AppendXmlEscaped(out, "");
    EXPECT_EQ(out, "");
    AppendXmlEscaped(out, "plain text 123");
    EXPECT_EQ(out, "plain text 123");
}

TEST(XmlTextWriterTest, StartsWithTheDescribedDefaults) {
    TWriterFixture f(false);
    EXPECT_EQ(f.Xml.Formatting(), XmlFormatting::fmtNone);
    EXPECT_EQ(f.Xml.Indentation(), 2);
    EXPECT_EQ(f.Xml.IndentChar(), ' ');
    EXPECT_EQ(f.Xml.QuoteChar(), '"');
    EXPECT_EQ(f.Xml.WriteState(), XmlWriteState::wsStart);
}

TEST(XmlTextWriterTest, OneElementWithOneAttribute) {
    struct TCase {
        const char* Name;
        bool RowsetSettings;
        std::string Element, Attribute, Value, Expected;
    };
    const TCase cases[] = {
        {"empty element: no line end", true, "a", "x", "1", "<a x='1' />"},
        {"default quote", false, "a", "x", "it's \"so\"", "<a x=\"it&#x27;s &#x22;so&#x22;\" />"},
        {"values escaped, names not", true, "s:x&y", "rs:a<b", "1 & 2 < 3 > 'q' \"d\"\r\n",
         "<s:x&y rs:a<b='1 &#x26; 2 &#x3c; 3 &#x3e; &#x27;q&#x27; &#x22;d&#x22;\r\n' />"},
    };
    for (const TCase& c : cases) {
        TWriterFixture f(c.RowsetSettings);
        f.Xml.WriteStartElement(c.Element);
        f.Xml.WriteAttributeString(c.Attribute, c.Value);
        f.Xml.WriteEndElement();
        EXPECT_EQ(f.Closed(), c.Expected) << c.Name;
    }
}

TEST(XmlTextWriterTest, NestedElementsAreIndentedByDepthAndEndedWithCrLf) {
    TWriterFixture f;
    f.Xml.WriteStartElement("a");
    f.Xml.WriteStartElement("b");
    f.Xml.WriteStartElement("c");
    f.Xml.WriteAttributeString("k", "v");
    f.Xml.WriteEndElement();
    f.Xml.WriteFullEndElement();
    f.Xml.WriteFullEndElement();
    EXPECT_EQ(f.Closed(), "<a>\r\n  <b>\r\n    <c k='v' />\r\n  </b>\r\n</a>");
}

TEST(XmlTextWriterTest, IndentationFollowsItsSettings) {
    struct TCase {
        XmlFormatting Formatting;
        int Indentation;
        char IndentChar;
        std::string Expected;
    };
    const TCase cases[] = {
        {XmlFormatting::fmtNone, 2, ' ', "<a>\r\n<b k='v' />\r\n</a>"},
        {XmlFormatting::fmtIndented, 1, '\t', "<a>\r\n\t<b k='v' />\r\n</a>"},
        {XmlFormatting::fmtIndented, 3, '.', "<a>\r\n...<b k='v' />\r\n</a>"},
        {XmlFormatting::fmtIndented, 0, ' ', "<a>\r\n<b k='v' />\r\n</a>"},
    };
    for (const TCase& c : cases) {
        TWriterFixture f;
        f.Xml.SetFormatting(c.Formatting);
        f.Xml.SetIndentation(c.Indentation);
        f.Xml.SetIndentChar(c.IndentChar);
        f.Xml.WriteStartElement("a");
        f.Xml.WriteStartElement("b");
        f.Xml.WriteAttributeString("k", "v");
        f.Xml.WriteEndElement();
        f.Xml.WriteFullEndElement();
        EXPECT_EQ(f.Closed(), c.Expected) << c.Indentation << c.IndentChar;
    }
}

TEST(XmlTextWriterTest, EndElementWithoutAttributesWritesAFullEndTag) {
    TWriterFixture f;
    f.Xml.WriteStartElement("a");
    f.Xml.WriteStartElement("b");
    f.Xml.WriteEndElement();
    f.Xml.WriteEndElement();
    EXPECT_EQ(f.Closed(), "<a>\r\n  <b>\r\n  </b>\r\n</a>");
}

TEST(XmlTextWriterTest, EndTagAfterAppendedTextDependsOnTheLineEndBeforeIt) {
    struct TCase {
        std::string Appended;
        bool LineEndWritten;
    };
    const TCase cases[] = {
        {"\r\n", false},  // ends with LF
        {"\n", false},
        {"\rx", false},    // CR next to last
        {"\r", true},      // a lone CR at the end
        {"x", true},
        {"\n\r", true},
    };
    for (const TCase& c : cases) {
        TWriterFixture f;
        f.Xml.WriteStartElement("r");
        f.Xml.WriteStartElement("a");
        f.Xml.WriteAttributeString("k", "v");
        f.Xml.WriteStartElement("b");
        f.Xml.WriteAttributeString("k", "v");
        f.Xml.WriteEndElement();
        f.Xml.Append(c.Appended);
        f.Xml.WriteFullEndElement();
        const std::string expected = "<r>\r\n  <a k='v'>\r\n    <b k='v' />" + c.Appended +
                                     (c.LineEndWritten ? "\r\n  </a>" : "</a>");
        EXPECT_EQ(f.Closed(), expected) << testing::PrintToString(c.Appended);
    }
}

TEST(XmlTextWriterTest, LineEndRuleSeesTextAlreadyPassedOn) {
    for (const bool loneCr : {false, true}) {
        TWriterFixture f;
        f.Xml.WriteStartElement("r");
        f.Xml.WriteStartElement("a");
        f.Xml.WriteAttributeString("k", "v");
        f.Xml.WriteEndElement();
        // Large enough to be passed on at once, so that the end tag only sees passed text.
        const std::string big = std::string(2 << 20, 'x') + (loneCr ? "\r" : "\r\n");
        f.Xml.Append(big);
        const std::string start = "<r>\r\n  <a k='v' />";
        EXPECT_EQ(f.Stream.Data(), start + big);
        f.Xml.WriteFullEndElement();
        EXPECT_EQ(f.Closed(), start + big + (loneCr ? "\r\n</r>" : "</r>"));
    }
}

TEST(XmlTextWriterTest, ClosingTheStartTagDropsTrailingWhitespace) {
    TWriterFixture f;
    f.Xml.WriteStartElement("a \t");
    f.Xml.WriteStartElement("b");
    f.Xml.WriteAttributeString("k", "v");
    f.Xml.WriteEndElement();
    f.Xml.WriteFullEndElement();
    EXPECT_EQ(f.Closed(), "<a>\r\n  <b k='v' />\r\n</a \t>");
}

TEST(XmlTextWriterTest, AppendWritesRawTextAndLeavesAnOpenStartTagOpen) {
    TWriterFixture f;
    f.Xml.WriteStartElement("a");
    f.Xml.Append("<raw & 'text'>");
    EXPECT_EQ(f.Xml.WriteState(), XmlWriteState::wsContent);
    f.Xml.WriteFullEndElement();
    EXPECT_EQ(f.Closed(), "<a<raw & 'text'>\r\n</a>");
}

TEST(XmlTextWriterTest, WriteStateFollowsEveryOperation) {
    TWriterFixture f;
    f.Xml.WriteStartElement("a");
    EXPECT_EQ(f.Xml.WriteState(), XmlWriteState::wsElement);
    f.Xml.WriteAttributeString("k", "v");
    EXPECT_EQ(f.Xml.WriteState(), XmlWriteState::wsAttribute);
    f.Xml.WriteStartElement("b");
    EXPECT_EQ(f.Xml.WriteState(), XmlWriteState::wsElement);
    f.Xml.WriteEndElement();
    EXPECT_EQ(f.Xml.WriteState(), XmlWriteState::wsContent);
    f.Xml.Append("x");
    EXPECT_EQ(f.Xml.WriteState(), XmlWriteState::wsContent);
    f.Xml.WriteFullEndElement();
    EXPECT_EQ(f.Xml.WriteState(), XmlWriteState::wsContent);
    f.Xml.Close();
    EXPECT_EQ(f.Xml.WriteState(), XmlWriteState::wsContent);
}

TEST(XmlTextWriterTest, MisuseRaisesXmlExceptionWithItsText) {
    const std::string attributeText = "Token WriteAttributeString in state Content would result in an invalid XML document";
    const std::string noTagText = "There was no XML start tag open";
    struct TCase {
        const char* Name;
        std::function<void(XmlTextWriter&)> Steps;
        std::string Expected;
    };
    const TCase cases[] = {
        {"attribute before any element", [](XmlTextWriter& x) { x.WriteAttributeString("k", "v"); }, attributeText},
        {"attribute after content",
         [](XmlTextWriter& x) {
             x.WriteStartElement("a");
             x.Append("text");
             x.WriteAttributeString("k", "v");
         },
         attributeText},
        {"attribute after an end tag",
         [](XmlTextWriter& x) {
             x.WriteStartElement("a");
             x.WriteStartElement("b");
             x.WriteEndElement();
             x.WriteAttributeString("k", "v");
         },
         attributeText},
        {"full end with nothing open", [](XmlTextWriter& x) { x.WriteFullEndElement(); }, noTagText},
        {"end with nothing open", [](XmlTextWriter& x) { x.WriteEndElement(); }, noTagText},
        {"one end too many",
         [](XmlTextWriter& x) {
             x.WriteStartElement("a");
             x.WriteFullEndElement();
             x.WriteEndElement();
         },
         noTagText},
    };
    for (const TCase& c : cases) {
        TWriterFixture f;
        try {
            c.Steps(f.Xml);
            ADD_FAILURE() << c.Name << ": no exception";
        } catch (const XmlException& e) {
            EXPECT_EQ(e.Message(), c.Expected) << c.Name;
            const Exception& base = e;
            EXPECT_EQ(base.Message(), c.Expected) << c.Name;
        }
    }
}

TEST(XmlTextWriterTest, TextIsHeldInsideStartTagsAndPassedOnAtEndTagsAndClose) {
    TWriterFixture f;
    f.Xml.WriteStartElement("a");
    f.Xml.WriteStartElement("b");
    f.Xml.WriteAttributeString("k", "v");
    EXPECT_EQ(f.Stream.Data(), "");
    f.Xml.WriteEndElement();
    EXPECT_EQ(f.Stream.Data(), "<a>\r\n  <b k='v' />");
    f.Xml.Append("\rsmall");
    EXPECT_EQ(f.Stream.Data(), "<a>\r\n  <b k='v' />");
    f.Xml.Close();
    EXPECT_EQ(f.Stream.Data(), "<a>\r\n  <b k='v' />\rsmall");
}

TEST(StreamWriterTest, WellFormedUtf8GoesOutUnchangedWithoutByteOrderMark) {
    TMemoryStream stream;
    StreamWriter writer(stream);
    // ASCII, two-, three- and four-byte sequences (U+1F600 outside the Basic Multilingual Plane).
    const std::string text = "abc \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xEF\xBF\xBF \xF4\x8F\xBF\xBF end";
    writer.Write(text);
    writer.Write("");
    EXPECT_EQ(stream.Data(), text);
}

TEST(StreamWriterTest, WriteLineEndsWithCrLf) {
    TMemoryStream stream;
    StreamWriter writer(stream);
    writer.WriteLine("one");
    writer.WriteLine("");
    EXPECT_EQ(stream.Data(), "one\r\n\r\n");
}

TEST(StreamWriterTest, IllFormedSequencesBecomeReplacementCharacters) {
    const std::string R = "\xEF\xBF\xBD";
    struct TCase {
        std::string Input;
        std::string Expected;
    };
    const TCase cases[] = {
        {"\xFF", R},
        {"a\x80z", "a" + R + "z"},
        {"ab\xC3", "ab" + R},                           // cut off at the end
        {"\xC3(", R + "("},                             // lead byte without continuation
        {"\xC0\xAF", R + R},                            // overlong, never a lead byte
        {"\xE0\x80\x80", R + R + R},                    // overlong three-byte form
        {"\xED\xA0\x80", R + R + R},                    // a UTF-16 surrogate
        {"\xED\xA0\xBD\xED\xB8\x80", R + R + R + R + R + R},  // a surrogate pair in CESU-8
        {"\xF4\x90\x80\x80", R + R + R + R},            // above U+10FFFF
        {"\xF0\x9F\x98", R},                            // four-byte sequence cut short
        {"\xF0\x9F\x98x", R + "x"},
        {"\xE2\x82\xACok\xE2\x82", "\xE2\x82\xACok" + R},
        {"12345678\xFF" "12345678", "12345678" + R + "12345678"},
    };
    for (const TCase& c : cases) {
        TMemoryStream stream;
        StreamWriter writer(stream);
        writer.Write(c.Input);
        EXPECT_EQ(stream.Data(), c.Expected) << testing::PrintToString(c.Input);
        EXPECT_EQ(WellFormedUtf8Length(stream.Data()), stream.Data().size());
    }
}

TEST(StreamWriterTest, WellFormedPrefixLength) {
    EXPECT_EQ(WellFormedUtf8Length(""), 0u);
    EXPECT_EQ(WellFormedUtf8Length("abcdefghij\xC3\xA9"), 12u);
    EXPECT_EQ(WellFormedUtf8Length("abcdefghij\xC3"), 10u);
    EXPECT_EQ(WellFormedUtf8Length("\xE2\x82\xAC\xFFxyz"), 3u);
}

}  // namespace
