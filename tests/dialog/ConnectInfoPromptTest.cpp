#include "dialog/ConnectInfoPrompt.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "DialogTestSupport.h"
#include "FailingFileOperations.h"
#include "TestSupport.h"
#include "platform/FileUtils.h"
#include "platform/IniFile.h"
#include "service/IQOCommon.h"

extern char** environ;

using namespace iqo;

namespace {

const std::string kOneConnection =
    "[Settings]\r\nConnection_Number=1\r\n"
    "[Connection_Info_1]\r\nFirebird_Server=srv1\r\nFirebird_Client_DLL=/opt/fb\r\nFirebird_Database=/db/one.fdb\r\n"
    "Firebird_UserName=ADMIN\r\nFirebird_Password=\x8F\x88\xCE\r\n";

// Answers that keep the count and every cell of one row, then choose OK.
const std::string kKeepAllAndOk = "\n\n\n\n\n\no\n";

class ConnectInfoPrompt : public TSettingsFolderTest {
protected:
    bool Run(const std::string& input) {
        std::istringstream in(input);
        std::ostringstream out;
        const bool saved = RunConnectInfoPrompt(FFolder.Path(), in, out);
        FOutput = out.str();
        return saved;
    }

    std::string FOutput;
};

TEST_F(ConnectInfoPrompt, ShowsEditsAndSavesTheRows) {
    WriteBytes(IniPath(), kOneConnection);
    const bool saved = Run(
        "2\n"                                   // count
        "\n\n\n   \nsecret\n"                   // row 1: keep three cells, clear the user, new password
        "srv2\n\n  /db/two.fdb  \n\n\n"         // row 2
        "maybe\nO\n");
    EXPECT_TRUE(saved) << FOutput;
    const std::vector<std::string> shown = {
        "Connection No: 1\n", "    Firebird Password: pw1\n", "Connection No: [1]: ", "  Firebird Server [srv1]: ",
        "  Firebird User [ADMIN]: ", "  Firebird Password [pw1]: ", "  Firebird User []: ", "Connection No: 2\n",
        "    Firebird Database: /db/two.fdb\n", "Saved to " + IniPath() + ".\n"};
    for (const std::string& text : shown)
        EXPECT_NE(FOutput.find(text), std::string::npos) << text << "\n" << FOutput;
    const TIniFile ini = Ini();
    EXPECT_EQ(ini.ReadInteger("Settings", "Connection_Number", 0), 2);
    EXPECT_EQ(ini.ReadString("Connection_Info_1", "Firebird_Server", ""), "srv1");
    EXPECT_EQ(ini.ReadString("Connection_Info_1", "Firebird_UserName", "<absent>"), "");
    EXPECT_EQ(ini.ReadString("Connection_Info_1", "Firebird_Password", ""), ScrambleText("secret"));
    EXPECT_EQ(ini.ReadString("Connection_Info_2", "Firebird_Server", ""), "srv2");
    EXPECT_EQ(ini.ReadString("Connection_Info_2", "Firebird_Database", ""), "/db/two.fdb");
    EXPECT_TRUE(ini.ValueExists("Connection_Info_2", "Firebird_Password"));
}

TEST_F(ConnectInfoPrompt, CancelOrTheEndOfTheInputSavesNothing) {
    const char* inputs[] = {
        "\n\nchanged\n\n\n\nc\n",  // Cancel
        "\n\nchanged\n\n\n\ncancel\n",
        "2\n",                     // ends at the first cell
        "",                        // ends at the count
        "\n\nchanged\n\n\n\n",     // ends at OK or Cancel
    };
    for (const char* input : inputs) {
        SCOPED_TRACE(input);
        WriteBytes(IniPath(), kOneConnection);
        EXPECT_FALSE(Run(input));
        EXPECT_EQ(ReadBytes(IniPath()), kOneConnection);
        EXPECT_NE(FOutput.find("Cancelled: the connection settings were not changed.\n"), std::string::npos) << FOutput;
    }
}

TEST_F(ConnectInfoPrompt, ACountMustBeAWholeNumber) {
    EXPECT_TRUE(Run("abc\n3.5\n99999999999\n 2 \n" + std::string(10, '\n') + "o\n")) << FOutput;
    size_t complaints = 0;
    for (size_t at = 0; (at = FOutput.find("Enter a whole number.\n", at)) != std::string::npos; ++at) ++complaints;
    EXPECT_EQ(complaints, 3u);
    EXPECT_EQ(Ini().ReadInteger("Settings", "Connection_Number", 0), 2);
}

TEST_F(ConnectInfoPrompt, ACountOfZeroOrBelowAsksForNoCellAndSavesNoRow) {
    for (const char* count : {"0", "-1"}) {
        EXPECT_TRUE(Run(std::string(count) + "\no\n")) << FOutput;
        EXPECT_NE(FOutput.find("(no connection is saved)"), std::string::npos) << FOutput;
        EXPECT_EQ(Ini().ReadString("Settings", "Connection_Number", ""), count);
        EXPECT_FALSE(Ini().SectionExists("Connection_Info_1"));
    }
}

TEST_F(ConnectInfoPrompt, AFailedSaveShowsTheErrorAndAsksAgain) {
    TFailingFileOperations failing(TFailingFileOperations::TCall::Rename, EIO, 1);
    TScopedFileOperations scope(failing);
    EXPECT_TRUE(Run(kKeepAllAndOk + "o\n")) << FOutput;
    EXPECT_EQ(failing.Failures(), 1);
    EXPECT_NE(FOutput.find("Unable to write to " + IniPath() + "\nOK or Cancel [O/C]: "), std::string::npos) << FOutput;
    EXPECT_EQ(Ini().ReadInteger("Settings", "Connection_Number", 0), 1);
}

// The dialog program run with no display, on a pseudo-terminal or with standard input from
// /dev/null; returns everything it wrote.
class ConnectInfoWithoutDisplay : public ConnectInfoPrompt {
protected:
    std::string RunProgram(bool terminal, const std::string& input) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e)
            if (std::strncmp(*e, "DISPLAY=", 8) != 0 && std::strncmp(*e, "WAYLAND_DISPLAY=", 16) != 0)
                env.emplace_back(*e);
        std::vector<char*> envp;
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string program = IQO_DIALOG_PROGRAM;
        std::string folder = FFolder.Path();
        char* argv[] = {program.data(), folder.data(), nullptr};

        TFileHandle output;
        pid_t child = -1;
        if (terminal) {
            int master = -1;
            child = ::forkpty(&master, nullptr, nullptr, nullptr);
            if (child == 0) {
                ::execve(argv[0], argv, envp.data());
                ::_exit(127);
            }
            output = TFileHandle(master);
            EXPECT_TRUE(WriteAll(master, input));
        } else {
            int pipeFds[2];
            EXPECT_EQ(::pipe(pipeFds), 0);
            TFileHandle readEnd(pipeFds[0]), writeEnd(pipeFds[1]);
            TFileHandle nothing(::open("/dev/null", O_RDONLY));
            child = ::fork();
            if (child == 0) {
                ::dup2(nothing.Get(), STDIN_FILENO);
                ::dup2(writeEnd.Get(), STDOUT_FILENO);
                ::dup2(writeEnd.Get(), STDERR_FILENO);
                ::execve(argv[0], argv, envp.data());
                ::_exit(127);
            }
            output = std::move(readEnd);
        }
        EXPECT_GT(child, 0);
        std::string text;
        char buffer[4096];
        // A program that waits for more input than the test gave must fail the test, not hang it.
        pollfd ready{output.Get(), POLLIN, 0};
        bool ended = false;
        while (!ended && ::poll(&ready, 1, 30000) == 1) {
            const ssize_t n = ::read(output.Get(), buffer, sizeof buffer);
            // The end of the pipe, or EIO once the terminal's last user has gone.
            if (n <= 0) ended = true;
            else text.append(buffer, static_cast<size_t>(n));
        }
        if (!ended) {
            ADD_FAILURE() << "the program still waits:\n" << text;
            ::kill(child, SIGKILL);
        }
        int status = 0;
        EXPECT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        return text;
    }
};

TEST_F(ConnectInfoWithoutDisplay, RunsAsPromptsOnATerminal) {
    WriteBytes(IniPath(), kOneConnection);
    const std::string output = RunProgram(true, "\nsrv-new\n\n\n\n\no\n");
    EXPECT_NE(output.find("  Firebird Server [srv1]: "), std::string::npos) << output;
    EXPECT_NE(output.find("Saved to " + IniPath() + "."), std::string::npos) << output;
    EXPECT_EQ(Ini().ReadString("Connection_Info_1", "Firebird_Server", ""), "srv-new");
    EXPECT_EQ(Ini().ReadString("Connection_Info_1", "Firebird_Password", ""), ScrambleText("pw1"));
}

TEST_F(ConnectInfoWithoutDisplay, WithoutATerminalSavesNothingAndSaysSo) {
    const std::string output = RunProgram(false, "");
    EXPECT_EQ(output, "No display and no terminal: the connection settings in " + IniPath() + " were not changed.\n");
    EXPECT_FALSE(FileExistsForTest(IniPath()));
}

}  // namespace
