#include "core/settings/jobsettings.h"
#include "support/scripteduiservices.h"

#include <QLocale>
#include <QSignalSpy>
#include <QTest>

using namespace fotolista;

namespace {
const QString kDefaultFolder = QStringLiteral("/opt/fotolista/numeros");
}

class TestJobSettings : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain)); }

    void aChosenPathEqualToNothingIsStillSet()
    {
        JobSettings s(kDefaultFolder);
        s.setSourceFolder(QStringLiteral("/fotos"));
        QVERIFY(s.isSourceFolderSet());
        // Unset is recognised by the start text alone, compared exactly.
        s.setSourceFolder(QStringLiteral("ruta de imágenes fuente "));
        QVERIFY(s.isSourceFolderSet());
        s.setSourceFolder(QStringLiteral("ruta de imágenes fuente"));
        QVERIFY(!s.isSourceFolderSet());
    }

    void qualityKeepsExactlyOneMark()
    {
        JobSettings s(kDefaultFolder);
        QSignalSpy spy(&s, &JobSettings::changed);
        s.chooseQuality(JpegQuality::Medium);
        QCOMPARE(spy.count(), 0);  // clicking the checked item changes nothing
        const JpegQuality all[] = {JpegQuality::High, JpegQuality::Medium, JpegQuality::Low, JpegQuality::VeryLow};
        for (JpegQuality chosen : all) {
            s.chooseQuality(chosen);
            int marks = 0;
            for (JpegQuality q : all)
                marks += s.isQualityChecked(q) ? 1 : 0;
            QCOMPARE(marks, 1);
            QCOMPARE(s.jpegQuality(), chosen);
        }
    }

    void widthPrompts_data()
    {
        QTest::addColumn<QString>("largeAnswer");
        QTest::addColumn<QString>("smallAnswer");
        QTest::addColumn<int>("large");
        QTest::addColumn<int>("small");

        // Start from 409/145 (a workbook was chosen).
        QTest::newRow("both entered") << "800"
                                      << "200" << 800 << 200;
        QTest::newRow("halves to even") << "409,5"
                                        << "144,5" << 410 << 144;
        QTest::newRow("first cancelled") << ""
                                         << "100" << 409 << 100;
        QTest::newRow("both cancelled") << ""
                                        << "" << 409 << 145;
        QTest::newRow("letters keep") << "abc"
                                      << "12x" << 409 << 145;
        QTest::newRow("above range keeps") << "40000"
                                           << "32768" << 409 << 145;
        QTest::newRow("negative stored") << "-5"
                                         << "0" << -5 << 0;
    }

    void widthPrompts()
    {
        QFETCH(QString, largeAnswer);
        QFETCH(QString, smallAnswer);
        QFETCH(int, large);
        QFETCH(int, small);

        JobSettings s(kDefaultFolder);
        s.restoreRunDefaults();
        ScriptedUiServices ui;
        ui.textAnswers << largeAnswer << smallAnswer;
        s.enterWidths(ui);

        const auto prompts = ui.callsOf(ScriptedUiServices::Kind::Prompt);
        QCOMPARE(prompts.size(), 2);  // the second prompt comes in every case
        QCOMPARE(prompts[0].text, QStringLiteral("Introduzca la dimension en anchura de la imagen GRANDE"));
        QCOMPARE(prompts[0].title, QStringLiteral("Dimension anchura"));
        QCOMPARE(prompts[1].text, QStringLiteral("Ahora, la anchura de la imagen pequeña"));
        QCOMPARE(prompts[1].title, QStringLiteral("Anchura de imagen pequeña"));
        QCOMPARE(int(s.largeWidth().value()), large);
        QCOMPARE(int(s.smallWidth()), small);
    }

    void workbookChoiceOverwritesEnteredWidths()
    {
        JobSettings s(kDefaultFolder);
        ScriptedUiServices ui;
        ui.textAnswers << QStringLiteral("800") << QStringLiteral("300");
        s.enterWidths(ui);
        ui.textAnswers << QStringLiteral("40");
        s.enterWatermarkHeight(ui);
        QCOMPARE(int(*s.largeWidth()), 800);
        QCOMPARE(s.watermarkHeight(), 40);
        s.restoreRunDefaults();
        QCOMPARE(int(*s.largeWidth()), 409);
        QCOMPARE(int(s.smallWidth()), 145);
        QCOMPARE(s.watermarkHeight(), 24);
    }

    void heightPrompt_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("height");
        QTest::newRow("30") << "30" << 30;
        QTest::newRow("24,5 to even") << "24,5" << 24;
        QTest::newRow("empty keeps") << "" << 24;
        QTest::newRow("letters keep") << "abc" << 24;
        QTest::newRow("negative stored") << "-5" << -5;
        QTest::newRow("zero stored") << "0" << 0;
        QTest::newRow("out of range keeps") << "99999" << 24;
    }

    void heightPrompt()
    {
        QFETCH(QString, answer);
        QFETCH(int, height);
        JobSettings s(kDefaultFolder);
        s.restoreRunDefaults();
        ScriptedUiServices ui;
        ui.textAnswers << answer;
        s.enterWatermarkHeight(ui);
        const auto prompts = ui.callsOf(ScriptedUiServices::Kind::Prompt);
        QCOMPARE(prompts.size(), 1);
        QCOMPARE(prompts[0].text, QStringLiteral("Introduzca la Altura de la Marca de agua: "));
        QCOMPARE(prompts[0].title, QString());
        QCOMPARE(s.watermarkHeight(), height);
    }

    void watermarkSwitching()
    {
        JobSettings s(kDefaultFolder);
        QVERIFY(s.watermarkEnabled());  // on at start, with the default folder
        QCOMPARE(s.watermarkFolder(), kDefaultFolder);
        s.useWatermarkFolder(QStringLiteral("/marcas"));
        s.setWatermarkTransparency(80);
        s.disableWatermark();
        // Off stops the stamping only: folder and blend wait for the next switch on.
        QVERIFY(!s.watermarkEnabled());
        QCOMPARE(s.watermarkFolder(), QStringLiteral("/marcas"));
        QCOMPARE(s.watermarkTransparency(), 80);
        s.useWatermarkFolder(kDefaultFolder);
        QVERIFY(s.watermarkEnabled());
        QCOMPARE(s.watermarkFolder(), kDefaultFolder);

        s.setWatermarkTransparency(300);  // the slider holds 0..255 only
        QCOMPARE(s.watermarkTransparency(), 255);
        s.setWatermarkTransparency(-1);
        QCOMPARE(s.watermarkTransparency(), 0);
    }
};

QTEST_GUILESS_MAIN(TestJobSettings)
#include "tst_jobsettings.moc"
