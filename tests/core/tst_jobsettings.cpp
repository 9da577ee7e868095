#include "core/settings/jobsettings.h"
#include "support/scripteduiservices.h"

#include <QLocale>
#include <QSignalSpy>
#include <QTest>

namespace {
const QString kDefaultFolder = QStringLiteral("/opt/fotolista/numeros");
}

class TestJobSettings : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain)); }

    void startValues()
    {
        JobSettings s(kDefaultFolder);
        QCOMPARE(s.sourceFolder(), QStringLiteral("ruta de imágenes fuente"));
        QCOMPARE(s.destinationFolder(), QStringLiteral("ruta de imágenes fuente destino"));
        QCOMPARE(s.workbookPath(), QStringLiteral("Archivo de excel no seleccionado"));
        QVERIFY(!s.isSourceFolderSet());
        QVERIFY(!s.isDestinationFolderSet());
        QVERIFY(!s.isWorkbookSet());
        QCOMPARE(s.originColumn(), QStringLiteral("F"));
        QCOMPARE(s.originRow(), QStringLiteral("6"));
        QCOMPARE(s.destinationColumn(), QStringLiteral("A"));
        QCOMPARE(s.destinationRow(), QStringLiteral("6"));
        QCOMPARE(s.rowStep(), QStringLiteral("4"));
        QCOMPARE(s.sourceFormat(), QStringLiteral(".JPG"));
        QCOMPARE(s.sourceFormatMark(), SourceFormatMark::None);
        QVERIFY(s.isQualityChecked(JpegQuality::Media));
        QVERIFY(!s.isQualityChecked(JpegQuality::Alta));
        QVERIFY(!s.largeWidth().has_value());
        QCOMPARE(int(s.smallWidth()), 0);
        QCOMPARE(s.watermarkHeight(), 0);
        QCOMPARE(s.watermarkTransparency(), 50);
        QVERIFY(!s.watermarkInteriorOnly());
        QVERIFY(!s.watermarkManualPlacement());
        QCOMPARE(s.watermarkFolder(), kDefaultFolder);
        QVERIFY(!s.cellFieldsRevealed());
    }

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

    void formatItems()
    {
        JobSettings s(kDefaultFolder);
        s.chooseTiffSource();
        QCOMPARE(s.sourceFormat(), QStringLiteral(".TIF"));
        QCOMPARE(s.sourceFormatMark(), SourceFormatMark::Tiff);
        s.chooseJpgSource();
        QCOMPARE(s.sourceFormat(), QStringLiteral(".JPG"));
        QCOMPARE(s.sourceFormatMark(), SourceFormatMark::Jpg);
        s.chooseJpgSource();
        QCOMPARE(s.sourceFormatMark(), SourceFormatMark::Jpg);
    }

    void qualityKeepsExactlyOneMark()
    {
        JobSettings s(kDefaultFolder);
        QSignalSpy spy(&s, &JobSettings::changed);
        s.chooseQuality(JpegQuality::Media);
        QCOMPARE(spy.count(), 0);  // clicking the checked item changes nothing
        const JpegQuality all[] = {JpegQuality::Alta, JpegQuality::Media, JpegQuality::Baja, JpegQuality::MuyBaja};
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
        QTest::newRow("both entered") << "800" << "200" << 800 << 200;
        QTest::newRow("halves to even") << "409,5" << "144,5" << 410 << 144;
        QTest::newRow("first cancelled") << "" << "100" << 409 << 100;
        QTest::newRow("both cancelled") << "" << "" << 409 << 145;
        QTest::newRow("letters keep") << "abc" << "12x" << 409 << 145;
        QTest::newRow("above range keeps") << "40000" << "32768" << 409 << 145;
        QTest::newRow("negative stored") << "-5" << "0" << -5 << 0;
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

    void defaultSizeItemChangesOnlyTheStatusText()
    {
        JobSettings s(kDefaultFolder);
        s.restoreRunDefaults();
        ScriptedUiServices ui;
        ui.textAnswers << QStringLiteral("500") << QStringLiteral("100");
        s.enterWidths(ui);
        s.acceptWatermarkFolder(QStringLiteral("/otra"));
        s.showDefaultWatermarkStatus();
        QCOMPARE(s.watermarkStatusText(), QStringLiteral("Marca de Agua ACTIVA"));
        QCOMPARE(int(*s.largeWidth()), 500);
        QCOMPARE(int(s.smallWidth()), 100);
        QCOMPARE(s.watermarkFolder(), QStringLiteral("/otra"));
    }

    void revealIsOneWay()
    {
        JobSettings s(kDefaultFolder);
        s.revealCellFields();
        s.revealCellFields();
        QVERIFY(s.cellFieldsRevealed());
    }

    void defaultWatermarkSwitching()
    {
        JobSettings s(kDefaultFolder);
        s.toggleDefaultWatermark();  // what the window's load step does
        QVERIFY(s.watermarkEnabled());
        QVERIFY(s.defaultWatermarkChecked());
        QCOMPARE(s.watermarkStatusText(), QStringLiteral("Marca de Agua ACTIVA"));
        QVERIFY(s.transparencySliderVisible());
        QVERIFY(s.placementButtonVisible());

        s.toggleDefaultWatermark();
        QVERIFY(!s.watermarkEnabled());
        QVERIFY(!s.defaultWatermarkChecked());
        QCOMPARE(s.watermarkStatusText(), QString());
        QVERIFY(!s.transparencySliderVisible());
        QVERIFY(!s.placementButtonVisible());

        // Accepting a folder while off switches stamping on without the mark or slider.
        s.acceptWatermarkFolder(QStringLiteral("/marcas"));
        QVERIFY(s.watermarkEnabled());
        QCOMPARE(s.watermarkStatusText(), QStringLiteral("Marca de Agua ACTIVA,\rAGUA.JPG"));
        QCOMPARE(s.watermarkFolder(), QStringLiteral("/marcas"));
        QVERIFY(!s.defaultWatermarkChecked());
        QVERIFY(!s.transparencySliderVisible());

        // Switching on again always returns to the default folder.
        s.toggleDefaultWatermark();
        QCOMPARE(s.watermarkFolder(), kDefaultFolder);
        s.acceptWatermarkFolder(QStringLiteral("/marcas"));
        s.toggleDefaultWatermark();
        s.toggleDefaultWatermark();
        QCOMPARE(s.watermarkFolder(), kDefaultFolder);
    }

    void runStartWithdrawsTheMarkButKeepsStamping()
    {
        JobSettings s(kDefaultFolder);
        s.toggleDefaultWatermark();
        s.setWatermarkTransparency(80);
        s.withdrawDefaultWatermarkMark();
        QVERIFY(s.watermarkEnabled());
        QCOMPARE(s.watermarkStatusText(), QStringLiteral("Marca de Agua ACTIVA"));
        QVERIFY(!s.defaultWatermarkChecked());
        QVERIFY(!s.transparencySliderVisible());
        QVERIFY(!s.placementButtonVisible());
        QCOMPARE(s.watermarkTransparency(), 80);
        // The next click switches on again (not off).
        s.toggleDefaultWatermark();
        QVERIFY(s.defaultWatermarkChecked());
        QVERIFY(s.transparencySliderVisible());
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

    void interiorOnlyAndPlacementFlags()
    {
        JobSettings s(kDefaultFolder);
        s.toggleInteriorOnly();
        QVERIFY(s.watermarkInteriorOnly());
        s.toggleInteriorOnly();
        QVERIFY(!s.watermarkInteriorOnly());

        s.setWatermarkManualPlacement(true);
        s.transparencySliderClicked();
        QVERIFY(!s.watermarkManualPlacement());

        s.setWatermarkTransparency(300);
        QCOMPARE(s.watermarkTransparency(), 255);
        s.setWatermarkTransparency(-1);
        QCOMPARE(s.watermarkTransparency(), 0);
    }
};

QTEST_GUILESS_MAIN(TestJobSettings)
#include "tst_jobsettings.moc"
