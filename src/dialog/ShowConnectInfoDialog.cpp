#include "ShowConnectInfoDialog.h"

#include <unistd.h>

#include <iostream>

#include "dialog/ConnectInfoModel.h"
#include "dialog/ConnectInfoPrompt.h"
#include "dialog/QtApplication.h"
#include "dialog/ufrmConnectInfo.h"

namespace iqo {

namespace {

void ShowWindow(const std::string& settingsFolder) {
    TQtApplicationScope application;
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
