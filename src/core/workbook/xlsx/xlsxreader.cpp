#include "core/workbook/xlsx/xlsxreader.h"

#include "core/workbook/bounds.h"
#include "core/workbook/celladdress.h"
#include "core/workbook/zip/xmlpart.h"

#include <QHash>
#include <QUrl>

#include <vector>

namespace fotolista {

namespace xlsx {

using workbook::Refusal;
using workbook::XmlPart;

namespace {

struct Relationship {
    QString type;  // the last segment of the type URI: "worksheet", "styles", ...
    QString part;
};

/// The relationships of a part, by id. Both the transitional and the strict
/// type URIs end with the same word, which is all that is compared.
struct Relationships {
    QHash<QString, Relationship> byId;
    std::optional<Refusal> refusal;

    QString firstOfType(QStringView type) const
    {
        for (const Relationship& r : byId) {
            if (r.type == type)
                return r.part;
        }
        return {};
    }
};

QString relationshipsPartOf(const QString& part)
{
    const qsizetype slash = part.lastIndexOf(u'/');
    return part.first(slash + 1) + QStringLiteral("_rels/") + part.sliced(slash + 1) + QStringLiteral(".rels");
}

Relationships readRelationships(workbook::ZipPackage& package, const QString& sourcePart)
{
    Relationships rels;
    XmlPart xml(package, relationshipsPartOf(sourcePart));
    while (xml.next()) {
        if (!xml.isStart() || xml.name() != u"Relationship")
            continue;
        if (xml.attribute(u"TargetMode").compare(u"External", Qt::CaseInsensitive) == 0)
            continue;
        const QStringView type = xml.attribute(u"Type");
        rels.byId.insert(xml.attribute(u"Id").toString(),
                         Relationship{type.sliced(type.lastIndexOf(u'/') + 1).toString(),
                                      resolvePartName(sourcePart, xml.attribute(u"Target"))});
    }
    rels.refusal = xml.refusal();
    return rels;
}

/// Numbers past those of the built-in formats show numbers.
NumberFormatKind builtInFormatKindOf(quint32 id)
{
    return id > 0xFFFF ? NumberFormatKind::Number : builtInFormatKind(quint16(id));
}

bool isTrue(QStringView value)
{
    return value == u"1" || value.compare(u"true", Qt::CaseInsensitive) == 0 || value == u"on";
}

std::optional<quint32> unsignedOf(QStringView text)
{
    bool ok = false;
    const qulonglong value = text.trimmed().toULongLong(&ok);
    if (!ok || value > 0xFFFFFFFFull)
        return std::nullopt;
    return quint32(value);
}

struct SheetEntry {
    QString name;
    QString relationshipId;
    bool visible = true;
};

struct WorkbookPart {
    bool isWorkbook = false;
    bool dates1904 = false;
    std::optional<quint32> activeTab;
    std::vector<SheetEntry> sheets;
};

std::optional<Refusal> readWorkbookPart(workbook::ZipPackage& package, const QString& name, WorkbookPart& out)
{
    XmlPart xml(package, name);
    if (!xml.found())
        return Refusal::Damaged;
    while (xml.next()) {
        if (!xml.isStart())
            continue;
        const QStringView element = xml.name();
        if (xml.depth() == 1) {
            out.isWorkbook = element == u"workbook";
            if (!out.isWorkbook)
                return std::nullopt;
        } else if (element == u"workbookPr") {
            out.dates1904 = isTrue(xml.attribute(u"date1904"));
        } else if (element == u"workbookView") {
            // The first view is the one Excel opens with.
            if (!out.activeTab) {
                const QStringView tab = xml.attribute(u"activeTab");
                out.activeTab = tab.isEmpty() ? 0u : unsignedOf(tab).value_or(0);
            }
        } else if (element == u"sheet") {
            SheetEntry sheet;
            sheet.name = xml.attribute(u"name").toString();
            const QStringView state = xml.attribute(u"state");
            sheet.visible = state != u"hidden" && state != u"veryHidden";
            // r:id, in the transitional or the strict namespace.
            sheet.relationshipId =
                xml.attribute(u"http://schemas.openxmlformats.org/officeDocument/2006/relationships", u"id").toString();
            if (sheet.relationshipId.isEmpty())
                sheet.relationshipId =
                    xml.attribute(u"http://purl.oclc.org/ooxml/officeDocument/relationships", u"id").toString();
            out.sheets.push_back(std::move(sheet));
        }
    }
    return xml.refusal();
}

/// The sheet active at save time; else the first visible worksheet; else the
/// first worksheet. The active tab counts every sheet, charts and dialogs
/// included, but only a worksheet has cells to read.
const SheetEntry* chooseSheet(const WorkbookPart& book, const Relationships& rels)
{
    const auto isWorksheet = [&](const SheetEntry& s) {
        const auto found = rels.byId.constFind(s.relationshipId);
        return found != rels.byId.cend() && found->type == u"worksheet";
    };
    if (book.activeTab && *book.activeTab < book.sheets.size()) {
        const SheetEntry& active = book.sheets[*book.activeTab];
        if (active.visible && isWorksheet(active))
            return &active;
    }
    for (const SheetEntry& s : book.sheets) {
        if (s.visible && isWorksheet(s))
            return &s;
    }
    for (const SheetEntry& s : book.sheets) {
        if (isWorksheet(s))
            return &s;
    }
    return nullptr;
}

/// The date or time kind of each cell format (the cellXfs list).
std::optional<Refusal> readStyles(workbook::ZipPackage& package, const QString& name,
                                  std::vector<NumberFormatKind>& kinds)
{
    XmlPart xml(package, name);
    QHash<quint32, NumberFormatKind> custom;
    bool inCellFormats = false;
    while (xml.next()) {
        if (xml.isEnd() && xml.name() == u"cellXfs") {
            inCellFormats = false;
            continue;
        }
        if (!xml.isStart())
            continue;
        const QStringView element = xml.name();
        if (element == u"numFmt") {
            if (const std::optional<quint32> id = unsignedOf(xml.attribute(u"numFmtId")))
                custom.insert(*id, classifyFormatCode(xml.attribute(u"formatCode")));
        } else if (element == u"cellXfs") {
            inCellFormats = true;
        } else if (element == u"xf" && inCellFormats) {
            const quint32 id = unsignedOf(xml.attribute(u"numFmtId")).value_or(0);
            const auto found = custom.constFind(id);
            kinds.push_back(found != custom.cend() ? *found : builtInFormatKindOf(id));
        }
    }
    return xml.refusal();
}

/// The text of an <si> or <is>: its <t>, or the <t> of each run; phonetic
/// runs (<rPh>) are a reading aid, not part of the text.
bool readRichText(XmlPart& xml, QString& out)
{
    out.clear();
    const int depth = xml.depth();
    QString piece;
    while (xml.next()) {
        if (xml.isEnd() && xml.depth() == depth)
            return true;
        if (!xml.isStart())
            continue;
        if (xml.name() == u"rPh") {
            if (!xml.skipElement())
                return false;
        } else if (xml.name() == u"t") {
            if (!xml.readText(piece))
                return false;
            if (piece.size() > workbook::bounds::kTextUnits - out.size())
                return xml.fail(Refusal::TooMuchText);
            out += piece;
        }
    }
    return false;
}

Refusal overflowRefusal(const workbook::SheetBuilder& builder)
{
    return builder.overflow() == workbook::SheetOverflow::Text ? Refusal::TooMuchText : Refusal::TooManyCells;
}

class SheetPartReader {
public:
    SheetPartReader(workbook::SheetBuilder& builder, const std::vector<NumberFormatKind>& styles, DateSystem dates)
        : m_builder(builder), m_styles(styles), m_dates(dates)
    {
    }

    std::optional<Refusal> read(workbook::ZipPackage& package, const QString& name);

private:
    bool readCell(XmlPart& xml);
    bool addInline(quint32 row, quint32 column);
    bool addValue(quint32 row, quint32 column, const QString& type, quint32 style);
    bool addIsoDate(quint32 row, quint32 column, QStringView value, NumberFormatKind format);

    workbook::SheetBuilder& m_builder;
    const std::vector<NumberFormatKind>& m_styles;
    DateSystem m_dates;
    quint32 m_row = 0;  // 0-based row of the current <row>
    quint32 m_nextColumn = 0;  // where a <c> without an address goes
    bool m_overflow = false;
    QString m_value;
    QString m_inline;
};

std::optional<Refusal> SheetPartReader::read(workbook::ZipPackage& package, const QString& name)
{
    XmlPart xml(package, name);
    if (!xml.found())
        return Refusal::Damaged;
    bool inData = false;
    bool firstRow = true;
    while (xml.next()) {
        if (xml.isEnd()) {
            if (xml.name() == u"sheetData")
                break;  // nothing after the cells matters
            continue;
        }
        if (!xml.isStart())
            continue;
        const QStringView element = xml.name();
        if (element == u"sheetData") {
            inData = true;
        } else if (!inData) {
            continue;
        } else if (element == u"row") {
            const std::optional<quint32> r = unsignedOf(xml.attribute(u"r"));
            m_row = r && *r > 0 ? *r - 1 : (firstRow ? 0 : m_row + 1);
            firstRow = false;
            m_nextColumn = 0;
        } else if (element == u"c") {
            if (!readCell(xml))
                break;
        }
    }
    if (m_overflow)
        return overflowRefusal(m_builder);
    return xml.refusal();
}

bool SheetPartReader::readCell(XmlPart& xml)
{
    quint32 row = m_row;
    quint32 column = m_nextColumn;
    if (const std::optional<CellPosition> at = parseCellAddress(xml.attribute(u"r"))) {
        row = at->row;
        column = at->column;
    }
    m_nextColumn = column + 1;
    const QString type = xml.attribute(u"t").toString();
    const quint32 style = unsignedOf(xml.attribute(u"s")).value_or(0);

    bool hasValue = false;
    bool hasInline = false;
    const int depth = xml.depth();
    while (xml.next()) {
        if (xml.isEnd() && xml.depth() == depth)
            break;
        if (!xml.isStart())
            continue;
        if (xml.name() == u"v") {
            if (!xml.readText(m_value))
                return false;
            hasValue = true;
        } else if (xml.name() == u"is") {
            if (!readRichText(xml, m_inline))
                return false;
            hasInline = true;
        } else if (!xml.skipElement()) {  // <f>, <extLst>
            return false;
        }
    }
    if (xml.refusal())
        return false;
    bool added = true;
    if (type == u"inlineStr")
        added = !hasInline || addInline(row, column);
    else if (hasValue)
        added = addValue(row, column, type, style);
    m_overflow = !added;  // false only when a bound is passed
    return added;
}

bool SheetPartReader::addInline(quint32 row, quint32 column)
{
    return m_builder.addText(row, column, decodeEscapes(m_inline));
}

// A cell without a value (a formula without a cached result, or a cell that
// only holds a style) never gets here: it is empty. False only past a bound.
bool SheetPartReader::addValue(quint32 row, quint32 column, const QString& type, quint32 style)
{
    const QStringView value = QStringView(m_value).trimmed();
    if (type == u"s") {
        const std::optional<quint32> index = unsignedOf(value);
        return !index || m_builder.addPlaceholder(row, column, *index);
    }
    if (type == u"str")
        return m_builder.addText(row, column, decodeEscapes(m_value));
    if (type == u"e")
        return m_builder.addText(row, column, m_value);
    if (type == u"b")
        return m_builder.addBoolean(row, column, isTrue(value));
    const NumberFormatKind format = style < m_styles.size() ? m_styles[style] : NumberFormatKind::Number;
    if (type == u"d")
        return addIsoDate(row, column, value, format);
    if (!type.isEmpty() && type != u"n")
        return true;  // a type this reader does not know: empty
    bool ok = false;
    const double number = value.toDouble(&ok);
    return !ok || m_builder.addNumber(row, column, number, format);
}

// A date cell holds ISO 8601 text: a date, shown as a date whatever its
// format says, or a time of day alone (as Excel writes a time), shown as a
// time, as a time below one day reads in .xls and .ods. Anything else (a day
// before the workbook's first, a time past 24:00) keeps the text it holds.
bool SheetPartReader::addIsoDate(quint32 row, quint32 column, QStringView value, NumberFormatKind format)
{
    if (const std::optional<double> serial = serialFromIsoDateTime(value, m_dates))
        return m_builder.addNumber(row, column, *serial,
                                   format == NumberFormatKind::Number ? NumberFormatKind::Date : format);
    if (const std::optional<double> time = dayFractionFromIsoTime(value))
        return m_builder.addNumber(row, column, *time, NumberFormatKind::Time);
    return m_builder.addText(row, column, decodeEscapes(m_value));
}

/// Gives the sheet's shared-string cells their texts: only the strings the
/// sheet uses are kept, however long the table.
std::optional<Refusal> resolveSharedStrings(workbook::ZipPackage& package, const QString& name,
                                            workbook::SheetBuilder& builder)
{
    const std::vector<quint32> keys = builder.placeholderKeys();
    if (keys.empty())
        return std::nullopt;
    std::vector<workbook::SheetBuilder::TextRef> texts(keys.size());
    if (!name.isEmpty()) {
        XmlPart xml(package, name);
        std::size_t next = 0;  // the next key wanted
        quint64 index = 0;  // of the <si> being read
        QString text;
        while (next < keys.size() && xml.next()) {
            if (!xml.isStart() || xml.name() != u"si")
                continue;
            if (index == keys[next]) {
                if (!readRichText(xml, text))
                    break;
                const std::optional<workbook::SheetBuilder::TextRef> stored = builder.storeText(decodeEscapes(text));
                if (!stored)
                    return overflowRefusal(builder);
                texts[next++] = *stored;
            } else if (!xml.skipElement()) {
                break;
            }
            ++index;
        }
        if (xml.refusal())
            return xml.refusal();
    }
    builder.resolvePlaceholders(keys, texts);
    return std::nullopt;
}

}  // namespace

QString decodeEscapes(QStringView text)
{
    if (!text.contains(u"_x"))
        return text.toString();
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        if (text[i] == u'_' && i + 6 < text.size() && text[i + 1] == u'x' && text[i + 6] == u'_') {
            ushort unit = 0;
            bool hex = true;
            for (qsizetype k = i + 2; k < i + 6 && hex; ++k) {
                const char16_t c = text[k].unicode();
                const int digit = c >= u'0' && c <= u'9'   ? c - u'0'
                                  : c >= u'a' && c <= u'f' ? c - u'a' + 10
                                  : c >= u'A' && c <= u'F' ? c - u'A' + 10
                                                           : -1;
                hex = digit >= 0;
                unit = ushort(unit * 16 + (hex ? digit : 0));
            }
            if (hex) {
                out += QChar(unit);
                i += 7;
                continue;
            }
        }
        out += text[i++];
    }
    return out;
}

QString resolvePartName(const QString& sourcePart, QStringView target)
{
    const QString decoded = QUrl::fromPercentEncoding(target.toUtf8());
    QStringList pieces;
    if (!decoded.startsWith(u'/')) {
        pieces = sourcePart.split(u'/', Qt::SkipEmptyParts);
        if (!sourcePart.endsWith(u'/') && !pieces.isEmpty())
            pieces.removeLast();  // the source part's own name
    }
    for (const QString& piece : decoded.split(u'/', Qt::SkipEmptyParts)) {
        if (piece == u".")
            continue;
        if (piece == u"..") {
            if (!pieces.isEmpty())
                pieces.removeLast();
            continue;
        }
        pieces.append(piece);
    }
    return pieces.join(u'/');
}

std::optional<workbook::Refusal> read(workbook::ZipPackage& package, workbook::Sheet& sheet)
{
    // The package's relationships name the main part; older or sloppier
    // writers are found at the usual place.
    const Relationships root = readRelationships(package, QStringLiteral("/"));
    if (root.refusal)
        return root.refusal;
    QString workbookPart = root.firstOfType(u"officeDocument");
    if (workbookPart.isEmpty())
        workbookPart = package.contains(QStringLiteral("xl/workbook.bin")) ? QStringLiteral("xl/workbook.bin")
                                                                           : QStringLiteral("xl/workbook.xml");
    if (workbookPart.endsWith(QStringLiteral(".bin"), Qt::CaseInsensitive))
        return Refusal::BinaryWorkbook;
    if (!package.contains(workbookPart))
        return Refusal::NotWorkbook;

    WorkbookPart book;
    if (const std::optional<Refusal> refusal = readWorkbookPart(package, workbookPart, book))
        return refusal;
    if (!book.isWorkbook)
        return Refusal::NotWorkbook;
    const Relationships rels = readRelationships(package, workbookPart);
    if (rels.refusal)
        return rels.refusal;

    const SheetEntry* chosen = chooseSheet(book, rels);
    workbook::SheetBuilder builder;
    const DateSystem dates = book.dates1904 ? DateSystem::Excel1904 : DateSystem::Excel1900;
    builder.setDateSystem(dates);
    if (!chosen) {  // a workbook of charts only: every cell is empty
        sheet = builder.finish();
        return std::nullopt;
    }
    builder.setName(chosen->name);

    std::vector<NumberFormatKind> styles;
    if (const QString stylesPart = rels.firstOfType(u"styles"); !stylesPart.isEmpty()) {
        if (const std::optional<Refusal> refusal = readStyles(package, stylesPart, styles))
            return refusal;
    }
    SheetPartReader cells(builder, styles, dates);
    if (const std::optional<Refusal> refusal = cells.read(package, rels.byId.value(chosen->relationshipId).part))
        return refusal;
    if (const std::optional<Refusal> refusal =
            resolveSharedStrings(package, rels.firstOfType(u"sharedStrings"), builder))
        return refusal;
    sheet = builder.finish();
    return std::nullopt;
}

}  // namespace xlsx

}  // namespace fotolista
