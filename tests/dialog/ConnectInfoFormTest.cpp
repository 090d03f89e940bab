#include "dialog/ufrmConnectInfo.h"

#include <QApplication>
#include <QHeaderView>
#include <QTest>
#include <QTimer>

#include <climits>
#include <memory>

#include <gtest/gtest.h>

#include "DialogTestSupport.h"
#include "FailingFileOperations.h"
#include "TestSupport.h"
#include "dialog/ShowConnectInfoDialog.h"
#include "platform/IniFile.h"
#include "service/IQOCommon.h"

using namespace iqo;

namespace {

class ConnectInfoForm : public TSettingsFolderTest {
protected:
    // A new form, shown and painted once, so that it has loaded the file.
    TfrmConnectInfo& Open() {
        FForm = std::make_unique<TfrmConnectInfo>(FFolder.Path());
        FForm->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(FForm.get()));
        FForm->repaint();
        return *FForm;
    }

    template <typename T>
    T& Control(const char* name) const {
        T* control = FForm->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(control, nullptr) << name;
        return *control;
    }
    QSpinBox& Count() const { return Control<QSpinBox>("edtConnection"); }
    QTableWidget& Grid() const { return Control<QTableWidget>("gridSettings"); }
    void Click(const char* button) const { QTest::mouseClick(&Control<QPushButton>(button), Qt::LeftButton); }

    // Data rows count from 1, as in the settings file.
    std::string Cell(int row, int column) const {
        return Grid().model()->index(row - 1, column).data().toString().toStdString();
    }
    void SetCell(int row, int column, const std::string& text) const {
        QAbstractItemModel* cells = Grid().model();
        cells->setData(cells->index(row - 1, column), QString::fromStdString(text));
    }

    std::unique_ptr<TfrmConnectInfo> FForm;
};

TEST_F(ConnectInfoForm, HasTheControlsOfTheDialog) {
    TfrmConnectInfo& form = Open();
    EXPECT_EQ(form.windowTitle(), "Connection Information");
    EXPECT_EQ(form.size(), QSize(997, 483));
    EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "fixed size";
    EXPECT_FALSE(form.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));

    auto& label1 = Control<QLabel>("Label1");
    EXPECT_EQ(label1.text(), "Define the connection settings for Firebird databases holding loaded widgets");
    EXPECT_TRUE(label1.font().bold());
    EXPECT_EQ(label1.pos(), QPoint(8, 8));
    auto& label2 = Control<QLabel>("Label2");
    EXPECT_EQ(label2.text(), "Connection No: ");
    EXPECT_EQ(label2.pos(), QPoint(8, 44));

    EXPECT_EQ(Count().geometry(), QRect(91, 44, 46, 22));
    EXPECT_EQ(Count().minimum(), INT_MIN);
    EXPECT_EQ(Count().maximum(), TConnectInfoModel::kMaxCount);
    EXPECT_EQ(Count().value(), 1);

    QTableWidget& grid = Grid();
    EXPECT_EQ(grid.geometry(), QRect(8, 72, 981, 370));
    EXPECT_FALSE(grid.verticalHeader()->isVisible()) << "no fixed column";
    EXPECT_EQ(grid.horizontalHeader()->height(), 30);
    EXPECT_TRUE(grid.horizontalHeader()->font().bold());
    EXPECT_EQ(grid.rowCount(), 1);
    EXPECT_EQ(grid.rowHeight(0), 22);
    EXPECT_TRUE(grid.showGrid());
    EXPECT_EQ(grid.selectionMode(), QAbstractItemView::ContiguousSelection);
    EXPECT_NE(grid.editTriggers(), QAbstractItemView::NoEditTriggers);
    const char* headers[] = {"Firebird Server", "Firebird Client DLL", "Firebird Database", "Firebird User",
                             "Firebird Password"};
    const int widths[] = {200, 405, 122, 113, 107};
    ASSERT_EQ(grid.columnCount(), 5);
    for (int column = 0; column < 5; ++column) {
        EXPECT_EQ(grid.horizontalHeaderItem(column)->text(), headers[column]);
        EXPECT_EQ(grid.columnWidth(column), widths[column]);
    }

    struct Button {
        const char* name;
        const char* caption;
        QRect geometry;
    };
    for (const Button b : {Button{"btnOK", "OK", {8, 448, 75, 25}}, Button{"btnCancel", "Cancel", {89, 448, 75, 25}}}) {
        auto& button = Control<QPushButton>(b.name);
        EXPECT_EQ(button.text(), b.caption);
        EXPECT_EQ(button.geometry(), b.geometry);
        EXPECT_FALSE(button.autoDefault()) << "Enter must not save";
    }
}

TEST_F(ConnectInfoForm, TabOrderRunsFromTheCountToTheGrid) {
    Open();
    QApplication::setActiveWindow(FForm.get());
    EXPECT_TRUE(Count().hasFocus());
    std::vector<std::string> order;
    for (int i = 0; i < 4; ++i) {
        QWidget* focused = QApplication::focusWidget();
        while (focused && focused->parentWidget() != FForm.get()) focused = focused->parentWidget();
        order.push_back(focused ? focused->objectName().toStdString() : "");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"edtConnection", "btnOK", "btnCancel", "gridSettings"}));
}

TEST_F(ConnectInfoForm, ThreeConnectionsWithSectionsOneAndThreeOnly) {
    WriteBytes(IniPath(),
               "[Settings]\r\nConnection_Number=3\r\n"
               "[Connection_Info_1]\r\nFirebird_Server=srv1\r\nFirebird_Client_DLL=/opt/fb\r\n"
               "Firebird_Database=/db/one.fdb\r\nFirebird_UserName=ADMIN\r\nFirebird_Password=\x8F\x88\xCE\r\n"
               "[Connection_Info_3]\r\nFirebird_Server=srv3\r\n");
    Open();
    EXPECT_EQ(Count().value(), 3);
    ASSERT_EQ(Grid().rowCount(), 3);
    const std::vector<std::vector<std::string>> shown = {
        {"srv1", "/opt/fb", "/db/one.fdb", "ADMIN", "pw1"},
        {"", "", "", "", ""},  // a missing section stays empty, user included
        {"srv3", "", "", "SYSDBA", ""},
    };
    for (int row = 1; row <= 3; ++row)
        for (int column = 0; column < 5; ++column)
            EXPECT_EQ(Cell(row, column), shown[row - 1][column]) << "row " << row << " column " << column;

    Click("btnOK");
    EXPECT_EQ(FForm->result(), QDialog::Accepted);
    EXPECT_FALSE(FForm->isVisible());
    const TIniFile ini = Ini();
    for (const char* key :
         {"Firebird_Server", "Firebird_Client_DLL", "Firebird_Database", "Firebird_UserName", "Firebird_Password"}) {
        EXPECT_TRUE(ini.ValueExists("Connection_Info_2", key)) << key;
        EXPECT_EQ(ini.ReadString("Connection_Info_2", key, "<absent>"), "") << key;
    }
    EXPECT_EQ(ini.ReadString("Connection_Info_3", "Firebird_UserName", ""), "SYSDBA");
    EXPECT_EQ(ini.ReadString("Connection_Info_1", "Firebird_Password", ""), ScrambleText("pw1"));
}

TEST_F(ConnectInfoForm, StoredCountsLoadAndSaveAsTheSpinEditShowsThem) {
    struct Case {
        const char* file;  // nullptr: no file
        int shown;
        int rows;
        int saved;
    };
    const Case cases[] = {
        {nullptr, 1, 1, 1},
        {"[Settings]\r\n", 1, 1, 1},
        {"[Settings]\r\nConnection_Number=0\r\n", 1, 1, 1},
        {"[Settings]\r\nConnection_Number=0x2\r\n", 2, 2, 2},
        {"[Settings]\r\nConnection_Number=two\r\n", 1, 1, 1},
        // No bounds: a negative count shows one row and saves none.
        {"[Settings]\r\nConnection_Number=-2\r\n", -2, 1, -2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file ? c.file : "no file");
        std::filesystem::remove(IniPath());
        if (c.file) WriteBytes(IniPath(), c.file);
        Open();
        EXPECT_EQ(Count().value(), c.shown);
        EXPECT_EQ(Grid().rowCount(), c.rows);
        Click("btnOK");
        EXPECT_EQ(Ini().ReadInteger("Settings", "Connection_Number", 99), c.saved);
        EXPECT_EQ(Ini().SectionExists("Connection_Info_1"), c.saved >= 1);
    }
}

TEST_F(ConnectInfoForm, LoweringTheCountSavesOnlyTheRowsLeft) {
    WriteBytes(IniPath(), kThreeConnections);
    Open();
    SetCell(1, 0, "srv1-new");
    SetCell(3, 0, "srv3-typed");
    Count().setValue(1);
    EXPECT_EQ(Grid().rowCount(), 1);
    Count().setValue(3);
    EXPECT_EQ(Cell(3, 0), "") << "rows dropped with the count lose what was typed";
    Count().setValue(1);
    Click("btnOK");
    const TIniFile ini = Ini();
    EXPECT_EQ(ini.ReadInteger("Settings", "Connection_Number", 0), 1);
    EXPECT_EQ(ini.ReadString("Connection_Info_1", "Firebird_Server", ""), "srv1-new");
    EXPECT_EQ(ini.ReadString("Connection_Info_2", "Firebird_Server", ""), "srv2") << "left in the file";
    EXPECT_EQ(ini.ReadString("Connection_Info_3", "Firebird_Server", ""), "srv3") << "left in the file";
}

TEST_F(ConnectInfoForm, ThePasswordIsStoredEncodedAndShownDecoded) {
    Open();
    QApplication::setActiveWindow(FForm.get());
    QTableWidget& grid = Grid();
    grid.setFocus();
    grid.setCurrentCell(0, 4);
    QTest::keyClick(&grid, Qt::Key_A);  // typing opens the cell's editor
    QTest::keyClicks(QApplication::focusWidget(), "bc");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCoreApplication::processEvents();  // the editor hands its text over from the event loop
    EXPECT_EQ(Cell(1, 4), "abc") << "typed into the cell";
    Click("btnOK");
    const std::string bytes = ReadBytes(IniPath());
    EXPECT_NE(bytes.find("Firebird_Password=\x9E\x9D\x9C\r\n"), std::string::npos) << bytes;
    EXPECT_EQ(bytes.find("abc"), std::string::npos);

    Open();
    EXPECT_EQ(Cell(1, 4), "abc") << "shown in plain text";
}

TEST_F(ConnectInfoForm, ABlankPasswordStaysBlank) {
    WriteBytes(IniPath(), "[Settings]\r\nConnection_Number=1\r\n[Connection_Info_1]\r\nFirebird_Server=srv\r\n"
                          "Firebird_Password=\r\n");
    Open();
    EXPECT_EQ(Cell(1, 4), "");
    Click("btnOK");
    EXPECT_TRUE(Ini().ValueExists("Connection_Info_1", "Firebird_Password"));
    EXPECT_EQ(Ini().ReadString("Connection_Info_1", "Firebird_Password", "<absent>"), "");
}

TEST_F(ConnectInfoForm, TheCloseBoxAndCancelSaveNothing) {
    for (const bool closeBox : {true, false}) {
        SCOPED_TRACE(closeBox ? "close box" : "Cancel");
        for (const bool exists : {true, false}) {
            std::filesystem::remove(IniPath());
            if (exists) WriteBytes(IniPath(), kThreeConnections);
            Open();
            Count().setValue(2);
            SetCell(1, 0, "changed");
            if (closeBox)
                FForm->close();
            else
                Click("btnCancel");
            EXPECT_FALSE(FForm->isVisible());
            EXPECT_EQ(FForm->result(), QDialog::Rejected);
            if (exists)
                EXPECT_EQ(ReadBytes(IniPath()), kThreeConnections);
            else
                EXPECT_FALSE(FileExistsForTest(IniPath()));
        }
    }
}

TEST_F(ConnectInfoForm, LoadsOnlyAtTheFirstPaint) {
    WriteBytes(IniPath(), kThreeConnections);
    Open();
    WriteBytes(IniPath(), "[Settings]\r\nConnection_Number=1\r\n[Connection_Info_1]\r\nFirebird_Server=other\r\n");
    FForm->repaint();
    EXPECT_EQ(Count().value(), 3);
    EXPECT_EQ(Cell(1, 0), "srv1");
}

TEST_F(ConnectInfoForm, AFailedWriteShowsTheErrorAndKeepsTheRowsWrittenSoFar) {
    WriteBytes(IniPath(), kThreeConnections);
    Open();
    for (int row = 1; row <= 3; ++row) SetCell(row, 0, "new" + std::to_string(row));
    // Writes: the count, row 1's five keys, row 2's client folder, then row 2's server fails.
    TFailingFileOperations failing(TFailingFileOperations::TCall::Rename, EIO, 8);
    {
        TScopedFileOperations scope(failing);
        Click("btnOK");
    }
    EXPECT_EQ(failing.Failures(), 1);
    EXPECT_TRUE(FForm->isVisible()) << "the dialog stays open";
    auto* box = FForm->findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_EQ(box->text().toStdString(), "Unable to write to " + IniPath());
    {
        const TIniFile ini = Ini();
        EXPECT_EQ(ini.ReadString("Connection_Info_1", "Firebird_Server", ""), "new1");
        EXPECT_EQ(ini.ReadString("Connection_Info_1", "Firebird_Password", ""), ScrambleText("pw1"));
        EXPECT_EQ(ini.ReadString("Connection_Info_2", "Firebird_Server", ""), "srv2");
        EXPECT_EQ(ini.ReadString("Connection_Info_3", "Firebird_Server", ""), "srv3");
    }

    box->accept();
    Click("btnOK");
    EXPECT_FALSE(FForm->isVisible());
    EXPECT_EQ(Ini().ReadString("Connection_Info_3", "Firebird_Server", ""), "new3");
}

TEST_F(ConnectInfoForm, ShowConnectInfoDialogShowsANewModalFormEachTime) {
    WriteBytes(IniPath(), kThreeConnections);
    TScopedEnvironment display("DISPLAY", ":0");
    std::vector<int> loaded;
    auto answer = [&](int count) {
        QTimer::singleShot(0, [&, count] {
            auto* form = qobject_cast<TfrmConnectInfo*>(QApplication::activeModalWidget());
            ASSERT_NE(form, nullptr);
            ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
            form->repaint();
            auto* spin = form->findChild<QSpinBox*>("edtConnection");
            loaded.push_back(spin->value());
            spin->setValue(count);
            QTest::mouseClick(form->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
        });
    };
    answer(2);
    ShowConnectInfoDialog(FFolder.Path());
    answer(1);
    ShowConnectInfoDialog(FFolder.Path());
    EXPECT_EQ(loaded, (std::vector<int>{3, 2}));
    EXPECT_EQ(Ini().ReadInteger("Settings", "Connection_Number", 0), 1);
}

}  // namespace
