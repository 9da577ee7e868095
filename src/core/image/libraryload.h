#pragma once

#include <QString>

#include <FreeImage.h>

// Inside the image module only: no FIBITMAP leaves it.

namespace fotolista {

/// The library's own load of the file at `path`, the name passed as the
/// system spells it: bytes on Linux, wide characters on Windows, whose
/// byte-wide calls would lose "ñ" and every accent no code page holds.
FIBITMAP* libraryLoad(FREE_IMAGE_FORMAT fif, const QString& path, int flags);

}  // namespace fotolista
