#include "QtApplication.h"

#include <QApplication>

#include <cstdlib>

namespace iqo {

bool DisplayAvailable() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

TQtApplicationScope::TQtApplicationScope() {
    if (QApplication::instance()) return;
    static int argc = 1;
    static char name[] = "iqoRiveDur";
    static char* argv[] = {name, nullptr};
    FApplication = std::make_unique<QApplication>(argc, argv);
}

TQtApplicationScope::~TQtApplicationScope() = default;

}  // namespace iqo
