#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

/// One card of a batch report, as read back from the page.
struct ReportCard {
    qint64 row = 0;  ///< its data-fila
    bool red = false;  ///< marked as a row without images
    QString image;  ///< the src of its picture, if it has one
    QStringList links;  ///< every href in it
    QString text;
};

/// A report page read back as XML. The page is written so that an XML reader
/// takes it, which also shows that no text from a cell opened an element.
struct ParsedReport {
    QString error;  ///< empty when the page is well formed
    QList<ReportCard> cards;
    QSet<QString> elements;  ///< every element name
    QSet<QString> attributes;  ///< every attribute name
    QString text;  ///< all the text of the page
};

ParsedReport parseReport(const QString& path);

/// The file a relative link of the page at `pagePath` names (percent-decoded,
/// resolved against the page's folder); empty for anchors and data: URIs.
QString linkTarget(const QString& pagePath, const QString& href);
