#include "core/image/bitmap.h"
#include "core/image/prepareimages.h"
#include "support/imagefixtures.h"

#include <QTemporaryDir>
#include <QTest>

#include <FreeImage.h>

#include <array>
#include <cmath>

namespace {

/// How far a reduced read is from the means of the full read over the same
/// squares: the mean signed difference of each channel, the root mean
/// square of all of them and the largest one.
struct Deviation {
    std::array<double, 3> bias{};
    double rms = 0;
    int worst = 0;
};

Deviation deviationFromFullRead(const fixtures::Picture& reduced, const fixtures::Picture& full, int denominator)
{
    Deviation d;
    // Only squares wholly inside the picture: at the edges the decoder's own
    // scaled read also spans the padding.
    const int columns = full.width / denominator;
    const int rows = full.height / denominator;
    std::array<double, 3> sum{};
    double squares = 0;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < columns; ++x) {
            std::array<double, 3> mean{};
            for (int j = 0; j < denominator; ++j)
                for (int i = 0; i < denominator; ++i) {
                    const quint32 p = full.at(x * denominator + i, y * denominator + j);
                    for (int c = 0; c < 3; ++c)
                        mean[c] += (p >> (16 - 8 * c)) & 0xFF;
                }
            const quint32 q = reduced.at(x, y);
            for (int c = 0; c < 3; ++c) {
                const double diff = int((q >> (16 - 8 * c)) & 0xFF) - mean[c] / (denominator * denominator);
                sum[c] += diff;
                squares += diff * diff;
                d.worst = std::max(d.worst, int(std::lround(std::abs(diff))));
            }
        }
    for (int c = 0; c < 3; ++c)
        d.bias[c] = sum[c] / (double(columns) * rows);
    d.rms = std::sqrt(squares / (3.0 * columns * rows));
    return d;
}

double largestBias(const Deviation& d)
{
    return std::max({std::abs(d.bias[0]), std::abs(d.bias[1]), std::abs(d.bias[2])});
}

} // namespace

class TestJpegReduce : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initialiseImageLibrary(); }

    void meansOfTheFullRead_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<bool>("grey");
        QTest::addColumn<int>("denominator");
        const int q = 85;
        for (const int d : {2, 4, 8}) {
            const QByteArray by = " by " + QByteArray::number(d);
            QTest::newRow("4:2:0" + by) << (q | JPEG_SUBSAMPLING_420) << false << d;
            QTest::newRow("4:2:2" + by) << (q | JPEG_SUBSAMPLING_422) << false << d;
            QTest::newRow("4:4:4" + by) << (q | JPEG_SUBSAMPLING_444) << false << d;
            QTest::newRow("progressive" + by) << (q | JPEG_SUBSAMPLING_420 | JPEG_PROGRESSIVE) << false << d;
            QTest::newRow("greyscale" + by) << q << true << d;
        }
        QTest::newRow("4:1:1 by 8") << (q | JPEG_SUBSAMPLING_411) << false << 8;
        QTest::newRow("low quality by 8") << 40 << false << 8;
    }

    void meansOfTheFullRead()
    {
        QFETCH(int, flags);
        QFETCH(bool, grey);
        QFETCH(int, denominator);
        QTemporaryDir dir;
        const QString path = dir.filePath("p.jpg");
        // Sides that are no multiple of a block or of the scale.
        QVERIFY(fixtures::writePhotoJpeg(path, 1203, 907, flags, grey));

        const Bitmap reduced = Bitmap::loadJpegReduced(path, denominator);
        QVERIFY(!reduced.isNull());
        QVERIFY(saveBitmap(ImageFormat::Png, reduced, dir.filePath("reduced.png"), 0));
        QCOMPARE(fixtures::decode(dir.filePath("reduced.png")).bpp, grey ? 8 : 24);
        // The same size as the decoder's own scaled read.
        const Bitmap scaled = Bitmap::loadJpegScaled(path, 1203 / denominator);
        QCOMPARE(reduced.width(), scaled.width());
        QCOMPARE(reduced.height(), scaled.height());

        // Compared through lossless files, as the library holds the pixels.
        const Bitmap full = Bitmap::load(ImageFormat::Jpeg, path);
        QVERIFY(saveBitmap(ImageFormat::Png, full, dir.filePath("full.png"), 0));
        QVERIFY(saveBitmap(ImageFormat::Png, scaled, dir.filePath("scaled.png"), 0));
        const fixtures::Picture fullPicture = fixtures::picture(dir.filePath("full.png"));
        const Deviation ours = deviationFromFullRead(fixtures::picture(dir.filePath("reduced.png")), fullPicture, denominator);
        const Deviation library = deviationFromFullRead(fixtures::picture(dir.filePath("scaled.png")), fullPicture, denominator);
        const QByteArray said = QByteArray::number(ours.bias[0]) + ' ' + QByteArray::number(ours.bias[1]) + ' '
            + QByteArray::number(ours.bias[2]) + " rms " + QByteArray::number(ours.rms) + " worst "
            + QByteArray::number(ours.worst) + "; library " + QByteArray::number(largestBias(library)) + " rms "
            + QByteArray::number(library.rms) + " worst " + QByteArray::number(library.worst);
        // No colour shift, and close to the means almost everywhere. Single
        // squares may stray where saturated stripes are clipped pixel by
        // pixel in the full read; the library's scaled read strays as far.
        QVERIFY2(largestBias(ours) < 0.25, said.constData());
        QVERIFY2(ours.rms < 1.0, said.constData());
        QVERIFY2(ours.worst <= library.worst + 1, said.constData());
        // Where the library's scaled read shifts colours, ours does not.
        QVERIFY2(largestBias(ours) <= largestBias(library) + 0.05, said.constData());
    }

    void layoutsItDoesNotTakeAreLeftToTheDecoder()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("p.jpg");
        // 4:1:1 chroma has half a sample under each pixel of a 1/2 read.
        QVERIFY(fixtures::writePhotoJpeg(path, 1600, 1200, 85 | JPEG_SUBSAMPLING_411));
        QVERIFY(Bitmap::loadJpegReduced(path, 2).isNull());
        const PreparedImages p = prepareImages(PrepareRequest{path, true, true, 409, 145});
        QVERIFY(p.decoded);
        QCOMPARE(p.large.width(), 409);
        QCOMPARE(p.large.height(), 307);

        QVERIFY(fixtures::writePhotoJpeg(path, 800, 600, 85));
        for (const int d : {0, 1, 3, 16, -8})
            QVERIFY(Bitmap::loadJpegReduced(path, d).isNull());
    }

    void damagedFilesAreRefused()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("p.jpg");
        QVERIFY(fixtures::writePhotoJpeg(path, 1600, 1200, 85));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray whole = file.readAll();
        file.close();

        // Ends early: the decoder would fill the rest with grey.
        QVERIFY(fixtures::writeBytes(dir.filePath("cut.jpg"), whole.left(whole.size() / 2)));
        QVERIFY(Bitmap::loadJpegReduced(dir.filePath("cut.jpg"), 8).isNull());
        QVERIFY(!prepareImages(PrepareRequest{dir.filePath("cut.jpg"), true, true, 409, 145}).decoded);
        // Only a header.
        QVERIFY(fixtures::writeBytes(dir.filePath("head.jpg"), whole.left(600)));
        QVERIFY(Bitmap::loadJpegReduced(dir.filePath("head.jpg"), 4).isNull());
        // Not a JPEG, an empty file, no file.
        QVERIFY(fixtures::writeBytes(dir.filePath("text.jpg"), "no picture at all"));
        QVERIFY(Bitmap::loadJpegReduced(dir.filePath("text.jpg"), 8).isNull());
        QVERIFY(fixtures::writeBytes(dir.filePath("empty.jpg"), QByteArray()));
        QVERIFY(Bitmap::loadJpegReduced(dir.filePath("empty.jpg"), 8).isNull());
        QVERIFY(Bitmap::loadJpegReduced(dir.filePath("none.jpg"), 8).isNull());
        // Scrambled entropy data: whatever comes out, nothing crashes and a
        // picture that comes out has the right size.
        QByteArray scrambled = whole;
        for (qsizetype i = 700; i < scrambled.size() - 2; i += 97)
            scrambled[i] = char(scrambled[i] ^ 0x5A);
        QVERIFY(fixtures::writeBytes(dir.filePath("scrambled.jpg"), scrambled));
        const Bitmap odd = Bitmap::loadJpegReduced(dir.filePath("scrambled.jpg"), 8);
        QVERIFY(odd.isNull() || (odd.width() == 200 && odd.height() == 150));
    }
};

QTEST_GUILESS_MAIN(TestJpegReduce)
#include "tst_jpegreduce.moc"
