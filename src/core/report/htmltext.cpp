#include "core/report/htmltext.h"

#include <QDir>
#include <QStringList>
#include <QUrl>

namespace fotolista {

QString htmlText(const QString& text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        switch (u) {
        case u'&': out += QStringLiteral("&amp;"); break;
        case u'<': out += QStringLiteral("&lt;"); break;
        case u'>': out += QStringLiteral("&gt;"); break;
        case u'"': out += QStringLiteral("&quot;"); break;
        case u'\'': out += QStringLiteral("&#39;"); break;
        default:
            if (u < 0x20)
                out += QChar(char16_t(0x2400 + u));  // ␀ … ␟
            else if (u == 0x7F)
                out += QChar(char16_t(0x2421));  // ␡
            else
                out += c;
            break;
        }
    }
    return out;
}

QString linkPath(const QString& relativePath)
{
    QStringList parts = relativePath.split(QLatin1Char('/'));
    for (QString& part : parts)
        part = QString::fromLatin1(QUrl::toPercentEncoding(part));
    return parts.join(QLatin1Char('/'));
}

QString relativeLink(const QString& pageFolder, const QString& target)
{
    return linkPath(QDir(pageFolder).relativeFilePath(target));
}

QString dataUri(const QString& mimeType, const QByteArray& bytes)
{
    return QStringLiteral("data:") + mimeType + QStringLiteral(";base64,") + QString::fromLatin1(bytes.toBase64());
}

}  // namespace fotolista
