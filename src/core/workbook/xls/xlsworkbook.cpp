#include "core/workbook/xls/xlsworkbook.h"

#include "core/workbook/bounds.h"
#include "core/workbook/xls/compoundfile.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace fotolista {

namespace xls {

using workbook::Refusal;

namespace {

constexpr qint64 kMaxFileSize = qint64(1) << 30;

LoadResult failed(const QString& path, Refusal refusal)
{
    LoadResult result;
    result.refusal = refusal;
    result.message = workbook::refusalMessage(path, refusal, true);
    return result;
}

quint16 u16At(QByteArrayView data, qsizetype at)
{
    return qFromLittleEndian<quint16>(data.data() + at);
}

quint32 u32At(QByteArrayView data, qsizetype at)
{
    return qFromLittleEndian<quint32>(data.data() + at);
}

double f64At(QByteArrayView data, qsizetype at)
{
    const quint64 bits = qFromLittleEndian<quint64>(data.data() + at);
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

/// RK: a compact number, either a 30-bit integer or the top 30 bits of a
/// double, optionally divided by 100.
double rkValue(quint32 rk)
{
    double value = 0;
    if (rk & 0x02) {
        value = double(qint32(rk) >> 2);
    } else {
        const quint64 bits = quint64(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    return (rk & 0x01) ? value / 100.0 : value;
}

QString errorText(quint8 code)
{
    switch (code) {
    case 0x00: return QStringLiteral("#NULL!");
    case 0x07: return QStringLiteral("#DIV/0!");
    case 0x0F: return QStringLiteral("#VALUE!");
    case 0x17: return QStringLiteral("#REF!");
    case 0x1D: return QStringLiteral("#NAME?");
    case 0x24: return QStringLiteral("#NUM!");
    default: return QStringLiteral("#N/A");  // 0x2A, and codes newer versions added
    }
}

}  // namespace

/// Walks the BIFF records of a workbook stream and fills a Workbook with the
/// active sheet's cells.
class WorkbookParser {
public:
    explicit WorkbookParser(QByteArrayView stream) : m_stream(stream) {}

    std::optional<Refusal> run(Workbook& workbook);

private:
    struct Sheet {
        quint32 offset = 0;
        quint8 type = 0;
        QString name;
    };

    std::optional<Refusal> readGlobals(Workbook& workbook);
    void findCodePage(qsizetype from);
    void readGlobalRecord(const biff::Record& r, biff::RecordCursor& cursor, Workbook& workbook);
    /// A format code at `at`: 8-bit length in BIFF5, a BIFF8 string otherwise.
    QString longText(QByteArrayView data, qsizetype at) const;
    void readSharedStrings(const biff::Record& sst, biff::RecordCursor& cursor);
    /// The record data plus the CONTINUE records right after it.
    std::vector<QByteArrayView> withContinues(QByteArrayView first, biff::RecordCursor& cursor) const;
    QString byteString(QByteArrayView data, qsizetype at, int lengthBytes) const;
    /// A BOUNDSHEET record's sheet name: a byte string in BIFF5, a short
    /// Unicode string (8-bit length, no rich text) in BIFF8.
    QString sheetName(QByteArrayView data) const;
    qsizetype sheetStart(size_t sheetIndex) const;
    std::optional<Refusal> readSheet(qsizetype start);
    void readCell(const biff::Record& record, biff::RecordCursor& cursor);
    void readFormulaString(QByteArrayView d, biff::RecordCursor& cursor);
    void readMulRk(QByteArrayView d, const Workbook::Cell& first);
    /// Fills `cell` from its record; false when the record holds no cell to keep.
    bool readValue(quint16 type, QByteArrayView d, Workbook::Cell& cell);
    bool readFormulaResult(QByteArrayView d, Workbook::Cell& cell);
    void addCell(Workbook::Cell cell);
    static bool addToSheet(const Workbook::Cell& cell, const std::vector<NumberFormatKind>& xfKinds,
                           workbook::SheetBuilder& sheet);

    QByteArrayView m_stream;
    bool m_biff8 = true;
    qsizetype m_globalsEnd = 0;
    biff::CodePageDecoder m_decoder;
    std::vector<QString> m_sharedStrings;
    std::vector<Sheet> m_sheets;
    std::optional<quint16> m_activeTab;
    QHash<quint16, QString> m_formats;
    std::vector<quint16> m_xfFormats;
    std::vector<Workbook::Cell> m_cells;
    std::optional<size_t> m_pendingString;  // a formula cell waiting for its STRING record
};

std::optional<Refusal> WorkbookParser::run(Workbook& workbook)
{
    if (const std::optional<Refusal> error = readGlobals(workbook))
        return error;

    std::vector<NumberFormatKind> xfKinds;
    for (quint16 format : m_xfFormats) {
        const auto custom = m_formats.constFind(format);
        xfKinds.push_back(custom != m_formats.cend() ? classifyFormatCode(*custom) : builtInFormatKind(format));
    }
    workbook::SheetBuilder sheet;
    sheet.setDateSystem(workbook.m_dates1904 ? DateSystem::Excel1904 : DateSystem::Excel1900);

    // The tab active at save time; a workbook without one (or pointing at a
    // chart or module sheet) is read from its first worksheet.
    std::optional<size_t> chosen;
    if (m_activeTab && *m_activeTab < m_sheets.size() && m_sheets[*m_activeTab].type == 0)
        chosen = *m_activeTab;
    for (size_t i = 0; !chosen && i < m_sheets.size(); ++i) {
        if (m_sheets[i].type == 0)
            chosen = i;
    }
    if (!chosen) {  // no worksheet at all: every cell is empty
        workbook.m_sheet = sheet.finish();
        return std::nullopt;
    }

    sheet.setName(m_sheets[*chosen].name);
    const qsizetype start = sheetStart(*chosen);
    if (start < 0)
        return Refusal::Damaged;
    if (const std::optional<Refusal> error = readSheet(start))
        return error;

    // In record order: the sheet keeps the last record written for a position.
    for (const Workbook::Cell& cell : m_cells) {
        if (!addToSheet(cell, xfKinds, sheet))
            return Refusal::TooManyCells;
    }
    workbook.m_sheet = sheet.finish();
    return std::nullopt;
}

std::optional<Refusal> WorkbookParser::readGlobals(Workbook& workbook)
{
    biff::RecordCursor cursor(m_stream);
    biff::Record bof;
    if (!cursor.next(bof) || bof.type != biff::record::Bof || bof.data.size() < 4)
        return Refusal::NotWorkbook;
    const quint16 version = u16At(bof.data, 0);
    if ((version != biff::kVersionBiff8 && version != biff::kVersionBiff5)
        || u16At(bof.data, 2) != biff::kSubstreamGlobals)
        return Refusal::NotWorkbook;
    m_biff8 = version == biff::kVersionBiff8;
    if (!m_biff8)
        findCodePage(cursor.position());

    biff::Record r;
    while (cursor.next(r)) {
        if (r.type == biff::record::Eof) {
            m_globalsEnd = cursor.position();
            return std::nullopt;
        }
        if (r.type == biff::record::FilePass)
            return Refusal::Encrypted;
        readGlobalRecord(r, cursor, workbook);
    }
    return Refusal::Damaged;
}

void WorkbookParser::findCodePage(qsizetype from)
{
    // BIFF5 names may come before the CODEPAGE record, so it is looked for first.
    biff::RecordCursor scan(m_stream, from);
    biff::Record r;
    while (scan.next(r) && r.type != biff::record::Eof) {
        if (r.type == biff::record::CodePage && r.data.size() >= 2) {
            m_decoder = biff::CodePageDecoder(u16At(r.data, 0));
            return;
        }
    }
}

void WorkbookParser::readGlobalRecord(const biff::Record& r, biff::RecordCursor& cursor, Workbook& workbook)
{
    const QByteArrayView d = r.data;
    switch (r.type) {
    case biff::record::DateMode:
        if (d.size() >= 2)
            workbook.m_dates1904 = u16At(d, 0) == 1;
        break;
    case biff::record::Window1:
        if (d.size() >= 12 && !m_activeTab)
            m_activeTab = u16At(d, 10);
        break;
    case biff::record::BoundSheet:
        if (d.size() >= 7)
            m_sheets.push_back(Sheet{u32At(d, 0), quint8(d[5]), sheetName(d)});
        break;
    case biff::record::Format:
        if (d.size() >= 3)
            m_formats.insert(u16At(d, 0), longText(d, 2));
        break;
    case biff::record::Xf:
        if (d.size() >= 4)
            m_xfFormats.push_back(u16At(d, 2));
        break;
    case biff::record::Sst:
        if (m_biff8)
            readSharedStrings(r, cursor);
        break;
    default: break;
    }
}

QString WorkbookParser::longText(QByteArrayView data, qsizetype at) const
{
    if (!m_biff8)
        return byteString(data, at, 1);
    QString text;
    biff::ContinuedReader in({data.sliced(at)});
    biff::readUnicodeString(in, text);
    return text;
}

std::vector<QByteArrayView> WorkbookParser::withContinues(QByteArrayView first, biff::RecordCursor& cursor) const
{
    std::vector<QByteArrayView> pieces{first};
    biff::Record more;
    while (cursor.peekType() == biff::record::Continue && cursor.next(more))
        pieces.push_back(more.data);
    return pieces;
}

void WorkbookParser::readSharedStrings(const biff::Record& sst, biff::RecordCursor& cursor)
{
    if (sst.data.size() < 8)
        return;
    // The counts in the header are not trusted (some writers get them wrong):
    // strings are read until the bytes run out.
    biff::ContinuedReader in(withContinues(sst.data.sliced(8), cursor));
    QString text;
    while (!in.atEnd() && biff::readUnicodeString(in, text))
        m_sharedStrings.push_back(text);
}

QString WorkbookParser::sheetName(QByteArrayView data) const
{
    if (!m_biff8)
        return byteString(data, 6, 1);
    if (data.size() < 8)
        return {};
    const qsizetype length = quint8(data[6]);
    const bool wide = (quint8(data[7]) & 1) != 0;
    const qsizetype bytes = std::min(length * (wide ? 2 : 1), data.size() - 8);
    const QByteArrayView chars = data.sliced(8, bytes);
    if (!wide)
        return QString::fromLatin1(chars.data(), chars.size());
    QString name;
    for (qsizetype i = 0; i + 1 < chars.size(); i += 2)
        name += QChar(u16At(chars, i));
    return name;
}

QString WorkbookParser::byteString(QByteArrayView data, qsizetype at, int lengthBytes) const
{
    if (data.size() < at + lengthBytes)
        return {};
    const qsizetype length = lengthBytes == 1 ? quint8(data[at]) : u16At(data, at);
    const qsizetype begin = at + lengthBytes;
    return m_decoder.decode(data.sliced(begin, qMin(length, data.size() - begin)));
}

qsizetype WorkbookParser::sheetStart(size_t sheetIndex) const
{
    const auto isWorksheetBof = [](const biff::Record& r) { return r.type == biff::record::Bof && r.data.size() >= 4; };
    biff::Record r;
    const qsizetype declared = m_sheets[sheetIndex].offset;
    if (declared >= m_globalsEnd && declared < m_stream.size()) {
        biff::RecordCursor at(m_stream, declared);
        if (at.next(r) && isWorksheetBof(r))
            return declared;
    }
    // A writer that got the offsets wrong still stores the sheets in order.
    biff::RecordCursor cursor(m_stream, m_globalsEnd);
    size_t index = 0;
    int depth = 0;
    while (cursor.next(r)) {
        if (r.type == biff::record::Bof) {
            if (depth == 0 && index++ == sheetIndex)
                return r.offset;
            ++depth;
        } else if (r.type == biff::record::Eof && depth > 0) {
            --depth;
        }
    }
    return -1;
}

std::optional<Refusal> WorkbookParser::readSheet(qsizetype start)
{
    biff::RecordCursor cursor(m_stream, start);
    biff::Record r;
    cursor.next(r);  // the sheet's BOF
    int depth = 0;  // charts embedded in the sheet have their own BOF..EOF
    while (cursor.next(r)) {
        if (r.type == biff::record::Bof) {
            ++depth;
        } else if (r.type == biff::record::Eof) {
            if (depth == 0)
                return std::nullopt;
            --depth;
        } else if (depth == 0) {
            readCell(r, cursor);
        }
    }
    // A missing final EOF is forgiven; a record cut off is not.
    return cursor.truncated() ? std::optional(Refusal::Damaged) : std::nullopt;
}

void WorkbookParser::addCell(Workbook::Cell cell)
{
    // Past the bound the sheet is refused: collecting more would only cost memory.
    if (m_cells.size() <= std::size_t(workbook::bounds::kCells))
        m_cells.push_back(std::move(cell));
}

bool WorkbookParser::addToSheet(const Workbook::Cell& cell, const std::vector<NumberFormatKind>& xfKinds,
                                workbook::SheetBuilder& sheet)
{
    switch (cell.kind) {
    case Workbook::ValueKind::Text: return sheet.addText(cell.row, cell.column, cell.text);
    case Workbook::ValueKind::Boolean: return sheet.addBoolean(cell.row, cell.column, cell.code != 0);
    case Workbook::ValueKind::Error: return sheet.addText(cell.row, cell.column, errorText(cell.code));
    case Workbook::ValueKind::Number:
        return sheet.addNumber(cell.row, cell.column, cell.number,
                               cell.xf < xfKinds.size() ? xfKinds[cell.xf] : NumberFormatKind::Number);
    }
    return false;
}

void WorkbookParser::readCell(const biff::Record& record, biff::RecordCursor& cursor)
{
    const QByteArrayView d = record.data;
    const quint16 type = record.type;
    if (type == biff::record::String) {
        readFormulaString(d, cursor);
        return;
    }
    const bool isCellRecord = type == biff::record::Label || type == biff::record::LabelSst
                              || type == biff::record::RString || type == biff::record::Number
                              || type == biff::record::Rk || type == biff::record::MulRk
                              || type == biff::record::Formula || type == biff::record::BoolErr
                              || type == biff::record::Blank || type == biff::record::MulBlank;
    if (!isCellRecord || d.size() < 6)
        return;
    m_pendingString.reset();

    Workbook::Cell cell;
    cell.row = u16At(d, 0);
    cell.column = u16At(d, 2);
    cell.xf = u16At(d, 4);
    if (type == biff::record::MulRk)
        readMulRk(d, cell);
    else if (readValue(type, d, cell))
        addCell(std::move(cell));
}

void WorkbookParser::readFormulaString(QByteArrayView d, biff::RecordCursor& cursor)
{
    if (!m_pendingString || *m_pendingString >= m_cells.size())
        return;
    QString text;
    if (m_biff8) {
        biff::ContinuedReader in(withContinues(d, cursor));
        biff::readUnicodeString(in, text);
    } else {
        text = byteString(d, 0, 2);
    }
    m_cells[*m_pendingString].text = text;
    m_pendingString.reset();
}

void WorkbookParser::readMulRk(QByteArrayView d, const Workbook::Cell& first)
{
    // row, first column, then (XF, RK) pairs, then the last column.
    const qsizetype count = (d.size() - 6) / 6;
    for (qsizetype i = 0; i < count; ++i) {
        Workbook::Cell each;
        each.row = first.row;
        each.column = first.column + quint32(i);
        each.kind = Workbook::ValueKind::Number;
        each.xf = u16At(d, 4 + 6 * i);
        each.number = rkValue(u32At(d, 6 + 6 * i));
        addCell(std::move(each));
    }
}

bool WorkbookParser::readValue(quint16 type, QByteArrayView d, Workbook::Cell& cell)
{
    using Kind = Workbook::ValueKind;
    switch (type) {
    case biff::record::Label:
    case biff::record::RString:
        if (!m_biff8) {
            cell.text = byteString(d, 6, 2);
            return true;
        } else {
            biff::ContinuedReader in({d.sliced(6)});
            return biff::readUnicodeString(in, cell.text);
        }
    case biff::record::LabelSst:
        if (d.size() < 10)
            return false;
        if (const quint32 index = u32At(d, 6); index < m_sharedStrings.size())
            cell.text = m_sharedStrings[index];
        return true;
    case biff::record::Number:
        cell.kind = Kind::Number;
        cell.number = d.size() >= 14 ? f64At(d, 6) : 0;
        return d.size() >= 14;
    case biff::record::Rk:
        cell.kind = Kind::Number;
        cell.number = d.size() >= 10 ? rkValue(u32At(d, 6)) : 0;
        return d.size() >= 10;
    case biff::record::Formula: return readFormulaResult(d, cell);
    case biff::record::BoolErr:
        if (d.size() < 8)
            return false;
        cell.kind = d[7] ? Kind::Error : Kind::Boolean;
        cell.code = quint8(d[6]);
        if (cell.kind == Kind::Boolean)
            cell.code = cell.code != 0;
        return true;
    default:  // BLANK, MULBLANK: formatted but empty
        return false;
    }
}

bool WorkbookParser::readFormulaResult(QByteArrayView d, Workbook::Cell& cell)
{
    using Kind = Workbook::ValueKind;
    if (d.size() < 14)
        return false;
    if (u16At(d, 12) != 0xFFFF) {
        cell.kind = Kind::Number;
        cell.number = f64At(d, 6);
        return true;
    }
    switch (quint8(d[6])) {
    case 0:  // text, in the STRING record that follows
        m_pendingString = m_cells.size();
        break;
    case 1:
        cell.kind = Kind::Boolean;
        cell.code = quint8(d[8]) != 0;
        break;
    case 2:
        cell.kind = Kind::Error;
        cell.code = quint8(d[8]);
        break;
    default:  // 3: the empty text
        break;
    }
    return true;
}

LoadResult Workbook::load(const QString& path)
{
    const QFileInfo info(path);
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        return failed(path, Refusal::Unreadable);
    if (file.size() > kMaxFileSize)
        return failed(path, Refusal::NotWorkbook);
    const QByteArray bytes = file.read(file.size());
    if (file.error() != QFileDevice::NoError)
        return failed(path, Refusal::Unreadable);
    return parse(bytes, path);
}

LoadResult Workbook::parse(const QByteArray& bytes, const QString& pathForMessages)
{
    if (bytes.isEmpty())
        return failed(pathForMessages, Refusal::Empty);
    if (bytes.startsWith("PK\x03\x04") || bytes.startsWith("PK\x05\x06"))
        return failed(pathForMessages, Refusal::PackageAsXls);

    const CompoundFile container(bytes);
    switch (container.status()) {
    case CompoundFile::Status::Ok: break;
    case CompoundFile::Status::NotCompoundFile: return failed(pathForMessages, Refusal::NotWorkbook);
    case CompoundFile::Status::Damaged: return failed(pathForMessages, Refusal::Damaged);
    }

    // Excel 97 and later write "Workbook"; Excel 5 and 95 wrote "Book".
    QByteArray stream;
    CompoundFile::StreamStatus found = container.readStream(u"Workbook", stream);
    if (found == CompoundFile::StreamStatus::Missing)
        found = container.readStream(u"Book", stream);
    switch (found) {
    case CompoundFile::StreamStatus::Ok: break;
    case CompoundFile::StreamStatus::Damaged: return failed(pathForMessages, Refusal::Damaged);
    case CompoundFile::StreamStatus::Missing: {
        // A password-protected .xlsx is a compound file holding the encrypted package.
        QByteArray ignored;
        const bool encryptedPackage =
            container.readStream(u"EncryptedPackage", ignored) != CompoundFile::StreamStatus::Missing;
        return failed(pathForMessages, encryptedPackage ? Refusal::Encrypted : Refusal::NotWorkbook);
    }
    }

    Workbook workbook;
    WorkbookParser parser(stream);
    if (const std::optional<Refusal> error = parser.run(workbook))
        return failed(pathForMessages, *error);
    LoadResult result;
    result.workbook = std::move(workbook);
    return result;
}

}  // namespace xls

}  // namespace fotolista
