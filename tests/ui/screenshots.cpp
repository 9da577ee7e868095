// Draws the program's windows as a user sees them and saves them as PNGs,
// for the README. Run under Xvfb: scripts/screenshots.sh.
#include "core/image/bitmap.h"
#include "support/scripteduiservices.h"
#include "support/windows.h"
#include "ui/about/aboutwindow.h"
#include "ui/about/helpwindow.h"
#include "ui/brand/brandmakerwindow.h"
#include "ui/check/checkwindow.h"
#include "ui/mainwindow/mainwindow.h"
#include "ui/pickers/destinationpickerwindow.h"
#include "ui/pickers/folderpicker.h"
#include "ui/pickers/sourcepickerwindow.h"
#include "ui/services/qttranslation.h"
#include "ui/services/qtuiservices.h"
#include "ui/services/toneplayer.h"
#include "ui/summary/summarywindow.h"
#include "ui/watermark/placementwindow.h"
#include "ui/watermark/watermarkfolderwindow.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdlib>

using namespace fotolista;

namespace {

class SilentTones : public TonePlayer {
public:
    void playCompletionTones() override {}
};

void save(QWidget* w, const QString& path)
{
    if (!w) {
        // A window the step should have opened did not: say which, rather than crash.
        qCritical("screenshots: no window for %s", qPrintable(path));
        std::exit(2);
    }
    w->show();
    w->raise();
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents();
    // The frame belongs to the window manager; the grab shows the window's content.
    w->grab().save(path);
}

/// Saves the dialog that `open` shows, as the user sees it, then closes it.
void saveDialog(const QString& path, const std::function<void()>& open)
{
    QTimer::singleShot(200, [path] {
        QWidget* dialog = QApplication::activeModalWidget();
        for (int i = 0; i < 20; ++i)
            QApplication::processEvents();
        dialog->grab().save(path);
        qobject_cast<QDialog*>(dialog)->reject();
    });
    open();
}

}  // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // Qt's own texts by the user's locale, as the program does.
    const auto qtTexts = installQtTranslation(QLocale::system());
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    initialiseImageLibrary();
    const QString out = QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs")).absolutePath();
    QDir().mkpath(out);

    QTemporaryDir dir;
    const QString examples = QStringLiteral(FOTOLISTA_SOURCE_DIR "/examples");
    const QString destination = dir.filePath("salida");
    QDir().mkpath(destination);
    QDir::setCurrent(dir.path());

    ScriptedUiServices ui;
    SilentTones tones;
    MainWindow window(ui, tones, QStringLiteral(FOTOLISTA_SOURCE_DIR));
    save(&window, out + "/ventana-principal.png");
    window.findChild<QAction*>("creditos")->trigger();
    save(findWindow<AboutWindow>(), out + "/acerca-de.png");
    findWindow<AboutWindow>()->hide();

    ui.fileAnswers << FileChoice::chosen(examples + "/catalogo.xls");
    QMetaObject::invokeMethod(window.findChild<QWidget*>("Command5"), "click");
    // As the two pickers hand on their folders.
    QMetaObject::invokeMethod(window.findChild<QWidget*>("Command3"), "click");
    QMetaObject::invokeMethod(findWindow<SourcePickerWindow>(), "folderChosen", Q_ARG(QString, examples + "/fotos"));
    findWindow<SourcePickerWindow>()->hide();
    QMetaObject::invokeMethod(window.findChild<QWidget*>("Command4"), "click");
    QMetaObject::invokeMethod(findWindow<DestinationPickerWindow>(), "folderChosen", Q_ARG(QString, destination));
    findWindow<DestinationPickerWindow>()->hide();
    QMetaObject::invokeMethod(window.findChild<QWidget*>("Command10"), "click");
    // The check of the batch, before the run writes anything.
    window.findChild<QAction*>("comprobar")->trigger();
    save(findWindow<CheckWindow>(), out + "/comprobacion-lote.png");
    findWindow<CheckWindow>()->hide();
    window.startRun();
    for (int i = 0; i < 12; ++i)
        window.tick();
    save(&window, out + "/ventana-principal-tras-lote.png");

    QMetaObject::invokeMethod(window.findChild<QWidget*>("cestadisticas"), "click");
    save(findWindow<SummaryWindow>(), out + "/resumen-operaciones.png");
    findWindow<SummaryWindow>()->hide();

    window.findChild<QAction*>("magua")->trigger();
    findWindow<WatermarkFolderWindow>()->findChild<FolderPicker*>()->openFolderPath(
        QStringLiteral(FOTOLISTA_SOURCE_DIR "/examples"));
    save(findWindow<WatermarkFolderWindow>(), out + "/selector-marca-de-agua.png");
    findWindow<WatermarkFolderWindow>()->hide();

    // The preview is written beside a copy of the watermark pictures.
    const QString marks = dir.filePath("numeros");
    QDir().mkpath(marks);
    for (const QString& name : QDir(QStringLiteral(FOTOLISTA_SOURCE_DIR "/numeros")).entryList(QDir::Files))
        QFile::copy(QStringLiteral(FOTOLISTA_SOURCE_DIR "/numeros/") + name, marks + "/" + name);
    PlacementWindow placement(marks, marks + "/temporal.jpg");
    placement.findChild<QSlider*>("Slider2")->setValue(60);
    placement.findChild<QSlider*>("Slider3")->setValue(80);
    QSlider* alpha = placement.findChild<QSlider*>("Slider1");
    alpha->setValue(200);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(alpha, &release);
    save(&placement, out + "/previsualizacion-marca.png");
    placement.hide();

    // The shop's own watermark: the maker, and a photo of the example stamped with it.
    window.findChild<QAction*>("marcapropia")->trigger();
    auto* maker = findWindow<BrandMakerWindow>();
    maker->findChild<QLineEdit*>("nombre")->setText(QStringLiteral("Café La Ñora"));
    maker->findChild<QLineEdit*>("codigo")->setText(QStringLiteral("CAMISETA-ROJA"));
    maker->setBandColour(QColor(0x6b, 0x2d, 0x1f));
    maker->setTextColour(QColor(0xf6, 0xe7, 0xc8));
    maker->findChild<QLineEdit*>("carpeta")->setText(QStringLiteral("/home/tienda/marca-tienda"));
    maker->preview();
    save(maker, out + "/marca-propia.png");
    maker->useSamplePhoto(examples + "/fotos/" + QDir(examples + "/fotos").entryList(QDir::Files).first());
    maker->preview().save(out + "/foto-con-marca-propia.png");
    maker->hide();

    window.findChild<QAction*>("ayuda")->trigger();
    save(findWindow<HelpWindow>(), out + "/ayuda.png");
    findWindow<HelpWindow>()->hide();

    // Qt's own dialogs and menus, as the program's services show them.
    QtUiServices services(&window);
    saveDialog(out + "/salida-del-programa.png", [&] {
        services.showMessage(QStringLiteral("¿ Desea salir del programa ?"), MessageButtons::YesNo, MessageIcon::None,
                             QStringLiteral("Salida del programa"));
    });
    QDir::setCurrent(examples);
    saveDialog(out + "/abrir-libro.png", [&] {
        services.chooseFileToOpen(QStringLiteral("Ruta Origen de Archivos de Excel, solo Xls como extensión"),
                                  QStringLiteral("Libros de cálculo|*.xls;*.xlsx;*.xlsm;*.ods;*.csv;*.txt|"
                                                 "Archivos para emparejar(*.XLS)|*.xls|"));
    });
    QDir::setCurrent(dir.path());
    saveDialog(out + "/crear-directorio.png", [&] {
        services.askText(QStringLiteral("Introduzca el directorio a crear:"), QStringLiteral("Directorio"));
    });
    QMetaObject::invokeMethod(window.findChild<QWidget*>("Command4"), "click");
    save(findWindow<DestinationPickerWindow>(), out + "/selector-destino.png");
    findWindow<DestinationPickerWindow>()->hide();

    saveDialog(out + "/guardar-trabajo.png", [&] {
        services.chooseFileToSave(QStringLiteral("Guardar trabajo"),
                                  QStringLiteral("Trabajos de Fotolista|*.fotolista|"), QStringLiteral("fotolista"));
    });
    auto* options = window.findChild<QMenu*>("opciones");
    options->popup(window.mapToGlobal(QPoint(200, 20)));
    save(options, out + "/menu-opciones.png");
    auto* webFormats = window.findChild<QMenu*>("formatosweb");
    webFormats->popup(window.mapToGlobal(QPoint(420, 300)));
    save(webFormats, out + "/menu-formatos-web.png");
    webFormats->hide();
    options->hide();

    auto* column = window.findChild<QLineEdit*>("CO");
    const std::unique_ptr<QMenu> menu(column->createStandardContextMenu());
    menu->popup(column->mapToGlobal(column->rect().center()));
    save(menu.get(), out + "/menu-contextual.png");
    return 0;
}
