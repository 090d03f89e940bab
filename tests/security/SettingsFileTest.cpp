// The service settings file holds the data-centre passwords: the dialog keeps it private to its
// owner, and refuses a password that the stored form would change.

#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "dialog/ConnectInfoModel.h"
#include "dialog/ConnectInfoPassword.h"
#include "dialog/ConnectInfoPrompt.h"
#include "dialog/ufrmConnectInfo.h"
#include "extraction/iqoDataThread.h"
#include "platform/CodePage.h"
#include "platform/IniFile.h"
#include "service/IQOCommon.h"

using namespace iqo;

namespace {

mode_t ModeOf(const std::string& path) {
    return static_cast<mode_t>(std::filesystem::status(path).permissions() & std::filesystem::perms::all);
}

// One connection row with the password given.
void FillRow(TConnectInfoModel& model, int row, const std::string& password) {
    model.SetCell(row, 0, "srv" + std::to_string(row));
    model.SetCell(row, 1, "/usr/lib/x86_64-linux-gnu");
    model.SetCell(row, 2, "/db/crm" + std::to_string(row) + ".fdb");
    model.SetCell(row, 3, "SYSDBA");
    model.SetCell(row, kPasswordColumn, password);
}

}  // namespace

// Made new, rewritten over a private file, rewritten over one that others could read, and
// through a symbolic link: the file ends with mode 0600 each time.
TEST(SettingsFileMode, TheDialogLeavesTheFileReadableByItsOwnerOnly) {
    struct TCase {
        const char* Name;
        bool Exists;
        mode_t Before;
        bool Link;
    };
    for (const TCase c : {TCase{"new", false, 0, false}, TCase{"0600 before", true, 0600, false},
                          TCase{"0644 before", true, 0644, false}, TCase{"0666 before", true, 0666, false},
                          TCase{"0640 before, through a link", true, 0640, true}}) {
        SCOPED_TRACE(c.Name);
        TTempFolder folder;
        TConnectInfoModel model(folder.Path());
        const std::string target = c.Link ? folder.File("real.ini") : model.FileName();
        if (c.Exists) {
            WriteBytes(target, "[Settings]\r\nConnection_Number=1\r\n");
            ASSERT_EQ(::chmod(target.c_str(), c.Before), 0);
        }
        if (c.Link) {
            ASSERT_EQ(::symlink(target.c_str(), model.FileName().c_str()), 0);
        }
        FillRow(model, 1, "Mode1Secret");
        model.Save();
        EXPECT_EQ(ModeOf(target), 0600u);
        EXPECT_EQ(TIniFile(target).ReadString("Connection_Info_1", "Firebird_Password", ""), ScrambleText("Mode1Secret"));
    }
}

namespace {

// What the service reads back as the password of connection 1 after the settings file held
// it as the dialog writes it, bypassing the dialog's check.
class TServiceReadBack {
public:
    TServiceReadBack() : FSettings(FFolder.File(TIqoDataThread::kSettingsFileName)) {
        FSettings.WriteString("Connection_Info_1", "Firebird_Server", "srv");
        SetServicePath(FFolder.Path() + "/");
    }
    ~TServiceReadBack() { SetServicePath(""); }
    TServiceReadBack(const TServiceReadBack&) = delete;
    TServiceReadBack& operator=(const TServiceReadBack&) = delete;

    std::string Password(const std::string& password) {
        FSettings.WriteString("Connection_Info_1", "Firebird_Password", ScrambleText(password));
        FWorker.LoadConnectionInfo(1);
        return FWorker.FirebirdPWD();
    }

private:
    TTempFolder FFolder;
    TIniFile FSettings;
    TIqoDataThread FWorker{true};
};

std::string Character(unsigned char byte) { return AnsiToUtf8(std::string(1, static_cast<char>(byte))); }

}  // namespace

// Every byte of the code page at the start, inside and at the end of a password, and the
// other forms that are known to change: the check refuses exactly what the service would read
// back otherwise.
TEST(PasswordStorage, TheCheckRefusesExactlyThePasswordsThatWouldChange) {
    std::vector<std::string> passwords;
    for (int b = 1; b < 256; ++b) {
        const std::string c = Character(static_cast<unsigned char>(b));
        passwords.push_back(c + "pw");
        passwords.push_back("p" + c + "w");
        passwords.push_back("pw" + c);
    }
    passwords.insert(passwords.end(), {"Ā-outside", "pw\u20AC", "\u00DDquoted\u00DD", "\u00D8x\u00D8", "\u00DDx",
                                       "x\u00DD", "\u00DD", "   ", " pw", std::string(2047, 'p'),
                                       std::string(2048, 'p'), "plain", "a;b}{c=d"});
    int refused = 0;
    TServiceReadBack service;
    for (const std::string& password : passwords) {
        const bool survives = service.Password(password) == password;
        const auto problem = PasswordStorageProblem(password);
        EXPECT_EQ(!problem.has_value(), survives) << "password \"" << password << "\"" << (problem ? ": " + *problem : "");
        refused += problem.has_value();
    }
    EXPECT_GT(refused, 100) << "the table holds the lossy passwords";
}

namespace {

class PasswordRefusal : public ::testing::Test {
protected:
    // Two rows, the second with a password that cannot be stored.
    void SetUp() override {
        WriteBytes(FFolder.File("iqoRiveDur.ini"), kBefore);
        ASSERT_EQ(::chmod(FFolder.File("iqoRiveDur.ini").c_str(), 0644), 0);
    }
    void ExpectNothingWritten() const {
        EXPECT_EQ(ReadBytes(FFolder.File("iqoRiveDur.ini")), kBefore);
        EXPECT_EQ(ModeOf(FFolder.File("iqoRiveDur.ini")), 0644u) << "a refused save changes nothing";
    }

    static inline const std::string kBefore = "[Settings]\r\nConnection_Number=1\r\n";
    static inline const std::string kLossy = "secret\u00FF";  // ÿ encodes to the byte 0
    static inline const std::string kMessage =
        "The password of connection 2 (Firebird Server \"srv2\", Firebird Database \"/db/crm2.fdb\") cannot be "
        "stored: it holds the character \"\u00FF\", whose encoded form would end the stored value there. Nothing was "
        "saved.";
    TTempFolder FFolder;
};

}  // namespace

TEST_F(PasswordRefusal, TheModelRaisesBeforeWritingAnything) {
    TConnectInfoModel model(FFolder.Path());
    model.SetCount(2);
    FillRow(model, 1, "fine");
    FillRow(model, 2, kLossy);
    try {
        model.Save();
        FAIL() << "saved";
    } catch (const EPasswordNotStorable& e) {
        EXPECT_EQ(e.Message(), kMessage);
    }
    ExpectNothingWritten();
    // A row above the count is not saved, so its password does not matter.
    model.SetCount(1);
    model.Save();
    EXPECT_EQ(TIniFile(model.FileName()).ReadString("Connection_Info_1", "Firebird_Password", ""), ScrambleText("fine"));
}

// The prompts show the refusal and ask for the cells again; the corrected password is saved.
TEST_F(PasswordRefusal, ThePromptShowsWhyAndAsksForTheCellsAgain) {
    std::string input = "2\n";
    for (int row = 1; row <= 2; ++row)
        input += "srv" + std::to_string(row) + "\n/usr/lib\n/db/crm" + std::to_string(row) + ".fdb\nSYSDBA\n" +
                 (row == 1 ? "fine" : kLossy) + "\n";
    input += "o\n\n\n\n\n\n\n\n\n\nsecret2\no\n";
    std::istringstream in(input);
    std::ostringstream out;
    EXPECT_TRUE(RunConnectInfoPrompt(FFolder.Path(), in, out));
    EXPECT_NE(out.str().find(kMessage + "\nConnection 1\n"), std::string::npos) << out.str();
    const TIniFile ini(FFolder.File("iqoRiveDur.ini"));
    EXPECT_EQ(ini.ReadString("Connection_Info_2", "Firebird_Password", ""), ScrambleText("secret2"));
    EXPECT_EQ(ModeOf(FFolder.File("iqoRiveDur.ini")), 0600u);
}

TEST_F(PasswordRefusal, TheWindowShowsWhyAndStaysOpen) {
    TfrmConnectInfo form(FFolder.Path());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.repaint();
    form.findChild<QSpinBox*>(QStringLiteral("edtConnection"))->setValue(2);
    auto* grid = form.findChild<QTableWidget*>(QStringLiteral("gridSettings"));
    for (int row = 0; row < 2; ++row) {
        const std::string n = std::to_string(row + 1);
        const std::vector<std::string> cells = {"srv" + n, "/usr/lib", "/db/crm" + n + ".fdb", "SYSDBA",
                                                row == 0 ? "fine" : kLossy};
        for (int column = 0; column < 5; ++column)
            grid->model()->setData(grid->model()->index(row, column), QString::fromStdString(cells[column]));
    }
    QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
    EXPECT_TRUE(form.isVisible());
    auto* box = form.findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->text().toStdString(), kMessage);
    ExpectNothingWritten();
}
