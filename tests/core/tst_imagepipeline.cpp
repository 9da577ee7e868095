#include "core/settings/jobsettings.h"
#include "core/image/bitmap.h"
#include "core/base/caseblindfinder.h"
#include "core/run/imagepipeline.h"
#include "core/summary/runtotals.h"
#include "core/summary/summarytree.h"
#include "core/summary/summarytexts.h"
#include "core/workbook/workbookwalk.h"
#include "support/fakeworkbookreader.h"
#include "support/imagefixtures.h"
#include "support/recordingrunview.h"
#include "support/scripteduiservices.h"
#include "core/watermark/placement.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using fixtures::near;
using fixtures::pixelAt;

namespace {

constexpr quint32 kGrey = 0x808080;
constexpr quint32 kBand = 0x0000FF;
constexpr quint32 kMark = 0xFF0000;

/// A source folder, a destination folder, a watermark folder and one row.
struct Rig {
    QTemporaryDir dir;
    QString source = dir.filePath("fuente");
    QString destination = dir.filePath("destino");
    QString marks = dir.filePath("marcas");
    JobSettings settings{dir.filePath("numeros")};
    ScriptedUiServices ui;
    RecordingRunView view;
    FakeWorkbookReader reader;
    FixedPlacement placement;
    RunTotals totals;
    CaseBlindFinder finder;
    RowPreparation preparation{1};
    std::unique_ptr<WorkbookWalk> walk;
    std::unique_ptr<ImagePipeline> pipeline;

    Rig()
    {
        QDir().mkpath(source);
        QDir().mkpath(destination);
        QDir().mkpath(marks);
        settings.restoreRunDefaults();
        settings.setSourceFolder(source);
        settings.setDestinationFolder(destination);
        settings.acceptWatermarkFolder(marks);
        fixtures::writeJpeg(marks + "/agua.jpg", 408, 24, kBand);
        fixtures::writePng(marks + "/marca.png", 100, 50, kMark);
        setRow("12345", "ABC");
        view.tree.addRoots();
        view.tree.addRowEntry(1, "1 ID", "row", kEntryBlack, "procesado");
    }

    void setRow(const QString& origin, const QString& destinationText)
    {
        reader.cells = {{"F6", origin}, {"A6", destinationText}};
        reader.isOpen = true;
        walk = std::make_unique<WorkbookWalk>(reader, planWalk(settings).value());
        pipeline = std::make_unique<ImagePipeline>(PipelineContext{settings, ui, view, *walk, placement, totals, finder,
                                                                   preparation, destination, marks});
    }

    RowOutcome run(const QString& extension = ".JPG")
    {
        const RowCells cells = walk->currentRow();
        finder = CaseBlindFinder();
        const SourceMatch m = matchSource(finder, source, cells.sourceText, cells.destinationText, extension);
        if (m.fate != RowFate::Found)
            qFatal("fixture source not found");
        return pipeline->run(cells, m, "1 ID", 0);
    }

    QString large(const QString& name = "ABC") const { return destination + "/" + name + ".jpg"; }
    QString small(const QString& name = "ABC") const { return destination + "/pequeñas/" + name + "_p.jpg"; }
};

} // namespace

class TestImagePipeline : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initialiseImageLibrary();
        QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    }

    void targetSizesRoundHalfToEven_data()
    {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<int>("largeWidth");
        QTest::addColumn<int>("largeHeight");
        QTest::addColumn<int>("smallHeight");
        QTest::newRow("1000x750") << 1000 << 750 << 409 << 307 << 109;
        QTest::newRow("1000x613") << 1000 << 613 << 409 << 251 << 89;
        QTest::newRow("800x613 at 400: 306.5 to 306") << 800 << 613 << 400 << 306 << 111;
        QTest::newRow("800x615 at 400: 307.5 to 308") << 800 << 615 << 400 << 308 << 111;
        QTest::newRow("small source is enlarged") << 100 << 50 << 409 << 204 << 72;
        QTest::newRow("portrait") << 750 << 1000 << 409 << 545 << 193;
    }

    void targetSizesRoundHalfToEven()
    {
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(int, largeWidth);
        QFETCH(int, largeHeight);
        QFETCH(int, smallHeight);
        Rig rig;
        rig.settings.toggleDefaultWatermark();
        rig.settings.toggleDefaultWatermark();  // off
        rig.settings.setLargeWidth(qint16(largeWidth));
        QVERIFY(fixtures::writeJpeg(rig.source + "/12345.jpg", w, h));
        QCOMPARE(rig.run(), RowOutcome::Written);
        const fixtures::Decoded large = fixtures::decode(rig.large());
        QCOMPARE(large.width, largeWidth);
        QCOMPARE(large.height, largeHeight);
        const fixtures::Decoded small = fixtures::decode(rig.small());
        QCOMPARE(small.width, 145);
        QCOMPARE(small.height, smallHeight);
    }

    void bandMarkAndGlyphsLandWhereTheyBelong()
    {
        Rig rig;
        rig.setRow("12345", "12A");
        fixtures::writeJpeg(rig.marks + "/1.jpg", 9, 14, 0x00FF00);
        fixtures::writeJpeg(rig.marks + "/2.jpg", 9, 14, 0xFFFF00);
        fixtures::writeJpeg(rig.marks + "/a.jpg", 9, 14, 0xFFFFFF);  // "A" finds it, whatever the case
        QVERIFY(fixtures::writeJpeg(rig.source + "/12345.jpg", 1000, 750, kGrey));
        QCOMPARE(rig.run(), RowOutcome::Written);
        const QString out = rig.large("12A");
        QCOMPARE(fixtures::decode(out).height, 307);

        // Band from x = 1, top at floor(306.75) - 24 = 282; the rounded-up last row stays bare.
        QVERIFY(near(pixelAt(out, 100, 283), kBand));
        QVERIFY(near(pixelAt(out, 100, 304), kBand));
        QVERIFY(near(pixelAt(out, 100, 279), kGrey));
        QVERIFY(near(pixelAt(out, 100, 306), kGrey, 40));
        QVERIFY(near(pixelAt(out, 405, 290), kBand));

        // Glyphs at 319, 329, 339, top 288.
        // Small glyphs on a coloured band bleed a little through chroma subsampling.
        QVERIFY(near(pixelAt(out, 323, 295), 0x00FF00, 48));
        QVERIFY(near(pixelAt(out, 333, 295), 0xFFFF00, 48));
        QVERIFY(near(pixelAt(out, 343, 295), 0xFFFFFF, 48));
        QVERIFY(near(pixelAt(out, 352, 295), kBand));

        // Mark centred at (154, 128) (154.5 and 128.5 to even), blended by 50.
        const quint32 inside = pixelAt(out, 200, 150);
        QVERIFY(!near(inside, kGrey, 10));
        QVERIFY(((inside >> 16) & 0xFF) > 0x90);
        QVERIFY(near(pixelAt(out, 150, 150), kGrey, 10));
        QVERIFY(near(pixelAt(out, 200, 124), kGrey, 10));
        QVERIFY(!near(pixelAt(out, 157, 150), kGrey, 10));
        QVERIFY(!near(pixelAt(out, 200, 131), kGrey, 10));
        QVERIFY(near(pixelAt(out, 257, 150), kGrey, 10));

        // The small copy never carries a watermark.
        const QString small = rig.small("12A");
        QVERIFY(near(pixelAt(small, 72, 54), kGrey, 10));
        QVERIFY(near(pixelAt(small, 72, 105), kGrey, 10));
    }

    void interiorOnlyStampsTheMarkAlone()
    {
        Rig rig;
        fixtures::writeJpeg(rig.marks + "/A.jpg", 9, 14, 0xFFFFFF);
        rig.settings.toggleInteriorOnly();
        QVERIFY(fixtures::writeJpeg(rig.source + "/12345.jpg", 1000, 750, kGrey));
        QCOMPARE(rig.run(), RowOutcome::Written);
        QVERIFY(near(pixelAt(rig.large(), 100, 290), kGrey, 10));
        QVERIFY(near(pixelAt(rig.large(), 323, 295), kGrey, 10));
        QVERIFY(!near(pixelAt(rig.large(), 200, 150), kGrey, 10));
    }

    void watermarkOffStampsNothing()
    {
        Rig rig;
        rig.settings.toggleDefaultWatermark();
        rig.settings.toggleDefaultWatermark();
        QVERIFY(!rig.settings.watermarkEnabled());
        QVERIFY(fixtures::writeJpeg(rig.source + "/12345.jpg", 1000, 750, kGrey));
        QCOMPARE(rig.run(), RowOutcome::Written);
        QVERIFY(near(pixelAt(rig.large(), 100, 290), kGrey, 10));
        QVERIFY(near(pixelAt(rig.large(), 200, 150), kGrey, 10));
    }

    void placementTable_data()
    {
        QTest::addColumn<bool>("manual");
        QTest::addColumn<bool>("centred");
        QTest::addColumn<int>("alpha");
        QTest::addColumn<int>("probeX");
        QTest::addColumn<int>("probeY");
        QTest::addColumn<int>("bareX");
        QTest::addColumn<int>("bareY");
        QTest::addColumn<bool>("strong");
        // Automatic: centred, blended by the main slider (50).
        QTest::newRow("automatic") << false << false << 200 << 200 << 150 << 30 << 40 << false;
        // Manual, centred: the window's alpha.
        QTest::newRow("manual centred") << true << true << 200 << 200 << 150 << 30 << 40 << true;
        // Manual at (20, 30).
        QTest::newRow("manual placed") << true << false << 200 << 30 << 40 << 200 << 150 << true;
    }

    void placementTable()
    {
        QFETCH(bool, manual);
        QFETCH(bool, centred);
        QFETCH(int, alpha);
        QFETCH(int, probeX);
        QFETCH(int, probeY);
        QFETCH(int, bareX);
        QFETCH(int, bareY);
        QFETCH(bool, strong);
        Rig rig;
        rig.settings.toggleInteriorOnly();
        rig.settings.setWatermarkManualPlacement(manual);
        rig.placement.set(WatermarkPlacement{centred, 20, 30, alpha});
        QVERIFY(fixtures::writeJpeg(rig.source + "/12345.jpg", 1000, 750, kGrey));
        QCOMPARE(rig.run(), RowOutcome::Written);
        const quint32 marked = pixelAt(rig.large(), probeX, probeY);
        QVERIFY(!near(marked, kGrey, 10));
        QVERIFY(near(pixelAt(rig.large(), bareX, bareY), kGrey, 10));
        const int red = int((marked >> 16) & 0xFF);
        // Blend 200 is far nearer the mark's red than blend 50.
        QCOMPARE(red > 0xC8, strong);
    }

    void qualityItemChoosesTheFlags()
    {
        Rig rig;
        rig.settings.toggleDefaultWatermark();
        rig.settings.toggleDefaultWatermark();
        QVERIFY(fixtures::writeTwoToneJpeg(rig.source + "/12345.jpg", 1000, 750, 0x203040, 0xE0D0C0));
        QCOMPARE(rig.pipeline->qualityFlags(), 0);
        rig.settings.chooseQuality(JpegQuality::Alta);
        QCOMPARE(rig.run(), RowOutcome::Written);
        QCOMPARE(rig.pipeline->qualityFlags(), 0x80);
        const qint64 superb = QFileInfo(rig.large()).size();
        rig.settings.chooseQuality(JpegQuality::MuyBaja);
        QCOMPARE(rig.run(), RowOutcome::Written);
        QCOMPARE(rig.pipeline->qualityFlags(), 0x800);
        const qint64 bad = QFileInfo(rig.large()).size();
        QVERIFY2(bad < superb, qPrintable(QString("%1 vs %2").arg(bad).arg(superb)));
        rig.settings.chooseQuality(JpegQuality::Baja);
        rig.run();
        QCOMPARE(rig.pipeline->qualityFlags(), 0x400);
        rig.settings.chooseQuality(JpegQuality::Media);
        rig.run();
        QCOMPARE(rig.pipeline->qualityFlags(), 0x200);
    }

    void statusTextsAndStatistics()
    {
        Rig rig;
        QVERIFY(fixtures::writeTwoToneJpeg(rig.source + "/12345.jpg", 1600, 1200, 0x203040, 0xE0D0C0));
        QCOMPARE(rig.run(), RowOutcome::Written);
        QVERIFY(rig.view.logOf("batch: ").contains("batch: Leyendo imagen: /12345.JPG"));
        QCOMPARE(rig.view.batchText, QStringLiteral("Escribiendo imagen: /ABC.jpg"));
        QVERIFY(rig.view.summaryButtonVisible);
        const SummaryEntry* row = rig.view.tree.findRow("1 ID");
        QVERIFY(row);
        QCOMPARE(row->children.size(), 2);
        const qint64 kbRead = kilobytes(QFileInfo(rig.source + "/12345.jpg").size());
        const qint64 kbWritten = kilobytes(QFileInfo(rig.large()).size());
        QCOMPARE(row->children[0].text, sizeDetailText(kbRead, kbWritten));
        QVERIFY(row->children[1].text.startsWith("Porcentaje comprimido "));
        QCOMPARE(rig.totals.kbReadTotal, kbRead);
        QCOMPARE(rig.totals.kbWrittenTotal, kbWritten);
        // Yields: after the status, between the rescales, around each of the
        // three glyphs, before saving, before the statistics.
        QCOMPARE(rig.ui.yieldCount, 1 + 1 + 6 + 1 + 1);
    }

    void undecodableSourceEndsTheRowSilently()
    {
        Rig rig;
        fixtures::writeBytes(rig.source + "/12345.jpg", QByteArray("not a picture at all"));
        QCOMPARE(rig.run(), RowOutcome::NotDecoded);
        QVERIFY(rig.view.log.isEmpty());
        QVERIFY(rig.ui.calls.isEmpty());
        QVERIFY(!QFile::exists(rig.large()));
    }

    void cellsEmptiedMeanwhileWriteNothing()
    {
        Rig rig;
        QVERIFY(fixtures::writeJpeg(rig.source + "/12345.jpg", 200, 100));
        rig.ui.onYield = [&](int) { rig.reader.cells.insert("A6", QString()); };
        QCOMPARE(rig.run(), RowOutcome::CellsNoLongerMatching);
        QCOMPARE(rig.view.batchText, QStringLiteral("No existen concordancias entre celdas"));
        QVERIFY(!QFile::exists(rig.large()));
        QVERIFY(!rig.view.summaryButtonVisible);
    }

    void tifSourcesOfEveryDepthAreWritten_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("outputBpp");
        QTest::newRow("24-bit") << int(fixtures::TiffKind::Rgb24) << 24;
        QTest::newRow("32-bit with alpha") << int(fixtures::TiffKind::Rgba32) << 24;
        QTest::newRow("48-bit") << int(fixtures::TiffKind::Rgb48) << 24;
        QTest::newRow("8-bit grey stays grey") << int(fixtures::TiffKind::Grey8) << 8;
    }

    void tifSourcesOfEveryDepthAreWritten()
    {
        QFETCH(int, kind);
        QFETCH(int, outputBpp);
        Rig rig;
        rig.settings.chooseTiffSource();
        QVERIFY(fixtures::writeTiff(rig.source + "/12345.TIF", 400, 300, fixtures::TiffKind(kind), 0x606060));
        QCOMPARE(rig.run(".TIF"), RowOutcome::Written);
        const fixtures::Decoded large = fixtures::decode(rig.large());
        QCOMPARE(large.width, 409);
        QCOMPARE(large.bpp, outputBpp);
        QCOMPARE(fixtures::decode(rig.small()).width, 145);
        QVERIFY(rig.ui.messageTexts().isEmpty());
    }

    void smallCopyPathChangesOnlyTheFileName()
    {
        QCOMPARE(smallCopyPath("/d/x.jpgs", "ABC"), QStringLiteral("/d/x.jpgs/pequeñas/ABC_p.jpg"));
        QCOMPARE(smallCopyPath("/d", "foto.jpg"), QStringLiteral("/d/pequeñas/foto_p.jpg_p.jpg"));
        QCOMPARE(smallCopyPath("/d", "ropa.jpg\\ABC"), QStringLiteral("/d/pequeñas/ropa.jpg/ABC_p.jpg"));
        QCOMPARE(smallCopyPath("/d", "Foto.JPG"), QStringLiteral("/d/pequeñas/Foto.JPG_p.jpg"));
    }

    void aDestinationNamedLikeJpgKeepsItsSmallCopies()
    {
        Rig rig;
        rig.destination = rig.dir.filePath("x.jpgs");
        QDir().mkpath(rig.destination);
        rig.setRow("12345", "ABC");
        QVERIFY(fixtures::writeJpeg(rig.source + "/12345.jpg", 300, 200));
        QCOMPARE(rig.run(), RowOutcome::Written);
        QVERIFY(QFile::exists(rig.destination + "/pequeñas/ABC_p.jpg"));
    }

    void aDestinationTextEndingInJpg()
    {
        Rig rig;
        rig.setRow("12345", "foto.jpg");
        QVERIFY(fixtures::writeJpeg(rig.source + "/12345.jpg", 300, 200));
        QCOMPARE(rig.run(), RowOutcome::Written);
        QVERIFY(QFile::exists(rig.destination + "/foto.jpg.jpg"));
        QVERIFY(QFile::exists(rig.destination + "/pequeñas/foto_p.jpg_p.jpg"));
    }

    void aSmallCopyThatCannotBeWrittenIsReported()
    {
        Rig rig;
        // A file where the folder "pequeñas" should be.
        fixtures::writeBytes(rig.destination + "/pequeñas", "in the way");
        QVERIFY(fixtures::writeJpeg(rig.source + "/12345.jpg", 300, 200));
        QCOMPARE(rig.run(), RowOutcome::SmallWriteFailed);
        QCOMPARE(rig.ui.messageTexts(), QStringList{"Se ha producido un error en la escritura"});
        QCOMPARE(rig.ui.callsOf(ScriptedUiServices::Kind::Message).constFirst().icon, MessageIcon::Critical);
        QVERIFY(QFile::exists(rig.large()));
        QCOMPARE(rig.view.tree.findRow("1 ID")->children.size(), 2);  // statistics still recorded
    }

    void aFailedSaveLeavesTheExistingFileWhole()
    {
        Rig rig;
        QVERIFY(fixtures::writeJpeg(rig.source + "/12345.jpg", 300, 200));
        fixtures::writeBytes(rig.large(), "yesterday's image");
        rig.settings.setLargeWidth(0);  // nothing to encode
        QCOMPARE(rig.run(), RowOutcome::WriteFailed);
        QCOMPARE(rig.ui.messageTexts(), QStringList{"Se ha producido un error en la escritura"});
        QFile f(rig.large());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("yesterday's image"));
        QVERIFY(!QFile::exists(rig.small()));
        QCOMPARE(rig.view.tree.findRow("1 ID")->children.size(), 0);
        // No temporary file is left behind.
        QCOMPARE(QDir(rig.destination).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    void aFolderWhereTheOutputShouldBeIsAWriteFailure()
    {
        Rig rig;
        QVERIFY(fixtures::writeJpeg(rig.source + "/12345.jpg", 300, 200));
        QDir().mkpath(rig.large());
        QCOMPARE(rig.run(), RowOutcome::WriteFailed);
        QVERIFY(QFileInfo(rig.large()).isDir());
        QCOMPARE(QDir(rig.destination).entryList(QDir::Files | QDir::Hidden).size(), 0);
    }

    void anExistingOutputIsReplaced()
    {
        Rig rig;
        QVERIFY(fixtures::writeJpeg(rig.source + "/12345.jpg", 300, 200));
        fixtures::writeBytes(rig.large(), "old");
        QCOMPARE(rig.run(), RowOutcome::Written);
        QCOMPARE(fixtures::decode(rig.large()).width, 409);
    }

    void aMissingSubFolderOfTheDestinationIsAWriteFailure()
    {
        Rig rig;
        rig.setRow("12345", "camisas\\ABC");
        QVERIFY(fixtures::writeJpeg(rig.source + "/12345.jpg", 300, 200));
        QCOMPARE(rig.run(), RowOutcome::WriteFailed);
        QDir().mkpath(rig.destination + "/camisas");
        rig.ui.calls.clear();
        QCOMPARE(rig.run(), RowOutcome::Written);
        QVERIFY(QFile::exists(rig.destination + "/camisas/ABC.jpg"));
        QVERIFY(QFile::exists(rig.destination + "/pequeñas/camisas/ABC_p.jpg"));
    }

    void missingWatermarkPiecesAreLeftOut()
    {
        Rig rig;
        QFile::remove(rig.marks + "/agua.jpg");
        QFile::remove(rig.marks + "/marca.png");
        QVERIFY(fixtures::writeJpeg(rig.source + "/12345.jpg", 1000, 750, kGrey));
        QCOMPARE(rig.run(), RowOutcome::Written);
        QVERIFY(near(pixelAt(rig.large(), 100, 290), kGrey, 10));
    }

    void aMarkWithAlphaIsNotPasted()
    {
        Rig rig;
        fixtures::writePng(rig.marks + "/marca.png", 100, 50, kMark, true);
        rig.settings.toggleInteriorOnly();
        QVERIFY(fixtures::writeJpeg(rig.source + "/12345.jpg", 1000, 750, kGrey));
        QCOMPARE(rig.run(), RowOutcome::Written);
        QVERIFY(near(pixelAt(rig.large(), 200, 150), kGrey, 10));
    }
};

QTEST_GUILESS_MAIN(TestImagePipeline)
#include "tst_imagepipeline.moc"
