#pragma once

#include <QString>

namespace fotolista {

/// Whether a cell text may name a file under a chosen folder: it is read as a
/// path relative to that folder, with "\" (written by workbooks made on other
/// systems) meaning "/". An absolute path, a ".." component, or a name the
/// system sends elsewhere (a device on Windows) would reach outside the folder.
bool isSafeRelativeName(const QString& text);

/// "\" read as "/", as on the system where most workbooks are made.
QString withForwardSlashes(QString text);

}  // namespace fotolista
