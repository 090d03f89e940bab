#include "ProviderTestSupport.h"

#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "TestSupport.h"
#include "platform/Exception.h"
#include "platform/TextUtils.h"

namespace iqo::test {

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string ShellQuoted(const std::string& text) { return "'" + ReplaceAll(text, "'", "'\\''") + "'"; }

}  // namespace

const char* const kPgServerMissing =
    "IQO_PG_HOST, IQO_PG_PORT, IQO_PG_USER and IQO_PG_DATABASE are not set: run scripts/test-servers start and "
    "eval \"$(scripts/test-servers env)\"";

const TPgServer& PgServer() {
    static const TPgServer server = [] {
        TPgServer s;
        s.Host = Env("IQO_PG_HOST");
        s.Port = std::atoi(Env("IQO_PG_PORT").c_str());
        s.User = Env("IQO_PG_USER");
        s.Password = Env("IQO_PG_PASSWORD");
        s.Database = Env("IQO_PG_DATABASE");
        return s;
    }();
    return server;
}

namespace {

// Runs an SQL script with psql against the test cluster, stopping at the first error.
bool RunPsql(const TPgServer& server, const std::string& script, std::string& output) {
    TTempFolder folder;
    const std::string file = folder.Path() + "/script.sql";
    WriteBytes(file, script);
    const std::string command = "PGPASSWORD=" + ShellQuoted(server.Password) + " psql -X -q -v ON_ERROR_STOP=1 -h " +
                                ShellQuoted(server.Host) + " -p " + std::to_string(server.Port) + " -U " +
                                ShellQuoted(server.User) + " -d " + ShellQuoted(server.Database) + " -f " +
                                ShellQuoted(file) + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return false;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    return pclose(pipe) == 0;
}

}  // namespace

void TPgSchema::Create(const std::string& prefix, const char* script) {
    if (!PgServer().Known()) return;
    Name = prefix + std::to_string(getpid());
    std::string output;
    Created = RunPsql(PgServer(), "CREATE SCHEMA " + Name + ";\n" + ReplaceAll(script, "%S", Name), output);
    if (!Created) ADD_FAILURE() << "psql could not create the test schema:\n" << output;
}

void TPgSchema::Drop() {
    if (!Created) return;
    std::string output;
    if (!RunPsql(PgServer(), "DROP SCHEMA " + Name + " CASCADE;\n", output)) ADD_FAILURE() << output;
    Created = false;
}

int ClosedPort() { return FreeLoopbackPorts(1).front(); }

TLocalZone::TLocalZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) FHad = true, FOld = old;
    setenv("TZ", zone, 1);
    tzset();
}

TLocalZone::~TLocalZone() {
    if (FHad) setenv("TZ", FOld.c_str(), 1);
    else unsetenv("TZ");
    tzset();
}

std::string SerialText(double value) {
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}

std::string StoredValue(const TDataSet& data, size_t column) {
    switch (StorageClassOf(data.Columns()[column].DataType)) {
        case TStorageClass::Integer: case TStorageClass::Currency: return std::to_string(data.AsInteger(column));
        case TStorageClass::Float: case TStorageClass::DateTime: return SerialText(data.AsFloat(column));
        default: return std::string(data.AsBytes(column));
    }
}

void ExpectColumn(const TDataSet& data, const TColumnCase& c) {
    SCOPED_TRACE(c.Name);
    const int index = data.FindField(c.Name);
    ASSERT_GE(index, 0);
    const TColumnDescriptor& d = data.Columns()[static_cast<size_t>(index)];
    EXPECT_EQ(FieldTypeName(d.DataType), std::string(FieldTypeName(c.DataType)));
    EXPECT_EQ(d.Length, c.Length);
    EXPECT_EQ(d.Scale, c.Scale);
    EXPECT_EQ(d.Size, c.Size);
    EXPECT_EQ(d.Fixed, c.Fixed);
    ASSERT_FALSE(data.IsNull(static_cast<size_t>(index)));
    EXPECT_EQ(StoredValue(data, static_cast<size_t>(index)), c.Value);
}

void ExpectFlags(const TDataSet& data, const TFlagsCase& c) {
    SCOPED_TRACE(c.Name);
    const int index = data.FindField(c.Name);
    ASSERT_GE(index, 0);
    const TColumnDescriptor& d = data.Columns()[static_cast<size_t>(index)];
    EXPECT_EQ(d.TableName, c.TableName);
    EXPECT_EQ(d.ActualName, c.ActualName);
    EXPECT_EQ(d.Required, c.Required);
    EXPECT_EQ(d.IsKey, c.IsKey);
    EXPECT_EQ(d.IsAutoIncrement, c.IsAutoIncrement);
    EXPECT_EQ(d.ReadOnly, c.ReadOnly);
}

}  // namespace iqo::test
