#include "core/image/bitmap.h"
#include "support/imagefixtures.h"
#include "support/mainwindowrig.h"
#include "support/windows.h"
#include "ui/brand/brandmakerwindow.h"

#include <QAction>
#include <QFontComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <cmath>

using namespace fotolista;

using fixtures::near;

namespace {

constexpr quint32 kBandColour = 0x5a1e3c;

struct Rig : MainWindowRig {
    BrandMakerWindow* maker = nullptr;

    Rig()
    {
        window->findChild<QAction*>("marcapropia")->trigger();
        maker = findWindow<BrandMakerWindow>();
    }
    template <typename T>
    T* child(const char* name) const
    {
        return maker->findChild<T*>(QString::fromLatin1(name));
    }
};

}  // namespace

class TestBrandMakerWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initialiseImageLibrary(); }

    // The preview follows every choice: the band at the width asked, the name, the code at the right end.
    void thePreviewShowsTheBandTheMarkAndTheCode()
    {
        Rig rig;
        QVERIFY(rig.maker && rig.maker->isVisible());
        QCOMPARE(rig.maker->windowTitle(), QStringLiteral("Crear marca de agua propia"));
        rig.child<QLineEdit>("nombre")->setText("Mi Tienda");
        rig.child<QSpinBox>("anchura")->setValue(800);
        rig.maker->setBandColour(QColor::fromRgb(kBandColour));
        const QImage shown = rig.maker->preview();
        QCOMPARE(shown.width(), 800);
        const fixtures::Decoded sample = fixtures::decode(FOTOLISTA_SOURCE_DIR "/numeros/previa.jpg");
        const int bandTop = int(std::floor(double(sample.height) * 800 / sample.width)) - 24;
        const auto pixel = [&](int x, int y) { return quint32(shown.pixel(x, y)) & 0xFFFFFF; };
        QVERIFY(near(pixel(798, bandTop + 2), kBandColour, 16));
        // "TAZA-Ñ01": ink in the Ñ's column, 710 + 50, none past the ninth column.
        bool ink = false;
        for (int x = 760; x < 769; ++x)
            for (int y = bandTop + 6; y < bandTop + 22; ++y)
                ink = ink || !near(pixel(x, y), kBandColour, 60);
        QVERIFY(ink);
        // The name on the band's left, the mark in the middle of the photo.
        bool name = false;
        for (int x = 4; x < 120; ++x)
            name = name || !near(pixel(x, bandTop + 12), kBandColour, 60);
        QVERIFY(name);
        QVERIFY(!rig.maker->useSamplePhoto(rig.dir.filePath("no-existe.jpg")));
        QVERIFY(rig.ui.messageTexts().last().contains("no es una imagen PNG, SVG ni JPEG"));
    }

    // "Crear la marca" writes the folder and, when the user takes it, the main window uses it.
    void theFolderIsMadeAndTaken()
    {
        Rig rig;
        rig.child<QLineEdit>("nombre")->setText("Mi Tienda");
        rig.child<QSpinBox>("anchura")->setValue(600);
        const QString folder = rig.dir.filePath("marca-tienda");
        rig.child<QLineEdit>("carpeta")->setText(folder);
        rig.child<QPushButton>("crear")->click();
        QVERIFY(QFileInfo::exists(folder + "/agua.jpg") && QFileInfo::exists(folder + "/Ñ.jpg"));
        QCOMPARE(fixtures::decode(folder + "/agua.jpg").width, 599);
        QVERIFY(rig.ui.messageTexts().last().startsWith("Marca de agua creada en «" + folder + "»."));
        QCOMPARE(rig.window->settings().watermarkFolder(), folder);
        QCOMPARE(rig.window->settings().largeWidth().value(), 600);

        // Again into the same folder: refused, nothing taken.
        rig.window->settings().setLargeWidth(409);
        rig.child<QPushButton>("crear")->click();
        QVERIFY(rig.ui.messageTexts().last().contains("no está vacía"));
        QCOMPARE(rig.window->settings().largeWidth().value(), 409);
    }
};

QTEST_MAIN(TestBrandMakerWindow)
#include "tst_brandmakerwindow.moc"
