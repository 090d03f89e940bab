#include "RowsetWriter.h"

#include <unordered_set>
#include <vector>

#include "FileStream.h"
#include "RowsetHooks.h"
#include "StreamWriter.h"
#include "XmlTextWriter.h"

namespace iqo {

namespace {

// A column name that can stand as an attribute name as it is: ASCII letters, underscores,
// and ASCII digits after the first character. The empty name is not plain: written as it is,
// it would make an attribute without a name, and no reader could load the file.
bool IsPlainName(std::string_view name) {
    if (name.empty()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        if (!letter && !(i > 0 && c >= '0' && c <= '9')) return false;
    }
    return true;
}

std::string LowerAscii(std::string_view text) {
    std::string s(text);
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

struct TWrittenColumn {
    size_t Index;
    std::string Alias;       // empty for a plain name
    std::string RowPrefix;   // " <attribute name>='"
};

// The columns that the document holds, each with its alias. Aliases are c1, c2, ... in
// column order, except that a number a plain column's name already takes (compared without
// regard to case) is skipped, so that no row carries two attributes of one name.
std::vector<TWrittenColumn> WrittenColumns(const TDataSet& dataSet) {
    std::vector<TWrittenColumn> written;
    std::unordered_set<std::string> plainNames;
    const auto& columns = dataSet.Columns();
    for (size_t i = 0; i < columns.size(); ++i) {
        const TFieldKind kind = columns[i].FieldKind;
        if (kind == TFieldKind::fkCalculated || kind == TFieldKind::fkLookup) continue;
        written.push_back({i, {}, {}});
        if (IsPlainName(columns[i].Name)) plainNames.insert(LowerAscii(columns[i].Name));
    }
    int next = 1;
    for (TWrittenColumn& w : written) {
        const std::string& name = columns[w.Index].Name;
        if (!IsPlainName(name)) {
            do {
                w.Alias = "c" + std::to_string(next++);
            } while (plainNames.count(w.Alias) > 0);
        }
        w.RowPrefix = " " + (w.Alias.empty() ? name : w.Alias) + "='";
    }
    return written;
}

// Opens the result set for the write and gives it back as it was: a closed one closed
// again, an active one on its remembered row.
class TDataSetStateKeeper {
public:
    explicit TDataSetStateKeeper(TDataSet& dataSet) : FDataSet(dataSet), FWasActive(dataSet.Active()) {
        FDataSet.Open();
        FRow = FDataSet.Bookmark();
    }
    ~TDataSetStateKeeper() {
        if (FRestored) return;
        // Leaving by an error: that error is the one to report.
        try {
            Restore();
        } catch (...) {
        }
    }
    TDataSetStateKeeper(const TDataSetStateKeeper&) = delete;
    TDataSetStateKeeper& operator=(const TDataSetStateKeeper&) = delete;

    void Restore() {
        FRestored = true;
        if (!FWasActive)
            FDataSet.Close();
        else if (FRow != kNoRow)
            FDataSet.GotoBookmark(FRow);
    }

private:
    TDataSet& FDataSet;
    bool FWasActive;
    TRowId FRow = kNoRow;
    bool FRestored = false;
};

void WriteSchema(const TDataSet& dataSet, const std::vector<TWrittenColumn>& written, const TRowsetHooks& hooks,
                 XmlTextWriter& xml) {
    xml.WriteStartElement("xml");
    xml.WriteAttributeString("xmlns:s", "uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882");
    xml.WriteAttributeString("xmlns:dt", "uuid:C2F41010-65B3-11d1-A29F-00AA00C14882");
    xml.WriteAttributeString("xmlns:rs", "urn:schemas-microsoft-com:rowset");
    xml.WriteAttributeString("xmlns:z", "#RowsetSchema");
    xml.WriteStartElement("s:Schema");
    xml.WriteAttributeString("id", "RowsetSchema");
    xml.WriteStartElement("s:ElementType");
    xml.WriteAttributeString("name", "row");
    xml.WriteAttributeString("content", "eltOnly");
    xml.WriteAttributeString("rs:updatable", "true");
    for (const TWrittenColumn& w : written) {
        const TColumnDescriptor& column = dataSet.Columns()[w.Index];
        xml.WriteStartElement("s:AttributeType");
        hooks.WriteColumnAttributes(column, xml, w.Alias);
        xml.WriteStartElement("s:datatype");
        hooks.WriteColumnDataType(column, xml);
        xml.WriteEndElement();
        xml.WriteFullEndElement();
    }
    xml.WriteStartElement("s:extends");
    xml.WriteAttributeString("type", "rs:rowbase");
    xml.WriteEndElement();
    xml.WriteFullEndElement();
    xml.WriteFullEndElement();
}

// One row element per row, each built in a reused buffer and appended whole.
void WriteRows(TDataSet& dataSet, const std::vector<TWrittenColumn>& written, const TRowsetHooks& hooks,
               XmlTextWriter& xml) {
    std::string row;
    std::string value;
    const auto& columns = dataSet.Columns();
    const TRowStore& rows = dataSet.Rows();
    for (dataSet.First(); !dataSet.Eof(); dataSet.Next()) {
        const TRowId id = dataSet.Bookmark();
        row.clear();
        row.append("\r    <z:row");
        for (const TWrittenColumn& w : written) {
            if (rows.IsNull(id, w.Index)) continue;
            row += w.RowPrefix;
            const TValueText text = hooks.GetColumnValueText(dataSet, w.Index, columns[w.Index], value);
            if (text.Escape)
                AppendXmlEscaped(row, text.Text);
            else
                row += text.Text;
            row += '\'';
        }
        row += " />";
        xml.Append(row);
    }
}

}  // namespace

void SaveToXML(TDataSet& dataSet, TStream& destination) {
    TDataSetStateKeeper state(dataSet);
    const TRowsetHooks& hooks = RowsetHooksFor(dataSet.ProviderKind());
    const std::vector<TWrittenColumn> written = WrittenColumns(dataSet);
    StreamWriter stream(destination);
    XmlTextWriter xml(stream);
    xml.SetQuoteChar('\'');
    xml.SetFormatting(XmlFormatting::fmtIndented);
    xml.SetIndentation(2);
    xml.SetIndentChar(' ');
    WriteSchema(dataSet, written, hooks, xml);
    xml.Append("\r  <rs:data>");
    WriteRows(dataSet, written, hooks, xml);
    xml.Append("\r  </rs:data>");
    xml.WriteFullEndElement();
    xml.Close();
    state.Restore();
}

void SaveToXML(TDataSet& dataSet, const std::string& fileName) {
    TFileStream file(fileName);
    SaveToXML(dataSet, file);
    file.Close();
}

}  // namespace iqo
