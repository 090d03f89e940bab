#include "InstallMessage.h"

#include <QMessageBox>

#include <cstdio>

#include "dialog/QtApplication.h"
#include "service/uiqoDatraCtr.h"

namespace iqo {

void ShowInstallMessage(TInstallMessageKind kind, const std::string& text) {
    if (DisplayAvailable()) {
        TQtApplicationScope application;
        const QString title = QString::fromUtf8(TiqoRiveDur::kDisplayName);
        if (kind == TInstallMessageKind::Error)
            QMessageBox::critical(nullptr, title, QString::fromStdString(text));
        else
            QMessageBox::information(nullptr, title, QString::fromStdString(text));
        return;
    }
    std::FILE* stream = kind == TInstallMessageKind::Error ? stderr : stdout;
    std::fprintf(stream, "%s\n", text.c_str());
    std::fflush(stream);
}

}  // namespace iqo
