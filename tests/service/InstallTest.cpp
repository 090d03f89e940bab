#include "service/ServiceInstaller.h"

#include <cerrno>
#include <filesystem>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "FailingFileOperations.h"
#include "TestSupport.h"
#include "platform/Exception.h"
#include "platform/Registry.h"
#include "service/IQOCommon.h"

using namespace iqo;

namespace {

constexpr const char* kServiceKey = "SYSTEM\\CurrentControlSet\\Services\\iqoRiveDur";
constexpr const char* kEventSourceKey = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\iqoRiveDur";
constexpr const char* kInstalled = "Service installed successfully";

TRegistryValue Sz(std::string text) { return {TRegDataType::String, std::move(text), 0}; }
TRegistryValue DWord(uint32_t value) { return {TRegDataType::DWord, {}, value}; }

using TValues = std::map<std::string, TRegistryValue>;
using TMessage = std::pair<TInstallMessageKind, std::string>;

TMessage Failure(const std::string& action, const std::string& error) {
    return {TInstallMessageKind::Error, "Service \"Iqo Vova Duvaza (Widgets)\" failed to " + action + " with error: \"" + error + "\""};
}

std::vector<TMessage> Info(const std::string& text) { return {{TInstallMessageKind::Information, text}}; }

std::string UnitText(const std::string& execStart) {
    return "[Unit]\nDescription=Iqo Vova Duvaza (Widgets)\n\n[Service]\nType=notify\nExecStart=" + execStart +
           "\nTimeoutStopSec=90\n\n[Install]\nWantedBy=multi-user.target\n";
}

// Installation and removal in temporary roots: the unit folder, the registry and the
// executable's folder; the dialog, the messages and the reload of systemd are recorded.
class Installation : public ::testing::Test {
protected:
    void SetUp() override { SetServicePath(""); }

    std::string UnitRoot() const { return FRoot.File("units"); }
    std::string RegistryRoot() const { return FRoot.File("registry"); }
    std::string UnitFile() const { return UnitRoot() + "/iqoRiveDur.service"; }
    std::string EnableLink() const { return UnitRoot() + "/multi-user.target.wants/iqoRiveDur.service"; }
    std::string Executable(const std::string& folder = "opt") const { return FRoot.File(folder) + "/iqoRiveDurSvc"; }

    int Run(const std::vector<std::string>& arguments, const std::string& executable) {
        TiqoRiveDurOptions options;
        options.EventLog = std::make_unique<TEventLog>(FRoot.File("no-journal"), -1);
        options.UnitRoot = UnitRoot();
        options.RegistryRoot = RegistryRoot();
        options.ReloadServiceManager = [this] { ++Reloads; };
        options.ExecutablePath = executable;
        options.ConnectInfoDialog = [this](const std::string& folder) {
            DialogFolders.push_back(folder);
            if (DialogFails) throw Exception("the dialog failed");
        };
        TiqoRiveDur module(std::move(options));
        return RunInstallSwitches(ParseInstallSwitches(arguments), module,
                                  [this](TInstallMessageKind kind, const std::string& text) { Messages.emplace_back(kind, text); });
    }
    int Run(const std::vector<std::string>& arguments) { return Run(arguments, Executable()); }

    TValues Values(const std::string& key) const {
        TRegistry registry(RegistryRoot());
        return registry.OpenKey(key, false) ? registry.Values() : TValues();
    }
    bool KeyExists(const std::string& key) const { return TRegistry(RegistryRoot()).KeyExists(key); }
    bool Installed() const { return FileExistsForTest(UnitFile()) || std::filesystem::is_symlink(EnableLink()) || KeyExists(kServiceKey); }

    TTempFolder FRoot;
    int Reloads = 0;
    bool DialogFails = false;
    std::vector<std::string> DialogFolders;
    std::vector<TMessage> Messages;
};

TEST_F(Installation, WritesTheUnitTheKeysAndTheEnablementThenShowsTheDialog) {
    ASSERT_EQ(Run({"/INSTALL"}), 0);

    EXPECT_EQ(ReadBytes(UnitFile()), UnitText(Executable()));
    EXPECT_EQ(Values(kServiceKey), (TValues{{"ImagePath", Sz(Executable())},
                                            {"DisplayName", Sz("Iqo Vova Duvaza (Widgets)")},
                                            {"Description", Sz("Iqo Vova Duvaza (Widgets)")},
                                            {"Start", DWord(2)},
                                            {"Type", DWord(16)},
                                            {"ErrorControl", DWord(1)},
                                            {"ObjectName", Sz("LocalSystem")}}));
    const std::string messageFile = FRoot.File("opt") + "/iqoeventmsg.dll";
    EXPECT_EQ(Values(kEventSourceKey), (TValues{{"EventMessageFile", Sz(messageFile)},
                                                {"CategoryMessageFile", Sz(messageFile)},
                                                {"TypesSupported", DWord(7)},
                                                {"CategoryCount", DWord(2)}}));
    ASSERT_TRUE(std::filesystem::is_symlink(EnableLink()));
    EXPECT_EQ(std::filesystem::read_symlink(EnableLink()).string(), UnitFile());
    EXPECT_EQ(Reloads, 1);

    EXPECT_EQ(ServicePath(), FRoot.File("opt") + "/");
    EXPECT_EQ(DialogFolders, std::vector<std::string>{FRoot.File("opt") + "/"});
    EXPECT_EQ(Messages, Info(kInstalled));
}

TEST_F(Installation, TheSwitchesAreFoundInAnySpellingAnywhere) {
    struct Case {
        std::vector<std::string> arguments;
        bool install, uninstall, silent;
    };
    const Case cases[] = {
        {{"/install"}, true, false, false},
        {{"-INSTALL"}, true, false, false},
        {{"/Install"}, true, false, false},
        {{"other", "-iNsTaLl", "more"}, true, false, false},
        {{"/uninstall", "-Silent"}, false, true, true},
        {{"/SILENT", "/INSTALL", "/UNINSTALL"}, true, true, true},
        {{"INSTALL", "--install", "/INSTALLED", "/", "-"}, false, false, false},
        {{}, false, false, false},
    };
    for (const auto& c : cases) {
        const TInstallSwitches s = ParseInstallSwitches(c.arguments);
        EXPECT_EQ(s.Install, c.install) << ::testing::PrintToString(c.arguments);
        EXPECT_EQ(s.Uninstall, c.uninstall) << ::testing::PrintToString(c.arguments);
        EXPECT_EQ(s.Silent, c.silent) << ::testing::PrintToString(c.arguments);
        EXPECT_EQ(s.Any(), c.install || c.uninstall) << ::testing::PrintToString(c.arguments);
    }
    for (const char* spelling : {"/install", "-INSTALL", "/Install"}) {
        std::filesystem::remove_all(UnitRoot());
        std::filesystem::remove_all(RegistryRoot());
        Messages.clear();
        EXPECT_EQ(Run({"first", spelling}), 0) << spelling;
        EXPECT_EQ(ReadBytes(UnitFile()), UnitText(Executable())) << spelling;
        EXPECT_EQ(Messages, Info(kInstalled)) << spelling;
    }
}

TEST_F(Installation, InstallWinsOverUninstall) {
    EXPECT_EQ(Run({"/UNINSTALL", "/INSTALL"}), 0);
    EXPECT_TRUE(FileExistsForTest(UnitFile()));
    EXPECT_EQ(Messages, Info(kInstalled));
}

TEST_F(Installation, InstallingTwiceFailsWithoutTouchingTheInstalledService) {
    ASSERT_EQ(Run({"/INSTALL"}), 0);
    Messages.clear();
    EXPECT_EQ(Run({"/INSTALL", "/SILENT"}, Executable("elsewhere")), 1);

    EXPECT_EQ(Messages, std::vector<TMessage>{Failure("install", "The specified service already exists.")});
    EXPECT_EQ(DialogFolders.size(), 1u) << "ServiceAfterInstall ran again";
    EXPECT_EQ(ReadBytes(UnitFile()), UnitText(Executable()));
    EXPECT_EQ(Values(kServiceKey).at("ImagePath"), Sz(Executable()));
    EXPECT_TRUE(std::filesystem::is_symlink(EnableLink()));
}

TEST_F(Installation, AnImagePathWithABlankIsQuotedAndServicePathIsNot) {
    const std::string folder = FRoot.File("Vova Duvaza");
    const std::string executable = folder + "/iqoRiveDurSvc";
    ASSERT_EQ(Run({"/INSTALL"}, executable), 0);

    EXPECT_EQ(ReadBytes(UnitFile()), UnitText("\"" + executable + "\""));
    EXPECT_EQ(Values(kServiceKey).at("ImagePath"), Sz("\"" + executable + "\""));
    EXPECT_EQ(ServicePath(), folder + "/");
    EXPECT_EQ(DialogFolders, std::vector<std::string>{folder + "/"});
    EXPECT_EQ(Values(kEventSourceKey).at("EventMessageFile"), Sz(folder + "/iqoeventmsg.dll"));
}

TEST_F(Installation, AFailingRegistryWriteDeletesTheServiceAndReportsTheFailure) {
    // Every value is one replaced file: the unit file (1), the service's six values (2-7),
    // Description (8), EventMessageFile (9); the 10th is CategoryMessageFile.
    TFailingFileOperations failing(TFailingFileOperations::TCall::Rename, EIO, 10);
    TScopedFileOperations scope(failing);
    EXPECT_EQ(Run({"/INSTALL", "/SILENT"}), 1);

    EXPECT_EQ(failing.Failures(), 1);
    EXPECT_EQ(Messages, std::vector<TMessage>{Failure("install", "Failed to set data for 'CategoryMessageFile': Input/output error")});
    EXPECT_FALSE(Installed());
    EXPECT_TRUE(DialogFolders.empty());
    // The values written before the failure stay.
    EXPECT_EQ(Values(kEventSourceKey), (TValues{{"EventMessageFile", Sz(FRoot.File("opt") + "/iqoeventmsg.dll")}}));
}

TEST_F(Installation, AFailingDialogDeletesTheService) {
    DialogFails = true;
    EXPECT_EQ(Run({"/INSTALL"}), 1);
    EXPECT_EQ(Messages, std::vector<TMessage>{Failure("install", "the dialog failed")});
    EXPECT_FALSE(Installed());
    EXPECT_EQ(Reloads, 2) << "created and deleted";
    // A new attempt is not blocked by the first one.
    DialogFails = false;
    Messages.clear();
    EXPECT_EQ(Run({"/INSTALL"}), 0);
    EXPECT_EQ(Messages, Info(kInstalled));
}

TEST_F(Installation, SilentShowsTheDialogButNoSuccessMessage) {
    EXPECT_EQ(Run({"/INSTALL", "/SILENT"}), 0);
    EXPECT_EQ(DialogFolders.size(), 1u);
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(Run({"-uninstall", "-silent"}), 0);
    EXPECT_TRUE(Messages.empty());
    EXPECT_FALSE(Installed());
}

TEST_F(Installation, RemovalLeavesTheEventSourceTheMessageFileAndTheSettings) {
    ASSERT_EQ(Run({"/INSTALL", "/SILENT"}), 0);
    const TValues eventSource = Values(kEventSourceKey);
    std::filesystem::create_directories(FRoot.File("opt"));
    WriteBytes(FRoot.File("opt") + "/iqoeventmsg.dll", "messages");
    WriteBytes(FRoot.File("opt") + "/iqoRiveDur.ini", "[Settings]\n");

    EXPECT_EQ(Run({"/UNINSTALL"}), 0);
    EXPECT_EQ(Messages, Info("Service uninstalled successfully"));
    EXPECT_FALSE(FileExistsForTest(UnitFile()));
    EXPECT_FALSE(std::filesystem::is_symlink(EnableLink()));
    EXPECT_FALSE(KeyExists(kServiceKey));
    EXPECT_TRUE(KeyExists(kEventSourceKey));
    EXPECT_EQ(Values(kEventSourceKey), eventSource);
    EXPECT_EQ(ReadBytes(FRoot.File("opt") + "/iqoeventmsg.dll"), "messages");
    EXPECT_EQ(ReadBytes(FRoot.File("opt") + "/iqoRiveDur.ini"), "[Settings]\n");
    EXPECT_EQ(Reloads, 2);
}

TEST_F(Installation, RemovingAMissingServiceFails) {
    EXPECT_EQ(Run({"/UNINSTALL", "/SILENT"}), 1);
    EXPECT_EQ(Messages, std::vector<TMessage>{Failure("uninstall", "The specified service does not exist as an installed service.")});
    EXPECT_EQ(Reloads, 0);
}

TEST_F(Installation, AnImagePathThatWouldChangeTheUnitIsRefused) {
    for (const std::string folder : {"line\nExecStartPre=/bin/evil", "per%cent"}) {
        Messages.clear();
        EXPECT_EQ(Run({"/INSTALL"}, Executable(folder)), 1) << folder;
        ASSERT_EQ(Messages.size(), 1u) << folder;
        EXPECT_EQ(Messages[0].first, TInstallMessageKind::Error) << folder;
        EXPECT_FALSE(Installed()) << folder;
    }
    EXPECT_TRUE(DialogFolders.empty());
}

TEST_F(Installation, MessagesWithoutADisplayGoToTheStandardStreams) {
    const std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    const std::string wayland = std::getenv("WAYLAND_DISPLAY") ? std::getenv("WAYLAND_DISPLAY") : "";
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    ShowInstallMessage(TInstallMessageKind::Information, kInstalled);
    ShowInstallMessage(TInstallMessageKind::Error, "Service \"x\" failed");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), std::string(kInstalled) + "\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Service \"x\" failed\n");
    if (!display.empty()) ::setenv("DISPLAY", display.c_str(), 1);
    if (!wayland.empty()) ::setenv("WAYLAND_DISPLAY", wayland.c_str(), 1);
}

// The file-backed registry itself.
TEST(Registry, ValuesRoundTripWithTheirTypes) {
    TTempFolder root;
    TRegistry registry(root.Path());
    ASSERT_TRUE(registry.OpenKey("\\A\\B", true));
    registry.WriteString("text", "tab\there, line\nend, back\\slash\r");
    registry.WriteString("name\twith=odd\\chars", "");
    registry.WriteInteger("number", 4294967295u);
    registry.WriteString("number2", "7");
    registry.WriteInteger("number2", 7);  // a value keeps one type: the last written
    registry.CloseKey();

    TRegistry again(root.Path());
    ASSERT_TRUE(again.OpenKey("A\\B", false));
    EXPECT_EQ(again.Values(), (TValues{{"text", Sz("tab\there, line\nend, back\\slash\r")},
                                       {"name\twith=odd\\chars", Sz("")},
                                       {"number", DWord(4294967295u)},
                                       {"number2", DWord(7)}}));
    EXPECT_EQ(again.ReadValue("missing"), std::nullopt);
    EXPECT_TRUE(again.KeyExists("A"));
}

TEST(Registry, KeysOpenOnlyAsAskedAndDeleteWithTheirSubkeys) {
    TTempFolder root;
    TRegistry registry(root.Path());
    EXPECT_FALSE(registry.OpenKey("A", false));
    EXPECT_THROW(registry.WriteString("v", "x"), Exception);
    for (const char* bad : {"", "\\", "A\\\\B", "..", "A\\..\\B", ".hidden", "A/B", "values"}) {
        EXPECT_FALSE(registry.OpenKey(bad, true)) << bad;
        EXPECT_FALSE(registry.KeyExists(bad)) << bad;
    }
    ASSERT_TRUE(registry.OpenKey("A\\B\\C", true));
    registry.WriteInteger("v", 1);
    EXPECT_TRUE(registry.DeleteKey("A\\B"));
    EXPECT_FALSE(registry.KeyExists("A\\B\\C"));
    EXPECT_TRUE(registry.KeyExists("A"));
    EXPECT_FALSE(registry.DeleteKey("A\\B"));
    EXPECT_THROW(registry.WriteInteger("v", 2), Exception) << "the deleted key is no longer open";
}

TEST(Registry, AFailedWriteRaisesWithTheValueNameAndKeepsTheOldValues) {
    TTempFolder root;
    TRegistry registry(root.Path());
    ASSERT_TRUE(registry.OpenKey("K", true));
    registry.WriteString("first", "kept");
    TFailingFileOperations failing(TFailingFileOperations::TCall::Write, ENOSPC);
    TScopedFileOperations scope(failing);
    try {
        registry.WriteInteger("second", 2);
        FAIL() << "no error raised";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Failed to set data for 'second': No space left on device");
    }
    EXPECT_EQ(registry.Values(), (TValues{{"first", Sz("kept")}}));
}

}  // namespace
