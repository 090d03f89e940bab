// Whole SQL texts run by the combined query over two small sources, PASTELSQL and IQOSQL, with
// the rows read and written as a rowset document, in a private current folder under /tmp. Bad
// SQL ends in an Exception; no text may leave a file behind, neither in that folder nor in
// /tmp beside it (no ATTACH of a file, no VACUUM INTO, no extension). A budget of engine steps
// and a heap limit, set through an automatic extension of the harness, keep endless or huge
// queries from ending the run; running out of them is an engine error like any other.

#include <dirent.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "TestSupport.h"
#include "dbaccess/MemDataSet.h"
#include "output/RowsetWriter.h"
#include "output/StreamWriter.h"
#include "output/VirtualQuery.h"
#include "platform/DateTime.h"

namespace {

using iqo::TFieldType;

// Engine progress callbacks (each after 1000 virtual-machine steps) one input may take. An
// endless query spends its budget mostly on rows read back and written out; a few million
// steps keep such an input to a few seconds under the sanitizers.
constexpr int kStepBudget = 3000;
int GStepsLeft = kStepBudget;

int CountSteps(void*) { return --GStepsLeft < 0 ? 1 : 0; }

int LimitConnection(sqlite3* db, const char**, const sqlite3_api_routines*) {
    sqlite3_progress_handler(db, 1000, CountSteps, nullptr);
    return SQLITE_OK;
}

iqo::TColumnDescriptor Col(std::string name, TFieldType type, uint16_t length = 0, uint16_t scale = 0) {
    iqo::TColumnDescriptor c;
    c.Name = std::move(name);
    c.DataType = type;
    c.Length = length;
    c.Scale = scale;
    c.Size = iqo::FieldValueSize(type, length, iqo::TProviderKind::Generic);
    return c;
}

std::unique_ptr<iqo::TMemDataSet> MakeSource(std::vector<iqo::TColumnDescriptor> columns) {
    for (size_t i = 0; i < columns.size(); ++i) columns[i].FieldNo = static_cast<uint16_t>(i + 1);
    return std::make_unique<iqo::TMemDataSet>(std::move(columns));
}

// Account, name, amount, document date, quantity, price and bytes; some NULLs.
std::unique_ptr<iqo::TMemDataSet> Pastel() {
    auto acc = Col("Acc", TFieldType::AnsiString, 10);
    acc.IsKey = acc.Required = true;
    auto ds = MakeSource({acc, Col("Name", TFieldType::AnsiString, 20), Col("Amount", TFieldType::Double, 15, 2),
                          Col("DocDate", TFieldType::DateTime), Col("Qty", TFieldType::Int32),
                          Col("Price", TFieldType::Currency, 19, 4), Col("Data", TFieldType::Blob)});
    const struct {
        const char* acc;
        const char* name;
        double amount;
        double date;
        int qty;
        int64_t price;
    } rows[] = {{"A", "Alpha", 12.5, iqo::EncodeDateTime(2024, 1, 4, 8, 0, 0, 0), 1, 125000},
                {"B", nullptr, 0.25, iqo::EncodeDateTime(2024, 2, 13, 10, 20, 30, 500), 2, -5},
                {"C", "Gamma & 'Sons'", -7, 0, 3, 0},
                {"D", "D\xC3\xA9lta", 1e300, -1.25, -4, INT64_MAX}};
    auto row = ds->NewRow();
    for (const auto& r : rows) {
        row.Clear();
        row.SetBytes(0, r.acc);
        if (r.name) row.SetBytes(1, r.name);
        row.SetFloat(2, r.amount);
        if (r.date != 0) row.SetFloat(3, r.date);
        row.SetInteger(4, r.qty);
        row.SetInteger(5, r.price);
        row.SetBytes(6, std::string("\0\x01\xFF", 3));
        ds->AppendRow(row);
    }
    ds->Open();
    return ds;
}

// Account, representative, flag, a large integer and an exact decimal.
std::unique_ptr<iqo::TMemDataSet> Iqo() {
    auto ds = MakeSource({Col("Acc", TFieldType::AnsiString, 10), Col("Rep", TFieldType::WideString, 20),
                          Col("Flag", TFieldType::Boolean), Col("Big", TFieldType::Int64),
                          Col("Dec", TFieldType::FmtBcd, 20, 4)});
    const struct {
        const char* acc;
        const char* rep;
        int64_t big;
        const char* dec;
    } rows[] = {{"A", "Ann", INT64_MIN, "-12.3400"}, {"B", nullptr, 0, "0"}, {"Z", "Z\xE2\x82\xAC", 42, nullptr}};
    auto row = ds->NewRow();
    for (const auto& r : rows) {
        row.Clear();
        row.SetBytes(0, r.acc);
        if (r.rep) row.SetBytes(1, r.rep);
        row.SetInteger(2, r.big & 1);
        row.SetInteger(3, r.big);
        if (r.dec) row.SetBytes(4, r.dec);
        ds->AppendRow(row);
    }
    ds->Open();
    return ds;
}

std::set<std::string> Entries(const std::string& folder) {
    std::set<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") names.insert(name);
        }
        ::closedir(dir);
    }
    return names;
}

// The input with %XX sequences decoded as well, so that a file named through a URI is found.
std::string Decoded(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// A file name the text could have given: the entry itself, or without the engine's suffixes.
bool NamedBy(const std::string& entry, const std::string& text, const std::string& decoded) {
    std::string base = entry;
    for (const char* suffix : {"-journal", "-wal", "-shm"}) {
        const std::string s = suffix;
        if (base.size() > s.size() && base.compare(base.size() - s.size(), s.size(), s) == 0)
            base.resize(base.size() - s.size());
    }
    return text.find(base) != std::string::npos || decoded.find(base) != std::string::npos;
}

std::string GSandbox;
std::set<std::string> GTmpEntries;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    sqlite3_auto_extension(reinterpret_cast<void (*)()>(LimitConnection));
    sqlite3_hard_heap_limit64(64 << 20);
    static const TTempFolder sandbox("/tmp");
    GSandbox = sandbox.Path();
    FUZZ_CHECK(::chdir(GSandbox.c_str()) == 0, "cannot enter the private folder");
    GTmpEntries = Entries("/tmp");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string sql(reinterpret_cast<const char*>(data), size);
    auto pastel = Pastel();
    auto iqo = Iqo();
    {
        iqo::TVirtualQuery query;
        auto& p = query.SourceDataSets().Add();
        p.DataSet = pastel.get();
        p.TableName = "PASTELSQL";
        auto& q = query.SourceDataSets().Add();
        q.DataSet = iqo.get();
        q.TableName = "IQOSQL";
        query.SetSQL(sql);
        GStepsLeft = kStepBudget;
        try {
            query.Open();
            iqo::TMemoryStream document;
            iqo::SaveToXML(query, document);
            FUZZ_CHECK(iqo::WellFormedUtf8Length(document.Data()) == document.Data().size(),
                       "the document is not well-formed UTF-8");
            query.Close();
        } catch (const iqo::Exception&) {
            // Bad SQL, or a query beyond the budget: the expected end.
        }
    }

    const std::set<std::string> left = Entries(GSandbox);
    FUZZ_CHECK(left.empty(), "a file appeared in the private folder: " + (left.empty() ? "" : *left.begin()));
    const std::set<std::string> now = Entries("/tmp");
    const std::string decoded = Decoded(sql);
    for (const std::string& entry : now)
        if (!GTmpEntries.count(entry)) FUZZ_CHECK(!NamedBy(entry, sql, decoded), "a file appeared in /tmp: " + entry);
    // Other programs come and go in /tmp; only names the text could give count.
    GTmpEntries = now;
    return 0;
}
