#include "support/parsedreport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QXmlStreamReader>

ParsedReport parseReport(const QString& path)
{
    ParsedReport out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ParsedReport{"cannot open " + path, {}, {}, {}, {}};
    QXmlStreamReader xml(&file);
    ReportCard* card = nullptr;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        const QString name = xml.name().toString();
        if (token == QXmlStreamReader::StartElement) {
            out.elements << name;
            for (const QXmlStreamAttribute& a : xml.attributes())
                out.attributes << a.name().toString();
            if (name == "article") {
                out.cards.append(ReportCard{xml.attributes().value("data-fila").toLongLong(),
                                            xml.attributes().value("class").split(' ').contains(u"no"),
                                            {},
                                            {},
                                            {}});
                card = &out.cards.last();
            } else if (card && name == "img") {
                card->image = xml.attributes().value("src").toString();
            } else if (card && name == "a") {
                card->links << xml.attributes().value("href").toString();
            }
        } else if (token == QXmlStreamReader::EndElement && name == "article") {
            card = nullptr;
        } else if (token == QXmlStreamReader::Characters) {
            out.text += xml.text();
            if (card)
                card->text += xml.text();
        }
    }
    if (xml.hasError())
        out.error = QString("%1 at line %2").arg(xml.errorString()).arg(xml.lineNumber());
    return out;
}

QString linkTarget(const QString& pagePath, const QString& href)
{
    if (href.isEmpty() || href.startsWith('#') || !QUrl(href).isRelative())
        return {};
    const QString decoded = QUrl::fromPercentEncoding(href.toUtf8());
    return QDir::cleanPath(QFileInfo(pagePath).absoluteDir().filePath(decoded));
}
