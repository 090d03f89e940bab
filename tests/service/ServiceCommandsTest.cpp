// The service commands of iqoRiveDurCtl, with a recording systemctl in place of systemd's.
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

struct TRun {
    int Status;
    std::string Out;
    std::string Err;
};

TRun RunCtl(const TTempFolder& folder, const std::string& path, const std::string& arguments) {
    const std::string command = "PATH='" + path + "' '" IQO_CTL_PROGRAM "' " + arguments + " >'" + folder.File("out") +
                                "' 2>'" + folder.File("err") + "'";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadBytes(folder.File("out")), ReadBytes(folder.File("err"))};
}

TEST(ServiceCommands, AreThinWrappersOverSystemctlWithItsExitStatus) {
    TTempFolder folder;
    const std::string bin = folder.File("bin");
    ASSERT_EQ(::mkdir(bin.c_str(), 0755), 0);
    WriteBytes(bin + "/systemctl", "#!/bin/sh\necho \"$*\"\nexit 3\n");
    ASSERT_EQ(::chmod((bin + "/systemctl").c_str(), 0755), 0);
    const struct {
        const char* command;
        const char* systemctl;
    } cases[] = {
        {"status", "status iqoRiveDur\n"},
        {"pause", "kill -s SIGUSR1 --kill-who=main iqoRiveDur\n"},
        {"continue", "kill -s SIGUSR2 --kill-who=main iqoRiveDur\n"},
        {"stop", "stop iqoRiveDur\n"},
    };
    for (const auto& c : cases) {
        const TRun run = RunCtl(folder, bin, c.command);
        EXPECT_EQ(run.Status, 3) << c.command;
        EXPECT_EQ(run.Out, c.systemctl) << c.command;
        EXPECT_EQ(run.Err, "") << c.command;
    }
    const TRun extra = RunCtl(folder, bin, "stop now");
    EXPECT_EQ(extra.Status, 2);
    EXPECT_EQ(extra.Out, "") << "systemctl ran";
}

TEST(ServiceCommands, SayWhenSystemctlIsNotThere) {
    TTempFolder folder;
    const TRun run = RunCtl(folder, folder.File("empty"), "pause");
    EXPECT_EQ(run.Status, 127);
    EXPECT_NE(run.Err.find("systemctl could not be run"), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("systemd"), std::string::npos) << run.Err;
}

}  // namespace
