// Runs the Connection Information dialog on a settings folder, as the installer does:
//   connect_info_dialog FOLDER
// or renders it offscreen, loaded from the folder, into an image (docs/connection-dialog.png):
//   connect_info_dialog --screenshot IMAGE.png FOLDER
#include <QApplication>
#include <QPixmap>

#include <cstring>
#include <iostream>

#include "dialog/ShowConnectInfoDialog.h"
#include "dialog/ufrmConnectInfo.h"

namespace {

int Screenshot(int argc, char** argv, const char* image, const char* folder) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    iqo::TfrmConnectInfo form(folder);
    form.show();
    form.repaint();
    if (!form.grab().save(QString::fromLocal8Bit(image))) {
        std::cerr << "connect_info_dialog: cannot save " << image << '\n';
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2) {
        iqo::ShowConnectInfoDialog(argv[1]);
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "--screenshot") == 0) return Screenshot(argc, argv, argv[2], argv[3]);
    std::cerr << "usage: connect_info_dialog FOLDER\n"
                 "       connect_info_dialog --screenshot IMAGE.png FOLDER\n";
    return 2;
}
