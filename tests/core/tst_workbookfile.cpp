#include "core/workbook/celladdress.h"
#include "core/workbook/open/openworkbook.h"
#include "core/workbook/open/workbookfilereader.h"
#include "core/workbook/zip/markupscanner.h"

#include "support/workbookfixtures.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace fotolista;

using namespace Qt::Literals::StringLiterals;
using workbook::Refusal;

Q_DECLARE_METATYPE(workbook::Refusal)

namespace {

const QLocale kSpanish(QLocale::Spanish, QLocale::Spain);

// The files that reach a bound at full size take minutes in an unoptimised
// sanitizer build; there the small hostile files and the fuzz targets cover
// the same code.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

QString xlsFixture(const QString& name)
{
    return QStringLiteral(FOTOLISTA_SOURCE_DIR "/tests/data/xls/") + name;
}

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing %s", qPrintable(path));
    return file.readAll();
}

QString message(const QString& path, const QString& reason)
{
    return u"No se puede leer el libro «"_s + path + u"»: "_s + reason;
}

/// Each workbook beside a NAME.es.cells listing, from one folder.
void listedWorkbooks(const QString& folder)
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("locale");
    const QDir dir(folder);
    if (!dir.exists()) {
        QTest::newRow("absent") << QString() << QString();
        return;
    }
    for (const QString& listing : dir.entryList({u"*.es.cells"_s}, QDir::Files, QDir::Name)) {
        const QString workbook = listing.chopped(9);
        for (const QString& locale : {u"es"_s, u"C"_s})
            QTest::newRow(qPrintable(workbook + u' ' + locale)) << dir.filePath(workbook) << locale;
    }
}

void compareWithListing(const QString& path, const QString& locale)
{
    QLocale::setDefault(locale == u"es" ? kSpanish : QLocale::c());
    const CellList expected = readCellListing(path + u'.' + locale + u".cells"_s);
    const workbook::LoadResult loaded = workbook::loadWorkbook(path);
    QVERIFY2(loaded.ok(), qPrintable(loaded.message));
    compareCells(cellsOf(*loaded.sheet), expected);
    if (QTest::currentTestFailed())
        return;
    // The reader a run uses gives the same texts, whatever the letter case.
    WorkbookFileReader reader;
    QVERIFY(reader.openWorkbook(path).ok);
    for (const auto& [address, text] : expected) {
        QCOMPARE(reader.readCellText(address), text);
        QCOMPARE(reader.readCellText(address.toLower()), text);
    }
}

}  // namespace

/// The reading of any workbook file: the format found from the content, what
/// each reader sees compared with independent readers, and the refusals.
class TestWorkbookFile : public QObject {
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(kSpanish); }

    void fixtures_data() { listedWorkbooks(workbookFixture(QString())); }
    void fixtures()
    {
        QFETCH(QString, path);
        QFETCH(QString, locale);
        compareWithListing(path, locale);
    }

    void sharedSamples_data() { listedWorkbooks(QStringLiteral(FOTOLISTA_WORKBOOK_SAMPLES)); }
    void sharedSamples()
    {
        QFETCH(QString, path);
        QFETCH(QString, locale);
        if (path.isEmpty())
            QSKIP("the shared sample workbooks are not in this checkout");
        compareWithListing(path, locale);
    }

    void contentNotName_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("text");
        QTest::newRow(".xlsx named .xls")
            << workbookFixture(u"lo_shop.xlsx"_s) << u"libro.xls"_s << u"B2"_s << u"camisa-azul"_s;
        QTest::newRow(".ods named .xlsx")
            << workbookFixture(u"gnm_shop.ods"_s) << u"libro.xlsx"_s << u"B2"_s << u"camisa-azul"_s;
        QTest::newRow(".xls named .ods") << xlsFixture(u"xlwt.xls"_s) << u"libro.ods"_s << u"B2"_s << u"camisa-azul"_s;
        QTest::newRow(".csv named .xls") << xlsFixture(u"csv.xls"_s) << u"libro.xls"_s << u"B2"_s << u"camisa-azul"_s;
        QTest::newRow("no extension") << workbookFixture(u"openpyxl_shop.xlsx"_s) << u"libro"_s << u"A2"_s
                                      << u"12345"_s;
    }

    void contentNotName()
    {
        QFETCH(QString, source);
        QFETCH(QString, name);
        QFETCH(QString, address);
        QFETCH(QString, text);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(name);
        QVERIFY(QFile::copy(source, path));
        WorkbookFileReader reader;
        const WorkbookOpenResult opened = reader.openWorkbook(path);
        QVERIFY2(opened.ok, qPrintable(opened.message));
        QCOMPARE(reader.readCellText(address), text);
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<Refusal>("refusal");
        QTest::addColumn<QString>("expected");  // the whole message, where it is checked
        QTest::addColumn<bool>("fullSize");

        const auto row = [](const char* name, const QString& path, Refusal refusal, const QString& reason = {}) {
            const bool fullSize = path.contains(u"bomb_") || path.contains(u"rows_");
            QTest::newRow(name) << path << refusal << (reason.isEmpty() ? QString() : message(path, reason))
                                << fullSize;
        };
        const QString damaged = u"el archivo está dañado o incompleto."_s;
        const QString locked = u"el libro está protegido con contraseña."_s;
        const QString notWorkbook = u"no es un libro de cálculo que el programa sepa leer "
                                    "(.xls, .xlsx, .xlsm, .ods, .csv o .txt)."_s;
        row("archive cut in half", workbookFixture(u"damaged_truncated.xlsx"_s), Refusal::Damaged, damaged);
        row("checksum", workbookFixture(u"damaged_checksum.xlsx"_s), Refusal::Damaged, damaged);
        row("encrypted entries", workbookFixture(u"damaged_zipcrypto.xlsx"_s), Refusal::Encrypted, locked);
        row("encrypted .ods", workbookFixture(u"handmade_encrypted.ods"_s), Refusal::Encrypted, locked);
        row(".xlsb", workbookFixture(u"handmade.xlsb"_s), Refusal::BinaryWorkbook,
            u"es un libro binario de Excel (.xlsb); guárdelo como «Libro de Excel (.xlsx)»."_s);
        row("Word document", workbookFixture(u"handmade.docx"_s), Refusal::NotWorkbook, notWorkbook);
        row("OpenDocument text", workbookFixture(u"handmade.odt"_s), Refusal::NotWorkbook, notWorkbook);
        row("other ZIP", workbookFixture(u"handmade_other.zip"_s), Refusal::NotWorkbook, notWorkbook);
        row("random bytes", xlsFixture(u"random.xls"_s), Refusal::NotWorkbook, notWorkbook);
        row("web page", xlsFixture(u"html.xls"_s), Refusal::NotWorkbook, notWorkbook);
        row("Word 97 document", xlsFixture(u"word_document.xls"_s), Refusal::NotWorkbook);
        row("billion laughs", workbookFixture(u"hostile/billion_laughs.xlsx"_s), Refusal::XmlDeclarations,
            u"contiene declaraciones XML (DTD) que un libro de cálculo no usa."_s);
        row("deep nesting", workbookFixture(u"hostile/deep_nesting.xlsx"_s), Refusal::XmlTooDeep,
            u"su XML anida más de 256 niveles, cosa que un libro de cálculo no hace."_s);
        row("17 MiB without markup", workbookFixture(u"hostile/long_piece.xlsx"_s), Refusal::XmlPieceTooLong,
            u"su XML tiene un texto o una etiqueta de más de 16 MB, cosa que un libro de cálculo no tiene."_s);
        row("zip bomb", workbookFixture(u"hostile/bomb_inflated.xlsx"_s), Refusal::InflatesTooLarge,
            u"descomprimido pasa de 256 MB por parte o de 512 MB en total, "
            "más de lo que el programa acepta en un libro."_s);
        row("17 million elements", workbookFixture(u"hostile/bomb_elements.xlsx"_s), Refusal::XmlTooManyElements,
            u"su XML tiene más de 16 millones de elementos, más de lo que el programa acepta en un libro."_s);
        row("1 048 576 rows of three", workbookFixture(u"hostile/rows_1048576x3.xlsx"_s), Refusal::TooManyCells,
            u"la hoja tiene más de 3 millones de celdas con contenido, más de las que el programa acepta."_s);
        row("repeat over the sheet", workbookFixture(u"hostile/repeat_all_cells.ods"_s), Refusal::TooManyCells);
        row("two billion spaces", workbookFixture(u"hostile/huge_space_run.ods"_s), Refusal::TooMuchText,
            u"los textos de la hoja pasan de 32 millones de caracteres, más de lo que el programa acepta."_s);
        // An .xls keeps the messages it always had.
        row("password-protected .xlsx", xlsFixture(u"encrypted_xlsx.xls"_s), Refusal::Encrypted);
        row("encrypted .xls", xlsFixture(u"encrypted.xls"_s), Refusal::Encrypted);
        row("damaged .xls", xlsFixture(u"truncated_13056.xls"_s), Refusal::Damaged);
    }

    void refusals()
    {
        QFETCH(QString, path);
        QFETCH(Refusal, refusal);
        QFETCH(QString, expected);
        QFETCH(bool, fullSize);
        if (fullSize && kSanitized)
            QSKIP("a full-size bound file, too slow in a sanitizer build");
        const workbook::LoadResult loaded = workbook::loadWorkbook(path);
        QVERIFY(!loaded.ok());
        QCOMPARE(loaded.refusal, refusal);
        QVERIFY2(loaded.message.contains(u'«' + path + u'»'), qPrintable(loaded.message));
        if (!expected.isEmpty())
            QCOMPARE(loaded.message, expected);

        WorkbookFileReader reader;
        const WorkbookOpenResult opened = reader.openWorkbook(path);
        QVERIFY(!opened.ok);
        QCOMPARE(opened.message, loaded.message);
    }

    void xlsKeepsItsMessages_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("empty");
        QTest::addColumn<QString>("expected");
        const QString missing = u"el archivo no existe o no se puede leer."_s;
        const QString empty = u"el archivo está vacío."_s;
        QTest::newRow("missing .xls") << u"no existe.xls"_s << false
                                      << u"No se puede leer el libro de Excel «%1»: "_s + missing;
        QTest::newRow("missing .XLS") << u"NO EXISTE.XLS"_s << false
                                      << u"No se puede leer el libro de Excel «%1»: "_s + missing;
        QTest::newRow("missing .xlsx") << u"no existe.xlsx"_s << false
                                       << u"No se puede leer el libro «%1»: "_s + missing;
        QTest::newRow("empty .xls") << u"vacío.xls"_s << true << u"No se puede leer el libro de Excel «%1»: "_s + empty;
        QTest::newRow("empty .csv") << u"vacío.csv"_s << true << u"No se puede leer el libro «%1»: "_s + empty;
        QTest::newRow("encrypted .xlsx")
            << u"cifrado.xlsx"_s << false
            << u"No se puede leer el libro de Excel «%1»: el libro está protegido con contraseña."_s;
    }

    void xlsKeepsItsMessages()
    {
        QFETCH(QString, name);
        QFETCH(bool, empty);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(name);
        if (empty) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else if (name.startsWith(u"cifrado")) {
            QVERIFY(QFile::copy(xlsFixture(u"encrypted_xlsx.xls"_s), path));
        }
        QCOMPARE(workbook::loadWorkbook(path).message, expected.arg(path));
    }

    void largeSheets()
    {
        if (kSanitized)
            QSKIP("full-size files, too slow in a sanitizer build");
        // Every row of the sheet, two columns: within the bounds.
        workbook::LoadResult rows = workbook::loadWorkbook(workbookFixture(u"hostile/rows_1048576x2.xlsx"_s));
        QVERIFY2(rows.ok(), qPrintable(rows.message));
        QCOMPARE(rows.sheet->cellCount(), std::size_t(2 * 1048576));
        QCOMPARE(rows.sheet->cellText(1048575, 1), u"foto"_s);
        QCOMPARE(rows.sheet->cellText(1048576, 1), QString());
        rows = {};

        // Five million shared strings; the sheet uses the last and the first.
        const workbook::LoadResult strings =
            workbook::loadWorkbook(workbookFixture(u"hostile/huge_shared_strings.xlsx"_s));
        QVERIFY2(strings.ok(), qPrintable(strings.message));
        compareCells(cellsOf(*strings.sheet), {{u"A1"_s, u"la ultima"_s}, {u"B1"_s, u"relleno"_s}});
    }

    void readerOpensAnewEachTime()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(u"libro.xlsx"_s);
        QVERIFY(QFile::copy(workbookFixture(u"lo_shop.xlsx"_s), path));
        WorkbookFileReader reader;
        QVERIFY(reader.openWorkbook(path).ok);
        QCOMPARE(reader.readCellText(u"b2"_s), u"camisa-azul"_s);
        reader.closeWorkbook();
        QCOMPARE(reader.readCellText(u"B2"_s), QString());

        // Another format saved under the same name between two runs.
        QVERIFY(QFile::remove(path));
        QVERIFY(QFile::copy(workbookFixture(u"handmade_text.ods"_s), path));
        QVERIFY(reader.openWorkbook(path).ok);
        QCOMPARE(reader.readCellText(u"A4"_s), u"fila"_s);
        QCOMPARE(reader.readCellText(u"B2"_s), u"0,25"_s);

        // A failed open leaves nothing of the previous workbook readable.
        QVERIFY(!reader.openWorkbook(workbookFixture(u"handmade.xlsb"_s)).ok);
        QCOMPARE(reader.readCellText(u"A4"_s), QString());
    }

    void damagedCopiesNeverCrash_data()
    {
        QTest::addColumn<QString>("file");
        for (const char* f : {"lo_shop.xlsx", "gnm_shop.ods", "handmade_text.ods", "handmade_strings.xlsx"})
            QTest::newRow(f) << QString::fromLatin1(f);
    }

    void damagedCopiesNeverCrash()
    {
        QFETCH(QString, file);
        const QByteArray original = bytesOf(workbookFixture(file));
        const auto check = [&](const QByteArray& bytes) {
            const workbook::LoadResult r = workbook::parseWorkbook(bytes, file);
            QCOMPARE(r.ok(), r.message.isEmpty());
            if (!r.ok())
                QVERIFY(r.message.contains(file));
            else
                (void)cellsOf(*r.sheet);  // runs the number and date conversions
        };
        for (qsizetype cut = 0; cut < original.size(); cut += 61) {
            check(original.first(cut));
            if (QTest::currentTestFailed())
                return;
        }
        QRandomGenerator random(0x5EED1300u + qChecksum(file.toLatin1()));
        for (int round = 0; round < 300; ++round) {
            QByteArray bytes = original;
            for (int i = 0, flips = 1 + random.bounded(6); i < flips; ++i)
                bytes[random.bounded(bytes.size())] = char(random.bounded(256));
            check(bytes);
            if (QTest::currentTestFailed())
                return;
        }
    }

    void markupScanner_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<int>("verdict");
        using V = workbook::MarkupScanner::Verdict;
        QTest::newRow("tags and text") << "<a b='>'>texto</a>"_ba << int(V::Ok);
        QTest::newRow("comment") << "<!-- <!DOCTYPE --><a/>"_ba << int(V::Ok);
        QTest::newRow("CDATA") << "<a><![CDATA[<!ENTITY x>]]></a>"_ba << int(V::Ok);
        QTest::newRow("instruction") << "<?xml version='1.0'?><a/>"_ba << int(V::Ok);
        QTest::newRow("DOCTYPE") << "<?xml version='1.0'?><!DOCTYPE a><a/>"_ba << int(V::Declaration);
        QTest::newRow("ENTITY") << "<a><!ENTITY x 'y'></a>"_ba << int(V::Declaration);
        QTest::newRow("half a comment opener") << "<!-x>"_ba << int(V::Declaration);
        QTest::newRow("UTF-16 DOCTYPE") << QByteArray("\xFF\xFE<\0!\0D\0", 8) << int(V::Declaration);
        QTest::newRow("UTF-16 BE comment") << QByteArray("\0<\0!\0-\0-\0x\0-\0-\0>", 16) << int(V::Ok);
        // With pieces of at most 32 bytes:
        QTest::newRow("text of 32 bytes") << "<a>" + QByteArray(29, 'x') << int(V::Ok);
        QTest::newRow("text of 33 bytes") << "<a>" + QByteArray(30, 'x') << int(V::TooLong);
        QTest::newRow("text split by tags") << ("<a>" + QByteArray(29, 'x')).repeated(4) << int(V::Ok);
        QTest::newRow("long comment") << "<!--" + QByteArray(29, '-') << int(V::TooLong);
        QTest::newRow("long tag") << "<a " + QByteArray(30, 'b') << int(V::TooLong);
        QTest::newRow("long UTF-16 text") << QByteArray("<\0a\0>\0", 6) + QByteArray(60, 'x') << int(V::TooLong);
    }

    void markupScanner()
    {
        QFETCH(QByteArray, xml);
        QFETCH(int, verdict);
        // Whole, and one byte at a time: a piece split anywhere is the same.
        workbook::MarkupScanner whole(32);
        QCOMPARE(int(whole.scan(xml)), verdict);
        workbook::MarkupScanner bytewise(32);
        auto last = workbook::MarkupScanner::Verdict::Ok;
        for (const char c : xml)
            last = bytewise.scan(QByteArrayView(&c, 1));
        QCOMPARE(int(last), verdict);
    }
};

QTEST_GUILESS_MAIN(TestWorkbookFile)
#include "tst_workbookfile.moc"
