#include "ShowConnectInfoDialog.h"

#include <unistd.h>

#include <QApplication>

#include <cstdlib>
#include <iostream>
#include <memory>

#include "dialog/ConnectInfoModel.h"
#include "dialog/ConnectInfoPrompt.h"
#include "dialog/ufrmConnectInfo.h"

namespace iqo {

namespace {

bool DisplayAvailable() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

void ShowWindow(const std::string& settingsFolder) {
    // The installer is no Qt program: it gets an application object for as long as the dialog runs.
    std::unique_ptr<QApplication> application;
    if (!QApplication::instance()) {
        static int argc = 1;
        static char name[] = "iqoRiveDur";
        static char* argv[] = {name, nullptr};
        application = std::make_unique<QApplication>(argc, argv);
    }
    TfrmConnectInfo frmConnectInfo(settingsFolder);
    frmConnectInfo.exec();
}

}  // namespace

void ShowConnectInfoDialog(const std::string& settingsFolder) {
    if (DisplayAvailable()) {
        ShowWindow(settingsFolder);
    } else if (::isatty(STDIN_FILENO)) {
        RunConnectInfoPrompt(settingsFolder, std::cin, std::cout);
    } else {
        std::cerr << "No display and no terminal: the connection settings in "
                  << TConnectInfoModel(settingsFolder).FileName() << " were not changed.\n";
    }
}

}  // namespace iqo
