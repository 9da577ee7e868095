#include "core/base/uiservices.h"
#include "core/image/bitmap.h"
#include "core/image/imageheader.h"
#include "core/image/jpegscale.h"
#include "core/image/memorybudget.h"
#include "core/image/prepareimages.h"
#include "core/image/rowpreparation.h"
#include "support/imagefixtures.h"
#include "support/scripteduiservices.h"

#include <QProcess>

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <numeric>
#include <optional>
#include <thread>

#include <FreeImage.h>

using namespace fotolista;

namespace {
const QString kPhotos = QStringLiteral(FOTOLISTA_SOURCE_DIR "/examples/fotos");
}  // namespace

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
        const Bitmap decoded =
            decodeJpegReduced(std::span(reinterpret_cast<const std::byte*>(bytes.constData()), size_t(bytes.size())),
                              eighths, kMaxSourcePixels);
        QCOMPARE(decoded.width(), decodedWidth);
        QVERIFY(target == 0 || eighths == 8 || decoded.width() >= kJpegReadMargin * target);
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
        fast.fastRead = true;
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
        fast.fastRead = true;
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
        const auto admittedSoFar = [&] {
            const std::lock_guard lock(mutex);
            return int(order.size());
        };
        for (int i = 0; i < int(later.size()); ++i) {
            threads.emplace_back([&, i] {
                const MemoryBudget::Share share = budget.take(later[i]);
                {
                    const std::lock_guard lock(mutex);
                    order.push_back(i);
                }
                while (hold)
                    std::this_thread::yield();
            });
            // Each asks after the one before it, so the turns are known.
            QTRY_COMPARE_WITH_TIMEOUT(admittedSoFar() + budget.waiting(), i + 1, 5000);
        }
        // Those let in beside the first are the first in line.
        std::vector<int> inTurn(later.size());
        std::iota(inTurn.begin(), inTurn.end(), 0);
        {
            const std::lock_guard lock(mutex);
            QCOMPARE(order, std::vector<int>(inTurn.begin(), inTurn.begin() + admitted));
        }
        hold = false;
        first.reset();
        for (std::thread& t : threads)
            t.join();
        // The rest all get in; those let in together may return in any order.
        std::sort(order.begin(), order.end());
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
