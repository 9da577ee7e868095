#include "core/workbook/ods/odsreader.h"

#include "core/workbook/bounds.h"
#include "core/workbook/zip/xmlpart.h"

#include <algorithm>
#include <vector>

namespace fotolista {

namespace ods {

using workbook::Refusal;
using workbook::SheetBuilder;
using workbook::XmlPart;

namespace {

constexpr QStringView kOffice = u"urn:oasis:names:tc:opendocument:xmlns:office:1.0";
constexpr QStringView kTable = u"urn:oasis:names:tc:opendocument:xmlns:table:1.0";
constexpr QStringView kText = u"urn:oasis:names:tc:opendocument:xmlns:text:1.0";
constexpr QStringView kConfig = u"urn:oasis:names:tc:opendocument:xmlns:config:1.0";
constexpr QStringView kCalcExt = u"urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0";
constexpr QStringView kDraw = u"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0";

// Positions past these are outside any sheet; a repeat that runs past them
// is cut there.
constexpr quint64 kRowEnd = 0xFFFFFFFFull;
constexpr quint64 kColumnEnd = 0xFFFFFFFFull;

bool is(const XmlPart& xml, QStringView namespaceUri, QStringView name)
{
    return xml.name() == name && xml.namespaceUri() == namespaceUri;
}

quint64 repeatOf(QStringView text)
{
    bool ok = false;
    const qulonglong n = text.trimmed().toULongLong(&ok);
    return ok && n >= 1 ? std::min<qulonglong>(n, kRowEnd) : 1;
}

/// Whether a document encrypted with a password says so in its manifest.
bool isEncrypted(workbook::ZipPackage& package, std::optional<Refusal>& refusal)
{
    XmlPart xml(package, QStringLiteral("META-INF/manifest.xml"));
    while (xml.next()) {
        if (xml.isStart() && xml.name() == u"encryption-data")
            return true;
    }
    refusal = xml.refusal();
    return false;
}

/// The ActiveTable of the first view in settings.xml; empty without one.
std::optional<Refusal> readActiveTable(workbook::ZipPackage& package, QString& name)
{
    XmlPart xml(package, QStringLiteral("settings.xml"));
    int viewSettings = 0;  // depth of <config-item-set config:name="ooo:view-settings">
    int views = 0;  // depth of <config-item-map-indexed config:name="Views">
    int firstView = 0;  // depth of its first entry
    bool sawView = false;
    while (xml.next()) {
        if (xml.isEnd()) {
            if (xml.depth() == firstView)
                break;  // the first view has been read
            if (xml.depth() == views)
                views = 0;
            if (xml.depth() == viewSettings)
                viewSettings = 0;
            continue;
        }
        if (!xml.isStart() || xml.namespaceUri() != kConfig)
            continue;
        const QStringView configName = xml.attribute(kConfig, u"name");
        if (xml.name() == u"config-item-set" && configName == u"ooo:view-settings") {
            viewSettings = xml.depth();
        } else if (viewSettings && xml.name() == u"config-item-map-indexed" && configName == u"Views"
                   && xml.depth() == viewSettings + 1) {
            views = xml.depth();
        } else if (views && !sawView && xml.name() == u"config-item-map-entry" && xml.depth() == views + 1) {
            firstView = xml.depth();
            sawView = true;
        } else if (firstView && xml.depth() == firstView + 1 && xml.name() == u"config-item"
                   && configName == u"ActiveTable") {
            if (!xml.readText(name))
                break;
        }
    }
    return xml.refusal();
}

/// One cell of the row being read, before the row's repeat is known.
struct PendingCell {
    quint64 column = 0;
    quint64 repeat = 1;
    enum class Kind { Text, Number, Boolean } kind = Kind::Text;
    SheetBuilder::TextRef text;
    double number = 0;
    NumberFormatKind format = NumberFormatKind::Number;
};

/// What a cell's attributes say of its value.
struct CellAttributes {
    QString valueType;
    bool error = false;  // calcext:value-type="error": a formula's error
    bool formula = false;
    QString value;
    QString dateValue;
    QString timeValue;
    QString booleanValue;
    bool hasStringValue = false;
    QString stringValue;
};

class TableReader {
public:
    explicit TableReader(SheetBuilder& builder) : m_builder(builder) {}

    /// Reads the table whose start element the reader is on.
    bool read(XmlPart& xml);

private:
    bool readRow(XmlPart& xml);
    bool readCell(XmlPart& xml, quint64 column, quint64 repeat);
    /// The paragraphs the cell shows, one per line, into m_text.
    bool readShownText(XmlPart& xml);
    bool readParagraph(XmlPart& xml, QString& out);
    bool append(XmlPart& xml, QString& out, QStringView more);
    bool addRow(quint64 repeat);

    SheetBuilder& m_builder;
    quint64 m_row = 0;
    std::vector<PendingCell> m_cells;
    QString m_text;
    QString m_paragraph;
};

bool TableReader::read(XmlPart& xml)
{
    const int depth = xml.depth();
    while (xml.next()) {
        if (xml.isEnd() && xml.depth() == depth)
            return true;
        if (!xml.isStart())
            continue;
        if (xml.namespaceUri() == kTable
            && (xml.name() == u"table-row-group" || xml.name() == u"table-header-rows"
                || xml.name() == u"table-rows")) {
            continue;  // rows grouped: read what they hold
        }
        if (is(xml, kTable, u"table-row")) {
            if (!readRow(xml))
                return false;
        } else if (!xml.skipElement()) {  // columns, shapes, forms, ...
            return false;
        }
    }
    return false;
}

bool TableReader::readRow(XmlPart& xml)
{
    const quint64 repeat = repeatOf(xml.attribute(kTable, u"number-rows-repeated"));
    m_cells.clear();
    quint64 column = 0;
    const int depth = xml.depth();
    while (xml.next()) {
        if (xml.isEnd() && xml.depth() == depth)
            return addRow(repeat);
        if (!xml.isStart())
            continue;
        if (is(xml, kTable, u"table-cell") || is(xml, kTable, u"covered-table-cell")) {
            const quint64 cells = repeatOf(xml.attribute(kTable, u"number-columns-repeated"));
            if (!readCell(xml, column, cells))
                return false;
            column = std::min(column + cells, kColumnEnd);
        } else if (!xml.skipElement()) {
            return false;
        }
    }
    return false;
}

bool TableReader::addRow(quint64 repeat)
{
    const quint64 first = m_row;
    m_row = std::min(m_row + repeat, kRowEnd);
    if (m_cells.empty())
        return true;  // empty rows, however many, take no room
    const quint64 rows = m_row - first;
    quint64 perRow = 0;
    for (const PendingCell& cell : m_cells)
        perRow += cell.repeat;
    // Checked before anything is added, so a repeat that claims millions of
    // cells is refused at once instead of being expanded.
    if (rows > 0 && perRow > quint64(workbook::bounds::kCells) / rows) {
        m_builder.overflowed(workbook::SheetOverflow::Cells);
        return false;
    }
    if (!m_builder.hasRoomFor(rows * perRow, 0)) {
        m_builder.overflowed(workbook::SheetOverflow::Cells);
        return false;
    }
    for (quint64 row = first; row < m_row; ++row) {
        for (const PendingCell& cell : m_cells) {
            for (quint64 c = cell.column; c < cell.column + cell.repeat; ++c) {
                bool added = false;
                switch (cell.kind) {
                case PendingCell::Kind::Text:
                    added = m_builder.addStoredText(quint32(row), quint32(c), cell.text);
                    break;
                case PendingCell::Kind::Number:
                    added = m_builder.addNumber(quint32(row), quint32(c), cell.number, cell.format);
                    break;
                case PendingCell::Kind::Boolean:
                    added = m_builder.addBoolean(quint32(row), quint32(c), cell.number != 0);
                    break;
                }
                if (!added)
                    return false;
            }
        }
    }
    return true;
}

bool TableReader::append(XmlPart& xml, QString& out, QStringView more)
{
    if (more.size() > workbook::bounds::kTextUnits - out.size())
        return xml.fail(Refusal::TooMuchText);
    out += more;
    return true;
}

bool TableReader::readParagraph(XmlPart& xml, QString& out)
{
    const int depth = xml.depth();
    while (xml.next()) {
        if (xml.isEnd() && xml.depth() == depth)
            return true;
        if (xml.tokenType() == QXmlStreamReader::Characters) {
            if (!append(xml, out, xml.text()))
                return false;
            continue;
        }
        if (!xml.isStart())
            continue;
        if (is(xml, kText, u"s")) {
            const quint64 spaces = repeatOf(xml.attribute(kText, u"c"));
            if (spaces > quint64(workbook::bounds::kTextUnits - out.size()))
                return xml.fail(Refusal::TooMuchText);
            out += QString(qsizetype(spaces), u' ');
        } else if (is(xml, kText, u"tab")) {
            out += u'\t';
        } else if (is(xml, kText, u"line-break")) {
            out += u'\n';
        } else if (is(xml, kOffice, u"annotation") || is(xml, kText, u"note") || is(xml, kText, u"tracked-changes")
                   || xml.namespaceUri() == kDraw) {
            // Comments, notes and drawings are not the cell's text.
            if (!xml.skipElement())
                return false;
            continue;
        } else {
            continue;  // spans, links, fields: their text is part of the paragraph
        }
        if (!xml.skipElement())  // the inside of text:s, text:tab, text:line-break
            return false;
    }
    return false;
}

bool TableReader::readShownText(XmlPart& xml)
{
    m_text.clear();
    bool paragraphs = false;
    const int depth = xml.depth();
    while (xml.next()) {
        if (xml.isEnd() && xml.depth() == depth)
            return true;
        if (!xml.isStart())
            continue;
        if (is(xml, kText, u"p") || is(xml, kText, u"h")) {
            if (paragraphs && !append(xml, m_text, u"\n"))
                return false;
            paragraphs = true;
            m_paragraph.clear();
            if (!readParagraph(xml, m_paragraph) || !append(xml, m_text, m_paragraph))
                return false;
        } else if (!xml.skipElement()) {  // annotations, drawings
            return false;
        }
    }
    return false;
}

CellAttributes attributesOf(const XmlPart& xml)
{
    CellAttributes a;
    a.valueType = xml.attribute(kOffice, u"value-type").toString();
    a.error = xml.attribute(kCalcExt, u"value-type") == u"error";
    a.formula = !xml.attribute(kTable, u"formula").isEmpty();
    a.value = xml.attribute(kOffice, u"value").trimmed().toString();
    a.dateValue = xml.attribute(kOffice, u"date-value").trimmed().toString();
    a.timeValue = xml.attribute(kOffice, u"time-value").trimmed().toString();
    a.booleanValue = xml.attribute(kOffice, u"boolean-value").toString();
    a.hasStringValue = xml.hasAttribute(kOffice, u"string-value");
    a.stringValue = xml.attribute(kOffice, u"string-value").toString();
    return a;
}

/// The value of a cell from its attributes; false when the cell shows its
/// text instead (a string, an error, a value that cannot be read).
bool valueOf(const CellAttributes& a, PendingCell& cell)
{
    cell.kind = PendingCell::Kind::Number;
    bool ok = false;
    if (a.error)
        return false;  // the error as the cell shows it
    if (a.valueType == u"float" || a.valueType == u"percentage" || a.valueType == u"currency") {
        cell.number = a.value.toDouble(&ok);
        return ok;
    }
    if (a.valueType == u"date") {
        const std::optional<double> serial = serialFromIsoDateTime(a.dateValue, DateSystem::Calendar1899);
        cell.number = serial.value_or(0);
        cell.format = NumberFormatKind::Date;
        return serial.has_value();
    }
    if (a.valueType == u"time") {
        const std::optional<double> days = daysFromDuration(a.timeValue);
        cell.number = days.value_or(0);
        cell.format = NumberFormatKind::Time;
        return days.has_value();
    }
    if (a.valueType == u"boolean") {
        cell.kind = PendingCell::Kind::Boolean;
        cell.number = a.booleanValue == u"true" || a.booleanValue == u"1";
        return true;
    }
    return false;
}

bool TableReader::readCell(XmlPart& xml, quint64 column, quint64 repeat)
{
    const CellAttributes attributes = attributesOf(xml);
    if (!readShownText(xml))
        return false;

    PendingCell cell;
    cell.column = column;
    cell.repeat = std::min(repeat, kColumnEnd - column);
    if (!valueOf(attributes, cell)) {
        if (attributes.valueType == u"string" && attributes.hasStringValue && !attributes.error)
            m_text = attributes.stringValue;
        // No value type: a formula without a cached value reads as empty;
        // other text is shown as it is (LibreOffice does).
        if (m_text.isEmpty() || (attributes.valueType.isEmpty() && attributes.formula))
            return true;
        const std::optional<SheetBuilder::TextRef> stored = m_builder.storeText(m_text);
        if (!stored)
            return false;
        cell.kind = PendingCell::Kind::Text;
        cell.text = *stored;
    }
    if (cell.repeat > 0)
        m_cells.push_back(cell);
    return true;
}

/// Reads the table named `wanted`, or the first when `wanted` is empty;
/// `found` tells whether there was one.
std::optional<Refusal> readContent(workbook::ZipPackage& package, const QString& wanted, SheetBuilder& builder,
                                   bool& found)
{
    found = false;
    XmlPart xml(package, QStringLiteral("content.xml"));
    if (!xml.found())
        return Refusal::Damaged;
    while (xml.next()) {
        if (!xml.isStart())
            continue;
        if (!is(xml, kTable, u"table"))
            continue;
        const QString name = xml.attribute(kTable, u"name").toString();
        if (!wanted.isEmpty() && name != wanted) {
            if (!xml.skipElement())
                break;
            continue;
        }
        found = true;
        builder.setName(name);
        TableReader table(builder);
        if (!table.read(xml))
            break;
        return std::nullopt;
    }
    if (builder.overflow() != workbook::SheetOverflow::None)
        return builder.overflow() == workbook::SheetOverflow::Text ? Refusal::TooMuchText : Refusal::TooManyCells;
    return xml.refusal();
}

}  // namespace

std::optional<double> daysFromDuration(QStringView duration)
{
    const bool negative = duration.startsWith(u'-');
    if (negative)
        duration = duration.sliced(1);
    if (!duration.startsWith(u'P') || duration.size() < 3)
        return std::nullopt;
    double seconds = 0;
    bool inTime = false;
    bool any = false;
    qsizetype start = 1;
    for (qsizetype i = 1; i < duration.size(); ++i) {
        const QChar c = duration[i];
        if (c == u'T') {
            if (inTime || i != start)
                return std::nullopt;
            inTime = true;
            start = i + 1;
            continue;
        }
        if (c.isDigit() || c == u'.' || c == u',')
            continue;
        bool ok = false;
        QString number = duration.sliced(start, i - start).toString();
        number.replace(u',', u'.');
        const double n = number.toDouble(&ok);
        if (!ok || n < 0)
            return std::nullopt;
        if (!inTime && c == u'D')
            seconds += n * 86400;
        else if (!inTime && c == u'W')
            seconds += n * 7 * 86400;
        else if (inTime && c == u'H')
            seconds += n * 3600;
        else if (inTime && c == u'M')
            seconds += n * 60;
        else if (inTime && c == u'S')
            seconds += n;
        else
            return std::nullopt;  // years, months, or no designator at all
        any = true;
        start = i + 1;
    }
    if (!any || start != duration.size())
        return std::nullopt;
    const double days = seconds / 86400;
    return negative ? -days : days;
}

std::optional<workbook::Refusal> read(workbook::ZipPackage& package, workbook::Sheet& sheet)
{
    std::optional<Refusal> refusal;
    if (isEncrypted(package, refusal))
        return Refusal::Encrypted;
    if (refusal)
        return refusal;
    QString active;
    if (const std::optional<Refusal> settings = readActiveTable(package, active))
        return settings;

    SheetBuilder builder;
    builder.setDateSystem(DateSystem::Calendar1899);
    bool found = false;
    if (const std::optional<Refusal> content = readContent(package, active, builder, found))
        return content;
    if (!found && !active.isEmpty()) {
        // Settings that name no table of this document: the first one.
        builder = SheetBuilder();
        builder.setDateSystem(DateSystem::Calendar1899);
        if (const std::optional<Refusal> content = readContent(package, QString(), builder, found))
            return content;
    }
    sheet = builder.finish();
    return std::nullopt;
}

}  // namespace ods

}  // namespace fotolista
