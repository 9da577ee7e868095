#include "core/image/bitmap.h"
#include "core/image/marketplace.h"
#include "support/imagefixtures.h"

#include <QTemporaryDir>
#include <QTest>

using namespace fotolista;

namespace {

constexpr quint32 kWhite = 0xFFFFFF;
constexpr quint32 kProduct = 0x336699;

}  // namespace

class TestMarketplace : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initialiseImageLibrary(); }

    // A product shot on a white backdrop comes out trimmed, centred on pure
    // white, its longer side 85 % of the square, never enlarged.
    void squareOnWhite_data()
    {
        QTest::addColumn<QSize>("photo");
        QTest::addColumn<QRect>("box");  // the product in the photo; empty: none
        QTest::addColumn<int>("trueWidth");  // the source's width, when the photo is a reduced read
        QTest::addColumn<int>("side");
        QTest::addColumn<int>("square");  // the copy's side
        QTest::addColumn<QRect>("placed");  // the product in the copy
        QTest::newRow("scaled down into the square")
            << QSize(3000, 2000) << QRect(500, 300, 2000, 1000) << 3000 << 1600 << 1600 << QRect(120, 460, 1360, 680);
        QTest::newRow("portrait") << QSize(1200, 2000) << QRect(300, 100, 500, 1700) << 1200 << 1000 << 1000
                                  << QRect(375, 75, 250, 850);
        QTest::newRow("too small: the square shrinks, the product keeps its pixels")
            << QSize(1000, 600) << QRect(100, 50, 400, 200) << 1000 << 500 << 471 << QRect(35, 135, 400, 200);
        QTest::newRow("a reduced read stands for the true pixels")
            << QSize(1000, 600) << QRect(100, 50, 400, 200) << 2000 << 500 << 500 << QRect(37, 144, 425, 212);
        QTest::newRow("nothing but backdrop: the whole photo")
            << QSize(800, 600) << QRect() << 800 << 500 << 500 << QRect(37, 90, 425, 319);
    }

    void squareOnWhite()
    {
        QFETCH(QSize, photo);
        QFETCH(QRect, box);
        QFETCH(int, trueWidth);
        QFETCH(int, side);
        QFETCH(int, square);
        QFETCH(QRect, placed);
        QTemporaryDir dir;
        const QString shot = dir.filePath("shot.png");
        QVERIFY(fixtures::writeProductShot(shot, photo.width(), photo.height(), box.x(), box.y(), box.width(),
                                           box.height(), kProduct));
        const Bitmap copy = marketplaceCopy(Bitmap::load(ImageFormat::Png, shot), trueWidth, side);
        QVERIFY(!copy.isNull());
        QVERIFY(saveBitmap(ImageFormat::Png, copy, dir.filePath("copy.png"), 0));
        const fixtures::Picture p = fixtures::picture(dir.filePath("copy.png"));
        QCOMPARE(QSize(p.width, p.height), QSize(square, square));
        for (const QPoint corner :
             {QPoint(0, 0), QPoint(square - 1, 0), QPoint(0, square - 1), QPoint(square - 1, square - 1)})
            QCOMPARE(p.at(corner.x(), corner.y()), kWhite);
        const quint32 inside = box.isEmpty() ? kWhite : kProduct;
        const QPoint c = placed.center();
        QCOMPARE(p.at(c.x(), c.y()), inside);
        // The product's edges where the table puts them, give or take the resampling's few pixels.
        constexpr int kBlur = 4;
        const QPoint in[] = {{placed.left() + kBlur, c.y()},
                             {placed.right() - kBlur, c.y()},
                             {c.x(), placed.top() + kBlur},
                             {c.x(), placed.bottom() - kBlur}};
        const QPoint out[] = {{placed.left() - kBlur, c.y()},
                              {placed.right() + kBlur, c.y()},
                              {c.x(), placed.top() - kBlur},
                              {c.x(), placed.bottom() + kBlur}};
        for (const QPoint q : in)
            QVERIFY2(fixtures::near(p.at(q.x(), q.y()), inside, 8), qPrintable(QString("%1,%2").arg(q.x()).arg(q.y())));
        for (const QPoint q : out)
            if (q.x() >= 0 && q.y() >= 0 && q.x() < square && q.y() < square)
                QVERIFY2(fixtures::near(p.at(q.x(), q.y()), kWhite, 8),
                         qPrintable(QString("%1,%2").arg(q.x()).arg(q.y())));
    }

    void hostileSizesGiveNothingOrASquare_data()
    {
        QTest::addColumn<QSize>("photo");
        QTest::addColumn<int>("trueWidth");
        QTest::newRow("one pixel") << QSize(1, 1) << 1;
        QTest::newRow("a thread") << QSize(4000, 1) << 4000;
        QTest::newRow("no true width") << QSize(10, 10) << 0;
    }

    void hostileSizesGiveNothingOrASquare()
    {
        QFETCH(QSize, photo);
        QFETCH(int, trueWidth);
        QTemporaryDir dir;
        const QString shot = dir.filePath("shot.png");
        QVERIFY(fixtures::writeProductShot(shot, photo.width(), photo.height(), 0, 0, 0, 0, kProduct));
        const Bitmap copy = marketplaceCopy(Bitmap::load(ImageFormat::Png, shot), trueWidth, 500);
        QCOMPARE(copy.isNull(), trueWidth == 0);
        if (!copy.isNull())
            QCOMPARE(copy.width(), copy.height());
        QVERIFY(marketplaceCopy(Bitmap(), 100, 500).isNull());
    }
};

QTEST_GUILESS_MAIN(TestMarketplace)
#include "tst_marketplace.moc"
