#include "platform/ServiceManager.h"

#include <signal.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "platform/ServiceApplication.h"
#include "service/IQOCommon.h"

using namespace iqo;

TEST(ServiceManager, ImagePathIsTheExecStartOfTheInstalledUnit) {
    struct Case {
        const char* what;
        std::string unit;
        std::string expected;
    };
    const Case cases[] = {
        {"quoted, with a blank",
         "[Unit]\nDescription=Iqo Vova Duvaza (Widgets)\n\n[Service]\nType=notify\n"
         "ExecStart=\"/opt/Vova Duvaza/iqoRiveDurSvc\"\nTimeoutStopSec=90\n\n[Install]\nWantedBy=multi-user.target\n",
         "\"/opt/Vova Duvaza/iqoRiveDurSvc\""},
        {"as stored, arguments and blanks around", "[Service]\r\n  ExecStart =  /opt/iqo/iqoRiveDurSvc -x  \r\n",
         "/opt/iqo/iqoRiveDurSvc -x"},
        {"only in [Service]", "[Unit]\nExecStart=/wrong\n[Service]\nType=notify\n", ""},
        {"comments skipped", "[Service]\n#ExecStart=/commented\n;ExecStart=/also\nExecStart=/right\n", "/right"},
        {"the last assignment wins", "[Service]\nExecStart=/first\nExecStart=\nExecStart=/last\n", "/last"},
        {"an empty one resets", "[Service]\nExecStart=/first\nExecStart=\n", ""},
        {"continued lines", "[Service]\nExecStart=/opt/iqo/svc \\\n  --flag\nType=notify\n", "/opt/iqo/svc    --flag"},
        {"names are case-sensitive", "[service]\nExecStart=/a\n[Service]\nexecstart=/b\n", ""},
        {"no final line end", "[Service]\nExecStart=/opt/svc", "/opt/svc"},
        {"empty file", "", ""},
    };
    for (const auto& c : cases) {
        TTempFolder root;
        WriteBytes(root.File("iqoRiveDur.service"), c.unit);
        const TServiceManager manager(root.Path());
        EXPECT_EQ(manager.ImagePath("iqoRiveDur"), c.expected) << c.what;
        EXPECT_EQ(GetServiceImagePath("", "iqoRiveDur", manager), c.expected) << c.what;
    }
}

TEST(ServiceManager, ImagePathIsEmptyWithoutAReadableUnit) {
    TTempFolder root;
    const TServiceManager manager(root.Path());
    EXPECT_EQ(manager.UnitFilePath("iqoRiveDur"), root.Path() + "/iqoRiveDur.service");
    EXPECT_EQ(manager.ImagePath("iqoRiveDur"), "");
    std::filesystem::create_directory(root.File("folder.service"));
    EXPECT_EQ(manager.ImagePath("folder"), "");
    WriteBytes(root.File("other.service"), "[Service]\nExecStart=/opt/other\n");
    EXPECT_EQ(manager.ImagePath("iqoRiveDur"), "");
    // Only the local computer has a service manager here.
    EXPECT_EQ(GetServiceImagePath("remote-host", "other", manager), "");
    EXPECT_EQ(GetServiceImagePath("", "other", manager), "/opt/other");
}

TEST(ServiceManager, ServiceFolderOfImagePath) {
    struct Case {
        std::string imagePath;
        std::string expected;
    };
    const Case cases[] = {
        {"\"/opt/Vova Duvaza/iqoRiveDurSvc\"", "/opt/Vova Duvaza/"},
        {"/opt/iqo/iqoRiveDurSvc", "/opt/iqo/"},
        {"/iqoRiveDurSvc", "/"},
        {"\"/iqoRiveDurSvc\"", "/"},
        {"iqoRiveDurSvc", ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ServiceFolderOfImagePath(c.imagePath), c.expected) << c.imagePath;
}

TEST(ServiceManager, ControlSignals) {
    const auto never = [] { return false; };
    const auto stopping = [] { return true; };
    EXPECT_EQ(ControlRequestForSignal(SIGTERM, never), TControlRequest::Stop);
    EXPECT_EQ(ControlRequestForSignal(SIGTERM, stopping), TControlRequest::Shutdown);
    for (const auto& check : {std::function<bool()>(never), std::function<bool()>(stopping)}) {
        EXPECT_EQ(ControlRequestForSignal(SIGUSR1, check), TControlRequest::Pause);
        EXPECT_EQ(ControlRequestForSignal(SIGUSR2, check), TControlRequest::Continue);
        EXPECT_EQ(ControlRequestForSignal(SIGHUP, check), TControlRequest::Interrogate);
        EXPECT_EQ(ControlRequestForSignal(SIGINT, check), std::nullopt);
    }
}

// This host is not shutting down while the tests run, whatever systemctl says of it.
TEST(ServiceManager, TheRunningHostIsNotStopping) { EXPECT_FALSE(SystemIsStopping()); }
