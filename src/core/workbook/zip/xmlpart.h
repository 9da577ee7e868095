#pragma once

#include "core/workbook/refusal.h"
#include "core/workbook/zip/markupscanner.h"
#include "core/workbook/zip/zippackage.h"

#include <QString>
#include <QStringView>
#include <QXmlStreamReader>

#include <memory>
#include <optional>

namespace fotolista {

namespace workbook {

/// One XML part of a package, parsed while it is inflated: QXmlStreamReader
/// is fed a piece at a time, so a part is never held whole. A DTD is refused
/// as soon as it appears, before any entity it declares could be expanded,
/// and so is nesting deeper than bounds::kXmlDepth.
class XmlPart {
public:
    XmlPart(ZipPackage& package, const QString& name);

    /// Moves to the next start element, end element or text; false at the end
    /// of the document or on a problem (then see refusal()).
    bool next();
    /// Moves past the end of the element just started.
    bool skipElement();
    /// The text of the element just started (its descendants' text
    /// included), leaving the reader on its end; false on a problem, and a
    /// text longer than bounds::kTextUnits is one.
    bool readText(QString& out);

    QXmlStreamReader::TokenType tokenType() const { return m_xml.tokenType(); }
    bool isStart() const { return m_xml.tokenType() == QXmlStreamReader::StartElement; }
    bool isEnd() const { return m_xml.tokenType() == QXmlStreamReader::EndElement; }
    QStringView name() const { return m_xml.name(); }
    QStringView namespaceUri() const { return m_xml.namespaceUri(); }
    QStringView text() const { return m_xml.text(); }
    QStringView attribute(QStringView namespaceUri, QStringView name) const;
    bool hasAttribute(QStringView namespaceUri, QStringView name) const;
    /// An attribute found by its local name alone, whatever its namespace.
    QStringView attribute(QStringView name) const;
    /// Elements open around the current token (1 inside the root).
    int depth() const { return m_depth; }

    bool found() const { return !m_missing; }
    /// Stops reading with a refusal found by the caller.
    bool fail(Refusal refusal);

    /// What went wrong, if anything did; a part that does not exist is no
    /// problem here (see found()).
    std::optional<Refusal> refusal() const { return m_refusal; }

private:
    /// Hands the parser the next bytes of the part; false on a problem.
    bool feed();

    std::unique_ptr<PartStream> m_stream;
    MarkupScanner m_scanner;
    QXmlStreamReader m_xml;
    QXmlStreamAttributes m_attributes;  // of the element just started
    int m_depth = 0;
    qint64 m_elements = 0;
    bool m_missing = false;
    bool m_done = false;
    std::optional<Refusal> m_refusal;
};

/// The refusal for a part that could not be read whole.
Refusal refusalFor(PartError error);

}  // namespace workbook

}  // namespace fotolista
