#include "core/report/picturesnippet.h"

#include "core/report/htmltext.h"

#include <QStringList>

namespace fotolista {

namespace {

QString attribute(const QString& path)
{
    return htmlText(linkPath(path));
}

}  // namespace

QString pictureElement(const PictureSources& s)
{
    QStringList lines{QStringLiteral("<picture>")};
    if (!s.avif.isEmpty())
        lines << QStringLiteral("  <source srcset=\"%1\" type=\"image/avif\">").arg(attribute(s.avif));
    if (!s.webp.isEmpty())
        lines << QStringLiteral("  <source srcset=\"%1\" type=\"image/webp\">").arg(attribute(s.webp));
    // In one pass: a percent-encoded path holds "%2C" and the like.
    lines << QStringLiteral("  <img src=\"%1\" width=\"%2\" height=\"%3\" alt=\"%4\">")
                 .arg(attribute(s.jpeg), QString::number(s.width), QString::number(s.height), htmlText(s.alt));
    lines << QStringLiteral("</picture>");
    return lines.join(QLatin1Char('\n'));
}

}  // namespace fotolista
