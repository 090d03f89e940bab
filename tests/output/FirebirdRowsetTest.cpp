#include <gtest/gtest.h>

#include <string>

#include "SourceDatabases.h"
#include "TestSupport.h"
#include "dbaccess/DbConnection.h"
#include "dbaccess/DbQuery.h"
#include "output/RowsetWriter.h"

using namespace iqo;

namespace {

TEST(SaveToXMLFirebirdTest, CustomerQueryMatchesTheGoldenFile) {
    TFirebirdSourceDatabase db(
        {"create table CUSTOMER (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40), CREATED TIMESTAMP)",
         "insert into CUSTOMER values (1, 'Smith & Sons', '2024-02-13 14:05:09')",
         "insert into CUSTOMER values (2, NULL, '2024-03-01 08:00:00')"});
    TDbQuery query(&db.Connection());
    query.SetSQL("SELECT ID, NAME AS \"Customer Name\", CREATED FROM CUSTOMER");
    query.Open();

    TTempFolder folder;
    SaveToXML(query, folder.File("customer.xml"));
    EXPECT_EQ(ReadBytes(folder.File("customer.xml")), ReadBytes(std::string(IQO_FIXTURES) + "/fixtures/customer.xml"));
    EXPECT_TRUE(query.Active());
    query.Close();
}

}  // namespace
