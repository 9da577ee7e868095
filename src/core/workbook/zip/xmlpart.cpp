#include "core/workbook/zip/xmlpart.h"

#include "core/workbook/bounds.h"

namespace fotolista {

namespace workbook {

namespace {

constexpr qint64 kPieceBytes = 64 * 1024;

}  // namespace

Refusal refusalFor(PartError error)
{
    switch (error) {
    case PartError::None:
    case PartError::Missing:
    case PartError::Damaged: return Refusal::Damaged;
    case PartError::Encrypted: return Refusal::Encrypted;
    case PartError::TooLarge: return Refusal::InflatesTooLarge;
    }
    return Refusal::Damaged;
}

XmlPart::XmlPart(ZipPackage& package, const QString& name) : m_scanner(bounds::kXmlPiece)
{
    PartError error = PartError::None;
    m_stream = package.open(name, error, bounds::kPartBytes);
    if (!m_stream) {
        m_done = true;
        if (error == PartError::Missing)
            m_missing = true;
        else
            m_refusal = refusalFor(error);
    }
}

bool XmlPart::fail(Refusal refusal)
{
    m_refusal = refusal;
    m_done = true;
    return false;
}

bool XmlPart::next()
{
    if (m_done)
        return false;
    if (m_xml.tokenType() == QXmlStreamReader::EndElement)
        --m_depth;
    for (;;) {
        switch (m_xml.readNext()) {
        case QXmlStreamReader::StartElement:
            if (++m_depth > bounds::kXmlDepth)
                return fail(Refusal::XmlTooDeep);
            if (++m_elements > bounds::kXmlElements)
                return fail(Refusal::XmlTooManyElements);
            m_attributes = m_xml.attributes();
            return true;
        case QXmlStreamReader::EndElement:
        case QXmlStreamReader::Characters: return true;
        case QXmlStreamReader::DTD:
            // Entities are never expanded: a part that declares any is refused
            // before its content is read.
            return fail(Refusal::XmlDeclarations);
        case QXmlStreamReader::EndDocument: m_done = true; return false;
        case QXmlStreamReader::Invalid:
            if (m_xml.error() != QXmlStreamReader::PrematureEndOfDocumentError)
                return fail(Refusal::Damaged);
            if (!feed())
                return false;
            break;
        case QXmlStreamReader::NoToken:
        case QXmlStreamReader::StartDocument:
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::EntityReference:
        case QXmlStreamReader::ProcessingInstruction: break;
        }
    }
}

bool XmlPart::feed()
{
    // The parser reads an unfinished piece again from its start each
    // time more data comes: a long text or comment is handed over
    // once it is whole (it is at most bounds::kXmlPiece), so that
    // parsing stays linear.
    QByteArray batch;
    do {
        const QByteArray piece = m_stream->read(kPieceBytes);
        if (piece.isEmpty()) {
            if (m_stream->error() != PartError::None)
                return fail(refusalFor(m_stream->error()));
            if (batch.isEmpty())
                return fail(Refusal::Damaged);  // the document stops short
            break;
        }
        switch (m_scanner.scan(piece)) {
        case MarkupScanner::Verdict::Ok: break;
        case MarkupScanner::Verdict::Declaration: return fail(Refusal::XmlDeclarations);
        case MarkupScanner::Verdict::TooLong: return fail(Refusal::XmlPieceTooLong);
        }
        batch += piece;
    } while (m_scanner.openPieceBytes() >= batch.size());
    m_xml.addData(batch);
    return true;
}

bool XmlPart::skipElement()
{
    const int depth = m_depth;
    while (next()) {
        if (isEnd() && m_depth == depth)
            return true;
    }
    return false;
}

bool XmlPart::readText(QString& out)
{
    out.clear();
    const int depth = m_depth;
    while (next()) {
        if (isEnd() && m_depth == depth)
            return true;
        if (tokenType() == QXmlStreamReader::Characters) {
            if (text().size() > bounds::kTextUnits - out.size())
                return fail(Refusal::TooMuchText);
            out += text();
        }
    }
    return false;
}

QStringView XmlPart::attribute(QStringView namespaceUri, QStringView name) const
{
    for (const QXmlStreamAttribute& a : m_attributes) {
        if (a.name() == name && a.namespaceUri() == namespaceUri)
            return a.value();
    }
    return {};
}

bool XmlPart::hasAttribute(QStringView namespaceUri, QStringView name) const
{
    for (const QXmlStreamAttribute& a : m_attributes) {
        if (a.name() == name && a.namespaceUri() == namespaceUri)
            return true;
    }
    return false;
}

QStringView XmlPart::attribute(QStringView name) const
{
    for (const QXmlStreamAttribute& a : m_attributes) {
        if (a.name() == name)
            return a.value();
    }
    return {};
}

}  // namespace workbook

}  // namespace fotolista
