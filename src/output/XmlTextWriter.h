#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "StreamWriter.h"
#include "platform/Exception.h"

namespace iqo {

// Misuse of the XML text writer.
class XmlException : public Exception {
public:
    using Exception::Exception;
};

enum class XmlFormatting { fmtNone, fmtIndented };
enum class XmlWriteState { wsAttribute, wsClosed, wsContent, wsElement, wsStart };

// Appends the value with "&", the apostrophe, the double quotation mark, "<" and ">" each
// replaced by its character reference (&#x26; &#x27; &#x22; &#x3c; &#x3e;); every other
// byte, control characters included, is copied as it is.
void AppendXmlEscaped(std::string& out, std::string_view value);

// A forward-only XML text writer with indentation. Names are written whole, prefix
// included, and never escaped; attribute values are escaped. The text is held and passed to
// the StreamWriter after each end tag, before a start tag that follows content, whenever
// appended content has filled the buffer, and at Close.
class XmlTextWriter {
public:
    explicit XmlTextWriter(StreamWriter& writer);
    XmlTextWriter(const XmlTextWriter&) = delete;
    XmlTextWriter& operator=(const XmlTextWriter&) = delete;

    XmlFormatting Formatting() const { return FFormatting; }
    void SetFormatting(XmlFormatting formatting) { FFormatting = formatting; }
    int Indentation() const { return FIndentation; }
    void SetIndentation(int indentation) { FIndentation = indentation; }
    char IndentChar() const { return FIndentChar; }
    void SetIndentChar(char c) { FIndentChar = c; }
    char QuoteChar() const { return FQuoteChar; }
    void SetQuoteChar(char c) { FQuoteChar = c; }
    XmlWriteState WriteState() const { return FState; }

    void WriteStartElement(std::string_view localName);
    // Only inside a start tag; raises XmlException otherwise.
    void WriteAttributeString(std::string_view localName, std::string_view value);
    // " />" after attributes, else a full end tag. Raises XmlException with no element open.
    void WriteEndElement();
    void WriteFullEndElement();
    // Raw text: written unchanged, not escaped.
    void Append(std::string_view value);
    // Passes all held text on.
    void Close();

private:
    void CloseStartTag();
    void WriteIndent(size_t depth);
    bool EndsLineBreak() const;
    void PassOn();
    std::string PopElement();

    StreamWriter& FWriter;
    XmlFormatting FFormatting = XmlFormatting::fmtNone;
    int FIndentation = 2;
    char FIndentChar = ' ';
    char FQuoteChar = '"';
    XmlWriteState FState = XmlWriteState::wsStart;
    std::vector<std::string> FElements;  // open elements, innermost last; depth is its size
    std::string FPending;
    char FPassedTail[2] = {0, 0};  // the last two characters already passed on
};

}  // namespace iqo
