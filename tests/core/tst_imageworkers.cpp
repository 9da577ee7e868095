#include "core/base/uiservices.h"
#include "core/image/bitmap.h"
#include "core/image/imageheader.h"
#include "core/image/bitmapaccess.h"
#include "core/image/jpegscale.h"
#include "core/image/jpegdecoder.h"
#include "core/image/memorybudget.h"
#include "core/image/prepareimages.h"
#include "core/image/rowpreparation.h"
#include "support/imagefixtures.h"
#include "support/scripteduiservices.h"

#include <QProcess>

#include <atomic>
#include <functional>
#include <numeric>
#include <optional>
#include <mutex>
#include <thread>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <FreeImage.h>

namespace {
const QString kPhotos = QStringLiteral(FOTOLISTA_SOURCE_DIR "/examples/fotos");

std::span<const std::byte> bytesOf(const QByteArray& bytes)
{
    return {reinterpret_cast<const std::byte*>(bytes.constData()), size_t(bytes.size())};
}

/// The JPEG with `symbol` added to its first DC table under a code of 16
/// bits, which no data uses: libjpeg judges the table, not the data.
QByteArray withDcSymbol(QByteArray jpeg, int symbol)
{
    const qsizetype dht = jpeg.indexOf("\xFF\xC4");
    const qsizetype length = qsizetype(uchar(jpeg[dht + 2])) << 8 | uchar(jpeg[dht + 3]);
    for (qsizetype table = dht + 4; table < dht + 2 + length;) {
        int total = 0;
        for (int i = 1; i <= 16; ++i)
            total += uchar(jpeg[table + i]);
        if (uchar(jpeg[table]) >> 4 == 0) {
            jpeg[table + 16] = char(uchar(jpeg[table + 16]) + 1);
            jpeg.insert(table + 17 + total, char(symbol));
            jpeg[dht + 2] = char((length + 1) >> 8);
            jpeg[dht + 3] = char(length + 1);
            return jpeg;
        }
        table += 17 + total;
    }
    return {};
}

/// A bitmap as a PNG file, which holds its pixels exactly.
QByteArray pngOf(const Bitmap& bitmap, const QString& path)
{
    return saveBitmap(ImageFormat::Png, bitmap, path, 0) ? fixtures::readBytes(path) : QByteArray();
}
} // namespace

Q_DECLARE_METATYPE(fixtures::ScanScript)
Q_DECLARE_METATYPE(std::function<QByteArray()>)

class TestImageWorkers : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initialiseImageLibrary(); }

    void reducedReadNeverShrinksBelowTheMargin_data()
    {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("eighths");
        QTest::addColumn<int>("decodedWidth");
        QTest::newRow("4000x3000 at 2/8, not 1/8") << 4000 << 3000 << 409 << 2 << 1000;
        QTest::newRow("5000x3750 at 1/8") << 5000 << 3750 << 409 << 1 << 625;
        QTest::newRow("portrait 3000x4000 at 2/8") << 3000 << 4000 << 409 << 2 << 750;
        QTest::newRow("2000x1500 at 3/8") << 2000 << 1500 << 409 << 3 << 750;
        QTest::newRow("1600x1200 at 4/8, not 3/8") << 1600 << 1200 << 409 << 4 << 800;
        QTest::newRow("portrait 1200x1600 at 5/8") << 1200 << 1600 << 409 << 5 << 750;
        QTest::newRow("800x600 at 7/8") << 800 << 600 << 409 << 7 << 700;
        QTest::newRow("600x400 whole") << 600 << 400 << 409 << 8 << 600;
        QTest::newRow("a side rounded up reaches the margin") << 4907 << 2000 << 409 << 1 << 614;
        QTest::newRow("one short of the margin") << 4900 << 2000 << 409 << 2 << 1225;
        QTest::newRow("no target") << 4000 << 3000 << 0 << 8 << 4000;
    }

    void reducedReadNeverShrinksBelowTheMargin()
    {
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(int, target);
        QFETCH(int, eighths);
        QFETCH(int, decodedWidth);
        QCOMPARE(jpegEighths(ImageSize{w, h}, target), eighths);

        // The decoder itself agrees.
        QTemporaryDir dir;
        const QString path = dir.filePath("p.jpg");
        QVERIFY(fixtures::writeJpeg(path, w, h));
        const QByteArray bytes = fixtures::readBytes(path);
        const Bitmap decoded = decodeJpegReduced(
            std::span(reinterpret_cast<const std::byte*>(bytes.constData()), size_t(bytes.size())), eighths,
            kMaxSourcePixels);
        QCOMPARE(decoded.width(), decodedWidth);
        QVERIFY(target == 0 || eighths == 8 || decoded.width() >= kJpegReadMargin * target);
    }

    void ourReadTakesAnyScanLayout_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<bool>("grey");
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<int>("eighths");
        // Colour planes subsampled across only are widened by libjpeg after
        // its transform (by repeating samples at 4:1:1) and transformed wide
        // by ours, which lies as close to an ideal downscale (measured: 35.4
        // against 35.6 dB at 4:2:2, 29.5 against 28.5 at 4:1:1).
        QTest::addColumn<double>("minDb");
        QTest::newRow("4:2:0 at 2/8") << JPEG_SUBSAMPLING_420 << false << 320 << 240 << 2 << 40.0;
        QTest::newRow("4:2:0, odd sides, at 3/8") << JPEG_SUBSAMPLING_420 << false << 403 << 299 << 3 << 40.0;
        QTest::newRow("4:2:2 at 4/8, odd height") << JPEG_SUBSAMPLING_422 << false << 322 << 241 << 4 << 36.0;
        QTest::newRow("4:4:4 at 1/8") << JPEG_SUBSAMPLING_444 << false << 330 << 250 << 1 << 40.0;
        QTest::newRow("4:1:1 at 2/8") << JPEG_SUBSAMPLING_411 << false << 333 << 200 << 2 << 32.0;
        QTest::newRow("grey at 3/8") << 0 << true << 301 << 203 << 3 << 40.0;
    }

    void ourReadTakesAnyScanLayout()
    {
        // The same coefficients in any scans, progressive or sequential, with
        // or without restart markers, make the same picture; and it is
        // libjpeg's picture to within the rounding of the two transforms.
        QFETCH(int, flags);
        QFETCH(bool, grey);
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(int, eighths);
        QFETCH(double, minDb);
        QTemporaryDir dir;
        QVERIFY(fixtures::writePhotoJpeg(dir.filePath("p.jpg"), w, h, flags | 90, grey));
        const QByteArray baseline = fixtures::readBytes(dir.filePath("p.jpg"));
        const Bitmap theirs = decodeJpegReducedByLibjpeg(bytesOf(baseline), eighths, kMaxSourcePixels);
        QByteArray first;
        using fixtures::ScanScript;
        for (const auto script :
             {ScanScript::Simple, ScanScript::BandsOnly, ScanScript::DeepRefinement, ScanScript::Baseline}) {
            for (const int restartInterval : {0, 1, 7}) {
                const QByteArray where = QString("script %1, restarts %2").arg(int(script)).arg(restartInterval).toUtf8();
                const QByteArray jpeg = fixtures::rescanJpeg(baseline, script, restartInterval);
                const Bitmap ours = decodeJpegReducedByOurs(bytesOf(jpeg), eighths, kMaxSourcePixels);
                QVERIFY2(!ours.isNull(), where.constData());
                QCOMPARE(decodeJpegReduced(bytesOf(jpeg), eighths, kMaxSourcePixels).width(), ours.width());
                const QByteArray png = pngOf(ours, dir.filePath("ours.png"));
                QVERIFY(!png.isEmpty());
                if (!first.isEmpty()) {
                    QVERIFY2(png == first, where.constData());
                    continue;
                }
                // The refinement's three instruction sets agree.
                for (const auto set : {RefineInstructions::Counting, RefineInstructions::Plain}) {
                    const Bitmap other = decodeJpegReducedByOurs(bytesOf(jpeg), eighths, kMaxSourcePixels, set);
                    QCOMPARE(pngOf(other, dir.filePath("other.png")), png);
                }
                first = png;
                QCOMPARE(ours.width(), theirs.width());
                QCOMPARE(ours.height(), theirs.height());
                QCOMPARE(ours.bitsPerPixel(), theirs.bitsPerPixel());
                QCOMPARE(FreeImage_GetDotsPerMeterX(dibOf(ours)), FreeImage_GetDotsPerMeterX(dibOf(theirs)));
                QVERIFY(!pngOf(theirs, dir.filePath("theirs.png")).isEmpty());
                const double db = fixtures::psnr(dir.filePath("ours.png"), dir.filePath("theirs.png"));
                QVERIFY2(db >= minDb, qPrintable(QString::number(db)));
            }
        }
    }

    void damagedFilesAreLeftToLibjpeg_data()
    {
        using fixtures::ScanScript;
        QTest::addColumn<ScanScript>("script");
        QTest::addColumn<QString>("damage");
        QTest::addColumn<bool>("libjpegReadsIt");
        for (const auto script : {ScanScript::Simple, ScanScript::Baseline}) {
            const char* kind = script == ScanScript::Simple ? "progressive" : "sequential";
            QTest::addRow("%s, ends within a scan", kind) << script << "cut" << false;
            QTest::addRow("%s, ends before its end marker", kind) << script << "no end" << false;
            QTest::addRow("%s, a restart marker out of turn", kind) << script << "restart" << true;
        }
        QTest::newRow("a refinement before its first scan") << ScanScript::Simple << "order" << true;
        QTest::newRow("sequential, a second scan") << ScanScript::Baseline << "twice" << false;
    }

    void damagedFilesAreLeftToLibjpeg()
    {
        // Anything irregular goes to libjpeg, whose handling of damage stays
        // the program's: a file that ends early is still refused.
        QFETCH(fixtures::ScanScript, script);
        QFETCH(QString, damage);
        QFETCH(bool, libjpegReadsIt);
        QTemporaryDir dir;
        QVERIFY(fixtures::writePhotoJpeg(dir.filePath("p.jpg"), 320, 240, 90));
        const QByteArray baseline = fixtures::readBytes(dir.filePath("p.jpg"));
        QByteArray jpeg = fixtures::rescanJpeg(baseline, script, damage == "restart" ? 2 : 0);
        if (damage == "cut") {
            jpeg.truncate(jpeg.size() * 2 / 3);
        } else if (damage == "no end") {
            jpeg.chop(2);
        } else if (damage == "restart") {
            const qsizetype at = jpeg.indexOf(QByteArray("\xFF\xD1", 2));
            QVERIFY(at > 0);
            jpeg[at + 1] = char(0xD3);
        } else if (damage == "twice") {
            // The scan again before the end marker.
            const qsizetype scan = jpeg.indexOf(QByteArray("\xFF\xDA", 2));
            QVERIFY(scan > 0);
            jpeg.insert(jpeg.size() - 2, jpeg.mid(scan, jpeg.size() - 2 - scan));
        } else {
            // The second scan (AC of the first plane, first pass) claims to refine it.
            const qsizetype first = jpeg.indexOf(QByteArray("\xFF\xDA", 2));
            const qsizetype second = jpeg.indexOf(QByteArray("\xFF\xDA", 2), first + 2);
            QVERIFY(second > 0);
            const qsizetype approximation = second + 4 + 1 + 2 * uchar(jpeg[second + 4]) + 2;
            QCOMPARE(uchar(jpeg[approximation]) >> 4, 0);
            jpeg[approximation] = char(uchar(jpeg[approximation]) | 0x30);
        }
        QVERIFY(decodeJpegReducedByOurs(bytesOf(jpeg), 2, kMaxSourcePixels).isNull());
        const Bitmap read = decodeJpegReduced(bytesOf(jpeg), 2, kMaxSourcePixels);
        QCOMPARE(!read.isNull(), libjpegReadsIt);
        QCOMPARE(read.width(), decodeJpegReducedByLibjpeg(bytesOf(jpeg), 2, kMaxSourcePixels).width());
    }

    void bothReadsTakeTheSameFiles_data()
    {
        // What libjpeg makes of a file decides, in both modes: our decoder
        // hands it every file libjpeg refuses or warns about.
        QTest::addColumn<std::function<QByteArray()>>("make");
        QTest::addColumn<int>("largeWidth");
        QTest::addColumn<bool>("libjpegReadsIt");
        QTest::addColumn<bool>("libjpegWarns");
        const auto seed = [](const char* name) {
            return [name] {
                return fixtures::readBytes(QStringLiteral(FOTOLISTA_SOURCE_DIR "/fuzz/corpus/fastread/") + name).mid(1);
            };
        };
        const auto photo = [](int flags, auto change) {
            return [flags, change] {
                QTemporaryDir dir;
                fixtures::writePhotoJpeg(dir.filePath("p.jpg"), 1280, 960, flags | 90);
                return change(fixtures::readBytes(dir.filePath("p.jpg")));
            };
        };
        const auto progressive = [](const QByteArray& j) { return fixtures::rescanJpeg(j, fixtures::ScanScript::Simple); };
        const auto restarts = [](const QByteArray& j) { return fixtures::rescanJpeg(j, fixtures::ScanScript::Baseline, 7); };
        const auto beforeFirstRestart = [restarts](const QByteArray& j) {
            QByteArray r = restarts(j);
            return r.insert(r.indexOf("\xFF\xD0"), "\x12\x34\x56");
        };
        // The two inputs the fuzzer found, committed as its seeds.
        QTest::newRow("fuzzer: DC symbol 16, baseline") << std::function(seed("regression-dc-symbol-16")) << 8 << false << false;
        QTest::newRow("fuzzer: DC symbol 16, progressive")
            << std::function(seed("regression-dc-symbol-16-progressive")) << 8 << false << false;
        const int p420 = JPEG_SUBSAMPLING_420;
        QTest::newRow("as written") << std::function(photo(p420, [](QByteArray j) { return j; })) << 409 << true << false;
        QTest::newRow("DC symbol 16") << std::function(photo(p420, [](QByteArray j) { return withDcSymbol(j, 16); }))
                                      << 409 << false << false;
        QTest::newRow("DC symbol 16, progressive")
            << std::function(photo(p420, [=](QByteArray j) { return withDcSymbol(progressive(j), 16); })) << 409 << false
            << false;
        QTest::newRow("DC symbol 15") << std::function(photo(p420, [](QByteArray j) { return withDcSymbol(j, 15); }))
                                      << 409 << true << false;
        QTest::newRow("a code of all ones") << std::function(photo(p420, [](QByteArray j) {
            // Two more codes of one bit: the shortest codes take all the room.
            const qsizetype dht = j.indexOf("\xFF\xC4");
            j[dht + 3] = char(uchar(j[dht + 3]) + 2);
            j[dht + 5] = char(uchar(j[dht + 5]) + 2);
            return j.insert(dht + 4 + 17, QByteArray(2, '\0'));
        })) << 409 << false << false;
        QTest::newRow("more than 256 symbols") << std::function(photo(p420, [](QByteArray j) {
            j[j.indexOf("\xFF\xC4") + 4 + 16] = char(255);
            return j;
        })) << 409 << false << false;
        QTest::newRow("sixteen blocks a unit") << std::function(photo(p420, [](QByteArray j) {
            j[j.indexOf("\xFF\xC0") + 11] = char(0x44);  // the first plane sampled 4 × 4
            return j;
        })) << 409 << false << false;
        QTest::newRow("JFIF 2.0") << std::function(photo(p420, [](QByteArray j) {
            j[j.indexOf("JFIF") + 5] = 2;
            return j;
        })) << 409 << true << true;
        QTest::newRow("bytes before a restart marker") << std::function(photo(p420, beforeFirstRestart)) << 409 << true << true;
        QTest::newRow("bytes after the scan") << std::function(photo(p420, [](QByteArray j) {
            return j.insert(j.size() - 2, "\x12\x34\x56");
        })) << 409 << true << true;
        QTest::newRow("cut short after a warning") << std::function(photo(p420, [=](QByteArray j) {
            return beforeFirstRestart(j).left(j.size() * 6 / 10);
        })) << 409 << false << true;
    }

    void bothReadsTakeTheSameFiles()
    {
        QFETCH(std::function<QByteArray()>, make);
        QFETCH(int, largeWidth);
        QFETCH(bool, libjpegReadsIt);
        QFETCH(bool, libjpegWarns);
        const QByteArray jpeg = make();
        QVERIFY(jpeg.startsWith("\xFF\xD8"));
        QTemporaryDir dir;
        const QString path = dir.filePath("p.jpg");
        QVERIFY(fixtures::writeBytes(path, jpeg));
        const PreparedImages exact = prepareImages(PrepareRequest{path, false, true, largeWidth, 7});
        const PreparedImages fast = prepareImages(PrepareRequest{path, true, true, largeWidth, 7});
        QCOMPARE(exact.decoded, libjpegReadsIt);
        QCOMPARE(fast.decoded, libjpegReadsIt);
        // Reduced as the fast read reduces it; libjpeg's own reduced read agrees.
        const int eighths = jpegEighths(ImageSize{exact.sourceWidth, exact.sourceHeight}, largeWidth);
        QVERIFY(eighths <= 4);
        QCOMPARE(decodeJpegReducedByLibjpeg(bytesOf(jpeg), eighths, kMaxSourcePixels).isNull(), !libjpegReadsIt);
        QCOMPARE(decodeJpegReducedByOurs(bytesOf(jpeg), eighths, kMaxSourcePixels).isNull(), !libjpegReadsIt || libjpegWarns);
    }

    void vectorColourConversionIsLibjpegs()
    {
        // Every level of each plane, at widths around the vector's sixteen.
        std::vector<uint8_t> luma(256 * 3), cb(luma.size()), cr(luma.size());
        for (size_t i = 0; i < luma.size(); ++i) {
            luma[i] = uint8_t(i);
            cb[i] = uint8_t(i * 7 + 3);
            cr[i] = uint8_t(255 - i * 13);
        }
        for (const int width : {1, 15, 16, 17, 47, int(luma.size())}) {
            std::vector<uint8_t> plain(size_t(width) * 3), vector(plain.size());
            jpegColourRow(luma.data(), cb.data(), cr.data(), plain.data(), width, false);
            jpegColourRow(luma.data(), cb.data(), cr.data(), vector.data(), width, true);
            QVERIFY2(plain == vector, qPrintable(QString::number(width)));
        }
        // The plain conversion is libjpeg's own: grey stays grey, and pure
        // red is where libjpeg puts it.
        const uint8_t y = 76, u = 85, v = 255, grey = 128;
        uint8_t pixel[3];
        jpegColourRow(&grey, &grey, &grey, pixel, 1, false);
        QCOMPARE(std::vector<int>(pixel, pixel + 3), (std::vector<int>{128, 128, 128}));
        jpegColourRow(&y, &u, &v, pixel, 1, false);
        QCOMPARE(std::vector<int>(pixel, pixel + 3), (std::vector<int>{0, 0, 254}));
    }

    void fastDecodingKeepsSizesAndLooksTheSame_data()
    {
        QTest::addColumn<QString>("photo");
        QTest::newRow("landscape 2000x1500") << "20001.jpg";
        QTest::newRow("portrait 1200x1600") << "12346.JPG";
        QTest::newRow("1600x1200") << "12345.jpg";
        QTest::newRow("800x800, decoded whole") << "20003.jpg";
    }

    void fastDecodingKeepsSizesAndLooksTheSame()
    {
        QFETCH(QString, photo);
        PrepareRequest exact{kPhotos + "/" + photo, false, true, 409, 145};
        PrepareRequest fast = exact;
        fast.fast = true;
        PreparedImages a = prepareImages(exact);
        PreparedImages b = prepareImages(fast);
        QVERIFY(a.decoded && b.decoded);
        QCOMPARE(b.sourceWidth, a.sourceWidth);
        QCOMPARE(b.sourceHeight, a.sourceHeight);
        QCOMPARE(b.large.width(), a.large.width());
        QCOMPARE(b.large.height(), a.large.height());
        QCOMPARE(b.small.height(), a.small.height());

        QTemporaryDir dir;
        QVERIFY(saveBitmap(ImageFormat::Jpeg, a.large, dir.filePath("a.jpg"), kJpegQualitySuperb));
        QVERIFY(saveBitmap(ImageFormat::Jpeg, b.large, dir.filePath("b.jpg"), kJpegQualitySuperb));
        const double db = fixtures::psnr(dir.filePath("a.jpg"), dir.filePath("b.jpg"));
        QVERIFY2(db >= 40.0, qPrintable(QString::number(db)));
    }

    void fastCopiesLieAsCloseToAnIdealDownscale_data()
    {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<int>("flags");
        // Odd sides leave the reduced read a partial last column or row.
        QTest::newRow("1/8") << 5400 << 3600 << 0;
        QTest::newRow("3/8, portrait, odd sides") << 1701 << 2267 << 0;
        QTest::newRow("4/8") << 1600 << 1200 << 0;
        QTest::newRow("3/8, odd height") << 2000 << 1499 << 0;
        QTest::newRow("5/8, odd width") << 1203 << 1600 << 0;
        // Progressive files are read by our own decoder.
        QTest::newRow("progressive, 2/8") << 3000 << 2000 << JPEG_PROGRESSIVE;
        QTest::newRow("progressive 4:2:2, 4/8, odd sides") << 1601 << 1201 << (JPEG_PROGRESSIVE | JPEG_SUBSAMPLING_422);
    }

    void fastCopiesLieAsCloseToAnIdealDownscale()
    {
        // The ideal: ImageMagick's Lanczos resize of the full decode. The
        // fast copy may lie no more than 0.5 dB further from it than the
        // exact one, both saved at quality "alta".
        if (QStandardPaths::findExecutable("convert").isEmpty())
            QSKIP("ImageMagick is not installed");
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(int, flags);
        QTemporaryDir dir;
        const QString path = dir.filePath("p.jpg");
        QVERIFY(fixtures::writePhotoJpeg(path, w, h, flags | 90));
        PrepareRequest exact{path, false, true, 409, 145};
        PrepareRequest fast = exact;
        fast.fast = true;
        const PreparedImages a = prepareImages(exact);
        const PreparedImages b = prepareImages(fast);
        QVERIFY(a.decoded && b.decoded);
        QCOMPARE(b.large.height(), a.large.height());
        // Both copies: the fast small one is made from the large one.
        const std::pair<const Bitmap*, const Bitmap*> copies[] = {{&a.large, &b.large}, {&a.small, &b.small}};
        for (const auto& [exactCopy, fastCopy] : copies) {
            QVERIFY(saveBitmap(ImageFormat::Jpeg, *exactCopy, dir.filePath("a.jpg"), kJpegQualitySuperb));
            QVERIFY(saveBitmap(ImageFormat::Jpeg, *fastCopy, dir.filePath("b.jpg"), kJpegQualitySuperb));
            const QString ideal = dir.filePath("ideal.png");
            const QString size = QString("%1x%2!").arg(exactCopy->width()).arg(exactCopy->height());
            QCOMPARE(QProcess::execute("convert", {path, "-filter", "Lanczos", "-resize", size, ideal}), 0);
            const double exactDb = fixtures::psnr(dir.filePath("a.jpg"), ideal);
            const double fastDb = fixtures::psnr(dir.filePath("b.jpg"), ideal);
            QVERIFY2(fastDb >= exactDb - 0.5,
                     qPrintable(QString("%1 wide: %2 against %3 dB").arg(size).arg(fastDb).arg(exactDb)));
        }
    }

    void tifIsNeverDecodedFast()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("p.tif");
        QVERIFY(fixtures::writeTiff(path, 2000, 1500, fixtures::TiffKind::Rgb24));
        const PreparedImages p = prepareImages(PrepareRequest{path, true, true, 409, 145});
        QVERIFY(p.decoded);
        QCOMPARE(p.large.width(), 409);
        QCOMPARE(p.large.height(), 307);
    }

    void anUndecodableSourceIsReported()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("p.jpg");
        fixtures::writeBytes(path, "no picture");
        QVERIFY(!prepareImages(PrepareRequest{path, false, true, 409, 145}).decoded);
        QVERIFY(!prepareImages(PrepareRequest{path, true, true, 409, 145}).decoded);
        QVERIFY(!prepareImages(PrepareRequest{dir.filePath("none.jpg"), true, true, 409, 145}).decoded);
    }

    void decodesWaitForRoomInTurn_data()
    {
        QTest::addColumn<qint64>("held");  // taken first, by the run's thread
        QTest::addColumn<QList<qint64>>("later");  // asked for in this order by other threads
        QTest::addColumn<int>("admitted");  // of the later ones, let in beside the first
        QTest::newRow("room for both") << qint64(40) << QList<qint64>{50} << 1;
        QTest::newRow("no room: it waits") << qint64(60) << QList<qint64>{50} << 0;
        QTest::newRow("in turn: a small one does not pass a waiting one") << qint64(60) << QList<qint64>{50, 10} << 0;
        QTest::newRow("the first in line that fits, then the next") << qint64(30) << QList<qint64>{50, 30} << 1;
        QTest::newRow("a photo over the whole budget goes alone") << qint64(0) << QList<qint64>{500, 10} << 1;
        QTest::newRow("but never beside another") << qint64(10) << QList<qint64>{500} << 0;
    }

    void decodesWaitForRoomInTurn()
    {
        QFETCH(qint64, held);
        QFETCH(QList<qint64>, later);
        QFETCH(int, admitted);
        MemoryBudget budget(100);
        std::optional<MemoryBudget::Share> first;
        if (held > 0)
            first = budget.take(held);
        std::mutex mutex;
        std::vector<int> order;
        std::atomic<bool> hold{true};
        std::vector<std::thread> threads;
        const auto admittedSoFar = [&] { const std::lock_guard lock(mutex); return int(order.size()); };
        for (int i = 0; i < int(later.size()); ++i) {
            threads.emplace_back([&, i] {
                const MemoryBudget::Share share = budget.take(later[i]);
                { const std::lock_guard lock(mutex); order.push_back(i); }
                while (hold)
                    std::this_thread::yield();
            });
            // Each asks after the one before it, so the turns are known.
            QTRY_COMPARE_WITH_TIMEOUT(admittedSoFar() + budget.waiting(), i + 1, 5000);
        }
        QCOMPARE(admittedSoFar(), admitted);
        hold = false;
        first.reset();
        for (std::thread& t : threads)
            t.join();
        std::vector<int> inTurn(later.size());
        std::iota(inTurn.begin(), inTurn.end(), 0);
        QCOMPARE(order, inTurn);
        QCOMPARE(budget.held(), qint64(0));
        // A 150-megapixel photo alone fits the largest default budget.
        QVERIFY(decodeBytesFor(kMaxSourcePixels) <= qint64(2) << 30 && defaultDecodeBudget() <= qint64(2) << 30);
    }

    void preparedWorkIsUsedOnlyForTheSameSettings()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("p.jpg");
        QVERIFY(fixtures::writeJpeg(path, 800, 600));
        ScriptedUiServices ui;
        RowPreparation preparation(2);
        const PrepareRequest asked{path, false, true, 409, 145};
        preparation.schedule(4, asked);
        preparation.schedule(8, asked);
        std::shared_ptr<PreparedImages> same = preparation.obtain(4, asked, ui);
        QCOMPARE(same->large.width(), 409);
        PrepareRequest changed = asked;
        changed.largeWidth = 200;
        std::shared_ptr<PreparedImages> redone = preparation.obtain(8, changed, ui);
        QCOMPARE(redone->large.width(), 200);
        // Nothing scheduled: the work is done on the spot.
        QCOMPARE(preparation.obtain(12, changed, ui)->small.width(), 145);
        QCOMPARE(ui.yieldCount, 0);  // waiting is no yield point
    }
};

QTEST_GUILESS_MAIN(TestImageWorkers)
#include "tst_imageworkers.moc"
