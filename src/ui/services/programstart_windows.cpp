#include "ui/services/programstart.h"

#include <QProcess>

#include <windows.h>

namespace fotolista {

bool startDetachedProgram(const QString& program, const QStringList& arguments, WindowMode mode)
{
    WORD show = SW_SHOWNORMAL;
    switch (mode) {
    case WindowMode::NormalWithFocus: show = SW_SHOWNORMAL; break;
    case WindowMode::NormalWithoutFocus: show = SW_SHOWNOACTIVATE; break;
    }
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    // The window mode reaches the program through its start-up information,
    // as the first ShowWindow call of its main window.
    process.setCreateProcessArgumentsModifier([show](QProcess::CreateProcessArguments* start) {
        start->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
        start->startupInfo->wShowWindow = show;
    });
    return process.startDetached();
}

}  // namespace fotolista
