#include "core/workbook/csv/csvreader.h"

#include <QLocale>
#include <QStringEncoder>
#include <QTest>

using namespace fotolista;

using namespace Qt::Literals::StringLiterals;

using CellList = QList<std::pair<QString, QString>>;

namespace {

QByteArray encoded(const QString& text, const char* encoding)
{
    QStringEncoder encoder(encoding);
    return encoder.encode(text);
}

CellList cellsOf(const workbook::Sheet& sheet)
{
    CellList cells;
    for (const auto& [at, text] : sheet.nonEmptyCellTexts())
        cells.append({formatCellAddress(at.row, at.column), text});
    return cells;
}

}  // namespace

/// Delimited text: encodings, the delimiter, quoting, line ends.
class TestCsvReader : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain)); }

    void reads_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<CellList>("cells");

        // Windows-1252 from a Spanish desktop: ';' with decimal commas.
        QTest::newRow("Windows-1252, ';'")
            << QByteArray("Origen;Destino;Precio\r\n12345;Ni\xF1o \x80;1,5\r\n")
            << CellList{{u"A1"_s, u"Origen"_s}, {u"B1"_s, u"Destino"_s}, {u"C1"_s, u"Precio"_s},
                        {u"A2"_s, u"12345"_s},  {u"B2"_s, u"Niño €"_s},  {u"C2"_s, u"1,5"_s}};
        QTest::newRow("UTF-8 with BOM, ','")
            << QByteArray("\xEF\xBB\xBF"
                          "a,b\nÑandú,\"x, y\"\n")
            << CellList{{u"A1"_s, u"a"_s}, {u"B1"_s, u"b"_s}, {u"A2"_s, u"Ñandú"_s}, {u"B2"_s, u"x, y"_s}};
        QTest::newRow("UTF-8 without BOM") << "漢字;😀\n"_ba << CellList{{u"A1"_s, u"漢字"_s}, {u"B1"_s, u"😀"_s}};
        QTest::newRow("UTF-16 LE with BOM, tab")
            << QByteArray("\xFF\xFE") + encoded(u"uno\tdos\r\ntrés\tcuatro\r\n"_s, "UTF-16LE")
            << CellList{{u"A1"_s, u"uno"_s}, {u"B1"_s, u"dos"_s}, {u"A2"_s, u"trés"_s}, {u"B2"_s, u"cuatro"_s}};
        QTest::newRow("UTF-16 BE with BOM") << QByteArray("\xFE\xFF") + encoded(u"a;b\n"_s, "UTF-16BE")
                                            << CellList{{u"A1"_s, u"a"_s}, {u"B1"_s, u"b"_s}};
        QTest::newRow("quotes") << "\"a;b\";\"dice \"\"hola\"\"\";\"dos\r\nlíneas\";\"ab\"c;x\"y\n"_ba
                                << CellList{{u"A1"_s, u"a;b"_s},
                                            {u"B1"_s, u"dice \"hola\""_s},
                                            {u"C1"_s, u"dos\r\nlíneas"_s},
                                            {u"D1"_s, u"abc"_s},
                                            {u"E1"_s, u"x\"y"_s}};
        QTest::newRow("never trimmed, empty fields skipped")
            << "  a  ;;c;\n;\n\n x\n"_ba << CellList{{u"A1"_s, u"  a  "_s}, {u"C1"_s, u"c"_s}, {u"A4"_s, u" x"_s}};
        QTest::newRow("CR alone ends a record, last line without one")
            << "a;b\rc;d"_ba << CellList{{u"A1"_s, u"a"_s}, {u"B1"_s, u"b"_s}, {u"A2"_s, u"c"_s}, {u"B2"_s, u"d"_s}};
        QTest::newRow("a quote left open takes the rest")
            << "a;\"b;c\nd"_ba << CellList{{u"A1"_s, u"a"_s}, {u"B1"_s, u"b;c\nd"_s}};
        QTest::newRow("numbers stay as written")
            << "0012;1.50;1E3;-0\n"_ba
            << CellList{{u"A1"_s, u"0012"_s}, {u"B1"_s, u"1.50"_s}, {u"C1"_s, u"1E3"_s}, {u"D1"_s, u"-0"_s}};
        QTest::newRow("one column") << "12345\ncamisa\n"_ba << CellList{{u"A1"_s, u"12345"_s}, {u"A2"_s, u"camisa"_s}};
    }

    void reads()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(CellList, cells);
        workbook::Sheet sheet;
        const std::optional<workbook::Refusal> refusal = csv::read(bytes, sheet);
        QVERIFY(!refusal);
        QCOMPARE(cellsOf(sheet), cells);
    }

    void delimiter_data()
    {
        QTest::addColumn<QString>("sample");
        QTest::addColumn<QChar>("delimiter");
        QTest::newRow("';' beats decimal commas") << u"1,5;2,5\n3,5;4,5\n"_s << QChar(u';');
        QTest::newRow("tie: ';' first") << u"a;b,c\nd;e,f\n"_s << QChar(u';');
        QTest::newRow("tie: ';' even with fewer fields") << u"a,b,c;d\ne,f,g;h\n"_s << QChar(u';');
        QTest::newRow("tie: tab before ','") << u"a\tb,c\nd\te,f\n"_s << QChar(u'\t');
        QTest::newRow("consistent ','") << u"a,b,c\nd,e;x,f\ng,h,i\n"_s << QChar(u',');
        QTest::newRow("tab") << u"a\tb c\nd\te\n"_s << QChar(u'\t');
        QTest::newRow("quoted delimiters do not count") << u"\"a;b\",c\n\"d;e\",f\n"_s << QChar(u',');
        QTest::newRow("none") << u"solo\ntexto\n"_s << QChar(u';');
    }

    void delimiter()
    {
        QFETCH(QString, sample);
        QFETCH(QChar, delimiter);
        QCOMPARE(csv::sniffDelimiter(sample, true), delimiter);
    }

    void encodings_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("encoding");
        QTest::addColumn<int>("mark");
        QTest::newRow("ASCII") << "abc"_ba << int(csv::Encoding::Utf8) << 0;
        QTest::newRow("UTF-8") << "ñ"_ba << int(csv::Encoding::Utf8) << 0;
        QTest::newRow("UTF-8 BOM") << "\xEF\xBB\xBFx"_ba << int(csv::Encoding::Utf8) << 3;
        QTest::newRow("Latin letter in 1252") << "Ni\xF1o"_ba << int(csv::Encoding::Windows1252) << 0;
        QTest::newRow("UTF-8 cut short") << "a\xC3"_ba << int(csv::Encoding::Windows1252) << 0;
        QTest::newRow("overlong UTF-8") << "\xC0\xAF"_ba << int(csv::Encoding::Windows1252) << 0;
        QTest::newRow("encoded surrogate") << "\xED\xA0\x80"_ba << int(csv::Encoding::Windows1252) << 0;
        QTest::newRow("UTF-16 LE") << "\xFF\xFE"
                                      "a\0"_ba
                                   << int(csv::Encoding::Utf16LittleEndian) << 2;
        QTest::newRow("UTF-16 BE") << "\xFE\xFF\0a"_ba << int(csv::Encoding::Utf16BigEndian) << 2;
    }

    void encodings()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, encoding);
        QFETCH(int, mark);
        qsizetype markLength = -1;
        QCOMPARE(int(csv::detectEncoding(bytes, markLength)), encoding);
        QCOMPARE(markLength, qsizetype(mark));
    }

    void refusals_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<workbook::Refusal>("refusal");
        QTest::newRow("binary") << "a;b\n\0\x01\x02"_ba << workbook::Refusal::NotWorkbook;
        QTest::newRow("NUL after the sample")
            << QByteArray(100000, 'a') + QByteArray(1, '\0') << workbook::Refusal::NotWorkbook;
        QTest::newRow("web page") << "  <!DOCTYPE html><html></html>"_ba << workbook::Refusal::NotWorkbook;
        QTest::newRow("XML") << "\xEF\xBB\xBF<?xml version=\"1.0\"?><a/>"_ba << workbook::Refusal::NotWorkbook;
        QTest::newRow("past 64 MB") << QByteArray((64 << 20) + 1, 'a') << workbook::Refusal::TextTooLarge;
    }

    void refusals()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(workbook::Refusal, refusal);
        workbook::Sheet sheet;
        QCOMPARE(csv::read(bytes, sheet), std::optional(refusal));
    }

    void bounds()
    {
        // 3 000 001 one-character fields; a field of 32 000 001 characters.
        workbook::Sheet sheet;
        QByteArray many;
        many.reserve(6'000'002);
        for (int i = 0; i < 3'000'001; ++i)
            many.append("a\n", 2);
        QCOMPARE(csv::read(many, sheet), std::optional(workbook::Refusal::TooManyCells));
        QCOMPARE(csv::read(QByteArray(32'000'001, 'a'), sheet), std::optional(workbook::Refusal::TooMuchText));
    }

    void largeFileReadPieceByPiece()
    {
        // Multi-byte characters and CR LF pairs cross the 1 MiB pieces.
        QByteArray bytes;
        for (int i = 0; i < 200000; ++i)
            bytes += "ñandú " + QByteArray::number(i) + ";€\r\n";
        workbook::Sheet sheet;
        QVERIFY(!csv::read(bytes, sheet));
        QCOMPARE(sheet.cellCount(), std::size_t(400000));
        QCOMPARE(sheet.cellText(199999, 0), u"ñandú 199999"_s);
        QCOMPARE(sheet.cellText(123456, 1), u"€"_s);
    }
};

QTEST_GUILESS_MAIN(TestCsvReader)
#include "tst_csvreader.moc"
