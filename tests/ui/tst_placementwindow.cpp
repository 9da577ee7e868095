#include "core/image/bitmap.h"
#include "support/imagefixtures.h"
#include "ui/watermark/placementwindow.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace fotolista;

using fixtures::near;
using fixtures::pixelAt;

namespace {

constexpr quint32 kSampleColour = 0x808080;
constexpr quint32 kMarkColour = 0xFF0000;
constexpr int kSampleWidth = 409;
constexpr int kSampleHeight = 320;
constexpr int kMarkWidth = 100;
constexpr int kMarkHeight = 50;

}  // namespace

class TestPlacementWindow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;  // a fresh mark folder per test

    QString markFolder() const { return m_dir->path(); }
    QString previewPath() const { return m_dir->filePath("temporal.jpg"); }

    std::unique_ptr<PlacementWindow> makeWindow() const
    {
        return std::make_unique<PlacementWindow>(markFolder(), previewPath());
    }

    static QSlider* slider(QWidget* w, const QString& name) { return w->findChild<QSlider*>(name); }
    static QLabel* picture(QWidget* w) { return w->findChild<QLabel*>("Image1"); }
    static QCheckBox* centre(QWidget* w) { return w->findChild<QCheckBox*>("centrar"); }
    static QPushButton* button(QWidget* w, const char* name) { return w->findChild<QPushButton*>(name); }

    // What ends a click or a drag on a slider.
    static void release(QSlider* s) { QTest::mouseRelease(s, Qt::LeftButton, {}, s->rect().center()); }

    static void setSliders(QWidget* w, int left, int top, int alpha)
    {
        slider(w, "Slider2")->setValue(left);
        slider(w, "Slider3")->setValue(top);
        slider(w, "Slider1")->setValue(alpha);
    }

    static bool pictureIsEmpty(QWidget* w) { return picture(w)->pixmap().isNull(); }

    static quint32 shownPixel(QWidget* w, int x, int y)
    {
        return picture(w)->pixmap().toImage().pixel(x, y) & 0xFFFFFF;
    }

    void writeSampleAndMark() const
    {
        QVERIFY(fixtures::writeJpeg(m_dir->filePath("previa.jpg"), kSampleWidth, kSampleHeight, kSampleColour));
        QVERIFY(fixtures::writePng(m_dir->filePath("marca.png"), kMarkWidth, kMarkHeight, kMarkColour));
    }

private slots:
    void initTestCase()
    {
        initialiseImageLibrary();
        QStandardPaths::setTestModeEnabled(true);
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    // A click high on a vertical slider, and the up key, move it towards 0.
    void verticalSlidersHaveZeroAtTheTop_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("alpha") << "Slider1";
        QTest::newRow("top") << "Slider3";
    }

    void verticalSlidersHaveZeroAtTheTop()
    {
        QFETCH(QString, name);
        auto w = makeWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QSlider* s = slider(w.get(), name);
        s->setValue(100);
        QTest::mouseClick(s, Qt::LeftButton, {}, QPoint(s->width() / 2, 2));
        QVERIFY2(s->value() < 100, qPrintable(QString::number(s->value())));

        s->setValue(100);
        s->setFocus();
        QTest::keyClick(s, Qt::Key_Up);
        QCOMPARE(s->value(), 99);
        QTest::keyClick(s, Qt::Key_PageUp);
        QCOMPARE(s->value(), 94);
    }

    void aReleaseRebuildsThePreview_data()
    {
        QTest::addColumn<QString>("released");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("top");
        QTest::addColumn<int>("alpha");
        QTest::addColumn<quint32>("inside");  // expected colour within the mark

        QTest::newRow("alpha slider, full blend") << "Slider1" << 60 << 80 << 255 << quint32(0xFF0000);
        QTest::newRow("left slider, half blend") << "Slider2" << 150 << 10 << 128 << quint32(0xBF4040);
        QTest::newRow("top slider, lowest place") << "Slider3" << 0 << 247 << 200 << quint32(0xE31C1C);
        QTest::newRow("farthest right") << "Slider2" << 166 << 120 << 255 << quint32(0xFF0000);
        QTest::newRow("no blend") << "Slider1" << 30 << 30 << 0 << kSampleColour;
    }

    void aReleaseRebuildsThePreview()
    {
        QFETCH(QString, released);
        QFETCH(int, left);
        QFETCH(int, top);
        QFETCH(int, alpha);
        QFETCH(quint32, inside);
        writeSampleAndMark();
        auto w = makeWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QVERIFY(pictureIsEmpty(w.get()));
        setSliders(w.get(), left, top, alpha);
        QVERIFY(!QFile::exists(previewPath()));

        release(slider(w.get(), released));
        QVERIFY(QFile::exists(previewPath()));
        // Probes keep clear of the mark's edges, where JPEG blocks blur colours.
        const int x = left + kMarkWidth / 2;
        const int y = top + kMarkHeight / 2;
        const int outsideY = top >= 40 ? top - 20 : top + kMarkHeight + 20;
        QVERIFY(near(pixelAt(previewPath(), x, y), inside));
        QVERIFY(near(pixelAt(previewPath(), x, outsideY), kSampleColour, 10));
        // The window shows what was written, whole and at its own size.
        QCOMPARE(picture(w.get())->pixmap().size(), QSize(kSampleWidth, kSampleHeight));
        QVERIFY(picture(w.get())->width() >= kSampleWidth && picture(w.get())->height() >= kSampleHeight);
        QVERIFY(near(shownPixel(w.get(), x, y), inside));
        QVERIFY(near(shownPixel(w.get(), x, outsideY), kSampleColour, 10));
        // The refresh moves no slider.
        QCOMPARE(w->placement().left, left);
        QCOMPARE(w->placement().top, top);
        QCOMPARE(w->placement().alpha, alpha);
    }

    void aDragEndsWithARefresh()
    {
        writeSampleAndMark();
        auto w = makeWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        slider(w.get(), "Slider1")->setValue(255);
        QSlider* s = slider(w.get(), "Slider2");
        // The thumb sits at the left end; drag it to the right end.
        const int y = s->height() / 2;
        QTest::mousePress(s, Qt::LeftButton, {}, QPoint(3, y));
        for (int x = 10; x <= s->width() + 20; x += 10)
            QTest::mouseMove(s, QPoint(x, y));
        QCOMPARE(s->value(), 166);
        QVERIFY2(!QFile::exists(previewPath()), "moving alone does not refresh");
        QTest::mouseRelease(s, Qt::LeftButton, {}, QPoint(s->width() + 20, y));
        QVERIFY(near(pixelAt(previewPath(), 166 + kMarkWidth / 2, kMarkHeight / 2), kMarkColour, 30));
        QVERIFY(near(pixelAt(previewPath(), 100, kMarkHeight / 2), kSampleColour, 10));
    }

    void centringPlaysNoPartInThePreview()
    {
        writeSampleAndMark();
        auto w = makeWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        centre(w.get())->setChecked(true);
        setSliders(w.get(), 0, 0, 255);
        release(slider(w.get(), "Slider3"));
        QVERIFY(near(pixelAt(previewPath(), kMarkWidth / 2, kMarkHeight / 2), kMarkColour, 30));
        QVERIFY(near(pixelAt(previewPath(), kSampleWidth / 2, kSampleHeight / 2), kSampleColour, 10));
        QVERIFY(w->placement().centred);
    }

    void keysMoveWithoutARefresh_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("moved");  // value after the key, from the start value
        QTest::newRow("left, right arrow") << "Slider2" << int(Qt::Key_Right) << 1;
        QTest::newRow("left, page up") << "Slider2" << int(Qt::Key_PageUp) << 5;
        QTest::newRow("top, down arrow") << "Slider3" << int(Qt::Key_Down) << 1;
        QTest::newRow("alpha, end") << "Slider1" << int(Qt::Key_End) << 255;
    }

    void keysMoveWithoutARefresh()
    {
        QFETCH(QString, name);
        QFETCH(int, key);
        QFETCH(int, moved);
        writeSampleAndMark();
        auto w = makeWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QSlider* s = slider(w.get(), name);
        s->setFocus();
        QTest::keyClick(s, Qt::Key(key));
        QCOMPARE(s->value(), moved);
        QVERIFY(!QFile::exists(previewPath()));
        QVERIFY(pictureIsEmpty(w.get()));
        // The value is live all the same, and the next click previews it.
        release(s);
        QVERIFY(QFile::exists(previewPath()));
        QVERIFY(!pictureIsEmpty(w.get()));
    }

    void aMissingSampleLeavesThePictureEmpty()
    {
        QVERIFY(fixtures::writePng(m_dir->filePath("marca.png"), kMarkWidth, kMarkHeight, kMarkColour));
        QVERIFY(fixtures::writeJpeg(previewPath(), 80, 60, 0x0000FF));
        auto w = makeWindow();
        QVERIFY(!pictureIsEmpty(w.get()));
        release(slider(w.get(), "Slider2"));
        QVERIFY(pictureIsEmpty(w.get()));
        QCOMPARE(fixtures::decode(previewPath()).width, 80);
    }

    void anUnwritablePreviewLeavesThePictureEmpty()
    {
        writeSampleAndMark();
        auto w = std::make_unique<PlacementWindow>(markFolder(), m_dir->filePath("gone/temporal.jpg"));
        release(slider(w.get(), "Slider1"));
        QVERIFY(pictureIsEmpty(w.get()));
    }

    void creationShowsTheLastPreview_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::addColumn<QSize>("shown");  // empty size: nothing shown
        QTest::newRow("an earlier preview") << QByteArray("jpeg") << QSize(50, 40);
        QTest::newRow("none yet") << QByteArray("none") << QSize();
        QTest::newRow("unreadable") << QByteArray("junk") << QSize();
    }

    void creationShowsTheLastPreview()
    {
        QFETCH(QByteArray, kind);
        QFETCH(QSize, shown);
        writeSampleAndMark();
        if (kind == "jpeg")
            QVERIFY(fixtures::writeJpeg(previewPath(), 50, 40, 0x0000FF));
        else if (kind == "junk")
            QVERIFY(fixtures::writeBytes(previewPath(), "not a picture"));
        auto w = makeWindow();
        if (shown.isEmpty()) {
            QVERIFY(pictureIsEmpty(w.get()));
        } else {
            QCOMPARE(picture(w.get())->pixmap().size(), shown);
            QVERIFY(near(shownPixel(w.get(), 25, 20), 0x0000FF));
        }
        // Creation writes nothing and keeps the start values.
        QCOMPARE(QFileInfo::exists(previewPath()), kind != "none");
        const WatermarkPlacement p = w->placement();
        QCOMPARE(p.left, 0);
        QCOMPARE(p.top, 0);
        QCOMPARE(p.alpha, 125);
        QVERIFY(!p.centred);
    }

    void theButtonsHideAndReport_data()
    {
        QTest::addColumn<QByteArray>("buttonName");
        QTest::addColumn<bool>("accepts");
        QTest::addColumn<bool>("visibleWhenReported");
        QTest::newRow("Aceptar") << QByteArray("Command1") << true << false;
        QTest::newRow("Cancelar") << QByteArray("Command2") << false << true;
    }

    void theButtonsHideAndReport()
    {
        QFETCH(QByteArray, buttonName);
        QFETCH(bool, accepts);
        QFETCH(bool, visibleWhenReported);
        QPointer<PlacementWindow> w = new PlacementWindow(markFolder(), previewPath());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        setSliders(w, 20, 30, 200);
        centre(w)->setChecked(true);

        QList<bool> visibility;
        QSignalSpy accepted(w.data(), &PlacementWindow::accepted);
        QSignalSpy cancelled(w.data(), &PlacementWindow::cancelled);
        connect(w.data(), &PlacementWindow::accepted, this, [&] { visibility << w->isVisible(); });
        connect(w.data(), &PlacementWindow::cancelled, this, [&] { visibility << w->isVisible(); });

        QTest::mouseClick(button(w, buttonName.constData()), Qt::LeftButton);
        QCOMPARE(accepted.size(), accepts ? 1 : 0);
        QCOMPARE(cancelled.size(), accepts ? 0 : 1);
        QCOMPARE(visibility, QList<bool>{visibleWhenReported});
        QVERIFY(w->isHidden());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY2(w, "the buttons hide the window, they do not destroy it");

        const WatermarkPlacement p = w->placement();
        QVERIFY(p.centred);
        QCOMPARE(p.left, 20);
        QCOMPARE(p.top, 30);
        QCOMPARE(p.alpha, 200);
        delete w;
    }

    void thePreviewGoesWhereItCanBeWritten_data()
    {
        QTest::addColumn<QString>("folder");  // relative to the temporary folder
        QTest::addColumn<bool>("inFolder");
        QTest::newRow("writable folder") << "numeros" << true;
        QTest::newRow("missing folder") << "ninguno" << false;
        QTest::newRow("a file, not a folder") << "fichero" << false;
    }

    void thePreviewGoesWhereItCanBeWritten()
    {
        QFETCH(QString, folder);
        QFETCH(bool, inFolder);
        QVERIFY(QDir().mkpath(m_dir->filePath("numeros")));
        QVERIFY(fixtures::writeBytes(m_dir->filePath("fichero"), "x"));
        const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
        QDir(cache).removeRecursively();

        const QString path = previewPathFor(m_dir->filePath(folder));
        QCOMPARE(path, inFolder ? m_dir->filePath(folder) + "/temporal.jpg" : cache + "/temporal.jpg");
        // Wherever it is, a refresh can write there.
        QVERIFY(QFileInfo(QFileInfo(path).path()).isDir());
        QVERIFY(QFileInfo(QFileInfo(path).path()).isWritable());
    }
};

QTEST_MAIN(TestPlacementWindow)
#include "tst_placementwindow.moc"
