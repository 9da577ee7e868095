#include "core/workbook/ods/odsreader.h"

#include "support/workbookfixtures.h"

#include <QFile>
#include <QLocale>
#include <QTest>

#include <cmath>
#include <limits>

using namespace fotolista;

using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(workbook::Refusal)

namespace {

std::optional<workbook::Refusal> readFixture(const QString& name, workbook::Sheet& sheet)
{
    QFile in(workbookFixture(name));
    if (!in.open(QIODevice::ReadOnly))
        qFatal("missing %s", qPrintable(name));
    const QByteArray bytes = in.readAll();
    workbook::ZipPackage package(bytes);
    return ods::read(package, sheet);
}

}  // namespace

/// OpenDocument tables written piece by piece (make_handmade.py).
class TestOdsReader : public QObject {
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain)); }

    void handmade_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("table");
        QTest::addColumn<CellList>("cells");

        QTest::newRow("values and texts") << u"handmade_text.ods"_s << u"Datos"_s
                                          << CellList{
                                                 {u"A1"_s, u"Uno dos   tres\ttab\nsalto\n  segundo párrafo  "_s},
                                                 {u"B1"_s, u"con span y enlace"_s},  // not the comment
                                                 {u"C1"_s, u"atributo"_s},  // office:string-value over the shown text
                                                 {u"D1"_s, u"sin tipo"_s},
                                                 {u"F1"_s, u"#DIV/0!"_s},  // an error as shown
                                                 {u"A2"_s, u"12345"_s},
                                                 {u"B2"_s, u"0,25"_s},
                                                 {u"C2"_s, u"3,5"_s},
                                                 {u"D2"_s, u"23/2/05 17:47:13"_s},
                                                 {u"E2"_s, u"1/1/00"_s},  // 1800-01-01 in the locale's two-digit year
                                                 {u"F2"_s, u"17:47:13"_s},
                                                 {u"G2"_s, u"31/12/99 12:00:00"_s},  // PT36H: a day and a half
                                                 {u"H2"_s, u"Verdadero"_s},
                                                 {u"I2"_s, u"Falso"_s},
                                                 {u"J2"_s, u"texto mostrado"_s},  // a float without a number
                                                 {u"A3"_s, u"rep"_s},
                                                 {u"B3"_s, u"rep"_s},
                                                 {u"C3"_s, u"rep"_s},
                                                 {u"F3"_s, u"F"_s},
                                                 {u"A4"_s, u"fila"_s},
                                                 {u"B4"_s, u"cubierta"_s},
                                                 {u"A5"_s, u"fila"_s},
                                                 {u"B5"_s, u"cubierta"_s},
                                                 {u"A1048575"_s, u"final"_s},
                                             };
        QTest::newRow("active table unknown: the first")
            << u"handmade_unknown_active.ods"_s << u"Portada"_s << CellList{{u"A1"_s, u"portada"_s}};
    }

    void handmade()
    {
        QFETCH(QString, file);
        QFETCH(QString, table);
        QFETCH(CellList, cells);
        workbook::Sheet sheet;
        QVERIFY(!readFixture(file, sheet));
        QCOMPARE(sheet.name(), table);
        compareCells(cellsOf(sheet), cells);
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<workbook::Refusal>("refusal");
        QTest::newRow("password") << u"handmade_encrypted.ods"_s << workbook::Refusal::Encrypted;
        QTest::newRow("every cell claimed") << u"hostile/repeat_all_cells.ods"_s << workbook::Refusal::TooManyCells;
        QTest::newRow("two billion spaces") << u"hostile/huge_space_run.ods"_s << workbook::Refusal::TooMuchText;
    }

    void refusals()
    {
        QFETCH(QString, file);
        QFETCH(workbook::Refusal, refusal);
        workbook::Sheet sheet;
        QCOMPARE(readFixture(file, sheet), std::optional(refusal));
    }

    void durations_data()
    {
        QTest::addColumn<QString>("duration");
        QTest::addColumn<double>("days");  // NaN: no duration
        const double none = std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("time of day") << u"PT17H47M13S"_s << (17 * 3600 + 47 * 60 + 13) / 86400.0;
        QTest::newRow("days") << u"P1DT12H"_s << 1.5;
        QTest::newRow("weeks") << u"P1W"_s << 7.0;
        QTest::newRow("negative") << u"-PT6H"_s << -0.25;
        QTest::newRow("fraction of a second") << u"PT0.5S"_s << 0.5 / 86400;
        QTest::newRow("decimal comma") << u"PT1,5H"_s << 1.5 / 24;
        QTest::newRow("minutes after T") << u"PT1M"_s << 1.0 / 1440;
        QTest::newRow("months before T") << u"P1M"_s << none;
        QTest::newRow("years") << u"P1Y"_s << none;
        QTest::newRow("nothing") << u"PT"_s << none;
        QTest::newRow("no designator") << u"PT5"_s << none;
        QTest::newRow("no number") << u"PTH"_s << none;
        QTest::newRow("two Ts") << u"PT1HT2M"_s << none;
        QTest::newRow("clock time") << u"17:47:13"_s << none;
    }

    void durations()
    {
        QFETCH(QString, duration);
        QFETCH(double, days);
        const std::optional<double> got = ods::daysFromDuration(duration);
        if (std::isnan(days)) {
            QVERIFY(!got);
        } else {
            QVERIFY(got);
            QCOMPARE(*got, days);
        }
    }
};

QTEST_GUILESS_MAIN(TestOdsReader)
#include "tst_odsreader.moc"
