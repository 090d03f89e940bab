// The rowset writer against the I/O limit and against libxml2's text writer: 1,000,000 rows
// of 8 columns from a result set in memory, written to a file in /tmp.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <libxml/xmlwriter.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "dbaccess/MemDataSet.h"
#include "output/RowsetHooks.h"
#include "output/RowsetWriter.h"
#include "platform/DateTime.h"
#include "platform/FileUtils.h"

using namespace iqo;

namespace {

constexpr int kRows = 1000000;
const std::string kFile = "/tmp/iqo-bench-save-xml.xml";

TColumnDescriptor Column(std::string name, TFieldType type, uint16_t length = 0) {
    TColumnDescriptor c;
    c.Name = std::move(name);
    c.DataType = type;
    c.Length = length;
    c.Size = FieldValueSize(type, length, TProviderKind::Generic);
    c.TableName = "ORDERS";
    c.ActualName = c.Name;
    return c;
}

// Int32, Int64, Double, Currency, AnsiString(20), DateTime, Boolean and a mostly NULL text.
TMemDataSet& Orders() {
    static TMemDataSet* orders = [] {
        std::vector<TColumnDescriptor> columns{
            Column("ID", TFieldType::Int32),           Column("Amount", TFieldType::Int64),
            Column("Price", TFieldType::Double, 15),   Column("Balance", TFieldType::Currency, 19),
            Column("Customer Name", TFieldType::AnsiString, 20), Column("Created", TFieldType::DateTime),
            Column("Active", TFieldType::Boolean),     Column("Note", TFieldType::WideString, 30)};
        for (size_t i = 0; i < columns.size(); ++i) columns[i].FieldNo = static_cast<uint16_t>(i + 1);
        columns[0].Required = true;
        columns[0].IsKey = true;
        static TMemDataSet ds(columns);
        auto row = ds.NewRow();
        const TDateTime start = EncodeDateTime(2024, 1, 1, 8, 0, 0, 0);
        char name[32];
        for (int i = 0; i < kRows; ++i) {
            row.Clear();
            row.SetInteger(0, i + 1);
            row.SetInteger(1, static_cast<int64_t>(i) * 1000003 - 500000000);
            row.SetFloat(2, (i % 100000) / 100.0);
            row.SetInteger(3, static_cast<int64_t>(i % 7919) * 125);
            std::snprintf(name, sizeof name, i % 16 == 0 ? "Smith & Sons %07d" : "Customer %011d", i);
            row.SetBytes(4, name);
            row.SetFloat(5, start + i / 1440.0);
            row.SetInteger(6, i % 3 == 0);
            if (i % 20 == 0) row.SetBytes(7, "Call back <urgent>");
            ds.AppendRow(row);
        }
        return &ds;
    }();
    return *orders;
}

int64_t StatusKiB(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0) return std::stoll(line.substr(prefix.size()));
    return 0;
}

// Resets the peak resident size to the current one.
void ResetPeakRss() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

// Reports the rates of the file written in every iteration, and removes it.
void SetRates(benchmark::State& state) {
    state.SetBytesProcessed(state.iterations() * FileSize(kFile));
    state.counters["rows_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kRows, benchmark::Counter::kIsRate);
    std::remove(kFile.c_str());
}

void BM_SaveXML(benchmark::State& state) {
    TMemDataSet& ds = Orders();
    int64_t peakGrowthKiB = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ResetPeakRss();
        const int64_t before = StatusKiB("VmRSS");
        state.ResumeTiming();
        SaveToXML(ds, kFile);
        state.PauseTiming();
        peakGrowthKiB = std::max(peakGrowthKiB, StatusKiB("VmHWM") - before);
        state.ResumeTiming();
    }
    SetRates(state);
    state.counters["peak_growth_mib"] = static_cast<double>(peakGrowthKiB) / 1024.0;
}

void BM_RawWrite(benchmark::State& state) {
    SaveToXML(Orders(), kFile);
    const std::string bytes = ReadWholeFile(kFile).value_or(std::string());
    constexpr size_t kBlock = size_t{1} << 20;
    for (auto _ : state) {
        TFileHandle file(::open(kFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
        for (size_t pos = 0; pos < bytes.size(); pos += kBlock)
            if (!WriteAll(file.Get(), std::string_view(bytes).substr(pos, kBlock))) state.SkipWithError("write failed");
    }
    SetRates(state);
}

using TAttributes = std::vector<std::pair<std::string, std::string>>;

std::string Unescaped(std::string text) {
    for (const auto& [from, to] : {std::pair<const char*, const char*>{"&#x27;", "'"}, {"&#x22;", "\""},
                                   {"&#x3c;", "<"}, {"&#x3e;", ">"}, {"&#x26;", "&"}}) {
        for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + 1))
            text.replace(at, 6, to);
    }
    return text;
}

// The attributes that one hook writes, read back from its output, so that libxml2 writes the
// very same schema.
template <typename THook>
TAttributes HookAttributes(THook hook) {
    TMemoryStream stream;
    StreamWriter bytes(stream);
    XmlTextWriter xml(bytes);
    xml.SetQuoteChar('\'');
    xml.WriteStartElement("e");
    hook(xml);
    xml.WriteEndElement();
    xml.Close();
    TAttributes attributes;
    const std::string& text = stream.Data();
    for (size_t pos = text.find(' '); pos != std::string::npos && text[pos + 1] != '/'; pos = text.find(' ', pos)) {
        const size_t eq = text.find("='", pos);
        const size_t end = text.find('\'', eq + 2);
        attributes.emplace_back(text.substr(pos + 1, eq - pos - 1), Unescaped(text.substr(eq + 2, end - eq - 2)));
        pos = end + 1;
    }
    return attributes;
}

struct TLibXmlWriter {
    xmlTextWriterPtr Writer = nullptr;
    explicit TLibXmlWriter(const std::string& path) : Writer(xmlNewTextWriterFilename(path.c_str(), 0)) {}
    ~TLibXmlWriter() {
        if (Writer) xmlFreeTextWriter(Writer);
    }
    void Start(const char* name) { xmlTextWriterStartElement(Writer, BAD_CAST name); }
    void Attribute(const std::string& name, const std::string& value) {
        xmlTextWriterWriteAttribute(Writer, BAD_CAST name.c_str(), BAD_CAST value.c_str());
    }
    void End() { xmlTextWriterEndElement(Writer); }
};

void WriteWithLibXml2(TMemDataSet& ds) {
    const TRowsetHooks& hooks = RowsetHooksFor(ds.ProviderKind());
    TLibXmlWriter w(kFile);
    xmlTextWriterSetIndent(w.Writer, 1);
    xmlTextWriterSetIndentString(w.Writer, BAD_CAST "  ");
    xmlTextWriterSetQuoteChar(w.Writer, '\'');
    w.Start("xml");
    w.Attribute("xmlns:s", "uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882");
    w.Attribute("xmlns:dt", "uuid:C2F41010-65B3-11d1-A29F-00AA00C14882");
    w.Attribute("xmlns:rs", "urn:schemas-microsoft-com:rowset");
    w.Attribute("xmlns:z", "#RowsetSchema");
    w.Start("s:Schema");
    w.Attribute("id", "RowsetSchema");
    w.Start("s:ElementType");
    w.Attribute("name", "row");
    w.Attribute("content", "eltOnly");
    w.Attribute("rs:updatable", "true");
    std::vector<std::string> names;
    int aliases = 0;
    for (const TColumnDescriptor& c : ds.Columns()) {
        const bool plain = c.Name.find(' ') == std::string::npos;
        const std::string alias = plain ? "" : "c" + std::to_string(++aliases);
        names.push_back(plain ? c.Name : alias);
        w.Start("s:AttributeType");
        for (const auto& [name, value] :
             HookAttributes([&](XmlTextWriter& xml) { hooks.WriteColumnAttributes(c, xml, alias); }))
            w.Attribute(name, value);
        w.Start("s:datatype");
        for (const auto& [name, value] : HookAttributes([&](XmlTextWriter& xml) { hooks.WriteColumnDataType(c, xml); }))
            w.Attribute(name, value);
        w.End();
        xmlTextWriterFullEndElement(w.Writer);
    }
    w.Start("s:extends");
    w.Attribute("type", "rs:rowbase");
    w.End();
    xmlTextWriterFullEndElement(w.Writer);
    xmlTextWriterFullEndElement(w.Writer);
    w.Start("rs:data");
    std::string buffer;
    std::string value;
    for (ds.First(); !ds.Eof(); ds.Next()) {
        w.Start("z:row");
        for (size_t i = 0; i < ds.Columns().size(); ++i) {
            if (ds.IsNull(i)) continue;
            value.assign(hooks.GetColumnValueText(ds, i, ds.Columns()[i], buffer).Text);
            w.Attribute(names[i], value);
        }
        w.End();
    }
    xmlTextWriterFullEndElement(w.Writer);
    xmlTextWriterEndElement(w.Writer);
    xmlTextWriterFlush(w.Writer);
}

void BM_LibXml2(benchmark::State& state) {
    TMemDataSet& ds = Orders();
    ds.Open();
    for (auto _ : state) WriteWithLibXml2(ds);
    ds.Close();
    SetRates(state);
}

}  // namespace

BENCHMARK(BM_SaveXML)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_RawWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_LibXml2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

BENCHMARK_MAIN();
