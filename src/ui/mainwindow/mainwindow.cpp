#include "ui/mainwindow/mainwindow.h"

#include "core/base/desktopstarts.h"
#include "core/base/shownpaths.h"
#include "core/base/uiservices.h"
#include "ui/about/aboutwindow.h"
#include "ui/about/helpwindow.h"
#include "ui/brand/brandmakerwindow.h"
#include "ui/pickers/destinationpickerwindow.h"
#include "ui/pickers/sourcepickerwindow.h"
#include "ui/services/toneplayer.h"
#include "ui/summary/summarywindow.h"
#include "ui/watermark/placementwindow.h"
#include "ui/watermark/watermarkfolderwindow.h"
#include "ui_mainwindow.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProxyStyle>
#include <QScreen>
#include <QStyleHints>
#include <QStyleOptionMenuItem>
#include <QThread>
#include <QTimer>

namespace fotolista {

MainWindow::MainWindow(UiServices& services, TonePlayer& tones, const QString& programFolder, QWidget* parent)
    : QMainWindow(parent)
    , m_ui(std::make_unique<Ui::Form1>())
    , m_services(services)
    , m_tones(tones)
    , m_settings(programFolder + QStringLiteral("/numeros"))
    , m_driver(RunEnvironment{m_settings, m_services, *this, m_reader, *this, m_totals, m_control,
                              QStringLiteral("errores.txt"), std::max(1, QThread::idealThreadCount())})
    , m_checkAndReport(m_settings, m_services, QStringLiteral("errores.txt"), this)
{
    m_ui->setupUi(this);
    buildMenus();
    setAcceptDrops(true);

    // Start state of the controls the run and the settings show later.
    for (QWidget* w : {static_cast<QWidget*>(m_ui->fuente),    static_cast<QWidget*>(m_ui->destino),
                       static_cast<QWidget*>(m_ui->Label4),    static_cast<QWidget*>(m_ui->CO),
                       static_cast<QWidget*>(m_ui->FO),        static_cast<QWidget*>(m_ui->Label3),
                       static_cast<QWidget*>(m_ui->CD),        static_cast<QWidget*>(m_ui->FD),
                       static_cast<QWidget*>(m_ui->Label1),    static_cast<QWidget*>(m_ui->desplazamiento),
                       static_cast<QWidget*>(m_ui->cancelar),  static_cast<QWidget*>(m_ui->cestadisticas),
                       static_cast<QWidget*>(m_ui->Slider1),   static_cast<QWidget*>(m_ui->lagua2),
                       static_cast<QWidget*>(m_ui->lagua),     static_cast<QWidget*>(m_ui->visor),
                       static_cast<QWidget*>(m_ui->procesar),  static_cast<QWidget*>(m_ui->minutos),
                       static_cast<QWidget*>(m_ui->dospuntos), static_cast<QWidget*>(m_ui->segundos)})
        w->hide();
    m_ui->Slider1->installEventFilter(this);

    m_clock = new QTimer(this);
    m_clock->setObjectName(QStringLiteral("Timer1"));
    connect(m_clock, &QTimer::timeout, this, &MainWindow::tick);

    connectControls();
    connect(&m_settings, &JobSettings::changed, this, &MainWindow::refreshFromSettings);

    // Load step: a click on "Marca de agua predeterminada" switches the
    // default watermark on; the clock ticks.
    m_defaultWatermark->trigger();
    m_clock->start(1000);

    setFixedSize(sizeHint());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

MainWindow::~MainWindow()
{
    // The windows this one opened are top-level; they go with it.
    delete m_summary;
    delete m_sourcePicker;
    delete m_destinationPicker;
    delete m_watermarkFolderWindow;
    delete m_brandMaker;
    delete m_placementWindow;
    delete m_aboutWindow;
    delete m_helpWindow;
}

namespace {

QAction* addItem(QMenu* menu, const char* name, const QString& text, bool checkable = false)
{
    QAction* a = menu->addAction(text);
    a->setObjectName(QLatin1String(name));
    a->setCheckable(checkable);
    return a;
}

QMenu* addMenu(QMenuBar* bar, const char* name, const QString& title)
{
    QMenu* menu = bar->addMenu(title);
    menu->setObjectName(QLatin1String(name));
    return menu;
}

/// Draws a group's exclusive items with the check mark every other checked
/// item has, as these menus have always shown them, instead of the round
/// mark a style gives a group.
class CheckMarkStyle : public QProxyStyle {
public:
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (element == CE_MenuItem && item && item->checkType == QStyleOptionMenuItem::Exclusive) {
            QStyleOptionMenuItem plain(*item);
            plain.checkType = QStyleOptionMenuItem::NonExclusive;
            QProxyStyle::drawControl(element, &plain, painter, widget);
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

/// Items of which one at most is checked; clicking the checked one keeps it.
QActionGroup* exclusive(QObject* owner, QMenu* menu, std::initializer_list<QAction*> items)
{
    // The owner (the window) outlives the menu, which does not own its style.
    auto* style = new CheckMarkStyle;
    style->setParent(owner);
    menu->setStyle(style);
    auto* group = new QActionGroup(menu);
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    for (QAction* a : items)
        group->addAction(a);
    return group;
}

}  // namespace

QAction* MainWindow::settingItem(QMenu* menu, const char* name, const QString& text, bool (JobSettings::*get)() const,
                                 void (JobSettings::*set)(bool))
{
    QAction* a = addItem(menu, name, text, true);
    connect(a, &QAction::triggered, this, [this, get, set] {
        (m_settings.*set)(!(m_settings.*get)());
        refreshFromSettings();
    });
    m_settingItems.emplace_back(a, get);
    return a;
}

void MainWindow::buildMenus()
{
    QMenuBar* bar = m_ui->menubar;
    QAction* exit = bar->addAction(QStringLiteral("Salida"));
    exit->setObjectName(QStringLiteral("Salida"));
    connect(exit, &QAction::triggered, this, &MainWindow::confirmExit);

    QAction* help = bar->addAction(QStringLiteral("¿Que hace el programa ?"));
    help->setObjectName(QStringLiteral("ayuda"));
    connect(help, &QAction::triggered, this, &MainWindow::openHelp);

    buildFormatMenu(addMenu(bar, "formato", QStringLiteral("Formato")));
    buildQualityMenu(addMenu(bar, "calidad", QStringLiteral("Calidad de imagen")));
    buildDimensionsMenu(addMenu(bar, "controldimensiones", QStringLiteral("Dimensiones")));
    buildOptionsMenu(addMenu(bar, "opciones", QStringLiteral("Opciones")));

    QAction* about = bar->addAction(QStringLiteral("Acerca de ..."));
    about->setObjectName(QStringLiteral("creditos"));
    connect(about, &QAction::triggered, this, &MainWindow::openAbout);
}

void MainWindow::buildFormatMenu(QMenu* format)
{
    m_formatJpg = addItem(format, "formato_jpg", QStringLiteral(" JPG"), true);
    m_formatTiff = addItem(format, "formato_tiff", QStringLiteral("TIFF"), true);
    m_formatAny = addItem(format, "formato_cualquiera", QStringLiteral("Cualquier formato"), true);
    // No item is checked at start, although the sources are JPEG.
    exclusive(this, format, {m_formatJpg, m_formatTiff, m_formatAny});
    connect(m_formatJpg, &QAction::triggered, &m_settings, &JobSettings::chooseJpgSource);
    connect(m_formatTiff, &QAction::triggered, &m_settings, &JobSettings::chooseTiffSource);
    connect(m_formatAny, &QAction::triggered, &m_settings, &JobSettings::chooseAnySource);
}

void MainWindow::buildQualityMenu(QMenu* quality)
{
    const std::pair<const char*, QString> names[] = {{"calidadAlta", QStringLiteral("Alta")},
                                                     {"Calidadmedia", QStringLiteral("Media")},
                                                     {"CalidadBaja", QStringLiteral("Baja")},
                                                     {"Calidadmuybaja", QStringLiteral("Muy baja")}};
    QActionGroup* group = exclusive(this, quality, {});
    for (size_t i = 0; i < m_qualityItems.size(); ++i) {
        QAction* a = addItem(quality, names[i].first, names[i].second, true);
        group->addAction(a);
        connect(a, &QAction::triggered, this, [this, q = kQualities[i]] { m_settings.chooseQuality(q); });
        m_qualityItems[i] = a;
    }
    quality->addSeparator();
    settingItem(quality, "tamanominimo", QStringLiteral("Tamaño mínimo (sin pérdida)"), &JobSettings::optimizeJpeg,
                &JobSettings::setOptimizeJpeg);
}

void MainWindow::buildDimensionsMenu(QMenu* dimensions)
{
    QAction* byDefault =
        addItem(dimensions, "predeterminada", QStringLiteral("Predeterminada 409 Grande, 145 Pequeña (ancho)"));
    // The status text only; whether the label shows stays as it is.
    connect(byDefault, &QAction::triggered, this,
            [this] { m_ui->lagua2->setText(QStringLiteral("Marca de Agua ACTIVA")); });
    connect(addItem(dimensions, "dimensiones", QStringLiteral("Dimensiones")), &QAction::triggered, this,
            [this] { m_settings.enterWidths(m_services); });
}

void MainWindow::buildOptionsMenu(QMenu* options)
{
    m_defaultWatermark = addItem(options, "pmarcaagua", QStringLiteral("Marca de agua predeterminada"), true);
    connect(m_defaultWatermark, &QAction::triggered, this, &MainWindow::toggleDefaultWatermark);
    settingItem(options, "solointerior", QStringLiteral("Solo marca interior"), &JobSettings::watermarkInteriorOnly,
                &JobSettings::setWatermarkInteriorOnly);
    connect(addItem(options, "alturamarca", QStringLiteral("Altura Marca (por defecto 24 )")), &QAction::triggered,
            this, [this] { m_settings.enterWatermarkHeight(m_services); });
    connect(addItem(options, "magua", QStringLiteral("Directorio marca de agua")), &QAction::triggered, this,
            &MainWindow::openWatermarkFolderWindow);
    connect(addItem(options, "marcapropia", QStringLiteral("Crear marca de agua propia...")), &QAction::triggered, this,
            &MainWindow::openBrandMaker);
    settingItem(options, "ajustarmarca", QStringLiteral("Ajustar la marca a la foto"), &JobSettings::fitMark,
                &JobSettings::setFitMark);
    connect(addItem(options, "resumen", QStringLiteral("Resumen de operaciones")), &QAction::triggered, this,
            &MainWindow::openSummary);
    settingItem(options, "lecturarapida", QStringLiteral("Lectura rápida"), &JobSettings::fastRead,
                &JobSettings::setFastRead);
    settingItem(options, "solocambiadas", QStringLiteral("Solo cambiadas"), &JobSettings::onlyChanged,
                &JobSettings::setOnlyChanged);
    settingItem(options, "girarexif", QStringLiteral("Girar según la cámara (EXIF)"), &JobSettings::autorotate,
                &JobSettings::setAutorotate);
    settingItem(options, "saltarvacias", QStringLiteral("Saltar filas vacías"), &JobSettings::skipBlankRows,
                &JobSettings::setSkipBlankRows);
    settingItem(options, "tiendasonline", QStringLiteral("Copia para tiendas online"), &JobSettings::marketplaceCopy,
                &JobSettings::setMarketplaceCopy);
    QMenu* webFormats = options->addMenu(QStringLiteral("Formatos web"));
    webFormats->setObjectName(QStringLiteral("formatosweb"));
    settingItem(webFormats, "webp", QStringLiteral("WebP"), &JobSettings::writeWebp, &JobSettings::setWriteWebp);
    settingItem(webFormats, "avif", QStringLiteral("AVIF"), &JobSettings::writeAvif, &JobSettings::setWriteAvif);
    connect(addItem(options, "comprobar", QStringLiteral("Comprobar el lote...")), &QAction::triggered, this,
            [this] { m_checkAndReport.checkTheBatch(); });
    connect(addItem(options, "informe", QStringLiteral("Ver informe del último lote")), &QAction::triggered, this,
            [this] { m_checkAndReport.showLastReport(); });
    connect(addItem(options, "listaarchivos", QStringLiteral("Guardar la lista de archivos...")), &QAction::triggered,
            this, [this] { m_checkAndReport.saveLastFileList(); });
    addJobItems(options);
}

void MainWindow::connectControls()
{
    connect(m_ui->Command3, &QPushButton::clicked, this, &MainWindow::openSourcePicker);
    connect(m_ui->Command4, &QPushButton::clicked, this, &MainWindow::openDestinationPicker);
    connect(m_ui->Command5, &QPushButton::clicked, this, &MainWindow::chooseWorkbook);
    connect(m_ui->Command10, &QPushButton::clicked, this, &MainWindow::revealCellFields);
    connect(m_ui->Command1, &QPushButton::clicked, this, &MainWindow::startRun);
    connect(m_ui->cancelar, &QPushButton::clicked, this, &MainWindow::cancelRun);
    connect(m_ui->Command11, &QPushButton::clicked, this, &MainWindow::viewDestination);
    connect(m_ui->cestadisticas, &QPushButton::clicked, this, &MainWindow::openSummary);
    connect(m_ui->Ajustecmd, &QPushButton::clicked, this, &MainWindow::openPlacementWindow);

    connect(m_ui->CO, &QLineEdit::textEdited, &m_settings, &JobSettings::setOriginColumn);
    connect(m_ui->FO, &QLineEdit::textEdited, &m_settings, &JobSettings::setOriginRow);
    connect(m_ui->CD, &QLineEdit::textEdited, &m_settings, &JobSettings::setDestinationColumn);
    connect(m_ui->FD, &QLineEdit::textEdited, &m_settings, &JobSettings::setDestinationRow);
    connect(m_ui->desplazamiento, &QLineEdit::textEdited, &m_settings, &JobSettings::setRowStep);
    connect(m_ui->Slider1, &QSlider::valueChanged, &m_settings, &JobSettings::setWatermarkTransparency);
}

void MainWindow::refreshFromSettings()
{
    const auto setText = [](auto* widget, const QString& text) {
        if (widget->text() != text)
            widget->setText(text);
    };
    // Paths as the system writes them ("\" on Windows); the settings keep Qt's "/".
    setText(m_ui->Ficheroexcel, shownPath(m_settings.workbookPath()));
    setText(m_ui->fuente, shownPath(m_settings.sourceFolder()));
    m_ui->fuente->setToolTip(m_settings.isSourceFolderSet() ? shownPath(m_settings.sourceFolder()) : QString());
    setText(m_ui->destino, shownPath(m_settings.destinationFolder()));
    m_ui->destino->setToolTip(m_settings.isDestinationFolderSet() ? shownPath(m_settings.destinationFolder())
                                                                  : QString());
    setText(m_ui->CO, m_settings.originColumn());
    setText(m_ui->FO, m_settings.originRow());
    setText(m_ui->CD, m_settings.destinationColumn());
    setText(m_ui->FD, m_settings.destinationRow());
    setText(m_ui->desplazamiento, m_settings.rowStep());

    for (size_t i = 0; i < m_qualityItems.size(); ++i)
        m_qualityItems[i]->setChecked(m_settings.isQualityChecked(kQualities[i]));
    for (const auto& [item, isOn] : m_settingItems)
        item->setChecked((m_settings.*isOn)());

    m_ui->lagua2->setVisible(m_settings.watermarkEnabled());
    setText(m_ui->lagua, m_settings.watermarkFolder());
    if (m_ui->Slider1->value() != m_settings.watermarkTransparency())
        m_ui->Slider1->setValue(m_settings.watermarkTransparency());
}

void MainWindow::toggleDefaultWatermark()
{
    // The item's own check mark decides; the click has already flipped it.
    const bool switchingOn = m_defaultWatermark->isChecked();
    if (switchingOn) {
        m_settings.useWatermarkFolder(m_settings.defaultWatermarkFolder());
        m_ui->lagua2->setText(QStringLiteral("Marca de Agua ACTIVA"));
    } else {
        m_ui->lagua2->clear();
        m_settings.disableWatermark();
    }
    m_ui->Slider1->setVisible(switchingOn);
    m_defaultWatermark->setChecked(switchingOn);
    m_ui->Ajustecmd->setVisible(switchingOn);
    refreshFromSettings();
}

void MainWindow::revealCellFields()
{
    m_ui->Label4->show();
    m_ui->Label3->show();
    m_ui->Command10->hide();
    m_ui->CO->show();
    m_ui->FD->show();
    m_ui->CD->show();
    m_ui->FO->show();
    m_ui->desplazamiento->show();
    m_ui->Label1->show();
}

void MainWindow::prepareWorkbookChoice()
{
    m_totals.resetKilobyteTotals();
    m_settings.restoreRunDefaults();
    m_control.stopRequested = false;
}

void MainWindow::useWorkbook(const QString& path)
{
    m_ui->Label1->show();
    m_settings.setWorkbookPath(path);
    m_ui->visor->hide();
}

void MainWindow::useSourceFolder(const QString& path)
{
    m_settings.setSourceFolder(path);
    m_ui->fuente->show();
    m_ui->fuente->setToolTip(shownPath(path));
}

void MainWindow::useDestinationFolder(const QString& path)
{
    m_settings.setDestinationFolder(path);
    m_ui->destino->show();
    m_ui->destino->setToolTip(shownPath(path));
}

void MainWindow::chooseWorkbook()
{
    prepareWorkbookChoice();
    const FileChoice choice =
        m_services.chooseFileToOpen(QStringLiteral("Ruta Origen de Archivos de Excel, solo Xls como extensión"),
                                    QStringLiteral("Libros de cálculo|*.xls;*.xlsx;*.xlsm;*.ods;*.csv;*.txt|"
                                                   "Archivos para emparejar(*.XLS)|*.xls|"));
    switch (choice.status) {
    case FileChoice::Status::Cancelled: return;
    case FileChoice::Status::Failed:
        m_services.showMessage(choice.failure, MessageButtons::Ok, MessageIcon::Warning, programTitle());
        return;
    case FileChoice::Status::Chosen: useWorkbook(choice.path); return;
    }
}

void MainWindow::viewDestination()
{
    // Whatever the label shows, as typed; a failure is the desktop's to show.
    browseFolder(m_services, m_ui->destino->text());
}

void MainWindow::cancelRun()
{
    requestCancel(m_control, *this);
    // "PROCESAR" is back under the pointer: the second click of a quick
    // double-click on "cancelar" must not start the batch again.
    m_sinceCancel.start();
}

void MainWindow::openSourcePicker()
{
    if (!m_sourcePicker) {
        m_sourcePicker = new SourcePickerWindow(nullptr);
        connect(m_sourcePicker, &SourcePickerWindow::folderChosen, this, &MainWindow::useSourceFolder);
    }
    m_sourcePicker->show();
    m_sourcePicker->raise();
    m_ui->visor->hide();
}

void MainWindow::openDestinationPicker()
{
    if (!m_destinationPicker) {
        m_destinationPicker = new DestinationPickerWindow(m_services, nullptr);
        connect(m_destinationPicker, &DestinationPickerWindow::folderChosen, this, &MainWindow::useDestinationFolder);
    }
    m_destinationPicker->show();
    m_destinationPicker->raise();
    m_ui->visor->hide();
}

SummaryWindow* MainWindow::ensureSummary()
{
    if (!m_summary)
        m_summary = new SummaryWindow(m_services, m_totals, nullptr);
    return m_summary;
}

void MainWindow::openSummary()
{
    ensureSummary()->showWithTotals(m_totals);
}

void MainWindow::openWatermarkFolderWindow()
{
    if (!m_watermarkFolderWindow) {
        m_watermarkFolderWindow = new WatermarkFolderWindow(m_services, m_settings.defaultWatermarkFolder(), nullptr);
        connect(m_watermarkFolderWindow, &WatermarkFolderWindow::folderAccepted, this, [this](const QString& folder) {
            m_settings.useWatermarkFolder(folder);
            m_ui->lagua2->setText(QStringLiteral("Marca de Agua ACTIVA,\rAGUA.JPG"));
        });
    }
    m_watermarkFolderWindow->show();
    m_watermarkFolderWindow->raise();
}

void MainWindow::openBrandMaker()
{
    if (!m_brandMaker) {
        m_brandMaker = new BrandMakerWindow(m_services, m_settings, nullptr);
        // Taken as a folder accepted in "Directorio marca de agua", at the width it was made for.
        connect(m_brandMaker, &BrandMakerWindow::folderMade, this, [this](const QString& folder, int largeWidth) {
            m_settings.useWatermarkFolder(folder);
            m_settings.setLargeWidth(qint16(largeWidth));
            m_ui->lagua2->setText(QStringLiteral("Marca de Agua ACTIVA,\rAGUA.JPG"));
        });
    }
    m_brandMaker->show();
    m_brandMaker->raise();
}

PlacementWindow* MainWindow::ensurePlacementWindow()
{
    if (!m_placementWindow) {
        const QString folder = m_settings.defaultWatermarkFolder();
        m_placementWindow = new PlacementWindow(folder, previewPathFor(folder), nullptr);
        connect(m_placementWindow, &PlacementWindow::accepted, this,
                [this] { m_settings.setWatermarkManualPlacement(true); });
        connect(m_placementWindow, &PlacementWindow::cancelled, this,
                [this] { m_settings.setWatermarkManualPlacement(false); });
    }
    return m_placementWindow;
}

void MainWindow::openPlacementWindow()
{
    PlacementWindow* window = ensurePlacementWindow();
    window->show();
    window->raise();
}

WatermarkPlacement MainWindow::placement()
{
    return ensurePlacementWindow()->placement();
}

void MainWindow::openAbout()
{
    if (!m_aboutWindow)
        m_aboutWindow = new AboutWindow(m_services, *m_registry, nullptr);
    m_aboutWindow->show();
    m_aboutWindow->raise();
}

void MainWindow::openHelp()
{
    if (!m_helpWindow)
        m_helpWindow = new HelpWindow(nullptr);
    m_helpWindow->show();
    m_helpWindow->raise();
}

void MainWindow::startRun()
{
    if (m_sinceCancel.isValid() && m_sinceCancel.elapsed() < QGuiApplication::styleHints()->mouseDoubleClickInterval())
        return;
    if (m_driver.isRunning()) {
        // Clicked while a cancelled run finishes its row: start once it ends.
        m_startAfterRun = true;
        return;
    }
    m_checkAndReport.runStarting();
    m_checkAndReport.runEnded(m_driver.run());
    if (m_endAfterRun) {
        endProgram();
        return;
    }
    if (m_startAfterRun) {
        m_startAfterRun = false;
        QTimer::singleShot(0, this, &MainWindow::startRun);
    }
}

void MainWindow::tick()
{
    int seconds = m_ui->segundos->text().toInt() + 1;
    if (seconds > 59) {
        m_ui->minutos->setText(QString::number(m_ui->minutos->text().toInt() + 1));
        seconds = 0;
    }
    m_ui->segundos->setText(QString::number(seconds));
}

void MainWindow::confirmExit()
{
    const MessageAnswer answer =
        m_services.showMessage(QStringLiteral("¿ Desea salir del programa ?"), MessageButtons::YesNo, MessageIcon::None,
                               QStringLiteral("Salida del programa"));
    if (answer == MessageAnswer::Yes)
        endProgram();
}

void MainWindow::closeOtherWindows()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != this && w->isWindow())
            w->close();
}

void MainWindow::endProgram()
{
    if (m_driver.isRunning()) {
        // The run finishes the row it is writing, then the program ends.
        m_endAfterRun = true;
        m_control.stopRequested = true;
        closeOtherWindows();
        hide();
        return;
    }
    closeOtherWindows();
    m_endAfterRun = false;
    hide();
    QCoreApplication::quit();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    endProgram();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    // A click on the transparency slider (also the end of a drag) returns the
    // run to the centred mark.
    if (watched == m_ui->Slider1 && event->type() == QEvent::MouseButtonRelease)
        m_settings.setWatermarkManualPlacement(false);
    return QMainWindow::eventFilter(watched, event);
}

// --- RunView ---------------------------------------------------------------

void MainWindow::resetSummary()
{
    delete m_summary;
    m_summary = new SummaryWindow(m_services, m_totals, nullptr);
}

SummaryTree& MainWindow::summaryTree()
{
    return ensureSummary()->tree();
}

void MainWindow::setRowCounters(qint64 totales, qint64 noProcesadas, qint64 procesadas)
{
    summaryTree().setCounters(totales, noProcesadas, procesadas);
}

void MainWindow::setStatusText(const QString& text)
{
    m_ui->procesar->setText(text);
    m_ui->procesar->repaint();
}

void MainWindow::setStatusVisible(bool visible)
{
    m_ui->procesar->setVisible(visible);
}
void MainWindow::setBatchText(const QString& text)
{
    m_ui->visor->setText(text);
}
void MainWindow::setBatchVisible(bool visible)
{
    m_ui->visor->setVisible(visible);
}
void MainWindow::setPlacementButtonVisible(bool visible)
{
    m_ui->Ajustecmd->setVisible(visible);
}

void MainWindow::withdrawWatermarkMark()
{
    m_ui->Slider1->hide();
    m_defaultWatermark->setChecked(false);
}

void MainWindow::setProcessButtonVisible(bool visible)
{
    m_ui->Command1->setVisible(visible);
}
void MainWindow::setCancelButtonVisible(bool visible)
{
    m_ui->cancelar->setVisible(visible);
}
void MainWindow::setSummaryButtonVisible(bool visible)
{
    m_ui->cestadisticas->setVisible(visible);
}

void MainWindow::showMainWindow()
{
    // A window closed during the run stays closed: the program is ending.
    if (!m_endAfterRun)
        show();
}

void MainWindow::setProgress(qint64 step, qint64 total)
{
    // Large workbooks: the bar holds ints, so scale to thousandths.
    m_ui->ProgressBar1->setRange(0, 1000);
    const qint64 value = total > 0 ? std::min<qint64>(1000, step * 1000 / total) : 1000;
    m_ui->ProgressBar1->setValue(int(value));
}

void MainWindow::restartClock()
{
    m_ui->segundos->setText(QStringLiteral("0"));
    m_ui->minutos->setText(QStringLiteral("0"));
    m_ui->dospuntos->show();
    m_ui->segundos->show();
    m_ui->minutos->show();
    m_clock->start(1000);
}

void MainWindow::stopClock()
{
    m_clock->stop();
}

void MainWindow::playCompletionTones()
{
    m_tones.playCompletionTones();
}

void MainWindow::rowHandled(const RowReport& report)
{
    m_checkAndReport.rowHandled(report);
}

void MainWindow::dataLeftAfterStop(qint64 stopRow, qint64 rowsLeft)
{
    m_services.showMessage(
        QStringLiteral("El lote ha terminado en la fila %1, que está vacía, pero debajo hay %2 filas más con datos "
                       "que no se han procesado.\n\nPara procesarlas, marque «Saltar filas vacías» en el menú "
                       "Opciones y pulse PROCESAR de nuevo.")
            .arg(stopRow)
            .arg(rowsLeft),
        MessageButtons::Ok, MessageIcon::Warning, QStringLiteral("Filas sin procesar"));
}

}  // namespace fotolista
