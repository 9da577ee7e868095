#include "core/base/desktopstarts.h"

#include "core/base/shownpaths.h"
#include "core/base/uiservices.h"

namespace fotolista {

bool browseFolder(UiServices& ui, const QString& folder)
{
    return ui.startProgram(QStringLiteral("explorer.exe"), {shownPath(folder)}, WindowMode::NormalWithoutFocus);
}

bool viewErrorLog(UiServices& ui)
{
    // The name alone: the viewer starts in the working folder, where the run writes the log.
    return ui.startProgram(QStringLiteral("notepad.exe"), {QStringLiteral("errores.txt")},
                           WindowMode::NormalWithoutFocus);
}

}  // namespace fotolista
