#include "core/base/shortint.h"

#include <QLocale>
#include <QTest>

using namespace fotolista;

class TestShortInt : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain)); }
    void cleanupTestCase() { QLocale::setDefault(QLocale::c()); }

    void typedText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("value");

        QTest::newRow("plain") << "409" << true << 409;
        QTest::newRow("half up to even") << "409,5" << true << 410;
        QTest::newRow("half down to even") << "144,5" << true << 144;
        QTest::newRow("2.5 gives 2") << "2,5" << true << 2;
        QTest::newRow("3.5 gives 4") << "3,5" << true << 4;
        QTest::newRow("-2.5 gives -2") << "-2,5" << true << -2;
        QTest::newRow("not a half") << "2,51" << true << 3;
        QTest::newRow("blanks around") << "  24  " << true << 24;
        QTest::newRow("tab around") << "\t24\t" << true << 24;
        QTest::newRow("negative") << "-5" << true << -5;
        QTest::newRow("zero") << "0" << true << 0;
        QTest::newRow("upper bound") << "32767" << true << 32767;
        QTest::newRow("lower bound") << "-32768" << true << -32768;
        QTest::newRow("rounds onto the bound") << "32767,4" << true << 32767;
        QTest::newRow("rounds past the bound") << "32767,5" << false << 0;
        QTest::newRow("above range") << "32768" << false << 0;
        QTest::newRow("far above range") << "100000" << false << 0;
        QTest::newRow("below range") << "-32769" << false << 0;
        QTest::newRow("empty") << "" << false << 0;
        QTest::newRow("only blanks") << "   " << false << 0;
        QTest::newRow("letters") << "abc" << false << 0;
        QTest::newRow("number then letters") << "24px" << false << 0;
        QTest::newRow("blank inside") << "2 4" << false << 0;
        QTest::newRow("infinity") << "inf" << false << 0;
        QTest::newRow("nan") << "nan" << false << 0;
    }

    void typedText()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(int, value);
        const ShortIntResult r = toShortInt(text);
        QCOMPARE(r.ok, ok);
        if (ok)
            QCOMPARE(int(r.value), value);
    }

    void followsTheUsersDecimalSeparator()
    {
        QLocale::setDefault(QLocale::c());
        const ShortIntResult english = toShortInt(QStringLiteral("409.5"));
        QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
        QVERIFY(english.ok);
        QCOMPARE(int(english.value), 410);
        // In Spanish the dot groups thousands, so "409.5" is not 409,5.
        const ShortIntResult spanish = toShortInt(QStringLiteral("409.5"));
        QVERIFY(!spanish.ok || spanish.value != 410);
    }

    void roundingOfComputedSizes_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("rounded");
        QTest::newRow("306.5") << 306.5 << 306.0;
        QTest::newRow("307.5") << 307.5 << 308.0;
        QTest::newRow("306.75") << 306.75 << 307.0;
        QTest::newRow("108.75") << 108.75 << 109.0;
        QTest::newRow("154.5") << 154.5 << 154.0;
        QTest::newRow("155.5") << 155.5 << 156.0;
        QTest::newRow("-0.5") << -0.5 << 0.0;
        QTest::newRow("1.5") << 1.5 << 2.0;
    }

    void roundingOfComputedSizes()
    {
        QFETCH(double, value);
        QFETCH(double, rounded);
        QCOMPARE(roundHalfEven(value), rounded);
    }

    void numbersOutsideRangeFail()
    {
        QVERIFY(!toShortInt(40000.0).ok);
        QVERIFY(!toShortInt(std::numeric_limits<double>::quiet_NaN()).ok);
        QVERIFY(!toShortInt(std::numeric_limits<double>::infinity()).ok);
        QCOMPARE(int(toShortInt(-32768.4).value), -32768);
    }
};

QTEST_GUILESS_MAIN(TestShortInt)
#include "tst_shortint.moc"
