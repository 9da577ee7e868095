#include "core/workbook/celltext.h"
#include "core/workbook/numberformat.h"

#include <QLocale>
#include <QTest>

#include <cmath>
#include <limits>
#include <optional>

using namespace fotolista;

using Kind = NumberFormatKind;
using System = DateSystem;

Q_DECLARE_METATYPE(NumberFormatKind)
Q_DECLARE_METATYPE(DateSystem)

namespace {
const QLocale kSpanish(QLocale::Spanish, QLocale::Spain);
constexpr System k1900 = System::Excel1900;
constexpr System k1904 = System::Excel1904;
constexpr System kCalendar = System::Calendar1899;
}  // namespace

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
        QTest::addColumn<System>("system");
        QTest::addColumn<QString>("expected");

        const auto row = [](const char* name, double serial, Kind kind, System system, const char* expected) {
            QTest::newRow(name) << serial << kind << system << QString::fromUtf8(expected);
        };
        row("serial 1 is 1900-01-01", 1, Kind::Date, k1900, "1/1/00");
        row("serial 59 is 1900-02-28", 59, Kind::Date, k1900, "28/2/00");
        row("serial 60 is no date", 60, Kind::Date, k1900, "60");
        row("serial 61 is 1900-03-01", 61, Kind::Date, k1900, "1/3/00");
        row("2005-02-23", 38406, Kind::Date, k1900, "23/2/05");
        row("noon", 38406.5, Kind::Date, k1900, "23/2/05 12:00:00");
        row("rounded to the second", 38406.999999999, Kind::Date, k1900, "24/2/05");
        row("time format on a date", 38406.25, Kind::Time, k1900, "23/2/05 6:00:00");
        row("time of day", 0.741122685185185, Kind::Time, k1900, "17:47:13");
        row("midnight as a time", 0, Kind::Time, k1900, "0:00:00");
        row("1900 day zero has no date", 0.5, Kind::Date, k1900, "12:00:00");
        row("1904 day zero is a date", 0, Kind::Date, k1904, "1/1/04");
        row("1904 day zero with a time", 0.5, Kind::Date, k1904, "1/1/04 12:00:00");
        row("1904 time of day", 0.5, Kind::Time, k1904, "12:00:00");
        row("1904 2005-02-23", 36944, Kind::Date, k1904, "23/2/05");
        row("last day", 2958465, Kind::Date, k1900, "31/12/99");
        row("past 9999", 2958466, Kind::Date, k1900, "2958466");
        row("negative", -1, Kind::Date, k1900, "-1");
        row("number format", 38406.5, Kind::Number, k1900, "38406,5");
        // OpenDocument counts real days both ways from 1899-12-30.
        row("calendar day zero is a date", 0, Kind::Date, kCalendar, "30/12/99");
        row("calendar 2016-10-20", 42663, Kind::Date, kCalendar, "20/10/16");
        row("calendar 1900-02-28", 60, Kind::Date, kCalendar, "28/2/00");
        row("calendar before day zero", -36522, Kind::Date, kCalendar, "1/1/00");
        row("calendar time before day zero", -0.25, Kind::Date, kCalendar, "29/12/99 18:00:00");
        row("calendar time of day", 0.741122685185185, Kind::Time, kCalendar, "17:47:13");
        row("calendar duration past a day", 1.5, Kind::Time, kCalendar, "31/12/99 12:00:00");
        row("calendar year 1", -693593, Kind::Date, kCalendar, "1/1/01");
        row("calendar before year 1", -693594, Kind::Date, kCalendar, "-693594");
    }

    void dateTimeText()
    {
        QFETCH(double, serial);
        QFETCH(Kind, kind);
        QFETCH(System, system);
        QFETCH(QString, expected);
        QCOMPARE(::dateTimeText(serial, kind, system, kSpanish), expected);
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
    void isoDates_data()
    {
        QTest::addColumn<QString>("iso");
        QTest::addColumn<System>("system");
        QTest::addColumn<double>("serial");  // NaN: no such date in the system

        // Serials of the two Excel systems as openpyxl's to_excel() gives them.
        const double none = std::numeric_limits<double>::quiet_NaN();
        const auto row = [](const char* iso, System system, double serial) {
            QTest::newRow(qPrintable(QString::fromLatin1(iso) + QStringLiteral(" ") + QString::number(int(system))))
                << QString::fromLatin1(iso) << system << serial;
        };
        row("2005-02-23", k1900, 38406.0);
        row("2005-02-23T17:47:13", k1900, 38406.741122685184);
        row("2005-02-23T17:47:13.5", k1900, 38406.741128472226);
        row("2005-02-23T17:47:13Z", k1900, 38406.741122685184);
        row("2005-02-23T17:47:13+01:00", k1900, 38406.741122685184);
        row("1900-01-01", k1900, 1.0);
        row("1900-02-28", k1900, 59.0);
        row("1900-03-01", k1900, 61.0);
        row("9999-12-31", k1900, 2958465.0);
        row("1899-12-31", k1900, none);
        row("2005-02-23", k1904, 36944.0);
        row("1904-01-01", k1904, 0.0);
        row("1903-12-31", k1904, none);
        row("2016-10-20", kCalendar, 42663.0);
        row("1800-01-01", kCalendar, -36522.0);
        row("2005-02-30", k1900, none);
        row("2005-2-23", k1900, none);
        row("23/02/2005", k1900, none);
        row("2005-02-23T25:00", k1900, none);
        row("2005-02-23T", k1900, none);
        row("", k1900, none);
    }

    void isoDates()
    {
        QFETCH(QString, iso);
        QFETCH(System, system);
        QFETCH(double, serial);
        const std::optional<double> got = ::serialFromIsoDateTime(iso, system);
        if (std::isnan(serial)) {
            QVERIFY2(!got, qPrintable(QString::number(got.value_or(0), 'g', 17)));
        } else {
            QVERIFY(got);
            QCOMPARE(*got, serial);
        }
    }

    void builtInFormats_data()
    {
        QTest::addColumn<uint>("id");
        QTest::addColumn<Kind>("kind");
        for (uint id : {0u, 1u, 2u, 9u, 10u, 11u, 12u, 13u, 23u, 37u, 44u, 48u, 49u, 59u, 164u, 0xFFFFu})
            QTest::newRow(qPrintable(QString::number(id))) << id << Kind::Number;
        for (uint id : {14u, 15u, 16u, 17u, 22u, 27u, 36u, 50u, 54u, 57u, 58u})
            QTest::newRow(qPrintable(QString::number(id))) << id << Kind::Date;
        for (uint id : {18u, 19u, 20u, 21u, 32u, 33u, 45u, 46u, 47u, 55u, 56u})
            QTest::newRow(qPrintable(QString::number(id))) << id << Kind::Time;
    }

    void builtInFormats()
    {
        QFETCH(uint, id);
        QFETCH(Kind, kind);
        QCOMPARE(builtInFormatKind(quint16(id)), kind);
    }
};

QTEST_GUILESS_MAIN(TestCellText)
#include "tst_celltext.moc"
