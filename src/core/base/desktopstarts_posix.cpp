#include "core/base/desktopstarts.h"

#include "core/base/uiservices.h"

#include <QDir>

namespace fotolista {

// The desktop's own viewers: a Linux desktop names no file browser or text
// viewer every system has.

bool browseFolder(UiServices& ui, const QString& folder)
{
    return ui.openWithDesktop(folder);
}

bool viewErrorLog(UiServices& ui)
{
    return ui.openWithDesktop(QDir::current().absoluteFilePath(QStringLiteral("errores.txt")));
}

}  // namespace fotolista
