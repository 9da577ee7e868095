#pragma once

// For the engine's Windows files only: the wide-character paths and the error
// numbers its file calls need.

#include <QString>

#include <string>

namespace fotolista {

/// `path` as the wide-character calls take it: "\" between its parts, every
/// character kept (names hold "ñ" and accents, which no code page keeps).
std::wstring widePath(const QString& path);

/// The errno value that says what a Windows error code says, so callers
/// read one kind of reason on every system.
int errnoFromWindowsError(unsigned long error);

}  // namespace fotolista
