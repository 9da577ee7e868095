#include "core/workbook/open/openworkbook.h"
#include "core/workbook/xlsx/xlsxreader.h"

#include "support/workbookfixtures.h"

#include <QFile>
#include <QLocale>
#include <QTest>

using namespace fotolista;

using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(workbook::Refusal)

/// Office Open XML packages written piece by piece (make_handmade.py), for
/// what the spreadsheet programs at hand do not write.
class TestXlsxReader : public QObject {
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain)); }

    void handmade_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<CellList>("cells");

        QTest::newRow("strings and values") << u"handmade_strings.xlsx"_s << u"Textos"_s
                                            << CellList{
                                                   {u"A1"_s, u"cero"_s},
                                                   {u"B1"_s, u"a\r\nb\tc"_s},
                                                   {u"C1"_s, u"_x0041_|é|É|😀|_x12G4_|_x41_|_X0041_"_s},
                                                   {u"D1"_s, u"Rojo y azul"_s},  // the phonetic run is left out
                                                   {u"E1"_s, u"  con espacios  "_s},
                                                   {u"A2"_s, u"en línea"_s},
                                                   {u"B2"_s, u"rico!"_s},
                                                   {u"C2"_s, u"ab\nc"_s},
                                                   {u"D2"_s, u"#REF!"_s},
                                                   {u"E2"_s, u"Verdadero"_s},
                                                   {u"F2"_s, u"Falso"_s},
                                                   {u"G2"_s, u"23/2/05 17:47:13"_s},  // t="d"
                                                   {u"J2"_s, u"42"_s},
                                                   {u"A3"_s, u"7"_s},
                                                   {u"B3"_s, u"8"_s},
                                                   {u"E3"_s, u"9"_s},
                                                   {u"F3"_s, u"10"_s},
                                                   {u"A5"_s, u"23/2/05 12:00:00"_s},  // custom date code
                                                   {u"B5"_s, u"12:00:00"_s},  // built-in 20, h:mm
                                                   {u"C5"_s, u"38406"_s},  // custom code with "día" quoted
                                                   {u"D5"_s, u"23/2/05"_s},  // built-in 14
                                                   {u"E5"_s, u"38406"_s},  // a style past the list
                                                   {u"A7"_s, u"  con espacios  "_s},  // the later of two cells at A7
                                                   // t="d": a time alone reads as a time, whatever its format;
                                                   // what is no date here keeps its text.
                                                   {u"A9"_s, u"10:10:10"_s},
                                                   {u"B9"_s, u"6:05:01"_s},
                                                   {u"C9"_s, u"23:59:00"_s},
                                                   {u"D9"_s, u"1/5/24 10:10:10"_s},
                                                   {u"E9"_s, u"1899-12-30T10:10:10"_s},
                                                   {u"F9"_s, u"24:00:00"_s},
                                                   {u"G9"_s, u"pronto!"_s},
                                               };
        QTest::newRow("active chart, hidden first sheet")
            << u"handmade_views.xlsx"_s << u"Primera visible"_s << CellList{{u"A1"_s, u"visible"_s}};
        QTest::newRow("strict namespaces, 1904")
            << u"handmade_strict.xlsx"_s << u"Dos"_s
            << CellList{{u"A1"_s, u"23/2/05"_s}, {u"C1"_s, u"estricto"_s}, {u"D1"_s, u"10:10:10"_s}};
    }

    void handmade()
    {
        QFETCH(QString, file);
        QFETCH(QString, sheet);
        QFETCH(CellList, cells);
        QFile in(workbookFixture(file));
        QVERIFY(in.open(QIODevice::ReadOnly));
        const QByteArray bytes = in.readAll();
        workbook::ZipPackage package(bytes);
        QVERIFY(package.isOpen());
        workbook::Sheet read;
        const std::optional<workbook::Refusal> refusal = xlsx::read(package, read);
        QVERIFY2(!refusal, qPrintable(workbook::refusalMessage(file, refusal.value_or(workbook::Refusal::Damaged))));
        QCOMPARE(read.name(), sheet);
        compareCells(cellsOf(read), cells);
        // The listing is complete: every other cell (the formula without a
        // result, the missing shared string) reads as empty.
    }

    void notWorkbooks_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<workbook::Refusal>("refusal");
        QTest::newRow("xlsb") << u"handmade.xlsb"_s << workbook::Refusal::BinaryWorkbook;
        QTest::newRow("Word document") << u"handmade.docx"_s << workbook::Refusal::NotWorkbook;
    }

    void notWorkbooks()
    {
        QFETCH(QString, file);
        QFETCH(workbook::Refusal, refusal);
        QFile in(workbookFixture(file));
        QVERIFY(in.open(QIODevice::ReadOnly));
        const QByteArray bytes = in.readAll();
        workbook::ZipPackage package(bytes);
        workbook::Sheet sheet;
        QCOMPARE(xlsx::read(package, sheet), std::optional(refusal));
    }

    void escapes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("decoded");
        QTest::newRow("none") << u"sin escapes"_s << u"sin escapes"_s;
        QTest::newRow("control characters") << u"a_x000D__x000A_b"_s << u"a\r\nb"_s;
        QTest::newRow("escaped underscore keeps the rest") << u"_x005F_x0041_"_s << u"_x0041_"_s;
        QTest::newRow("hexadecimal in either case") << u"_x00e9__x00C9_"_s << u"éÉ"_s;
        QTest::newRow("upper-case X is text") << u"_X0041_"_s << u"_X0041_"_s;
        QTest::newRow("surrogate pair") << u"_xD83D__xDE00_"_s << u"😀"_s;
        QTest::newRow("not hexadecimal") << u"_x12G4_"_s << u"_x12G4_"_s;
        QTest::newRow("too short") << u"_x41_"_s << u"_x41_"_s;
        QTest::newRow("unterminated") << u"_x0041"_s << u"_x0041"_s;
        QTest::newRow("at the end") << u"ab_x0041_"_s << u"abA"_s;
        QTest::newRow("overlapping candidates") << u"__x0041__"_s << u"_A_"_s;
    }

    void escapes()
    {
        QFETCH(QString, text);
        QFETCH(QString, decoded);
        QCOMPARE(xlsx::decodeEscapes(text), decoded);
    }

    void partNames_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("part");
        QTest::newRow("relative") << u"xl/workbook.xml"_s << u"worksheets/sheet1.xml"_s
                                  << u"xl/worksheets/sheet1.xml"_s;
        QTest::newRow("absolute") << u"xl/workbook.xml"_s << u"/xl/styles.xml"_s << u"xl/styles.xml"_s;
        QTest::newRow("package root") << u"/"_s << u"xl/workbook.xml"_s << u"xl/workbook.xml"_s;
        QTest::newRow("dots") << u"xl/workbook.xml"_s << u"./a/../b/c.xml"_s << u"xl/b/c.xml"_s;
        QTest::newRow("above the root stays at it") << u"xl/workbook.xml"_s << u"../../../x.xml"_s << u"x.xml"_s;
        QTest::newRow("percent-encoded") << u"xl/workbook.xml"_s << u"hoja%201.xml"_s << u"xl/hoja 1.xml"_s;
    }

    void partNames()
    {
        QFETCH(QString, source);
        QFETCH(QString, target);
        QFETCH(QString, part);
        QCOMPARE(xlsx::resolvePartName(source, target), part);
    }
};

QTEST_GUILESS_MAIN(TestXlsxReader)
#include "tst_xlsxreader.moc"
