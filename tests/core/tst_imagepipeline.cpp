#include "core/image/bitmap.h"
#include "core/image/jpegencoder.h"
#include "core/run/imagepipeline.h"
#include "core/summary/summarytexts.h"
#include "support/imagefixtures.h"
#include "support/runrig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace fotolista;

using fixtures::near;
using fixtures::pixelAt;

Q_DECLARE_METATYPE(RowOutcome)
Q_DECLARE_METATYPE(JpegQuality)

namespace {

/// Whether a JPEG's frame is progressive (SOF2).
bool isProgressive(const QByteArray& jpeg)
{
    // The segments before the first scan, each a marker and its length.
    for (qsizetype at = 2; at + 4 <= jpeg.size() && quint8(jpeg[at]) == 0xFF;) {
        const quint8 code = quint8(jpeg[at + 1]);
        if (code == 0xC0 || code == 0xC1 || code == 0xC2)
            return code == 0xC2;
        at += 2 + (quint8(jpeg[at + 2]) << 8 | quint8(jpeg[at + 3]));
    }
    return false;
}

constexpr quint32 kGrey = 0x808080;
constexpr quint32 kBand = RunRig::kBand;
constexpr quint32 kMark = RunRig::kMark;

/// Runs the rig's workbook, which holds one row, and gives that row's outcome.
RowOutcome runRow(RunRig& rig)
{
    rig.view.rows.clear();
    rig.run();
    if (rig.view.rows.size() != 1 || !rig.view.rows[0].outcome)
        qFatal("the row's source was not found");
    return *rig.view.rows[0].outcome;
}

/// What stands in the way of a row's outputs.
enum Obstacle {
    Nothing,
    EarlierOutput,
    FileForTheSmallFolder,
    NothingToEncode,
    FolderForTheOutput,
    SubFolder,
    DestinationLikeJpg,
    ReadOnlyOutput,
    ReadOnlySmallCopy,
    LinksAtTheOutputs,
};

constexpr QFile::Permissions kReadOnly = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;

/// The file's own permission bits, without what they mean for the user running the test.
QFile::Permissions ownBits(const QString& path)
{
    return QFile::permissions(path) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
}

/// A rig whose workbook holds the row 12345 -> ABC.
struct OneRow : RunRig {
    OneRow() { setRows({{"12345", "ABC"}}); }
};

}  // namespace

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
        OneRow rig;
        rig.settings.disableWatermark();
        rig.settings.setLargeWidth(qint16(largeWidth));
        QVERIFY(fixtures::writeJpeg(rig.source + "/12345.jpg", w, h));
        QCOMPARE(runRow(rig), RowOutcome::Written);
        const fixtures::Decoded large = fixtures::decode(rig.large("ABC"));
        QCOMPARE(large.width, largeWidth);
        QCOMPARE(large.height, largeHeight);
        const fixtures::Decoded small = fixtures::decode(rig.small("ABC"));
        QCOMPARE(small.width, 145);
        QCOMPARE(small.height, smallHeight);
    }

    void bandMarkAndGlyphsLandWhereTheyBelong()
    {
        OneRow rig;
        rig.setRows({{"12345", "12A"}});
        fixtures::writeJpeg(rig.marks + "/1.jpg", 9, 14, 0x00FF00);
        fixtures::writeJpeg(rig.marks + "/2.jpg", 9, 14, 0xFFFF00);
        fixtures::writeJpeg(rig.marks + "/a.jpg", 9, 14, 0xFFFFFF);  // "A" finds it, whatever the case
        QVERIFY(fixtures::writeJpeg(rig.source + "/12345.jpg", 1000, 750, kGrey));
        QCOMPARE(runRow(rig), RowOutcome::Written);
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

    void whatTheStampLeavesOut_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("glyphShows");
        QTest::addColumn<bool>("markShows");
        QTest::newRow("interior only: the mark alone") << "interior" << false << true;
        QTest::newRow("watermark off: nothing") << "off" << false << false;
        QTest::newRow("band and mark pictures missing: the glyphs alone") << "missing" << true << false;
        QTest::newRow("a mark with alpha is not pasted") << "alpha" << false << false;
    }

    void whatTheStampLeavesOut()
    {
        QFETCH(QString, setup);
        QFETCH(bool, glyphShows);
        QFETCH(bool, markShows);
        OneRow rig;
        fixtures::writeJpeg(rig.marks + "/A.jpg", 9, 14, 0xFFFFFF);
        if (setup == "interior" || setup == "alpha")
            rig.settings.setWatermarkInteriorOnly(true);
        if (setup == "off")
            rig.settings.disableWatermark();
        if (setup == "missing") {
            QFile::remove(rig.marks + "/agua.jpg");
            QFile::remove(rig.marks + "/marca.png");
        }
        if (setup == "alpha")
            fixtures::writePng(rig.marks + "/marca.png", 100, 50, kMark, true);
        QVERIFY(fixtures::writeJpeg(rig.source + "/12345.jpg", 1000, 750, kGrey));
        QCOMPARE(runRow(rig), RowOutcome::Written);
        // Where the band and the glyph "A" would be, and inside the centred mark.
        QVERIFY(near(pixelAt(rig.large("ABC"), 100, 290), kGrey, 10));
        QCOMPARE(!near(pixelAt(rig.large("ABC"), 323, 295), kGrey, 10), glyphShows);
        QCOMPARE(!near(pixelAt(rig.large("ABC"), 200, 150), kGrey, 10), markShows);
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
        OneRow rig;
        rig.settings.setWatermarkInteriorOnly(true);
        rig.settings.setWatermarkManualPlacement(manual);
        rig.placement.set(WatermarkPlacement{centred, 20, 30, alpha});
        QVERIFY(fixtures::writeJpeg(rig.source + "/12345.jpg", 1000, 750, kGrey));
        QCOMPARE(runRow(rig), RowOutcome::Written);
        const quint32 marked = pixelAt(rig.large("ABC"), probeX, probeY);
        QVERIFY(!near(marked, kGrey, 10));
        QVERIFY(near(pixelAt(rig.large("ABC"), bareX, bareY), kGrey, 10));
        const int red = int((marked >> 16) & 0xFF);
        // Blend 200 is far nearer the mark's red than blend 50.
        QCOMPARE(red > 0xC8, strong);
    }

    void qualityItemChoosesTheFlags_data()
    {
        QTest::addColumn<JpegQuality>("quality");
        QTest::addColumn<int>("flags");
        QTest::newRow("Alta") << JpegQuality::High << 0x80;
        QTest::newRow("Media") << JpegQuality::Medium << 0x200;
        QTest::newRow("Baja") << JpegQuality::Low << 0x400;
        QTest::newRow("Muy baja") << JpegQuality::VeryLow << 0x800;
    }

    void qualityItemChoosesTheFlags()
    {
        QFETCH(JpegQuality, quality);
        QFETCH(int, flags);
        OneRow rig;
        rig.settings.disableWatermark();
        rig.settings.chooseQuality(quality);
        const QString photo = rig.source + "/12345.jpg";
        QVERIFY(fixtures::writePhotoJpeg(photo, 1000, 750, 0));
        // "Tamaño mínimo" off: byte for byte what the library makes with those flags.
        rig.settings.setOptimizeJpeg(false);
        QCOMPARE(runRow(rig), RowOutcome::Written);
        const QByteArray plain = fixtures::readBytes(rig.large("ABC"));
        QCOMPARE(plain, fixtures::referenceJpeg(photo, 409, 307, flags));
        // On (at start): the library's optimised baseline, or a progressive
        // file smaller still, which decodes to the very same pixels.
        rig.settings.setOptimizeJpeg(true);
        QCOMPARE(runRow(rig), RowOutcome::Written);
        const QByteArray smallest = fixtures::readBytes(rig.large("ABC"));
        const QByteArray baseline = fixtures::referenceJpeg(photo, 409, 307, flags | 0x20000);
        if (smallest != baseline)
            QVERIFY(isProgressive(smallest) && smallest.size() < baseline.size());
        QVERIFY2(smallest.size() < plain.size(),
                 qPrintable(QString("%1 >= %2").arg(smallest.size()).arg(plain.size())));
        QVERIFY(fixtures::samePixels(smallest, plain));
        QVERIFY(fixtures::samePixels(fixtures::readBytes(rig.small("ABC")),
                                     fixtures::referenceJpeg(photo, 145, 109, flags)));
    }

    void theOwnEncoderKeepsTheLibrarysCoefficients_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("Media") << 0x200 << 409 << 307;
        QTest::newRow("Alta, odd sides") << 0x80 << 145 << 109;
        QTest::newRow("Muy baja, one row") << 0x800 << 37 << 1;
        QTest::newRow("quality 90, 4:4:4") << (90 | 0x8000) << 200 << 150;
        QTest::newRow("4:2:2") << (0x200 | 0x4000) << 200 << 150;
        QTest::newRow("4:1:1") << (0x200 | 0x1000) << 200 << 150;
    }

    // Baseline: the library's own optimised bytes. Progressive: its plain
    // save's pixels. Grey pictures go to the library, which writes them.
    void theOwnEncoderKeepsTheLibrarysCoefficients()
    {
        QFETCH(int, flags);
        QFETCH(int, width);
        QFETCH(int, height);
        QTemporaryDir dir;
        const QString photo = dir.filePath("p.jpg");
        QVERIFY(fixtures::writePhotoJpeg(photo, width * 3, height * 3, 0));
        const Bitmap copy = Bitmap::load(ImageFormat::Jpeg, photo).rescaled(width, height);
        QVERIFY(!copy.isNull());
        const QByteArray plain = encodeBitmap(ImageFormat::Jpeg, copy, flags);
        const QByteArray plainOptimised = encodeBitmap(ImageFormat::Jpeg, copy, flags | kJpegOptimize);
        QCOMPARE(encodeOptimisedJpeg(copy, flags, JpegLayout::Baseline), plainOptimised);
        const QByteArray progressive = encodeOptimisedJpeg(copy, flags, JpegLayout::Progressive);
        QVERIFY(isProgressive(progressive));
        QVERIFY(fixtures::samePixels(progressive, plain));
        const QByteArray smallest = smallestJpeg(copy, flags);
        QCOMPARE(smallest.size(), std::min(progressive.size(), plainOptimised.size()));
        QVERIFY(fixtures::writePhotoJpeg(photo, width, height, 0, true));
        const Bitmap grey = Bitmap::load(ImageFormat::Jpeg, photo);
        QCOMPARE(grey.bitsPerPixel(), 8);
        QVERIFY(encodeOptimisedJpeg(grey, flags, JpegLayout::Baseline).isEmpty());
        QVERIFY(fixtures::samePixels(smallestJpeg(grey, flags), encodeBitmap(ImageFormat::Jpeg, grey, flags)));
    }

    void statusTextsAndStatistics()
    {
        OneRow rig;
        QVERIFY(fixtures::writeTwoToneJpeg(rig.source + "/12345.jpg", 1600, 1200, 0x203040, 0xE0D0C0));
        QCOMPARE(runRow(rig), RowOutcome::Written);
        QVERIFY(rig.view.logOf("batch: ").contains("batch: Leyendo imagen: /12345.JPG"));
        QCOMPARE(rig.view.batchText, QStringLiteral("Escribiendo imagen: /ABC.jpg"));
        QVERIFY(rig.view.summaryButtonVisible);
        const QList<SummaryEntry> roots = rig.view.tree.roots();
        const SummaryEntry* row = &roots[0].children.at(0);
        QCOMPARE(row->key, QStringLiteral("1 ID"));
        QCOMPARE(row->children.size(), 2);
        const qint64 kbRead = kilobytes(QFileInfo(rig.source + "/12345.jpg").size());
        const qint64 kbWritten = kilobytes(QFileInfo(rig.large("ABC")).size());
        QCOMPARE(row->children[0].text, sizeDetailText(kbRead, kbWritten));
        QVERIFY(row->children[1].text.startsWith("Porcentaje comprimido "));
        QCOMPARE(rig.totals.kbReadTotal, kbRead);
        QCOMPARE(rig.totals.kbWrittenTotal, kbWritten);
        // Yields: two as each pass starts; in the row after the status,
        // between the rescales, around each of the three glyphs, before
        // saving, before the statistics; then the stop row's pass and three beeps.
        QCOMPARE(rig.ui.yieldCount, 2 + (1 + 1 + 6 + 1 + 1) + 2 + 3);
    }

    void statusTextsShowTheSystemsSeparator_data()
    {
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<QString>("reading");
        QTest::addColumn<QString>("writing");

        QTest::newRow("Windows") << QChar(u'\\') << "Leyendo imagen: \\12345.JPG"
                                 << "Escribiendo imagen: \\ABC.jpg";
        QTest::newRow("Linux") << QChar(u'/') << "Leyendo imagen: /12345.JPG"
                               << "Escribiendo imagen: /ABC.jpg";
    }

    void statusTextsShowTheSystemsSeparator()
    {
        QFETCH(QChar, separator);
        QFETCH(QString, reading);
        QFETCH(QString, writing);
        QCOMPARE(readingImageText("12345", ".JPG", separator), reading);
        QCOMPARE(writingImageText("ABC", separator), writing);
    }

    void undecodableSourceEndsTheRowSilently()
    {
        OneRow rig;
        fixtures::writeBytes(rig.source + "/12345.jpg", QByteArray("not a picture at all").repeated(10));
        QCOMPARE(runRow(rig), RowOutcome::NotDecoded);
        QCOMPARE(rig.view.rows[0].problem, QStringLiteral("no es una imagen JPEG, TIFF, PNG, WebP, HEIC ni AVIF"));
        QVERIFY(rig.view.logOf("batch: Leyendo").isEmpty());
        QVERIFY(rig.ui.messageTexts().isEmpty());
        QVERIFY(!QFile::exists(rig.large("ABC")));
    }

    void cellsEmptiedMeanwhileWriteNothing()
    {
        OneRow rig;
        QVERIFY(fixtures::writeJpeg(rig.source + "/12345.jpg", 200, 100));
        rig.ui.onYield = [&](int) {
            if (rig.view.batchText.startsWith("Leyendo imagen"))
                rig.reader.cells.insert("A6", QString());
        };
        QCOMPARE(runRow(rig), RowOutcome::CellsNoLongerMatching);
        QCOMPARE(rig.view.batchText, QStringLiteral("No existen concordancias entre celdas"));
        QVERIFY(!QFile::exists(rig.large("ABC")));
        QVERIFY(!rig.view.summaryButtonVisible);
    }

    void tifSourcesOfEveryDepthAreWritten_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("watermark");
        QTest::addColumn<int>("outputBpp");
        QTest::newRow("24-bit") << int(fixtures::TiffKind::Rgb24) << true << 24;
        QTest::newRow("32-bit with alpha") << int(fixtures::TiffKind::Rgba32) << true << 24;
        QTest::newRow("48-bit") << int(fixtures::TiffKind::Rgb48) << true << 24;
        QTest::newRow("8-bit grey, stamped in colour") << int(fixtures::TiffKind::Grey8) << true << 24;
        QTest::newRow("8-bit grey without a watermark stays grey") << int(fixtures::TiffKind::Grey8) << false << 8;
    }

    void tifSourcesOfEveryDepthAreWritten()
    {
        QFETCH(int, kind);
        QFETCH(bool, watermark);
        QFETCH(int, outputBpp);
        OneRow rig;
        rig.settings.chooseTiffSource();
        if (!watermark)
            rig.settings.disableWatermark();
        QVERIFY(fixtures::writeTiff(rig.source + "/12345.TIF", 400, 300, fixtures::TiffKind(kind), 0x606060));
        QCOMPARE(runRow(rig), RowOutcome::Written);
        const fixtures::Decoded large = fixtures::decode(rig.large("ABC"));
        QCOMPARE(large.width, 409);
        QCOMPARE(large.bpp, outputBpp);
        // The band, from x = 1 and top floor(306.75) - 24, whatever the source's depth.
        QCOMPARE(near(pixelAt(rig.large("ABC"), 100, 290), kBand), watermark);
        QCOMPARE(fixtures::decode(rig.small("ABC")).width, 145);
        QVERIFY(rig.ui.messageTexts().isEmpty());
    }

    void anyFormatReadsTheFileItFinds()
    {
        OneRow rig;
        rig.settings.chooseAnySource();
        QVERIFY(fixtures::writePng(rig.source + "/12345.PNG", 1000, 750, kGrey));
        QCOMPARE(runRow(rig), RowOutcome::Written);
        QVERIFY(rig.view.logOf("batch: ").contains("batch: Leyendo imagen: /12345.PNG"));
        QCOMPARE(rig.view.rows[0].sourcePath, rig.source + "/12345.PNG");
        QVERIFY(rig.view.tree.roots()[0].children.at(0).text.contains("valor: 12345.PNG"));
        QCOMPARE(fixtures::decode(rig.large("ABC")).height, 307);
    }

    void smallCopyPathChangesOnlyTheFileName()
    {
        QCOMPARE(smallCopyPath("/d/x.jpgs", "ABC"), QStringLiteral("/d/x.jpgs/pequeñas/ABC_p.jpg"));
        QCOMPARE(smallCopyPath("/d", "foto.jpg"), QStringLiteral("/d/pequeñas/foto_p.jpg_p.jpg"));
        QCOMPARE(smallCopyPath("/d", "ropa.jpg\\ABC"), QStringLiteral("/d/pequeñas/ropa.jpg/ABC_p.jpg"));
        QCOMPARE(smallCopyPath("/d", "Foto.JPG"), QStringLiteral("/d/pequeñas/Foto.JPG_p.jpg"));
    }

    void writeOutcomes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("obstacle");
        QTest::addColumn<RowOutcome>("outcome");
        QTest::addColumn<QStringList>("files");  // under the destination afterwards
        const QStringList both{"ABC.jpg", "pequeñas/ABC_p.jpg"};
        QTest::newRow("an earlier output is replaced") << "ABC" << int(EarlierOutput) << RowOutcome::Written << both;
        QTest::newRow("a file where pequeñas goes: the large copy stays")
            << "ABC" << int(FileForTheSmallFolder) << RowOutcome::SmallWriteFailed
            << QStringList{"ABC.jpg", "pequeñas"};
        QTest::newRow("nothing to encode: the earlier output stays whole")
            << "ABC" << int(NothingToEncode) << RowOutcome::WriteFailed << QStringList{"ABC.jpg"};
        QTest::newRow("a folder where the output goes")
            << "ABC" << int(FolderForTheOutput) << RowOutcome::WriteFailed << QStringList{};
        QTest::newRow("a sub-folder that does not exist")
            << "camisas\\ABC" << int(Nothing) << RowOutcome::WriteFailed << QStringList{};
        QTest::newRow("a sub-folder that exists") << "camisas\\ABC" << int(SubFolder) << RowOutcome::Written
                                                  << QStringList{"camisas/ABC.jpg", "pequeñas/camisas/ABC_p.jpg"};
        QTest::newRow("a destination text ending in .jpg") << "foto.jpg" << int(Nothing) << RowOutcome::Written
                                                           << QStringList{"foto.jpg.jpg", "pequeñas/foto_p.jpg_p.jpg"};
        QTest::newRow("a destination folder named like a picture")
            << "ABC" << int(DestinationLikeJpg) << RowOutcome::Written << both;
        // The user's read-only mark holds even for root, who could write the file.
        QTest::newRow("a read-only earlier output stays as it was")
            << "ABC" << int(ReadOnlyOutput) << RowOutcome::WriteFailed << QStringList{"ABC.jpg"};
        QTest::newRow("a read-only earlier small copy stays as it was")
            << "ABC" << int(ReadOnlySmallCopy) << RowOutcome::SmallWriteFailed << both;
        QTest::newRow("links at both outputs are replaced, not written through")
            << "ABC" << int(LinksAtTheOutputs) << RowOutcome::Written << both;
    }

    void writeOutcomes()
    {
        QFETCH(QString, name);
        QFETCH(int, obstacle);
        QFETCH(RowOutcome, outcome);
        QFETCH(QStringList, files);
        RunRig rig;
        rig.setRows({{"12345", name}});
        QVERIFY(fixtures::writeJpeg(rig.source + "/12345.jpg", 300, 200));
        const QByteArray earlier = "yesterday's image";
        switch (Obstacle(obstacle)) {
        case Nothing: break;
        case EarlierOutput: fixtures::writeBytes(rig.large("ABC"), earlier); break;
        case FileForTheSmallFolder: fixtures::writeBytes(rig.destination + "/pequeñas", "in the way"); break;
        case NothingToEncode:
            fixtures::writeBytes(rig.large("ABC"), earlier);
            rig.settings.setLargeWidth(0);
            break;
        case FolderForTheOutput: QDir().mkpath(rig.large("ABC")); break;
        case SubFolder: QDir().mkpath(rig.destination + "/camisas"); break;
        case DestinationLikeJpg:
            rig.destination = rig.dir.filePath("x.jpgs");
            QDir().mkpath(rig.destination);
            rig.settings.setDestinationFolder(rig.destination);
            break;
        case ReadOnlyOutput:
            fixtures::writeBytes(rig.large("ABC"), earlier);
            QFile::setPermissions(rig.large("ABC"), kReadOnly);
            break;
        case ReadOnlySmallCopy:
            QDir().mkpath(rig.destination + "/pequeñas");
            fixtures::writeBytes(rig.small("ABC"), earlier);
            QFile::setPermissions(rig.small("ABC"), kReadOnly);
            break;
        case LinksAtTheOutputs:
            fixtures::writeBytes(rig.dir.filePath("victim"), earlier);
            QDir().mkpath(rig.destination + "/pequeñas");
            QVERIFY(QFile::link(rig.dir.filePath("victim"), rig.large("ABC")));
            QVERIFY(QFile::link(rig.dir.filePath("victim"), rig.small("ABC")));
            break;
        }

        QCOMPARE(runRow(rig), outcome);

        QCOMPARE(fixtures::filesUnder(rig.destination), files);  // no temporary file is left behind either
        const bool largeWritten = outcome == RowOutcome::Written || outcome == RowOutcome::SmallWriteFailed;
        QCOMPARE(rig.ui.messageTexts(), outcome == RowOutcome::Written
                                            ? QStringList{}
                                            : QStringList{"Se ha producido un error en la escritura"});
        // The sizes of a large copy written, and a red line saying why a copy was not.
        const QList<SummaryEntry> details = rig.view.tree.roots()[0].children.at(0).children;
        QCOMPARE(details.size(), (largeWritten ? 2 : 0) + (outcome == RowOutcome::Written ? 0 : 1));
        QCOMPARE(details.isEmpty() ? kEntryBlack : details.last().colour,
                 outcome == RowOutcome::Written || details.isEmpty() ? kEntryBlack : kEntryRed);
        QCOMPARE(rig.logBytes().count("\r\n"), outcome == RowOutcome::Written ? 0 : 1);
        if (largeWritten)
            QCOMPARE(fixtures::decode(rig.destination + "/" + files.first()).width, 409);
        if (Obstacle(obstacle) == NothingToEncode || Obstacle(obstacle) == ReadOnlyOutput)
            QCOMPARE(fixtures::readBytes(rig.large("ABC")), earlier);
        if (Obstacle(obstacle) == ReadOnlyOutput)
            QCOMPARE(ownBits(rig.large("ABC")), kReadOnly);
        if (Obstacle(obstacle) == LinksAtTheOutputs) {
            QCOMPARE(fixtures::readBytes(rig.dir.filePath("victim")), earlier);
            QVERIFY(!QFileInfo(rig.large("ABC")).isSymLink() && !QFileInfo(rig.small("ABC")).isSymLink());
            QCOMPARE(fixtures::decode(rig.small("ABC")).width, 145);
        }
        if (Obstacle(obstacle) == ReadOnlySmallCopy) {
            QCOMPARE(fixtures::readBytes(rig.small("ABC")), earlier);
            QCOMPARE(ownBits(rig.small("ABC")), kReadOnly);
        }
    }

    void everyNameTheFileSystemTakesIsWritten_data()
    {
        QTest::addColumn<int>("bytes");  // of the name, ".jpg" included
        QTest::addColumn<QString>("letter");
        QTest::addColumn<bool>("written");
        for (int bytes : {238, 239, 247, 254, 255})
            QTest::addRow("%d bytes", bytes) << bytes << "a" << true;
        QTest::newRow("255 bytes, mostly two-byte letters") << 255 << "ñ" << true;
        QTest::newRow("256 bytes: the file system refuses it") << 256 << "a" << false;
    }

    void everyNameTheFileSystemTakesIsWritten()
    {
        QFETCH(int, bytes);
        QFETCH(QString, letter);
        QFETCH(bool, written);
        const int stem = bytes - 4;
        const int letterBytes = int(letter.toUtf8().size());
        const QString name = letter.repeated(stem / letterBytes) + QString(stem % letterBytes, 'a') + ".jpg";
        QCOMPARE(name.toUtf8().size(), bytes);

        QTemporaryDir dir;
        QVERIFY(fixtures::writeJpeg(dir.filePath("fuente.jpg"), 40, 30));
        const Bitmap image = Bitmap::load(ImageFormat::Jpeg, dir.filePath("fuente.jpg"));
        QCOMPARE(saveBitmap(ImageFormat::Jpeg, image, dir.filePath(name), kJpegQualityNormal), written);
        QStringList expected{"fuente.jpg"};
        if (written)
            expected << name;
        expected.sort();
        // Nothing else: no temporary file is left either.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
        if (written)
            QCOMPARE(fixtures::decode(dir.filePath(name)).width, 40);
    }
};

QTEST_GUILESS_MAIN(TestImagePipeline)
#include "tst_imagepipeline.moc"
