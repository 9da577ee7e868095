#include "core/base/filefilter.h"
#include "core/image/bitmap.h"
#include "core/job/jobfile.h"
#include "core/run/destinationlock.h"
#include "core/run/rowfingerprints.h"
#include "support/examplebatch.h"
#include "support/imagefixtures.h"
#include "support/mainwindowrig.h"
#include "support/scripteduiservices.h"
#include "support/windows.h"
#include "ui/about/aboutwindow.h"
#include "ui/mainwindow/mainwindow.h"
#include "ui/pickers/folderpicker.h"
#include "ui/services/toneplayer.h"
#include "ui/summary/summarywindow.h"
#include "ui/watermark/placementwindow.h"
#include "ui/watermark/watermarkfolderwindow.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QSlider>
#include <QStyleHints>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <chrono>
#include <functional>
#include <thread>

using namespace fotolista;

namespace {

/// The shared window rig, with lookups of the window's own widgets.
struct Rig : MainWindowRig {
    template <typename T = QWidget>
    T* child(const char* name) const
    {
        T* w = window->findChild<T*>(QLatin1String(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    QAction* action(const char* name) const { return child<QAction>(name); }
    QString text(const char* name) const
    {
        if (auto* l = window->findChild<QLabel*>(QLatin1String(name)))
            return l->text();
        if (auto* b = window->findChild<QAbstractButton*>(QLatin1String(name)))
            return b->text();
        return child<QLineEdit>(name)->text();
    }
    bool shown(const char* name) const { return !child(name)->isHidden(); }
    void click(const char* name) { QTest::mouseClick(child<QPushButton>(name), Qt::LeftButton); }
    /// A button of the window or an item of its menus, as the user uses it.
    void use(const char* name)
    {
        if (auto* a = window->findChild<QAction*>(QLatin1String(name)))
            a->trigger();
        else
            click(name);
    }

    /// What the pickers and the workbook button would have set.
    void chooseEverything()
    {
        ui.fileAnswers << FileChoice::chosen(workbook);
        click("Command5");
        window->settings().setSourceFolder(source);
        window->settings().setDestinationFolder(destination);
    }

    static QWidget* summary() { return findWindow<SummaryWindow>(); }
    static QTreeWidget* tree() { return summary()->findChild<QTreeWidget*>("miarbol"); }
    static QString summaryLabel(const char* name) { return summary()->findChild<QLabel*>(QLatin1String(name))->text(); }
};

/// A window the main window opens: the button or menu item that opens it,
/// what the user changes in it, and what it shows of that change.
struct Opening {
    const char* opener = nullptr;
    std::function<void(Rig&, QWidget*)> change;  ///< none: nothing to change
    std::function<QString(QWidget*)> state;
};

QString openFolder(QWidget* w)
{
    return w->findChild<FolderPicker*>()->openFolder();
}

void openTheSourceFolder(Rig& rig, QWidget* w)
{
    QVERIFY(w->findChild<FolderPicker*>()->openFolderPath(rig.source));
}

/// The job settings a window could hand on.
QStringList handedOn(MainWindow& window)
{
    JobSettings& s = window.settings();
    return {s.sourceFolder(), s.destinationFolder(), s.watermarkFolder(), QString::number(s.watermarkManualPlacement()),
            QString::number(s.watermarkEnabled())};
}

}  // namespace

Q_DECLARE_METATYPE(Opening)

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initialiseImageLibrary();
        QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    }

    void startState()
    {
        Rig rig;
        // Hidden by the window until the user or the run shows them.
        for (const char* name :
             {"fuente", "destino", "Label4", "CO", "FO", "Label3", "CD", "FD", "Label1", "desplazamiento", "cancelar",
              "cestadisticas", "lagua", "visor", "procesar", "minutos", "dospuntos", "segundos"})
            QVERIFY2(!rig.shown(name), name);
        for (const char* name : {"Command3", "Command4", "Command5", "Ficheroexcel", "Command10", "Command1",
                                 "Command11", "Ajustecmd", "Slider1", "lagua2"})
            QVERIFY2(rig.shown(name), name);
        // What the settings write into the window.
        QCOMPARE(rig.text("Ficheroexcel"), QStringLiteral("Archivo de excel no seleccionado"));
        QCOMPARE(rig.text("fuente"), QStringLiteral("ruta de imágenes fuente"));
        QCOMPARE(rig.text("destino"), QStringLiteral("ruta de imágenes fuente destino"));
        QCOMPARE(rig.text("lagua2"), QStringLiteral("Marca de Agua ACTIVA"));
        QCOMPARE(
            (QStringList{rig.text("CO"), rig.text("FO"), rig.text("CD"), rig.text("FD"), rig.text("desplazamiento")}),
            (QStringList{"F", "6", "A", "6", "4"}));
        QCOMPARE(rig.child<QSlider>("Slider1")->value(), 50);
        QCOMPARE(rig.window->settings().watermarkFolder(), QStringLiteral(FOTOLISTA_SOURCE_DIR "/numeros"));
        QVERIFY(rig.child<QTimer>("Timer1")->isActive());
        QCOMPARE(rig.child<QTimer>("Timer1")->interval(), 1000);
    }

    void theMenus()
    {
        Rig rig;
        QStringList menus;
        for (QAction* a : rig.window->menuBar()->actions()) {
            QStringList items{a->text()};
            if (a->menu())
                for (QAction* item : a->menu()->actions())
                    items << item->text();
            menus << items.join(" | ");
        }
        QCOMPARE(menus,
                 (QStringList{"Salida", "¿Que hace el programa ?", "Formato |  JPG | TIFF | Cualquier formato",
                              "Calidad de imagen | Alta | Media | Baja | Muy baja |  | Tamaño mínimo (sin pérdida)",
                              "Dimensiones | Predeterminada 409 Grande, 145 Pequeña (ancho) | Dimensiones",
                              "Opciones | Marca de agua predeterminada | Solo marca interior | "
                              "Altura Marca (por defecto 24 ) | Directorio marca de agua | "
                              "Crear marca de agua propia... | Ajustar la marca a la foto | "
                              "Resumen de operaciones | Lectura rápida | Solo cambiadas | "
                              "Girar según la cámara (EXIF) | Saltar filas vacías | Copia para tiendas online | "
                              "Formatos web | "
                              "Comprobar el lote... | "
                              "Ver informe del último lote | Guardar la lista de archivos... | Guardar trabajo... | "
                              "Abrir trabajo... | "
                              "Trabajos recientes",
                              "Acerca de ..."}));
        // No format is marked at start, although the sources are JPEG;
        // photos are turned as the camera says.
        QStringList checked;
        for (QAction* a : rig.window->findChildren<QAction*>())
            if (a->isChecked())
                checked << a->objectName();
        checked.sort();
        QCOMPARE(checked, (QStringList{"Calidadmedia", "girarexif", "pmarcaagua", "tamanominimo"}));
    }

    void exclusiveItemsShowTheSameCheckMark()
    {
        // A checked quality or format item looks like any checked item:
        // the mark's column of its row, drawn, is that of "Tamaño mínimo".
        Rig rig;
        rig.action("formato_tiff")->trigger();
        const auto mark = [&](const char* menuName, const char* item) {
            auto* menu = rig.window->findChild<QMenu*>(QLatin1String(menuName));
            menu->popup(QPoint(0, 0));
            const QRect row = menu->actionGeometry(rig.action(item));
            const QImage drawn = menu->grab().toImage();
            menu->hide();
            // The mark's square, inside the menu's frame.
            return drawn.copy(row.left() + 2, row.top() + 2, row.height() - 4, row.height() - 4);
        };
        const QImage reference = mark("calidad", "tamanominimo");
        QCOMPARE(mark("calidad", "Calidadmedia"), reference);
        QVERIFY(mark("calidad", "CalidadBaja") != reference);  // unchecked: no mark
        QCOMPARE(mark("formato", "formato_tiff"), reference);
    }

    void menusFollowTheSettingsRules()
    {
        Rig rig;
        rig.action("Calidadmedia")->trigger();  // the checked item: nothing changes
        QVERIFY(rig.action("Calidadmedia")->isChecked());
        rig.action("CalidadBaja")->trigger();
        QVERIFY(rig.action("CalidadBaja")->isChecked());
        QVERIFY(!rig.action("Calidadmedia")->isChecked());
        rig.action("formato_tiff")->trigger();
        rig.action("formato_jpg")->trigger();
        QVERIFY(rig.action("formato_jpg")->isChecked());
        QVERIFY(!rig.action("formato_tiff")->isChecked());
        QCOMPARE(rig.window->settings().sourceFormat(), QStringLiteral(".JPG"));
        rig.action("formato_cualquiera")->trigger();
        QVERIFY(rig.action("formato_cualquiera")->isChecked());
        QVERIFY(!rig.action("formato_jpg")->isChecked());
        QVERIFY(!rig.action("formato_tiff")->isChecked());
        QCOMPARE(rig.window->settings().sourceFormat(), QStringLiteral(".*"));
        rig.action("girarexif")->trigger();
        QVERIFY(!rig.window->settings().autorotate());
        QVERIFY(!rig.action("girarexif")->isChecked());
        rig.action("girarexif")->trigger();
        QVERIFY(rig.window->settings().autorotate());
        QVERIFY(rig.action("girarexif")->isChecked());
        // "Opciones" → "Formatos web": each item on its own.
        QCOMPARE(rig.action("webp")->parent()->objectName(), QStringLiteral("formatosweb"));
        rig.action("avif")->trigger();
        QVERIFY(rig.window->settings().writeAvif() && !rig.window->settings().writeWebp());
        QVERIFY(rig.action("avif")->isChecked() && !rig.action("webp")->isChecked());
        rig.action("webp")->trigger();
        rig.action("avif")->trigger();
        QVERIFY(!rig.window->settings().writeAvif() && rig.window->settings().writeWebp());
        QVERIFY(!rig.action("avif")->isChecked() && rig.action("webp")->isChecked());
        rig.action("ajustarmarca")->trigger();
        QVERIFY(rig.window->settings().fitMark());
        QVERIFY(rig.action("ajustarmarca")->isChecked());

        rig.action("pmarcaagua")->trigger();
        QVERIFY(!rig.shown("lagua2"));
        QVERIFY(!rig.shown("Slider1"));
        QVERIFY(!rig.shown("Ajustecmd"));
        QVERIFY(!rig.action("pmarcaagua")->isChecked());
        rig.action("predeterminada")->trigger();
        QCOMPARE(rig.text("lagua2"), QStringLiteral("Marca de Agua ACTIVA"));
        QVERIFY(!rig.shown("lagua2"));
        rig.action("pmarcaagua")->trigger();
        QVERIFY(rig.shown("lagua2"));

        rig.ui.textAnswers << "50";
        rig.action("alturamarca")->trigger();
        QCOMPARE(rig.window->settings().watermarkHeight(), 50);
        rig.ui.textAnswers << "800"
                           << "300";
        rig.action("dimensiones")->trigger();
        QCOMPARE(int(*rig.window->settings().largeWidth()), 800);
        QCOMPARE(int(rig.window->settings().smallWidth()), 300);
    }

    void revealingTheCellFields()
    {
        Rig rig;
        rig.click("Command10");
        QVERIFY(!rig.shown("Command10"));
        for (const char* name : {"Label4", "Label3", "CO", "FO", "CD", "FD", "desplazamiento", "Label1"})
            QVERIFY2(rig.shown(name), name);
        QTest::keyClicks(rig.child<QLineEdit>("desplazamiento"), "2");
        QCOMPARE(rig.window->settings().rowStep(), QStringLiteral("42"));
    }

    void theColumnBoxesShowTwoLetters_data()
    {
        QTest::addColumn<QString>("column");
        for (const char* column : {"AB", "IV", "MW", "WW"})
            QTest::newRow(column) << column;
    }

    void theColumnBoxesShowTwoLetters()
    {
        QFETCH(QString, column);
        Rig rig;
        rig.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
        rig.click("Command10");
        for (const char* name : {"CO", "CD"}) {
            auto* box = rig.child<QLineEdit>(name);
            box->setFocus();
            box->selectAll();
            QTest::keyClicks(box, column);
            // Drawn with the cursor before the first letter, then after the
            // last: when the text fits, nothing scrolls and the cursor moves
            // by the whole text's width.
            box->setCursorPosition(0);
            box->grab();
            const auto cursorLeft = [box] { return box->inputMethodQuery(Qt::ImCursorRectangle).toRect().left(); };
            const int before = cursorLeft();
            box->setCursorPosition(int(column.size()));
            box->grab();
            QCOMPARE(cursorLeft() - before, box->fontMetrics().horizontalAdvance(column));
        }
        QCOMPARE(rig.window->settings().originColumn(), column);
        QCOMPARE(rig.window->settings().destinationColumn(), column);
    }

    void clockTicks()
    {
        Rig rig;
        for (int i = 0; i < 59; ++i)
            rig.window->tick();
        QCOMPARE(rig.text("minutos") + ":" + rig.text("segundos"), QStringLiteral("0:59"));
        rig.window->tick();
        QCOMPARE(rig.text("minutos") + ":" + rig.text("segundos"), QStringLiteral("1:0"));
        rig.window->tick();
        QCOMPARE(rig.text("minutos") + ":" + rig.text("segundos"), QStringLiteral("1:1"));
    }

    void choosingTheWorkbook()
    {
        Rig rig;
        rig.ui.textAnswers << "800"
                           << "300";
        rig.action("dimensiones")->trigger();

        rig.click("Command5");  // cancelled: the resets are done all the same
        QCOMPARE(rig.text("Ficheroexcel"), QStringLiteral("Archivo de excel no seleccionado"));
        QCOMPARE(int(*rig.window->settings().largeWidth()), 409);
        QCOMPARE(int(rig.window->settings().smallWidth()), 145);
        QCOMPARE(rig.window->settings().watermarkHeight(), 24);
        const auto dialogs = rig.ui.callsOf(ScriptedUiServices::Kind::FileDialog);
        QCOMPARE(dialogs.size(), 1);
        QCOMPARE(dialogs[0].text, QStringLiteral("Ruta Origen de Archivos de Excel, solo Xls como extensión"));
        QCOMPARE(dialogs[0].filter, QStringLiteral("Libros de cálculo|*.xls;*.xlsx;*.xlsm;*.ods;*.csv;*.txt|"
                                                   "Archivos para emparejar(*.XLS)|*.xls|"));
        QVERIFY(!rig.shown("Label1"));

        rig.ui.fileAnswers << FileChoice::failed("El diálogo no se pudo abrir");
        rig.click("Command5");
        QCOMPARE(rig.ui.messageTexts(), QStringList{"El diálogo no se pudo abrir"});
        QCOMPARE(rig.ui.calls.last().icon, MessageIcon::Warning);
        QCOMPARE(rig.ui.calls.last().title, QStringLiteral("Fotolista"));

        rig.ui.fileAnswers << FileChoice::chosen(rig.workbook);
        rig.click("Command5");
        QCOMPARE(rig.text("Ficheroexcel"), rig.workbook);
        QVERIFY(rig.shown("Label1"));  // "s.l." even though the fields were never revealed
        QVERIFY(!rig.shown("visor"));
    }

    void viewWithoutADestination()
    {
        Rig rig;
        rig.click("Command11");
        const auto calls = rig.ui.callsOf(ScriptedUiServices::Kind::Desktop);
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].text, QStringLiteral("ruta de imágenes fuente destino"));
    }

    void nothingChosen()
    {
        Rig rig;
        rig.click("Command1");
        QCOMPARE(rig.ui.messageTexts(),
                 (QStringList{"No existen archivos en la carpeta fuente especificada, incluya los JPGs",
                              "Es necesario especificar la fuente, el destino y el archivo XLS"}));
        QCOMPARE(rig.ui.callsOf(ScriptedUiServices::Kind::Message)[1].title, QStringLiteral("Error de archivos"));
        QVERIFY(rig.shown("Command1"));
        QVERIFY(!rig.shown("procesar"));
        QVERIFY(!rig.shown("Ajustecmd"));
        QCOMPARE(rig.tree()->topLevelItemCount(), 2);
        QCOMPARE(rig.tree()->topLevelItem(0)->childCount(), 0);
        QVERIFY(!QFile::exists(rig.dir.filePath("errores.txt")));
        QCOMPARE(rig.tones.count, 0);
    }

    void aWholeRun_data()
    {
        QTest::addColumn<QString>("workbook");  // empty: the example's .xls
        QTest::newRow(".xls") << QString();
        // LibreOffice's copies of the example workbook.
        for (const char* name : {"catalogo.xlsx", "catalogo.ods", "catalogo.csv"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void aWholeRun()
    {
        QFETCH(QString, workbook);
        Rig rig;
        if (!workbook.isEmpty()) {
            rig.workbook = rig.dir.filePath(workbook);
            QVERIFY(
                QFile::copy(QStringLiteral(FOTOLISTA_SOURCE_DIR "/tests/data/workbooks/") + workbook, rig.workbook));
        }
        rig.chooseEverything();
        rig.click("Command1");

        QCOMPARE(rig.text("procesar"), QStringLiteral("Proceso realizado correctamente en lote "));
        QVERIFY(rig.shown("Command1"));
        QVERIFY(!rig.shown("cancelar"));
        QVERIFY(rig.shown("cestadisticas"));
        QVERIFY(!rig.shown("Ajustecmd"));
        QVERIFY(!rig.shown("Slider1"));
        QVERIFY(rig.shown("lagua2"));
        QVERIFY(!rig.action("pmarcaagua")->isChecked());
        QVERIFY(!rig.child<QTimer>("Timer1")->isActive());
        QVERIFY(rig.shown("segundos"));
        QCOMPARE(rig.child<QProgressBar>("ProgressBar1")->value(), rig.child<QProgressBar>("ProgressBar1")->maximum());
        QCOMPARE(rig.tones.count, 1);

        QTreeWidget* tree = rig.tree();
        QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("-> Imagenes asociadas"));
        QCOMPARE(tree->topLevelItem(0)->childCount(), 6);
        QCOMPARE(tree->topLevelItem(1)->childCount(), 2);
        QTreeWidgetItem* first = tree->topLevelItem(0)->child(0);
        QCOMPARE(first->text(0), QStringLiteral("1 - C.O: F6 valor: 12345.JPG || C.D.: A6 :  valor: TAZA-01.jpg"));
        QCOMPARE(first->foreground(0).color(), QColor(Qt::black));
        QCOMPARE(first->childCount(), 2);
        QVERIFY(first->child(1)->text(0).contains(" || Ratio: 1,9"));
        QTreeWidgetItem* missing = tree->topLevelItem(1)->child(0);
        QCOMPARE(missing->text(0), QStringLiteral("5 - C.O: F22 valor: 99999.JPG || C.D.: A22 :  valor: Pelota05.jpg"));
        QCOMPARE(missing->foreground(0).color(), QColor(Qt::red));
        QCOMPARE(rig.summaryLabel("Totales"), QStringLiteral("8"));
        QCOMPARE(rig.summaryLabel("Noprocesadas"), QStringLiteral("2"));
        QCOMPARE(rig.summaryLabel("procesadas"), QStringLiteral("6"));

        QVERIFY(rig.summary()->isHidden());
        rig.click("cestadisticas");
        QVERIFY(rig.summary()->isVisible());
        // The example's photos read add up to more than 800 kB.
        const QString read = rig.summaryLabel("Tleidon");
        QVERIFY2(read.endsWith(" kb") && read.chopped(3).toInt() > 800, qPrintable(read));

        QCOMPARE(fixtures::decode(rig.destination + "/TAZA-01.jpg").width, 409);
        QCOMPARE(fixtures::decode(rig.destination + "/pequeñas/Cesta_08_p.jpg").width, 145);
        // The log goes to the working folder.
        QCOMPARE(fixtures::readBytes(rig.dir.filePath("errores.txt")).count("\r\n"), 2);
    }

    // A shop's week with photos and images in one folder: no photo is
    // replaced, the rows without images say why in red, and the rows below
    // the empty row are announced, then reached with "Saltar filas vacías".
    void aWeekInOneFolder()
    {
        Rig rig;
        rig.workbook = rig.dir.filePath("semana.xlsx");
        QVERIFY(QFile::copy(QStringLiteral(FOTOLISTA_SOURCE_DIR "/tests/data/batch/semana.xlsx"), rig.workbook));
        for (const char* name : {"IMG_0001", "IMG_0002", "IMG_0003", "IMG_0004", "IMG_0005", "IMG_0006"})
            QVERIFY(fixtures::writeJpeg(rig.source + "/" + name + ".jpg", 640, 480));
        const QByteArray original = fixtures::readBytes(rig.source + "/IMG_0002.jpg");
        rig.chooseEverything();
        JobSettings& s = rig.window->settings();
        s.setDestinationFolder(rig.source);
        s.setOriginColumn("B");
        for (auto set : {&JobSettings::setOriginRow, &JobSettings::setDestinationRow})
            (s.*set)("2");
        s.setRowStep("1");
        rig.click("Command1");

        QCOMPARE(fixtures::readBytes(rig.source + "/IMG_0002.jpg"), original);
        const QList<ScriptedUiServices::Call> boxes = rig.ui.callsOf(ScriptedUiServices::Kind::Message);
        QCOMPARE(boxes.size(), 4);  // three failed writes, then what was left below the empty row
        QCOMPARE(boxes.last().title, QStringLiteral("Filas sin procesar"));
        QVERIFY2(boxes.last().text.contains("fila 9, que está vacía, pero debajo hay 2 filas más"),
                 qPrintable(boxes.last().text));
        QVERIFY(boxes.last().text.contains("«Saltar filas vacías»"));
        QTreeWidgetItem* refused = rig.tree()->topLevelItem(0)->child(1);
        QCOMPARE(refused->childCount(), 1);
        QCOMPARE(refused->child(0)->foreground(0).color(), QColor(Qt::red));
        QVERIFY(refused->child(0)->text(0).contains("es la foto original de la fila 3"));

        rig.use("saltarvacias");
        QVERIFY(rig.action("saltarvacias")->isChecked());
        rig.ui.calls.clear();
        rig.click("Command1");
        QVERIFY(QFile::exists(rig.source + "/GORRA-01.jpg"));
        QVERIFY(rig.ui.messageTexts().filter("que está vacía").isEmpty());
        QCOMPARE(rig.summaryLabel("Totales"), QStringLiteral("9"));
    }

    void aWorkbookChoiceResetsTheTotals()
    {
        Rig rig;
        rig.chooseEverything();
        rig.click("Command1");
        rig.action("resumen")->trigger();
        QVERIFY(rig.summaryLabel("Tcomprimidon") != QStringLiteral("0 kb"));
        rig.click("Command5");  // cancelled
        rig.action("resumen")->trigger();
        QCOMPARE(rig.summaryLabel("Tcomprimidon"), QStringLiteral("0 kb"));
        QCOMPARE(rig.summaryLabel("Tleidon"), QStringLiteral("0 kb"));
    }

    void cancelDuringTheSecondRow()
    {
        Rig rig;
        rig.chooseEverything();
        bool pressed = false;
        rig.ui.onYield = [&](int) {
            if (!pressed && rig.text("visor") == "Leyendo imagen: /12346.JPG") {
                pressed = true;
                rig.click("cancelar");
                // "cancelar" brings "PROCESAR" back at once, before the row ends.
                QVERIFY(rig.shown("Command1"));
            }
        };
        rig.click("Command1");
        QVERIFY(pressed);
        QVERIFY(QFile::exists(rig.destination + "/Bolso_02.jpg"));
        QVERIFY(!QFile::exists(rig.destination + "/CAJA-03.jpg"));
        QVERIFY(rig.child<QTimer>("Timer1")->isActive());
        QCOMPARE(rig.text("procesar"), QStringLiteral("Procesando la imagen del lote: Bolso_02"));
        QVERIFY(!rig.shown("cancelar"));
        QVERIFY(rig.shown("Command1"));
    }

    // A run on a destination another run writes into waits, says so in the
    // status line, and makes the batch once the other one is done.
    void aBusyDestinationIsWaitedFor()
    {
        Rig rig;
        rig.chooseEverything();
        auto other =
            std::make_unique<DestinationLock>(RowFingerprints(defaultFingerprintFolder(), rig.destination).filePath());
        QCOMPARE(other->tryTake(), LockAttempt::Taken);
        QString shownWhileWaiting;
        bool fileWhileWaiting = true;
        std::thread finishing([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            // The window's thread is waiting, not painting: its texts hold still.
            shownWhileWaiting = rig.window->findChild<QLabel*>("procesar")->text();
            fileWhileWaiting = QFile::exists(rig.destination + "/TAZA-01.jpg");
            other.reset();
        });
        rig.click("Command1");
        finishing.join();
        QCOMPARE(shownWhileWaiting, "Otro proceso está escribiendo en la carpeta destino «" + rig.destination
                                        + "»; se espera a que termine…");
        QVERIFY(!fileWhileWaiting);
        QVERIFY(QFile::exists(rig.destination + "/TAZA-01.jpg"));
    }

    void processClickedAfterCancel_data()
    {
        QTest::addColumn<bool>("whileTheRowFinishes");  // else once the run has stopped
        QTest::addColumn<bool>("aMomentLater");  // else at once, as a double-click's second click
        QTest::addColumn<bool>("startsAgain");
        QTest::newRow("at once, while the row finishes: ignored") << true << false << false;
        QTest::newRow("at once, after the stop: ignored") << false << false << false;
        QTest::newRow("a moment later, while the row finishes: after this run") << true << true << true;
        QTest::newRow("a moment later, after the stop: a new run") << false << true << true;
    }

    void processClickedAfterCancel()
    {
        QFETCH(bool, whileTheRowFinishes);
        QFETCH(bool, aMomentLater);
        QFETCH(bool, startsAgain);
        // A double-click's time the row cannot outlast, or a short one to wait out.
        QStyleHints* hints = QGuiApplication::styleHints();
        const int savedInterval = hints->mouseDoubleClickInterval();
        hints->setMouseDoubleClickInterval(aMomentLater ? 50 : 60000);
        const auto restore = qScopeGuard([&] { hints->setMouseDoubleClickInterval(savedInterval); });
        const int moment = 150;
        Rig rig;
        rig.chooseEverything();
        bool startedInside = false;
        bool pressed = false;
        rig.ui.onYield = [&](int) {
            if (!pressed && rig.text("visor") == "Leyendo imagen: /12345.JPG") {
                pressed = true;
                rig.click("cancelar");
                if (whileTheRowFinishes) {
                    if (aMomentLater)
                        QTest::qWait(moment);
                    rig.click("Command1");  // never a second run inside this one
                    startedInside = QFile::exists(rig.destination + "/Cesta_08.jpg");
                }
            }
        };
        rig.click("Command1");
        QVERIFY(pressed);
        QVERIFY(!startedInside);
        QVERIFY(!QFile::exists(rig.destination + "/Bolso_02.jpg"));
        if (!whileTheRowFinishes) {
            if (aMomentLater)
                QTest::qWait(moment);
            QVERIFY(rig.shown("Command1"));
            rig.click("Command1");
        }
        // A remembered click starts its run once the stopped one has ended.
        if (startsAgain)
            QTRY_COMPARE(rig.tones.count, 1);
        QTest::qWait(moment);
        QCOMPARE(rig.tones.count, startsAgain ? 1 : 0);
        QCOMPARE(QFile::exists(rig.destination + "/Cesta_08.jpg"), startsAgain);
    }

    void closingDuringARunFinishesTheRow()
    {
        Rig rig;
        rig.chooseEverything();
        rig.window->show();
        bool closed = false;
        rig.ui.onYield = [&](int) {
            if (!closed && rig.text("visor") == "Leyendo imagen: /12345.JPG") {
                closed = true;
                rig.window->close();
            }
        };
        rig.click("Command1");
        QVERIFY(closed);
        QVERIFY(!rig.window->isVisible());
        QVERIFY(QFile::exists(rig.destination + "/TAZA-01.jpg"));
        QVERIFY(QFile::exists(rig.destination + "/pequeñas/TAZA-01_p.jpg"));
        QVERIFY(!QFile::exists(rig.destination + "/Bolso_02.jpg"));
        QCOMPARE(QDir(rig.destination).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    void exitAsksFirst()
    {
        Rig rig;
        rig.window->show();
        rig.ui.messageAnswers << MessageAnswer::No;
        rig.action("Salida")->trigger();
        const auto asked = rig.ui.callsOf(ScriptedUiServices::Kind::Message);
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].text, QStringLiteral("¿ Desea salir del programa ?"));
        QCOMPARE(asked[0].title, QStringLiteral("Salida del programa"));
        QCOMPARE(asked[0].buttons, MessageButtons::YesNo);
        QCOMPARE(asked[0].icon, MessageIcon::None);
        QVERIFY(rig.window->isVisible());
        rig.ui.messageAnswers << MessageAnswer::Yes;
        rig.action("Salida")->trigger();
        QVERIFY(!rig.window->isVisible());
    }

    void exitConfirmedDuringARun()
    {
        Rig rig;
        rig.chooseEverything();
        rig.window->show();
        bool asked = false;
        rig.ui.onYield = [&](int) {
            if (!asked && rig.text("visor") == "Leyendo imagen: /12346.JPG") {
                asked = true;
                rig.ui.messageAnswers << MessageAnswer::Yes;
                rig.action("Salida")->trigger();
            }
        };
        rig.click("Command1");
        QVERIFY(asked);
        QVERIFY(QFile::exists(rig.destination + "/Bolso_02.jpg"));
        QVERIFY(!QFile::exists(rig.destination + "/CAJA-03.jpg"));
        QVERIFY(!rig.window->isVisible());
    }

    // Set once in the window, saved, opened again in a fresh window whose
    // workbook choice had other widths, and run by the command from the same
    // file: the same settings, and the same bytes as the window's own run.
    void aJobSavedOpenedAndRunByTheCommand()
    {
        Rig first;
        first.chooseEverything();
        first.use("calidadAlta");
        first.use("formato_cualquiera");
        first.use("saltarvacias");
        first.use("tiendasonline");
        first.ui.textAnswers << "500"
                             << "120";
        first.use("dimensiones");
        const QString path = first.dir.filePath("trabajos/semana");
        QDir().mkpath(first.dir.filePath("trabajos"));
        first.ui.fileAnswers << FileChoice::chosen(path);
        first.use("guardartrabajo");
        const QString saved = path + ".fotolista";
        QVERIFY(QFile::exists(saved));
        const ScriptedUiServices::Call dialog = first.ui.callsOf(ScriptedUiServices::Kind::FileDialog).constLast();
        QCOMPARE(dialog.text, QStringLiteral("Guardar trabajo"));
        QCOMPARE(toQtNameFilters(dialog.filter), QStringList{"Trabajos de Fotolista (*.fotolista)"});
        QCOMPARE(first.window->findChild<QMenu*>("trabajosrecientes")->actions().size(), 1);
        first.click("Command1");

        Rig second;
        second.chooseEverything();
        second.ui.textAnswers << "300"
                              << "90";
        second.use("dimensiones");
        QVERIFY(second.window->openJob(saved));
        QCOMPARE(*jobBytes(second.window->settings(), {}, nullptr), *jobBytes(first.window->settings(), {}, nullptr));
        QVERIFY(second.shown("fuente") && second.shown("CO"));
        QVERIFY(second.action("formato_cualquiera")->isChecked() && !second.action("formato_jpg")->isChecked());
        QVERIFY(second.action("saltarvacias")->isChecked());
        QVERIFY(second.action("tiendasonline")->isChecked());

        const QString elsewhere = first.dir.filePath("otra-salida");
        QDir().mkpath(elsewhere);
        QProcess p;
        p.start(QStringLiteral(FOTOLISTA_BIN_DIR "/fotolista-batch"),
                {"run", "--job", saved, first.workbook, first.source, elsewhere, "--quiet"});
        QVERIFY(p.waitForFinished(60000));
        const QStringList made = fixtures::filesUnder(first.destination);
        QCOMPARE(fixtures::filesUnder(elsewhere), made);
        QVERIFY(made.contains("TAZA-01.jpg"));
        QVERIFY(made.contains("tiendas/TAZA-01.jpg"));
        for (const QString& f : made)
            QVERIFY2(fixtures::readBytes(elsewhere + "/" + f) == fixtures::readBytes(first.destination + "/" + f),
                     qPrintable(f));
    }

    void jobsThatCannotBeUsedChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("said");
        QTest::newRow("a bad value") << QByteArray("fotolista-trabajo=1\ncalidad=baja\nanchura-grande=x\n")
                                     << "el valor «x» de «anchura-grande» no es válido";
        QTest::newRow("a folder that is gone") << QByteArray("fotolista-trabajo=1\ncalidad=baja\nfuente=/no/existe\n")
                                               << "la carpeta fuente «/no/existe» no existe";
        QTest::newRow("no job at all") << QByteArray("\x89PNG\r\n") << "no es un archivo de texto";
    }

    void jobsThatCannotBeUsedChangeNothing()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, said);
        Rig rig;
        rig.chooseEverything();
        const QString path = rig.dir.filePath("malo.fotolista");
        fixtures::writeBytes(path, bytes);
        const QByteArray before = *jobBytes(rig.window->settings(), {}, nullptr);
        QVERIFY(!rig.window->openJob(path));
        QCOMPARE(*jobBytes(rig.window->settings(), {}, nullptr), before);
        QVERIFY2(rig.ui.messageTexts().constLast().contains(said), qPrintable(rig.ui.messageTexts().constLast()));
        QCOMPARE(rig.window->findChild<QMenu*>("trabajosrecientes")->actions().size(), 0);
    }

    void aRecentJobThatIsGoneLeavesTheList()
    {
        Rig rig;
        rig.chooseEverything();
        const QString path = rig.dir.filePath("semana.fotolista");
        rig.ui.fileAnswers << FileChoice::chosen(path);
        rig.use("guardartrabajo");
        QFile::remove(path);
        QMenu* recent = rig.window->findChild<QMenu*>("trabajosrecientes");
        QCOMPARE(recent->actions().size(), 1);
        recent->actions().first()->trigger();
        QCOMPARE(rig.ui.messageTexts().constLast(),
                 QStringLiteral("El trabajo «%1» ya no existe; se quita de la lista.").arg(path));
        QVERIFY(recent->actions().isEmpty());
    }

    void dropsOnTheWindow_data()
    {
        QTest::addColumn<QString>("what");  // a folder, a workbook, a job, a photo
        QTest::addColumn<QString>("onto");  // the control it is dropped on
        QTest::addColumn<QString>("expected");  // what changed, or the message
        QTest::newRow("a folder on Fuente") << "folder"
                                            << "Command3"
                                            << "source";
        QTest::newRow("a folder on Destino") << "folder"
                                             << "Command4"
                                             << "destination";
        QTest::newRow("a workbook anywhere") << "workbook"
                                             << "Command1"
                                             << "workbook";
        QTest::newRow("a job anywhere") << "job"
                                        << "Label2"
                                        << "job";
        QTest::newRow("a folder elsewhere") << "folder"
                                            << "Command1"
                                            << "message";
        QTest::newRow("a photo") << "photo"
                                 << "Command3"
                                 << "message";
    }

    void dropsOnTheWindow()
    {
        QFETCH(QString, what);
        QFETCH(QString, onto);
        QFETCH(QString, expected);
        Rig rig;
        const QString folder = rig.dir.filePath("soltada");
        QDir().mkpath(folder);
        const QString job = rig.dir.filePath("semana.fotolista");
        fixtures::writeBytes(job, "fotolista-trabajo=1\ncalidad=baja\n");
        const QHash<QString, QString> paths{
            {"folder", folder}, {"workbook", rig.workbook}, {"job", job}, {"photo", rig.source + "/12345.jpg"}};
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(paths.value(what))});
        rig.window->show();  // laid out as the user sees it
        QWidget* target = rig.child(onto.toLatin1().constData());
        const QPoint at = target->mapTo(rig.window.get(), target->rect().center());
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(rig.window.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(rig.window.get(), &drop);

        const JobSettings& s = rig.window->settings();
        QCOMPARE(s.sourceFolder() == folder, expected == "source");
        QCOMPARE(s.destinationFolder() == folder, expected == "destination");
        QCOMPARE(s.workbookPath() == rig.workbook, expected == "workbook");
        QCOMPARE(s.jpegQuality() == JpegQuality::Low, expected == "job");
        QCOMPARE(rig.ui.messageTexts().size(), expected == "message" ? 1 : 0);
    }

    void closingTheSummaryDuringARunIsSafe()
    {
        Rig rig;
        rig.chooseEverything();
        bool closed = false;
        rig.ui.onYield = [&](int) {
            if (!closed && rig.text("visor") == "Leyendo imagen: /20001.JPG") {
                closed = true;
                rig.click("cestadisticas");
                rig.summary()->close();
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            }
        };
        rig.click("Command1");
        QVERIFY(closed);
        QCOMPARE(rig.tones.count, 1);
        QVERIFY(QFile::exists(rig.destination + "/Cesta_08.jpg"));
        // The summary the run went on writing into has no roots: its rows are lost, not misplaced.
        QCOMPARE(rig.tree()->topLevelItemCount(), 0);
        QCOMPARE(rig.summaryLabel("Totales"), QStringLiteral("8"));
    }

    void pickersHandOnTheFolders_data()
    {
        QTest::addColumn<QByteArray>("opener");
        QTest::addColumn<QByteArray>("label");
        QTest::newRow("Fuente") << QByteArray("Command3") << QByteArray("fuente");
        QTest::newRow("Destino") << QByteArray("Command4") << QByteArray("destino");
    }

    void pickersHandOnTheFolders()
    {
        QFETCH(QByteArray, opener);
        QFETCH(QByteArray, label);
        Rig rig;
        rig.click(opener.constData());
        QWidget* picker = shownWindowBesides(rig.window.get());
        QVERIFY(picker);
        QVERIFY(picker->findChild<FolderPicker*>()->openFolderPath(rig.source));
        QTest::mouseClick(picker->findChild<QPushButton*>("Command1"), Qt::LeftButton);
        QVERIFY(!picker->isVisible());
        const JobSettings& s = rig.window->settings();
        QCOMPARE(label == "fuente" ? s.sourceFolder() : s.destinationFolder(), rig.source);
        QVERIFY(rig.shown(label.constData()));
        QCOMPARE(rig.text(label.constData()), rig.source);
        QCOMPARE(rig.child(label.constData())->toolTip(), rig.source);
    }

    void closeBoxDestroysAndTheNextOpeningStartsAfresh_data()
    {
        QTest::addColumn<Opening>("opening");
        const auto title = [](QWidget* w) { return w->windowTitle(); };
        QTest::newRow("summary") << Opening{"resumen",
                                            [](Rig& rig, QWidget*) {
                                                rig.chooseEverything();
                                                rig.click("Command1");
                                                rig.use("resumen");
                                            },
                                            [](QWidget*) {
                                                return Rig::summaryLabel("Totales") + " totales, "
                                                       + QString::number(Rig::tree()->topLevelItemCount()) + " raíces";
                                            }};
        QTest::newRow("source picker") << Opening{"Command3", openTheSourceFolder, openFolder};
        QTest::newRow("destination picker") << Opening{"Command4", openTheSourceFolder, openFolder};
        QTest::newRow("watermark folder") << Opening{"magua", openTheSourceFolder, openFolder};
        QTest::newRow("placement") << Opening{
            "Ajustecmd", [](Rig&, QWidget* w) { w->findChild<QSlider*>("Slider2")->setValue(40); },
            [](QWidget* w) { return QString::number(w->findChild<QSlider*>("Slider2")->value()); }};
        QTest::newRow("about") << Opening{"creditos", {}, title};
        QTest::newRow("help") << Opening{"ayuda", {}, title};
    }

    void closeBoxDestroysAndTheNextOpeningStartsAfresh()
    {
        QFETCH(Opening, opening);
        Rig rig;
        rig.use(opening.opener);
        QWidget* w = shownWindowBesides(rig.window.get());
        QVERIFY(w);
        const QByteArray kind = w->metaObject()->className();
        const QString fresh = opening.state(w);
        if (opening.change) {
            opening.change(rig, w);
            w = shownWindowBesides(rig.window.get());
            QVERIFY(w);
            QVERIFY2(opening.state(w) != fresh, qPrintable(fresh));
        }
        const QStringList settings = handedOn(*rig.window);

        QPointer<QWidget> closed = w;
        QVERIFY(w->close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(closed.isNull());
        QCOMPARE(handedOn(*rig.window), settings);  // the close box hands nothing on

        rig.use(opening.opener);
        QWidget* again = shownWindowBesides(rig.window.get());
        QVERIFY(again);
        QCOMPARE(QByteArray(again->metaObject()->className()), kind);
        QCOMPARE(opening.state(again), fresh);
    }

    void aFolderAcceptedWhileTheWatermarkIsOff()
    {
        Rig rig;
        rig.action("pmarcaagua")->trigger();
        QVERIFY(!rig.shown("lagua2"));
        rig.action("magua")->trigger();
        WatermarkFolderWindow* agua = findWindow<WatermarkFolderWindow>();
        QVERIFY(agua && agua->isVisible());
        QVERIFY(agua->findChild<FolderPicker*>()->openFolderPath(rig.source));
        QTest::mouseClick(agua->findChild<QPushButton*>("Command1"), Qt::LeftButton);
        QVERIFY(!agua->isVisible());
        QVERIFY(rig.shown("lagua2"));
        QCOMPARE(rig.text("lagua2"), QStringLiteral("Marca de Agua ACTIVA,\rAGUA.JPG"));
        QVERIFY(!rig.shown("Slider1"));
        QVERIFY(!rig.action("pmarcaagua")->isChecked());
        QCOMPARE(rig.window->settings().watermarkFolder(), rig.source);
        // Switching the default on again returns to the default folder.
        rig.action("pmarcaagua")->trigger();
        QCOMPARE(rig.window->settings().watermarkFolder(), QStringLiteral(FOTOLISTA_SOURCE_DIR "/numeros"));
    }

    void thePlacementWindowSteersTheRun_data()
    {
        QTest::addColumn<bool>("centred");
        QTest::addColumn<bool>("closeTheWindow");
        QTest::addColumn<int>("probeX");
        QTest::addColumn<int>("probeY");
        // Probes fall on the mark's plain background, 6 pixels in from its corner.
        QTest::newRow("placed by hand at (20, 30)") << false << false << 26 << 36;
        QTest::newRow("closed window: start values at (0, 0)") << false << true << 6 << 6;
        // Botella7 is 800 x 800: its large copy is 409 x 409, the mark lands at (144, 174).
        QTest::newRow("centred, blended by the window's alpha") << true << false << 150 << 180;
    }

    void thePlacementWindowSteersTheRun()
    {
        QFETCH(bool, centred);
        QFETCH(bool, closeTheWindow);
        QFETCH(int, probeX);
        QFETCH(int, probeY);
        Rig rig;
        rig.chooseEverything();
        rig.click("Command10");
        rig.window->settings().setOriginRow("30");
        rig.window->settings().setDestinationRow("30");
        rig.window->settings().setWatermarkInteriorOnly(true);
        rig.click("Ajustecmd");
        PlacementWindow* form2 = findWindow<PlacementWindow>();
        QVERIFY(form2 && form2->isVisible());
        form2->findChild<QSlider*>("Slider2")->setValue(20);
        form2->findChild<QSlider*>("Slider3")->setValue(30);
        form2->findChild<QSlider*>("Slider1")->setValue(255);
        form2->findChild<QCheckBox*>("centrar")->setChecked(centred);
        QTest::mouseClick(form2->findChild<QPushButton*>("Command1"), Qt::LeftButton);
        QVERIFY(!form2->isVisible());
        QVERIFY(rig.window->settings().watermarkManualPlacement());
        if (closeTheWindow) {
            form2->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY(!findWindow<PlacementWindow>());
        }
        rig.click("Command1");
        const QString out = rig.destination + "/Botella7.jpg";
        QCOMPARE(fixtures::decode(out).width, 409);
        const quint32 mark = fixtures::pixelAt(QStringLiteral(FOTOLISTA_SOURCE_DIR "/numeros/marca.png"), 6, 6);
        const quint32 seen = fixtures::pixelAt(out, probeX, probeY);
        // Blended by 255 the mark all but replaces the photo; by 125 it is half way.
        QVERIFY2(fixtures::near(seen, mark, closeTheWindow ? 90 : 30),
                 qPrintable(QString::number(seen, 16) + " vs " + QString::number(mark, 16)));
        if (closeTheWindow) {
            QVERIFY(findWindow<PlacementWindow>());  // made hidden to read its start values
            QVERIFY(!findWindow<PlacementWindow>()->isVisible());
        }
    }

    void aSecondOpeningRaisesTheSameWindow()
    {
        Rig rig;
        rig.action("creditos")->trigger();
        AboutWindow* first = findWindow<AboutWindow>();
        QVERIFY(first && first->isVisible());
        rig.action("creditos")->trigger();
        QCOMPARE(shownWindowBesides(rig.window.get()), first);
    }

    void clickingTheSliderReturnsToTheCentredMark()
    {
        Rig rig;
        rig.window->settings().setWatermarkManualPlacement(true);
        QSlider* slider = rig.child<QSlider>("Slider1");
        QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(slider->width() - 5, slider->height() / 2));
        QVERIFY(!rig.window->settings().watermarkManualPlacement());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
