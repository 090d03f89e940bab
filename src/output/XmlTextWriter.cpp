#include "XmlTextWriter.h"

#include <array>

namespace iqo {

namespace {

// Appended content is passed on in blocks of about this size, so that a document of any
// length is written with bounded memory.
constexpr size_t kPassOnSize = size_t{1} << 20;

constexpr std::array<const char*, 256> MakeEscapes() {
    std::array<const char*, 256> table{};
    table['&'] = "&#x26;";
    table['\''] = "&#x27;";
    table['"'] = "&#x22;";
    table['<'] = "&#x3c;";
    table['>'] = "&#x3e;";
    return table;
}

constexpr std::array<const char*, 256> kEscapes = MakeEscapes();

constexpr std::array<bool, 256> MakeSpecials() {
    std::array<bool, 256> table{};
    for (size_t i = 0; i < table.size(); ++i) table[i] = kEscapes[i] != nullptr;
    return table;
}

constexpr std::array<bool, 256> kSpecials = MakeSpecials();

// An integer, so that the tests of eight bytes combine with "|" without a branch.
unsigned IsSpecial(char c) { return kSpecials[static_cast<unsigned char>(c)]; }

}  // namespace

void AppendXmlEscaped(std::string& out, std::string_view value) {
    const char* p = value.data();
    const char* const end = p + value.size();
    const char* run = p;
    while (p != end) {
        // Most text holds no special at all: look at eight bytes per step.
        if (end - p >= 8 && !(IsSpecial(p[0]) | IsSpecial(p[1]) | IsSpecial(p[2]) | IsSpecial(p[3]) |
                              IsSpecial(p[4]) | IsSpecial(p[5]) | IsSpecial(p[6]) | IsSpecial(p[7]))) {
            p += 8;
            continue;
        }
        if (IsSpecial(*p)) {
            out.append(run, static_cast<size_t>(p - run));
            out.append(kEscapes[static_cast<unsigned char>(*p)], 6);
            run = p + 1;
        }
        ++p;
    }
    out.append(run, static_cast<size_t>(end - run));
}

XmlTextWriter::XmlTextWriter(StreamWriter& writer) : FWriter(writer) { FPending.reserve(8192); }

void XmlTextWriter::WriteIndent(size_t depth) {
    if (FFormatting == XmlFormatting::fmtIndented && FIndentation > 0)
        FPending.append(depth * static_cast<size_t>(FIndentation), FIndentChar);
}

void XmlTextWriter::CloseStartTag() {
    if (FState != XmlWriteState::wsElement && FState != XmlWriteState::wsAttribute) return;
    // The open tag is still held (nothing is passed on inside a start tag).
    while (!FPending.empty() &&
           (FPending.back() == ' ' || FPending.back() == '\t' || FPending.back() == '\r' || FPending.back() == '\n'))
        FPending.pop_back();
    FPending += '>';
}

bool XmlTextWriter::EndsLineBreak() const {
    char last = FPassedTail[1], beforeLast = FPassedTail[0];
    if (FPending.size() >= 2) {
        beforeLast = FPending[FPending.size() - 2];
        last = FPending.back();
    } else if (FPending.size() == 1) {
        beforeLast = last;
        last = FPending.back();
    }
    return last == '\n' || beforeLast == '\r';
}

void XmlTextWriter::PassOn() {
    if (FPending.empty()) return;
    if (FPending.size() >= 2) {
        FPassedTail[0] = FPending[FPending.size() - 2];
    } else {
        FPassedTail[0] = FPassedTail[1];
    }
    FPassedTail[1] = FPending.back();
    FWriter.Write(FPending);
    FPending.clear();
}

std::string XmlTextWriter::PopElement() {
    if (FElements.empty()) throw XmlException("There was no XML start tag open");
    std::string name = std::move(FElements.back());
    FElements.pop_back();
    return name;
}

void XmlTextWriter::WriteStartElement(std::string_view localName) {
    if (FState == XmlWriteState::wsContent) PassOn();
    CloseStartTag();
    if (!FElements.empty()) FPending += "\r\n";
    WriteIndent(FElements.size());
    FPending += '<';
    FPending += localName;
    FElements.emplace_back(localName);
    FState = XmlWriteState::wsElement;
}

void XmlTextWriter::WriteAttributeString(std::string_view localName, std::string_view value) {
    if (FState != XmlWriteState::wsElement && FState != XmlWriteState::wsAttribute)
        throw XmlException("Token WriteAttributeString in state Content would result in an invalid XML document");
    FPending += ' ';
    FPending += localName;
    FPending += '=';
    FPending += FQuoteChar;
    AppendXmlEscaped(FPending, value);
    FPending += FQuoteChar;
    FState = XmlWriteState::wsAttribute;
}

void XmlTextWriter::WriteEndElement() {
    if (FState != XmlWriteState::wsAttribute) {
        WriteFullEndElement();
        return;
    }
    PopElement();
    FPending += " />";
    FState = XmlWriteState::wsContent;
    PassOn();
}

void XmlTextWriter::WriteFullEndElement() {
    const std::string name = PopElement();
    CloseStartTag();
    if (!EndsLineBreak()) {
        FPending += "\r\n";
        WriteIndent(FElements.size());
    }
    FPending += "</";
    FPending += name;
    FPending += '>';
    FState = XmlWriteState::wsContent;
    PassOn();
}

void XmlTextWriter::Append(std::string_view value) {
    FPending += value;
    FState = XmlWriteState::wsContent;
    if (FPending.size() >= kPassOnSize) PassOn();
}

void XmlTextWriter::Close() { PassOn(); }

}  // namespace iqo
