#pragma once

#include <QString>

#include <optional>

namespace fotolista {

/// File names in a watermark folder.
namespace watermarkfiles {
inline QString band()
{
    return QStringLiteral("agua.jpg");
}
inline QString mark()
{
    return QStringLiteral("marca.png");
}
inline QString sample()
{
    return QStringLiteral("previa.jpg");
}
inline QString preview()
{
    return QStringLiteral("temporal.jpg");
}

/// The picture of one character of a code: the character followed by
/// ".jpg" (7.jpg, Ñ.jpg, " .jpg" for the blank). The full stop would make
/// "..jpg", a hidden name that lookups pass over, so it is "punto.jpg".
/// Nothing for a character that cannot be part of a file name.
inline std::optional<QString> glyph(char32_t c)
{
    if (c == U'/' || c == U'\0')
        return std::nullopt;
    if (c == U'.')
        return QStringLiteral("punto.jpg");
    return QString::fromUcs4(&c, 1) + QStringLiteral(".jpg");
}
}  // namespace watermarkfiles

}  // namespace fotolista
