#pragma once

#include <memory>

class QApplication;

namespace iqo {

// True where a window can be shown: DISPLAY or WAYLAND_DISPLAY is set.
bool DisplayAvailable();

// The installer is no Qt program: a window it shows gets an application object for as long as
// this scope lives, unless one exists already.
class TQtApplicationScope {
public:
    TQtApplicationScope();
    ~TQtApplicationScope();
    TQtApplicationScope(const TQtApplicationScope&) = delete;
    TQtApplicationScope& operator=(const TQtApplicationScope&) = delete;

private:
    std::unique_ptr<QApplication> FApplication;
};

}  // namespace iqo
