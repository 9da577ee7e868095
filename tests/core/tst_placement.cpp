#include "core/image/bitmap.h"
#include "core/watermark/placement.h"
#include "core/watermark/preview.h"
#include "support/imagefixtures.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using fixtures::near;
using fixtures::pixelAt;

class TestPlacement : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initialiseImageLibrary(); }

    void thePreviewShowsTheMarkWhereTheSlidersSay()
    {
        QTemporaryDir dir;
        QVERIFY(fixtures::writeJpeg(dir.filePath("previa.jpg"), 409, 320, 0x808080));
        QVERIFY(fixtures::writePng(dir.filePath("marca.png"), 100, 50, 0xFF0000));
        const QString preview = dir.filePath("temporal.jpg");
        // Centring plays no part in the preview.
        QVERIFY(refreshPreview(dir.path(), WatermarkPlacement{true, 40, 60, 255}, preview));
        // The mark covers (40..139, 60..109); probes keep clear of the edges,
        // where the JPEG encoding bleeds colour into the next block.
        QVERIFY(near(pixelAt(preview, 90, 85), 0xFF0000, 30));
        QVERIFY(near(pixelAt(preview, 135, 105), 0xFF0000, 40));
        QVERIFY(near(pixelAt(preview, 20, 85), 0x808080, 10));
        QVERIFY(near(pixelAt(preview, 90, 44), 0x808080, 10));
        QVERIFY(near(pixelAt(preview, 160, 85), 0x808080, 10));
        QVERIFY(near(pixelAt(preview, 90, 125), 0x808080, 10));
        QCOMPARE(fixtures::decode(preview).width, 409);
    }

    void aMarkPastTheEdgeLeavesTheSampleBare()
    {
        QTemporaryDir dir;
        QVERIFY(fixtures::writeJpeg(dir.filePath("previa.jpg"), 200, 100, 0x808080));
        QVERIFY(fixtures::writePng(dir.filePath("marca.png"), 100, 50, 0xFF0000));
        const QString preview = dir.filePath("temporal.jpg");
        QVERIFY(refreshPreview(dir.path(), WatermarkPlacement{false, 150, 0, 255}, preview));
        QVERIFY(near(pixelAt(preview, 170, 20), 0x808080, 10));
    }

    void aMissingSampleWritesNoPreview()
    {
        QTemporaryDir dir;
        QVERIFY(fixtures::writePng(dir.filePath("marca.png"), 100, 50, 0xFF0000));
        const QString preview = dir.filePath("temporal.jpg");
        fixtures::writeBytes(preview, "last preview");
        QVERIFY(!refreshPreview(dir.path(), WatermarkPlacement{}, preview));
        QFile f(preview);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("last preview"));
    }

    void aMissingMarkLeavesTheSampleBare()
    {
        QTemporaryDir dir;
        QVERIFY(fixtures::writeJpeg(dir.filePath("PREVIA.JPG"), 300, 300, 0x808080));  // found whatever the case
        const QString preview = dir.filePath("temporal.jpg");
        QVERIFY(refreshPreview(dir.path(), WatermarkPlacement{false, 0, 0, 255}, preview));
        QVERIFY(near(pixelAt(preview, 10, 10), 0x808080, 10));
    }
};

QTEST_GUILESS_MAIN(TestPlacement)
#include "tst_placement.moc"
