#include "core/image/bitmap.h"
#include "core/watermark/placement.h"
#include "core/watermark/preview.h"
#include "support/imagefixtures.h"

#include <QTemporaryDir>
#include <QTest>

using namespace fotolista;

// The preview with the mark where the sliders say is tested through the
// placement window; here, the previews that show the sample bare.
class TestPlacement : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initialiseImageLibrary(); }

    void theSampleStaysBare_data()
    {
        QTest::addColumn<QString>("sample");
        QTest::addColumn<bool>("withMark");
        QTest::addColumn<int>("left");
        QTest::addColumn<QPoint>("probe");
        QTest::newRow("a mark past the edge") << "previa.jpg" << true << 150 << QPoint(170, 20);
        QTest::newRow("no mark; the sample found whatever its case") << "PREVIA.JPG" << false << 0 << QPoint(10, 10);
    }

    void theSampleStaysBare()
    {
        QFETCH(QString, sample);
        QFETCH(bool, withMark);
        QFETCH(int, left);
        QFETCH(QPoint, probe);
        QTemporaryDir dir;
        QVERIFY(fixtures::writeJpeg(dir.filePath(sample), 200, 100, 0x808080));
        if (withMark)
            QVERIFY(fixtures::writePng(dir.filePath("marca.png"), 100, 50, 0xFF0000));
        const QString preview = dir.filePath("temporal.jpg");
        QVERIFY(refreshPreview(dir.path(), WatermarkPlacement{false, left, 0, 255}, preview));
        QCOMPARE(fixtures::decode(preview).width, 200);
        QVERIFY(fixtures::near(fixtures::pixelAt(preview, probe.x(), probe.y()), 0x808080, 10));
    }
};

QTEST_GUILESS_MAIN(TestPlacement)
#include "tst_placement.moc"
