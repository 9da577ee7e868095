#pragma once

#include <QString>

namespace fotolista {

class UiServices;

/// Shows `folder`, the text as given (a label's, say), in the system's file
/// browser, in a window that does not take the focus; false when nothing
/// could be started.
bool browseFolder(UiServices& ui, const QString& folder);

/// Shows the error log "errores.txt" of the working folder in the system's
/// text viewer, in a window that does not take the focus, whether or not
/// the file exists; false when nothing could be started.
bool viewErrorLog(UiServices& ui);

}  // namespace fotolista
