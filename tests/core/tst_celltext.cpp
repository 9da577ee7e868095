#include "core/workbook/celltext.h"
#include "core/workbook/numberformat.h"

#include <QLocale>
#include <QTest>

#include <limits>

using Kind = NumberFormatKind;

Q_DECLARE_METATYPE(NumberFormatKind)

namespace {
const QLocale kSpanish(QLocale::Spanish, QLocale::Spain);
}

/// How a workbook's numbers, dates and format codes turn into the texts a
/// run reads, whatever the file format.
class TestCellText : public QObject {
    Q_OBJECT

private slots:
    void plainNumberText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("spanish");
        QTest::addColumn<QString>("c");

        const auto row = [](const char* name, double value, const char* spanish, const char* c) {
            QTest::newRow(name) << value << QString::fromLatin1(spanish) << QString::fromLatin1(c);
        };
        row("zero", 0.0, "0", "0");
        row("negative zero", -0.0, "0", "0");
        row("integer", 12345.0, "12345", "12345");
        row("negative integer", -7.0, "-7", "-7");
        row("11 digits", 12345678901.0, "12345678901", "12345678901");
        row("15 digits", 999999999999999.0, "999999999999999", "999999999999999");
        row("1E+15", 1e15, "1E+15", "1E+15");
        row("17 digits", 12345678901234567.0, "1,23456789012346E+16", "1.23456789012346E+16");
        row("three-digit exponent", 1e100, "1E+100", "1E+100");
        row("fraction", 1.29, "1,29", "1.29");
        row("negative fraction", -0.5, "-0,5", "-0.5");
        row("binary noise", 0.1 + 0.2, "0,3", "0.3");
        row("third", 1.0 / 3.0, "0,333333333333333", "0.333333333333333");
        row("rounded to 15 digits", 123456789.123456789, "123456789,123457", "123456789.123457");
        row("0.0001", 0.0001, "0,0001", "0.0001");
        row("1E-05", 0.00001, "1E-05", "1E-05");
        row("tiny", 1.5e-10, "1,5E-10", "1.5E-10");
        row("not a number", std::numeric_limits<double>::quiet_NaN(), "#NUM!", "#NUM!");
        row("infinite", std::numeric_limits<double>::infinity(), "#NUM!", "#NUM!");
    }

    void plainNumberText()
    {
        QFETCH(double, value);
        QFETCH(QString, spanish);
        QFETCH(QString, c);
        QCOMPARE(::plainNumberText(value, kSpanish), spanish);
        QCOMPARE(::plainNumberText(value, QLocale::c()), c);
    }

    void dateTimeText_data()
    {
        QTest::addColumn<double>("serial");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<bool>("dates1904");
        QTest::addColumn<QString>("expected");

        const auto row = [](const char* name, double serial, Kind kind, bool dates1904, const char* expected) {
            QTest::newRow(name) << serial << kind << dates1904 << QString::fromUtf8(expected);
        };
        row("serial 1 is 1900-01-01", 1, Kind::Date, false, "1/1/00");
        row("serial 59 is 1900-02-28", 59, Kind::Date, false, "28/2/00");
        row("serial 60 is no date", 60, Kind::Date, false, "60");
        row("serial 61 is 1900-03-01", 61, Kind::Date, false, "1/3/00");
        row("2005-02-23", 38406, Kind::Date, false, "23/2/05");
        row("noon", 38406.5, Kind::Date, false, "23/2/05 12:00:00");
        row("rounded to the second", 38406.999999999, Kind::Date, false, "24/2/05");
        row("time format on a date", 38406.25, Kind::Time, false, "23/2/05 6:00:00");
        row("time of day", 0.741122685185185, Kind::Time, false, "17:47:13");
        row("midnight as a time", 0, Kind::Time, false, "0:00:00");
        row("1900 day zero has no date", 0.5, Kind::Date, false, "12:00:00");
        row("1904 day zero is a date", 0, Kind::Date, true, "1/1/04");
        row("1904 day zero with a time", 0.5, Kind::Date, true, "1/1/04 12:00:00");
        row("1904 time of day", 0.5, Kind::Time, true, "12:00:00");
        row("1904 2005-02-23", 36944, Kind::Date, true, "23/2/05");
        row("last day", 2958465, Kind::Date, false, "31/12/99");
        row("past 9999", 2958466, Kind::Date, false, "2958466");
        row("negative", -1, Kind::Date, false, "-1");
        row("number format", 38406.5, Kind::Number, false, "38406,5");
    }

    void dateTimeText()
    {
        QFETCH(double, serial);
        QFETCH(Kind, kind);
        QFETCH(bool, dates1904);
        QFETCH(QString, expected);
        QCOMPARE(::dateTimeText(serial, kind, dates1904, kSpanish), expected);
    }

    void formatCodes_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<Kind>("kind");

        const auto row = [](const char* code, Kind kind) { QTest::newRow(code) << QString::fromUtf8(code) << kind; };
        row("General", Kind::Number);
        row("0.00", Kind::Number);
        row("0.00E+00", Kind::Number);
        row("@", Kind::Number);
        row("[Red]0.00", Kind::Number);
        row("0.0 \"días\"", Kind::Number);
        row("\"dd\" 0", Kind::Number);
        row("0\\h", Kind::Number);
        row("#,##0 \"mes\"", Kind::Number);
        row("#,##0.00 [$€-407]", Kind::Number);
        row("_-* #,##0.00 \"€\"_-;\\-* #,##0.00 \"€\"_-;_-* \"-\"?? \"€\"_-;_-@_-", Kind::Number);
        row("d/m/yyyy", Kind::Date);
        row("mmm-yy", Kind::Date);
        row("mm", Kind::Date);
        row("m/d/yy h:mm", Kind::Date);
        row("yyyy-mm-dd hh:mm", Kind::Date);
        row("[$-F800]dddd, mmmm dd, yyyy", Kind::Date);
        row("[DBNum1][$-411]ggge\"年\"m\"月\"d\"日\"", Kind::Date);
        row("[Red]d/m/yyyy", Kind::Date);
        row("h:mm", Kind::Time);
        row("h:mm:ss AM/PM", Kind::Time);
        row("mm:ss", Kind::Time);
        row("ss", Kind::Time);
        row("[h]:mm:ss", Kind::Time);
        row("[mm]:ss", Kind::Time);
    }

    void formatCodes()
    {
        QFETCH(QString, code);
        QFETCH(Kind, kind);
        QCOMPARE(::classifyFormatCode(code), kind);
    }
};

QTEST_GUILESS_MAIN(TestCellText)
#include "tst_celltext.moc"
