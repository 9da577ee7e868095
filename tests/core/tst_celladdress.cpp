#include "core/workbook/celladdress.h"

#include <QTest>

#include <limits>

using namespace fotolista;

class TestCellAddress : public QObject {
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<quint32>("row");
        QTest::addColumn<quint32>("column");

        const auto ok = [](const char* name, const char* address, quint32 row, quint32 column) {
            QTest::newRow(name) << QString::fromLatin1(address) << true << row << column;
        };
        const auto bad = [](const char* name, const QString& address) {
            QTest::newRow(name) << address << false << 0u << 0u;
        };
        ok("A1", "A1", 0, 0);
        ok("default origin F6", "F6", 5, 5);
        ok("lower case", "f6", 5, 5);
        ok("mixed case", "aB12", 11, 27);
        ok("Z", "Z1", 0, 25);
        ok("AA", "AA10", 9, 26);
        ok("AZ", "AZ1", 0, 51);
        ok("BA", "BA1", 0, 52);
        ok("IV, last BIFF column", "IV1", 0, 255);
        ok("XFD", "XFD1", 0, 16383);
        ok("last BIFF row", "A65536", 65535, 0);
        ok("past BIFF rows", "A65537", 65536, 0);
        ok("past Excel 2007 rows", "F1048577", 1048576, 5);
        ok("leading zeros", "A007", 6, 0);
        ok("largest 32-bit row", "A4294967296", std::numeric_limits<quint32>::max(), 0);
        ok("row clamps", "A99999999999999999999", std::numeric_limits<quint32>::max(), 0);
        ok("column clamps", "ZZZZZZZZZZZZ1", 0, std::numeric_limits<quint32>::max());

        bad("empty", QString());
        bad("letters only", QStringLiteral("F"));
        bad("digits only", QStringLiteral("6"));
        bad("row zero", QStringLiteral("A0"));
        bad("row 00", QStringLiteral("A00"));
        bad("digits first", QStringLiteral("6F"));
        bad("letter after digits", QStringLiteral("F6A"));
        bad("absolute", QStringLiteral("$F$6"));
        bad("leading blank", QStringLiteral(" F6"));
        bad("trailing blank", QStringLiteral("F6 "));
        bad("inner blank", QStringLiteral("F 6"));
        bad("sign", QStringLiteral("F-6"));
        bad("plus", QStringLiteral("F+6"));
        bad("decimal", QStringLiteral("F6.0"));
        bad("range", QStringLiteral("A1:B2"));
        bad("non-ASCII letter", QStringLiteral("Ñ6"));
        bad("accented letter", QStringLiteral("É6"));
        bad("full-width digit", QStringLiteral("F\uFF16"));
        bad("Arabic-Indic digit", QStringLiteral("F\u0666"));
        bad("R1C1 notation", QStringLiteral("R1C1"));
    }

    void parse()
    {
        QFETCH(QString, address);
        QFETCH(bool, valid);
        QFETCH(quint32, row);
        QFETCH(quint32, column);

        const std::optional<CellPosition> parsed = parseCellAddress(address);
        QCOMPARE(parsed.has_value(), valid);
        if (valid) {
            QCOMPARE(parsed->row, row);
            QCOMPARE(parsed->column, column);
        }
    }

    void format_data()
    {
        QTest::addColumn<quint32>("row");
        QTest::addColumn<quint32>("column");
        QTest::addColumn<QString>("expected");

        QTest::newRow("A1") << 0u << 0u << QStringLiteral("A1");
        QTest::newRow("F6") << 5u << 5u << QStringLiteral("F6");
        QTest::newRow("Z") << 0u << 25u << QStringLiteral("Z1");
        QTest::newRow("AA") << 9u << 26u << QStringLiteral("AA10");
        QTest::newRow("AZ") << 0u << 51u << QStringLiteral("AZ1");
        QTest::newRow("ZZ") << 0u << 701u << QStringLiteral("ZZ1");
        QTest::newRow("AAA") << 0u << 702u << QStringLiteral("AAA1");
        QTest::newRow("IV") << 65535u << 255u << QStringLiteral("IV65536");
        QTest::newRow("XFD") << 1048575u << 16383u << QStringLiteral("XFD1048576");
        QTest::newRow("largest") << std::numeric_limits<quint32>::max() << 0u << QStringLiteral("A4294967296");
    }

    void format()
    {
        QFETCH(quint32, row);
        QFETCH(quint32, column);
        QFETCH(QString, expected);
        QCOMPARE(formatCellAddress(row, column), expected);
    }

    void everyColumnRoundTrips()
    {
        // Letters are bijective base 26: each column has exactly one name.
        for (quint32 column = 0; column < 20000; ++column) {
            const QString text = formatCellAddress(41, column);
            const std::optional<CellPosition> back = parseCellAddress(text.toLower());
            QVERIFY2(back.has_value(), qPrintable(text));
            QCOMPARE(back->column, column);
            QCOMPARE(back->row, 41u);
        }
    }
};

QTEST_GUILESS_MAIN(TestCellAddress)
#include "tst_celladdress.moc"
