#include "ui/services/programstart.h"

#include <QProcess>

namespace fotolista {

bool startDetachedProgram(const QString& program, const QStringList& arguments, WindowMode mode)
{
    // A detached start never waits; the desktop decides about focus, which is
    // as close as X11 and Wayland let us come to "without the focus".
    switch (mode) {
    case WindowMode::NormalWithFocus:
    case WindowMode::NormalWithoutFocus: break;
    }
    return QProcess::startDetached(program, arguments);
}

}  // namespace fotolista
