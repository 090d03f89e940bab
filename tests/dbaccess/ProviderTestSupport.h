#pragma once

#include <gtest/gtest.h>

#include <string>

#include "dbaccess/DataSet.h"
#include "platform/Exception.h"

// Helpers of the provider tests: the test cluster, psql, local time zones, and checks of
// column descriptors and values.
namespace iqo::test {

// The private PostgreSQL cluster, as scripts/test-servers describes it.
struct TPgServer {
    std::string Host, User, Password, Database;
    int Port = 0;
    bool Known() const { return !Host.empty() && Port != 0 && !User.empty() && !Database.empty(); }
};
const TPgServer& PgServer();
extern const char* const kPgServerMissing;


// A schema of the test cluster: made with psql from a script (its "%S" the schema's name), and
// dropped with everything in it.
struct TPgSchema {
    std::string Name;
    bool Created = false;
    void Create(const std::string& prefix, const char* script);
    void Drop();
};

// A fixture whose tests share one schema, made before the first and dropped after the last.
// Derived names its schema's prefix and script as kPrefix and kScript.
template <typename Derived>
class TPgSchemaFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() { State().Create(Derived::kPrefix, Derived::kScript); }
    static void TearDownTestSuite() { State().Drop(); }
    void SetUp() override {
        ASSERT_TRUE(PgServer().Known()) << kPgServerMissing;
        ASSERT_TRUE(State().Created);
    }
    static const std::string& Schema() { return State().Name; }

private:
    static TPgSchema& State() {
        static TPgSchema schema;
        return schema;
    }
};

// A TCP port on 127.0.0.1 that nothing listens on.
int ClosedPort();

// The text of the Exception that `action` raises; fails the test when it raises none.
template <typename F>
std::string ErrorText(F action) {
    try {
        action();
    } catch (const Exception& e) {
        return e.Message();
    }
    ADD_FAILURE() << "no Exception raised";
    return " ";
}

// Sets the process's local time zone (a TZ value) for its lifetime.
class TLocalZone {
public:
    explicit TLocalZone(const char* zone);
    ~TLocalZone();
    TLocalZone(const TLocalZone&) = delete;
    TLocalZone& operator=(const TLocalZone&) = delete;

private:
    bool FHad = false;
    std::string FOld;
};

// The shortest text of a double that reads back as the same value.
std::string SerialText(double value);

// A column's expected descriptor and current value (its stored form as text: integers and
// doubles by SerialText, text and bytes as they are).
struct TColumnCase {
    std::string Name;
    TFieldType DataType;
    int Length, Scale, Size;
    bool Fixed;
    std::string Value;
};
void ExpectColumn(const TDataSet& data, const TColumnCase& c);
// The stored form of the current row's value in the column, as TColumnCase holds it.
std::string StoredValue(const TDataSet& data, size_t column);

// A column's expected origin and flags.
struct TFlagsCase {
    std::string Name, TableName, ActualName;
    bool Required, IsKey, IsAutoIncrement, ReadOnly;
};
void ExpectFlags(const TDataSet& data, const TFlagsCase& c);

}  // namespace iqo::test
