#include "core/image/bitmap.h"
#include "core/image/bitmapaccess.h"
#include "core/image/imageheader.h"
#include "core/image/jpeg/jpegdecoder.h"
#include "core/image/jpegscale.h"
#include "core/image/prepareimages.h"
#include "support/imagefixtures.h"

#include <QTemporaryDir>
#include <QTest>

#include <FreeImage.h>

#include <functional>

using namespace fotolista;

namespace {

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
}  // namespace

Q_DECLARE_METATYPE(fixtures::ScanScript)
Q_DECLARE_METATYPE(std::function<QByteArray()>)

// Our own reduced read of JPEGs (core/image/jpeg/) against libjpeg's.
class TestJpegDecoder : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initialiseImageLibrary(); }

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
                const QByteArray where =
                    QString("script %1, restarts %2").arg(int(script)).arg(restartInterval).toUtf8();
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
        const auto progressive = [](const QByteArray& j) {
            return fixtures::rescanJpeg(j, fixtures::ScanScript::Simple);
        };
        const auto restarts = [](const QByteArray& j) {
            return fixtures::rescanJpeg(j, fixtures::ScanScript::Baseline, 7);
        };
        const auto beforeFirstRestart = [restarts](const QByteArray& j) {
            QByteArray r = restarts(j);
            return r.insert(r.indexOf("\xFF\xD0"), "\x12\x34\x56");
        };
        // The two inputs the fuzzer found, committed as its seeds.
        QTest::newRow("fuzzer: DC symbol 16, baseline")
            << std::function(seed("regression-dc-symbol-16")) << 8 << false << false;
        QTest::newRow("fuzzer: DC symbol 16, progressive")
            << std::function(seed("regression-dc-symbol-16-progressive")) << 8 << false << false;
        const int p420 = JPEG_SUBSAMPLING_420;
        QTest::newRow("as written") << std::function(photo(p420, [](QByteArray j) { return j; })) << 409 << true
                                    << false;
        QTest::newRow("DC symbol 16") << std::function(photo(p420, [](QByteArray j) { return withDcSymbol(j, 16); }))
                                      << 409 << false << false;
        QTest::newRow("DC symbol 16, progressive")
            << std::function(photo(p420, [=](QByteArray j) { return withDcSymbol(progressive(j), 16); })) << 409
            << false << false;
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
        QTest::newRow("scan planes out of the frame's order") << std::function(photo(p420, [](QByteArray j) {
            const qsizetype sos = j.indexOf("\xFF\xDA") + 5;  // the first plane's entry
            const QByteArray second = j.mid(sos + 2, 2);
            j.replace(sos + 2, 2, j.mid(sos + 4, 2));
            return j.replace(sos + 4, 2, second);  // 1, 3, 2
        })) << 409 << false << false;
        QTest::newRow("JFIF 2.0") << std::function(photo(p420, [](QByteArray j) {
            j[j.indexOf("JFIF") + 5] = 2;
            return j;
        })) << 409 << true << true;
        QTest::newRow("bytes before a restart marker")
            << std::function(photo(p420, beforeFirstRestart)) << 409 << true << true;
        QTest::newRow("bytes after the scan")
            << std::function(photo(p420, [](QByteArray j) { return j.insert(j.size() - 2, "\x12\x34\x56"); })) << 409
            << true << true;
        QTest::newRow("cut short after a warning")
            << std::function(photo(p420, [=](QByteArray j) { return beforeFirstRestart(j).left(j.size() * 6 / 10); }))
            << 409 << false << true;
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
        QCOMPARE(decodeJpegReducedByOurs(bytesOf(jpeg), eighths, kMaxSourcePixels).isNull(),
                 !libjpegReadsIt || libjpegWarns);
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

    void theReducedReadIsOursUnlessSentToLibjpeg_data()
    {
        using fixtures::ScanScript;
        QTest::addColumn<ScanScript>("script");
        QTest::addColumn<bool>("grey");
        QTest::newRow("sequential") << ScanScript::Baseline << false;
        QTest::newRow("progressive") << ScanScript::Simple << false;
        QTest::newRow("progressive grey") << ScanScript::DeepRefinement << true;
    }

    void theReducedReadIsOursUnlessSentToLibjpeg()
    {
        // A build without our decoder, or FOTOLISTA_LIBJPEG_ONLY=1 (the
        // suite runs this file and tst_imageworkers both ways), sends every
        // reduced read to libjpeg; our decoder alone still reads the file.
        QFETCH(fixtures::ScanScript, script);
        QFETCH(bool, grey);
        const bool oursFirst = FOTOLISTA_OWN_JPEG && qEnvironmentVariableIntValue("FOTOLISTA_LIBJPEG_ONLY") == 0;
        QTemporaryDir dir;
        QVERIFY(fixtures::writePhotoJpeg(dir.filePath("p.jpg"), 403, 299, JPEG_SUBSAMPLING_420 | 90, grey));
        const QByteArray jpeg = fixtures::rescanJpeg(fixtures::readBytes(dir.filePath("p.jpg")), script);
        const QByteArray read = pngOf(decodeJpegReduced(bytesOf(jpeg), 3, kMaxSourcePixels), dir.filePath("read.png"));
        const QByteArray ours =
            pngOf(decodeJpegReducedByOurs(bytesOf(jpeg), 3, kMaxSourcePixels), dir.filePath("o.png"));
        const QByteArray theirs =
            pngOf(decodeJpegReducedByLibjpeg(bytesOf(jpeg), 3, kMaxSourcePixels), dir.filePath("t.png"));
        QVERIFY(!ours.isEmpty() && !theirs.isEmpty());
        QVERIFY(ours != theirs);  // or this could not tell the two apart
        QCOMPARE(read == ours, oursFirst);
        QCOMPARE(read == theirs, !oursFirst);
    }
};

QTEST_GUILESS_MAIN(TestJpegDecoder)
#include "tst_jpegdecoder.moc"
