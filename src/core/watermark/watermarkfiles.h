#pragma once

#include <QString>

/// File names in a watermark folder.
namespace watermarkfiles {
inline QString band() { return QStringLiteral("agua.jpg"); }
inline QString mark() { return QStringLiteral("marca.png"); }
inline QString sample() { return QStringLiteral("previa.jpg"); }
inline QString preview() { return QStringLiteral("temporal.jpg"); }
} // namespace watermarkfiles
