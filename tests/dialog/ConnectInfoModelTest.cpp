#include "dialog/ConnectInfoModel.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "FailingFileOperations.h"
#include "TestSupport.h"
#include "platform/Exception.h"

using namespace iqo;

namespace {

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

TEST(ConnectInfoModel, NamesTheSettingsFileInTheFolder) {
    EXPECT_EQ(TConnectInfoModel("/opt/iqo").FileName(), "/opt/iqo/iqoRiveDur.ini");
    EXPECT_EQ(TConnectInfoModel("/opt/iqo/").FileName(), "/opt/iqo/iqoRiveDur.ini");
    EXPECT_EQ(TConnectInfoModel("").FileName(), "iqoRiveDur.ini");
}

TEST(ConnectInfoModel, WritesTheCountThenEachRowsKeysInTheirOrder) {
    TTempFolder dir;
    TConnectInfoModel model(dir.Path());
    model.SetCount(2);
    const TConnectInfoModel::TRow first{"srv1", "/opt/firebird", "/db/one.fdb", "ADMIN", "abc"};
    for (int column = 0; column < 5; ++column) model.SetCell(1, column, first[column]);
    model.Save();
    EXPECT_EQ(ReadBytes(model.FileName()),
              "[Settings]\r\nConnection_Number=2\r\n"
              "[Connection_Info_1]\r\nFirebird_Client_DLL=/opt/firebird\r\nFirebird_Server=srv1\r\n"
              "Firebird_Database=/db/one.fdb\r\nFirebird_UserName=ADMIN\r\nFirebird_Password=\x9E\x9D\x9C\r\n"
              "[Connection_Info_2]\r\nFirebird_Client_DLL=\r\nFirebird_Server=\r\n"
              "Firebird_Database=\r\nFirebird_UserName=\r\nFirebird_Password=\r\n");
}

TEST(ConnectInfoModel, AFileItMakesOrRewritesIsPrivate) {
    struct Case {
        bool exists;
        mode_t before;
        mode_t after;
    };
    for (const Case c : {Case{false, 0, 0600}, Case{true, 0644, 0600}, Case{true, 0640, 0600}, Case{true, 0600, 0600}}) {
        TTempFolder dir;
        TConnectInfoModel model(dir.Path());
        if (c.exists) {
            WriteBytes(model.FileName(), "[Settings]\r\nConnection_Number=1\r\n");
            ASSERT_EQ(::chmod(model.FileName().c_str(), c.before), 0);
        }
        model.Save();
        EXPECT_EQ(ModeOf(model.FileName()), c.after) << "existing " << c.exists << " mode " << std::oct << c.before;
    }
}

TEST(ConnectInfoModel, RowsFollowTheCount) {
    TConnectInfoModel model("/nowhere");
    EXPECT_EQ(model.Count(), 1);
    EXPECT_EQ(model.RowCount(), 1);
    model.SetCount(3);
    model.SetCell(3, 0, "srv3");
    model.SetCount(2);
    model.SetCount(3);
    EXPECT_EQ(model.Cell(3, 0), "") << "a dropped row loses its text";
    for (const int count : {0, -4}) {
        model.SetCount(count);
        EXPECT_EQ(model.Count(), count);
        EXPECT_EQ(model.RowCount(), 1);
    }
}

TEST(ConnectInfoModel, AHugeCountIsHeldAtTheMostTheDialogEdits) {
    TTempFolder dir;
    TConnectInfoModel model(dir.Path());
    WriteBytes(model.FileName(), "[Settings]\r\nConnection_Number=2000000000\r\n");
    model.Load();
    EXPECT_EQ(model.Count(), TConnectInfoModel::kMaxCount);
    EXPECT_EQ(model.RowCount(), TConnectInfoModel::kMaxCount);
    model.SetCount(INT32_MAX);
    EXPECT_EQ(model.Count(), TConnectInfoModel::kMaxCount);
    model.SetCount(-3);
    EXPECT_EQ(model.Count(), -3);
    EXPECT_EQ(model.RowCount(), 1);
}

TEST(ConnectInfoModel, ASectionWrittenInOtherCaseIsLoaded) {
    TTempFolder dir;
    TConnectInfoModel model(dir.Path());
    WriteBytes(model.FileName(), "[settings]\nconnection_number=1\n[connection_info_1]\nfirebird_server=srv\n");
    model.Load();
    EXPECT_EQ(model.Cell(1, 0), "srv");
    EXPECT_EQ(model.Cell(1, 3), "SYSDBA");
}

TEST(ConnectInfoModel, AFailedWriteKeepsTheRowsWrittenBeforeIt) {
    TTempFolder dir;
    TConnectInfoModel model(dir.Path());
    model.SetCount(2);
    model.SetCell(1, 0, "srv1");
    model.SetCell(2, 0, "srv2");
    // Writes: the count, row 1's five keys, then row 2's client folder and server.
    TFailingFileOperations failing(TFailingFileOperations::TCall::Rename, EIO, 8);
    {
        TScopedFileOperations scope(failing);
        try {
            model.Save();
            ADD_FAILURE() << "no error raised";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), "Unable to write to " + model.FileName());
        }
    }
    EXPECT_EQ(failing.Failures(), 1);
    EXPECT_EQ(ReadBytes(model.FileName()),
              "[Settings]\r\nConnection_Number=2\r\n"
              "[Connection_Info_1]\r\nFirebird_Client_DLL=\r\nFirebird_Server=srv1\r\n"
              "Firebird_Database=\r\nFirebird_UserName=\r\nFirebird_Password=\r\n"
              "[Connection_Info_2]\r\nFirebird_Client_DLL=\r\n");
}

}  // namespace
