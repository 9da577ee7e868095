#include "core/workbook/celladdress.h"
#include "core/workbook/open/workbookfilereader.h"
#include "core/workbook/xls/biff.h"
#include "core/workbook/xls/xlsworkbook.h"
#include "support/workbookfixtures.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <map>

using namespace fotolista;

using namespace Qt::Literals::StringLiterals;

using workbook::Refusal;

Q_DECLARE_METATYPE(workbook::Refusal)

namespace {

QString fixturePath(const QString& name)
{
    // FOTOLISTA_SOURCE_DIR rather than FOTOLISTA_TEST_DATA: the latter is made
    // relative to the folder that registers the test.
    return QStringLiteral(FOTOLISTA_SOURCE_DIR "/tests/data/xls/") + name;
}

QByteArray fixtureBytes(const QString& name)
{
    QFile file(fixturePath(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", qPrintable(name));
    return file.readAll();
}

/// Each fixture is parsed once; the texts are made at read time, so the
/// cached workbooks still follow locale changes.
const xls::Workbook& fixture(const QString& name)
{
    static std::map<QString, xls::Workbook> cache;
    auto found = cache.find(name);
    if (found == cache.end()) {
        xls::LoadResult loaded = xls::Workbook::load(fixturePath(name));
        if (!loaded.ok())
            qFatal("%s", qPrintable(loaded.message));
        found = cache.emplace(name, std::move(*loaded.workbook)).first;
    }
    return found->second;
}

CellList cellsOf(const xls::Workbook& workbook)
{
    CellList cells;
    for (const auto& [position, text] : workbook.nonEmptyCellTexts())
        cells.append({formatCellAddress(position.row, position.column), text});
    return cells;
}

QString longLatin(int n)
{
    QString s;
    for (int i = 0; i < n; ++i)
        s.append(QChar(u'a' + i % 26));
    return s;
}

QString longWide(int n)
{
    const QString pattern = QStringLiteral("漢字かなΩ");
    QString s;
    for (int i = 0; i < n; ++i)
        s.append(pattern[i % pattern.size()]);
    return s;
}

QString message(const QString& path, const QString& reason)
{
    return QStringLiteral("No se puede leer el libro de Excel «") + path + QStringLiteral("»: ") + reason;
}

const QLocale kSpanish(QLocale::Spanish, QLocale::Spain);

/// One line of a sample's NAME.cells.txt: sheet | A1 | type | record | "formatted" | "raw".
struct SampleCell {
    QString sheet, address, type, record, raw;
};

QString unquote(QString field)
{
    field = field.mid(1, field.size() - 2);
    QString out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == u'\\' && i + 1 < field.size()) {
            const QChar e = field[++i];
            out.append(e == u't' ? QChar(u'\t') : e == u'n' ? QChar(u'\n') : e == u'r' ? QChar(u'\r') : e);
        } else {
            out.append(field[i]);
        }
    }
    return out;
}

}  // namespace

class TestXlsReader : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(kSpanish); }
    void init() { QLocale::setDefault(kSpanish); }

    // ------------------------------------------------------------ fixtures

    void fixtureCells_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<CellList>("cells");

        QTest::newRow("xlwt") << QStringLiteral("xlwt.xls")
                              << CellList{
                                     {u"A1"_s, u"Origen"_s},
                                     {u"B1"_s, u"Destino"_s},
                                     {u"A2"_s, u"12345"_s},
                                     {u"B2"_s, u"camisa-azul"_s},
                                     {u"C2"_s, u"1"_s},
                                     {u"D2"_s, u"2"_s},
                                     {u"E2"_s, u"3"_s},
                                     {u"A3"_s, u"12345678901"_s},
                                     {u"B3"_s, u"Niño ñandú"_s},
                                     {u"A4"_s, u"-7"_s},
                                     {u"B4"_s, u"Café crème"_s},
                                     {u"A5"_s, u"1,29"_s},
                                     {u"B5"_s, u"漢字テスト"_s},
                                     {u"A6"_s, u"1234567,89012345"_s},
                                     {u"B6"_s, u"Ελληνικά"_s},
                                     {u"A7"_s, u"0,001"_s},
                                     {u"B7"_s, u"  espacios  "_s},
                                     {u"A8"_s, u"1,23456789012346E+16"_s},
                                     {u"B8"_s, u"\tTab\r\nCRLF "_s},
                                     {u"A9"_s, u"1E-05"_s},
                                     {u"B9"_s, u"0,0001"_s},
                                     {u"A10"_s, u"23/2/05"_s},
                                     {u"A11"_s, u"23/2/05 17:47:13"_s},
                                     {u"A12"_s, u"17:47:13"_s},
                                     {u"A13"_s, u"Verdadero"_s},
                                     {u"B13"_s, u"Falso"_s},
                                     {u"A14"_s, u"#DIV/0!"_s},
                                     {u"B14"_s, u"#N/A"_s},
                                     {u"C14"_s, u"#VALUE!"_s},
                                     {u"A15"_s, u"3,5"_s},
                                     {u"A16"_s, u"-2,5"_s},
                                     {u"A17"_s, u"1000,3"_s},
                                     {u"A18"_s, u"12"_s},
                                     {u"A19"_s, longLatin(9000)},
                                     {u"A20"_s, longWide(5000)},
                                     {u"A21"_s, u"Rojo y normal"_s},
                                     {u"A22"_s, u"1/1/00"_s},
                                     {u"A23"_s, u"28/2/00"_s},
                                     {u"A24"_s, u"1/3/00"_s},
                                     {u"A25"_s, u"60"_s},
                                     {u"A26"_s, u"0,3"_s},
                                     {u"A28"_s, u"after the blank"_s},
                                     {u"C28"_s, u"C28"_s},
                                 };
        QTest::newRow("xlwt 1904 dates") << QStringLiteral("xlwt_1904.xls")
                                         << CellList{
                                                {u"A1"_s, u"1/1/04"_s},          {u"A2"_s, u"23/2/05"_s},
                                                {u"A3"_s, u"1/1/04 12:00:00"_s}, {u"A4"_s, u"6:34:00"_s},
                                                {u"A5"_s, u"38406"_s},
                                            };
        QTest::newRow("WriteExcel") << QStringLiteral("writeexcel.xls")
                                    << CellList{
                                           {u"A1"_s, u"2"_s},
                                           {u"A2"_s, u"foto-01"_s},
                                           {u"A3"_s, u"Verdadero"_s},
                                           {u"A4"_s, u"Falso"_s},
                                           {u"A5"_s, u"#DIV/0!"_s},
                                           {u"A6"_s, u"#N/A"_s},
                                           {u"A8"_s, u"1,5"_s},
                                           {u"A9"_s, u" x "_s},
                                           {u"B10"_s, u"tras la vacía"_s},
                                           {u"A11"_s, u"12345"_s},
                                           {u"B11"_s, u"12345678901"_s},
                                           {u"A12"_s, u"23/2/05"_s},
                                           {u"A13"_s, u"Niño ñandú"_s},
                                           {u"A14"_s, u"Ελληνικά 漢字"_s},
                                           {u"A15"_s, longLatin(9000)},
                                           {u"A16"_s, longWide(5000)},
                                       };
        QTest::newRow("BIFF5 code page 1252")
            << QStringLiteral("biff5_cp1252.xls")
            << CellList{
                   {u"A1"_s, u"Niño"_s},        {u"B1"_s, u"Café 5€"_s}, {u"A2"_s, u"12345"_s},
                   {u"B2"_s, u"12345678901"_s}, {u"A3"_s, u"1,29"_s},    {u"B3"_s, u"-7"_s},
                   {u"A4"_s, u"23/2/05"_s},     {u"B4"_s, u"3/7/07"_s},  {u"A5"_s, u"3,5"_s},
                   {u"A6"_s, u"42"_s},          {u"A7"_s, u"Fórmula"_s}, {u"A8"_s, u"Verdadero"_s},
                   {u"B8"_s, u"#N/A"_s},        {u"A9"_s, u"Rico"_s},    {u"C10"_s, u"7"_s},
                   {u"D10"_s, u"8"_s},          {u"E10"_s, u"9"_s},      {u"A12"_s, u" espacio al final "_s},
               };
        QTest::newRow("BIFF5 code page 1251, no WINDOW1") << QStringLiteral("biff5_cp1251.xls")
                                                          << CellList{
                                                                 {u"A1"_s, u"Привет, мир"_s},
                                                                 {u"B1"_s, u"7"_s},
                                                             };
        QTest::newRow("BIFF5 Shift-JIS") << QStringLiteral("biff5_cp932.xls")
                                         << CellList{
                                                {u"A1"_s, u"漢字のデータ"_s},
                                                {u"A2"_s, u"ｶﾀｶﾅ"_s},
                                            };
        QTest::newRow("BIFF5 without CODEPAGE") << QStringLiteral("biff5_nocodepage.xls")
                                                << CellList{
                                                       {u"A1"_s, u"Precio 5€ ñ"_s},
                                                   };

        const CellList handmade{
            {u"A1"_s, u"Portada"_s},
            {u"C1"_s, u"5"_s},
            {u"D1"_s, u"compartida"_s},
            {u"E1"_s, u"etiqueta ñ"_s},
            {u"F1"_s, u"Portada"_s},
            {u"IV1"_s, u"IV"_s},
            {u"A2"_s, u"mixto-漢字"_s},
            {u"C2"_s, u"18:00:00"_s},
            {u"D2"_s, QString(200, u'a') + QString(100, u'Ω')},
            {u"E2"_s, u"ラベル"_s},
            {u"G2"_s, u"3"_s},
            {u"A3"_s, u"Ωmega"_s},
            {u"C3"_s, u"23/2/05 18:00:00"_s},
            {u"E3"_s, u"enriquecido"_s},
            {u"G3"_s, u"Verdadero"_s},
            {u"A4"_s, u"Rojo y azul"_s},
            {u"C4"_s, u"1234"_s},
            {u"D4"_s, u"Falso"_s},
            {u"A5"_s, u"Ext"_s},
            {u"C5"_s, u"0,5"_s},
            {u"D5"_s, u"#REF!"_s},
            {u"A6"_s, u"Cabecera"_s},
            {u"C6"_s, u"12:00:00"_s},
            {u"D6"_s, u"#NAME?"_s},
            {u"A7"_s, u"Ñandú"_s},
            {u"C7"_s, u"7"_s},
            {u"D7"_s, u"#NUM!"_s},
            {u"A8"_s, u"partido"_s},
            {u"C8"_s, u"1/1/04"_s},
            {u"D8"_s, u"#NULL!"_s},
            {u"C9"_s, u"9"_s},
            {u"A10"_s, u"último"_s},
            {u"C10"_s, u"2,5"_s},
            {u"D10"_s, u"1"_s},
            {u"C11"_s, u"Portada"_s},
            {u"A65536"_s, u"Portada"_s},
        };
        // Same records in three containers: a DIFAT sector with a short last
        // sector; 4096-byte sectors; a stream named "WORKBOOK" whose sheet
        // offsets the writer got wrong.
        QTest::newRow("hand-made BIFF8") << QStringLiteral("biff8_handmade.xls") << handmade;
        QTest::newRow("hand-made BIFF8, version 4") << QStringLiteral("biff8_handmade_v4.xls") << handmade;
        QTest::newRow("hand-made BIFF8, wrong offsets") << QStringLiteral("biff8_badoffsets.xls") << handmade;
    }

    void fixtureCells()
    {
        QFETCH(QString, file);
        QFETCH(CellList, cells);

        const xls::Workbook& workbook = fixture(file);
        compareCells(cellsOf(workbook), cells);
        if (QTest::currentTestFailed())
            return;

        // The reader the run uses gives the same texts, whatever the letter case.
        WorkbookFileReader reader;
        QVERIFY(reader.openWorkbook(fixturePath(file)).ok);
        for (const auto& [address, text] : cells) {
            QCOMPARE(reader.readCellText(address), text);
            QCOMPARE(reader.readCellText(address.toLower()), text);
        }
        reader.closeWorkbook();
    }

    void emptyCellsReadEmpty_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("address");
        QTest::newRow("xlwt BLANK record") << QStringLiteral("xlwt.xls") << QStringLiteral("A27");
        QTest::newRow("gap inside a row") << QStringLiteral("xlwt.xls") << QStringLiteral("B28");
        QTest::newRow("formula with cached empty text") << QStringLiteral("writeexcel.xls") << QStringLiteral("A7");
        QTest::newRow("empty shared string") << QStringLiteral("writeexcel.xls") << QStringLiteral("A10");
        QTest::newRow("empty string in the table") << QStringLiteral("biff8_handmade.xls") << QStringLiteral("A9");
        QTest::newRow("index past the string table") << QStringLiteral("biff8_handmade.xls") << QStringLiteral("B1");
        QTest::newRow("formula result type 3") << QStringLiteral("biff8_handmade.xls") << QStringLiteral("D3");
        QTest::newRow("formula without its STRING") << QStringLiteral("biff8_handmade.xls") << QStringLiteral("D9");
        QTest::newRow("cell of an embedded chart") << QStringLiteral("biff8_handmade.xls") << QStringLiteral("G1");
        QTest::newRow("MULBLANK") << QStringLiteral("biff8_handmade.xls") << QStringLiteral("H4");
        QTest::newRow("BIFF5 BLANK") << QStringLiteral("biff5_cp1252.xls") << QStringLiteral("A11");
        QTest::newRow("past the last row") << QStringLiteral("biff8_handmade.xls") << QStringLiteral("A65537");
        QTest::newRow("past the last column") << QStringLiteral("biff8_handmade.xls") << QStringLiteral("IW1");
        QTest::newRow("far away") << QStringLiteral("xlwt.xls") << QStringLiteral("XFD4294967296");
        QTest::newRow("malformed") << QStringLiteral("xlwt.xls") << QStringLiteral("1A");
        QTest::newRow("row 0") << QStringLiteral("xlwt.xls") << QStringLiteral("A0");
    }

    void emptyCellsReadEmpty()
    {
        QFETCH(QString, file);
        QFETCH(QString, address);
        WorkbookFileReader reader;
        QVERIFY(reader.openWorkbook(fixturePath(file)).ok);
        const QString text = reader.readCellText(address);
        QVERIFY2(text.isEmpty(), qPrintable(text));
    }

    void numbersFollowTheLocale_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("expected");

        const QLocale c = QLocale::c();
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        const auto row = [](const char* name, const char* file, const char* address, const QLocale& locale,
                            const QString& expected) {
            QTest::newRow(name) << QString::fromLatin1(file) << QString::fromLatin1(address) << locale << expected;
        };
        row("integer, C", "xlwt.xls", "A2", c, u"12345"_s);
        row("RK fraction, C", "xlwt.xls", "A5", c, u"1.29"_s);
        row("15 digits, C", "xlwt.xls", "A6", c, u"1234567.89012345"_s);
        row("huge integer, C", "xlwt.xls", "A8", c, u"1.23456789012346E+16"_s);
        row("exponent, C", "xlwt.xls", "A9", c, u"1E-05"_s);
        row("date, C", "xlwt.xls", "A10", c, u"23 Feb 2005"_s);
        row("date, US", "xlwt.xls", "A10", us, u"2/23/05"_s);
        row("date and time, C", "xlwt.xls", "A11", c, u"23 Feb 2005 17:47:13"_s);
        row("date and time, US", "xlwt.xls", "A11", us, u"2/23/05 5:47:13 PM"_s);
        row("time, US", "xlwt.xls", "A12", us, u"5:47:13 PM"_s);
        row("booleans keep their words, C", "xlwt.xls", "A13", c, u"Verdadero"_s);
        row("BIFF5 fraction, C", "biff5_cp1252.xls", "A3", c, u"1.29"_s);
        row("formula fraction, C", "writeexcel.xls", "A8", c, u"1.5"_s);
        row("1904 date, C", "biff8_handmade.xls", "C8", c, u"1 Jan 1904"_s);
        row("General format, C", "biff8_handmade.xls", "C5", c, u"0.5"_s);
    }

    void numbersFollowTheLocale()
    {
        QFETCH(QString, file);
        QFETCH(QString, address);
        QFETCH(QLocale, locale);
        QFETCH(QString, expected);

        QLocale::setDefault(locale);
        const std::optional<CellPosition> at = parseCellAddress(address);
        QVERIFY(at);
        // Parsed in Spanish earlier; the text follows the locale of the read.
        QCOMPARE(fixture(file).cellText(at->row, at->column), expected);
    }

    // ------------------------------------------------------------ refusals

    void refusals_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<Refusal>("error");
        QTest::addColumn<QString>("reason");

        const QString damaged = QStringLiteral("el archivo está dañado o incompleto.");
        const QString notXls = QStringLiteral("no es un libro de Excel 95-2003 (.xls).");
        const QString locked = QStringLiteral("el libro está protegido con contraseña.");
        QTest::newRow("empty") << QStringLiteral("empty.xls") << Refusal::Empty
                               << QStringLiteral("el archivo está vacío.");
        QTest::newRow("xlsx") << QStringLiteral("xlsx_renamed.xls") << Refusal::PackageAsXls
                              << QStringLiteral("es un libro de Excel 2007 o posterior (.xlsx); "
                                                "guárdelo como «Libro de Excel 97-2003 (.xls)».");
        QTest::newRow("random bytes") << QStringLiteral("random.xls") << Refusal::NotWorkbook << notXls;
        QTest::newRow("web page") << QStringLiteral("html.xls") << Refusal::NotWorkbook << notXls;
        QTest::newRow("CSV") << QStringLiteral("csv.xls") << Refusal::NotWorkbook << notXls;
        QTest::newRow("Excel 4.0") << QStringLiteral("biff4.xls") << Refusal::NotWorkbook << notXls;
        QTest::newRow("Word document") << QStringLiteral("word_document.xls") << Refusal::NotWorkbook << notXls;
        QTest::newRow("FILEPASS") << QStringLiteral("encrypted.xls") << Refusal::Encrypted << locked;
        QTest::newRow("encrypted xlsx") << QStringLiteral("encrypted_xlsx.xls") << Refusal::Encrypted << locked;
        QTest::newRow("cut in the header") << QStringLiteral("truncated_300.xls") << Refusal::Damaged << damaged;
        QTest::newRow("header only") << QStringLiteral("truncated_512.xls") << Refusal::Damaged << damaged;
        QTest::newRow("cut in half") << QStringLiteral("truncated_13056.xls") << Refusal::Damaged << damaged;
        QTest::newRow("sector chain loops") << QStringLiteral("chain_loop.xls") << Refusal::Damaged << damaged;
        QTest::newRow("record cut off") << QStringLiteral("cut_record.xls") << Refusal::Damaged << damaged;
    }

    void refusals()
    {
        QFETCH(QString, file);
        QFETCH(Refusal, error);
        QFETCH(QString, reason);

        const QString path = fixturePath(file);
        const xls::LoadResult loaded = xls::Workbook::load(path);
        QVERIFY(!loaded.ok());
        QCOMPARE(loaded.refusal, error);
        QCOMPARE(loaded.message, message(path, reason));

        // The reader a run uses keeps these messages for a compound file; other
        // content goes to the other formats' readers (tst_workbookfile).
        if (!fixtureBytes(file).startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") && file != u"empty.xls")
            return;
        WorkbookFileReader reader;
        const WorkbookOpenResult opened = reader.openWorkbook(path);
        QVERIFY(!opened.ok);
        QCOMPARE(opened.message, message(path, reason));
        QCOMPARE(reader.readCellText(QStringLiteral("A1")), QString());
    }

    void missingFileOrFolder()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString reason = QStringLiteral("el archivo no existe o no se puede leer.");

        const QString missing = dir.filePath(QStringLiteral("no existe.xls"));
        QCOMPARE(xls::Workbook::load(missing).message, message(missing, reason));
        QCOMPARE(xls::Workbook::load(missing).refusal, Refusal::Unreadable);

        // A folder named like a workbook is not one.
        const QString folder = dir.filePath(QStringLiteral("carpeta.xls"));
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(xls::Workbook::load(folder).message, message(folder, reason));
    }

    void fileWithoutReadPermission()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString reason = QStringLiteral("el archivo no existe o no se puede leer.");
        const QString locked = dir.filePath(QStringLiteral("sin permiso.xls"));
        QVERIFY(QFile::copy(fixturePath(QStringLiteral("xlwt.xls")), locked));
        QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
        QFile probe(locked);
        if (probe.open(QIODevice::ReadOnly))
            QSKIP("running with rights that ignore file permissions (root)");
        QCOMPARE(xls::Workbook::load(locked).message, message(locked, reason));
    }

    // --------------------------------------------------------- the reader

    void readerOpensAnewEachTime()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("libro.xls"));
        QVERIFY(QFile::copy(fixturePath(QStringLiteral("xlwt.xls")), path));

        WorkbookFileReader reader;
        QVERIFY(reader.openWorkbook(path).ok);
        QCOMPARE(reader.readCellText(QStringLiteral("b2")), QStringLiteral("camisa-azul"));
        reader.closeWorkbook();
        QCOMPARE(reader.readCellText(QStringLiteral("B2")), QString());

        // Another file saved under the same name between two runs.
        QVERIFY(QFile::remove(path));
        QVERIFY(QFile::copy(fixturePath(QStringLiteral("writeexcel.xls")), path));
        QVERIFY(reader.openWorkbook(path).ok);
        QCOMPARE(reader.readCellText(QStringLiteral("A2")), QStringLiteral("foto-01"));
        QCOMPARE(reader.readCellText(QStringLiteral("B2")), QString());

        // A failed open leaves nothing of the previous workbook readable.
        QVERIFY(!reader.openWorkbook(fixturePath(QStringLiteral("empty.xls"))).ok);
        QCOMPARE(reader.readCellText(QStringLiteral("A2")), QString());
    }

    void parseNamesTheGivenPath()
    {
        const xls::LoadResult loaded =
            xls::Workbook::parse(QByteArray("PK\x03\x04 rest", 9), QStringLiteral("C:/x/y.xls"));
        QCOMPARE(loaded.message, message(QStringLiteral("C:/x/y.xls"),
                                         QStringLiteral("es un libro de Excel 2007 o posterior (.xlsx); "
                                                        "guárdelo como «Libro de Excel 97-2003 (.xls)».")));
    }

    // ------------------------------------------------------ shared samples

    void sharedSamples_data()
    {
        QTest::addColumn<QString>("name");
        const QDir samples(QStringLiteral(FOTOLISTA_XLS_SAMPLES));
        if (!samples.exists()) {
            QTest::newRow("absent") << QString();
            return;
        }
        for (const QString& file : samples.entryList({QStringLiteral("*.xls")}, QDir::Files, QDir::Name))
            QTest::newRow(qPrintable(file)) << file.chopped(4);
    }

    void sharedSamples()
    {
        const QDir samples(QStringLiteral(FOTOLISTA_XLS_SAMPLES));
        if (!samples.exists())
            QSKIP("the shared sample workbooks are not in this checkout");
        QFETCH(QString, name);

        QFile listing(samples.filePath(name + QStringLiteral(".cells.txt")));
        QVERIFY2(listing.open(QIODevice::ReadOnly | QIODevice::Text), qPrintable(listing.fileName()));
        QString activeSheet;
        QList<SampleCell> cells;
        const QRegularExpression activeLine(QStringLiteral("^\\s*sheet \\d+: \"(.*)\"\\s+<== ACTIVE"));
        for (const QString& line : QString::fromUtf8(listing.readAll()).split(u'\n')) {
            if (const auto m = activeLine.match(line); m.hasMatch())
                activeSheet = m.captured(1);
            const QStringList f = line.split(QStringLiteral(" | "));
            if (f.size() == 6 && !f[0].startsWith(u"columns:"))
                cells.append({f[0], f[1], f[2], f[3], unquote(f[5])});
        }
        QVERIFY(!activeSheet.isEmpty());

        // Where the independent reader reports a type that Excel's own value
        // does not have: numbers shown as dates or times read as dates, and
        // formula results that are booleans read as booleans.
        const QHash<QString, QString> differing{
            {u"Formate!B3"_s, u"3/5/88"_s},       {u"Formate!B4"_s, u"6:34:00"_s},
            {u"Formate!B5"_s, u"12:56:00"_s},     {u"Formate!B6"_s, u"17:47:13"_s},
            {u"namesdemo!A17"_s, u"Verdadero"_s}, {u"namesdemo!A18"_s, u"Falso"_s},
            {u"namesdemo!E22"_s, u"Verdadero"_s}, {u"namesdemo!E23"_s, u"Falso"_s},
            {u"namesdemo!E24"_s, u"Falso"_s},     {u"namesdemo!E25"_s, u"Verdadero"_s},
        };

        const xls::LoadResult loaded = xls::Workbook::load(samples.filePath(name + QStringLiteral(".xls")));
        QVERIFY2(loaded.ok(), qPrintable(loaded.message));
        const xls::Workbook& workbook = *loaded.workbook;

        CellList expected;
        for (const SampleCell& cell : cells) {
            if (cell.sheet != activeSheet)
                continue;
            QString text;
            if (const auto d = differing.constFind(name + u'!' + cell.address); d != differing.cend()) {
                text = *d;
            } else if (cell.type == u"Date") {
                bool ok = false;
                const int serial = cell.raw.toInt(&ok);
                QVERIFY2(ok && serial > 60, qPrintable(cell.raw));
                text = QLocale().toString(QDate(1899, 12, 30).addDays(serial), QLocale::ShortFormat);
            } else if (cell.type == u"Numeric") {
                text = cell.raw;
                text.replace(u'.', QLocale().decimalPoint());
            } else {
                text = cell.raw;
            }
            expected.append({cell.address, text});
        }
        QVERIFY(!expected.isEmpty());
        compareCells(cellsOf(workbook), expected);
    }

    // ---------------------------------------------------------- robustness

    void damagedCopiesNeverCrash_data()
    {
        QTest::addColumn<QString>("file");
        for (const char* f : {"xlwt.xls", "writeexcel.xls", "biff5_cp1252.xls", "biff5_cp932.xls", "biff8_handmade.xls",
                              "biff8_handmade_v4.xls"})
            QTest::newRow(f) << QString::fromLatin1(f);
    }

    void damagedCopiesNeverCrash()
    {
        QFETCH(QString, file);
        const QByteArray original = fixtureBytes(file);
        const CellList intact = cellsOf(fixture(file));
        const auto check = [](const xls::LoadResult& r) {
            QCOMPARE(r.ok(), r.message.isEmpty());
            if (r.ok()) {
                // Make every text, to run the number and date conversions too.
                for (const auto& [at, text] : r.workbook->nonEmptyCellTexts())
                    QCOMPARE(r.workbook->cellText(at.row, at.column), text);
            }
        };

        // Every cut is refused, or reads exactly what the whole file holds
        // (a cut in the unused end of the last sector loses nothing).
        for (qsizetype cut = 0; cut < original.size(); cut += 97) {
            const xls::LoadResult r = xls::Workbook::parse(original.first(cut), file);
            check(r);
            if (QTest::currentTestFailed())
                return;
            if (r.ok())
                QCOMPARE(cellsOf(*r.workbook), intact);
            else
                QVERIFY(r.refusal == Refusal::Damaged || r.refusal == Refusal::Empty
                        || r.refusal == Refusal::NotWorkbook);
        }

        QRandomGenerator random(0x5EED0000u + qChecksum(file.toLatin1()));
        for (int round = 0; round < 1500; ++round) {
            QByteArray bytes = original;
            const int flips = 1 + random.bounded(8);
            // Half of the rounds hit the container's header and tables.
            const qsizetype span = round % 2 ? bytes.size() : qMin<qsizetype>(bytes.size(), 2048);
            for (int i = 0; i < flips; ++i)
                bytes[random.bounded(span)] = char(random.bounded(256));
            check(xls::Workbook::parse(bytes, file));
            if (QTest::currentTestFailed())
                return;
        }
    }
};

QTEST_GUILESS_MAIN(TestXlsReader)
#include "tst_xlsreader.moc"
