// The main window's job files: saving and opening them, the recent jobs, and
// what is dropped on the window.
#include "ui/mainwindow/mainwindow.h"

#include "core/base/uiservices.h"
#include "core/job/jobfile.h"
#include "ui/watermark/placementwindow.h"
#include "ui_mainwindow.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>

namespace fotolista {

namespace {

// Shown as «Trabajos de Fotolista (*.fotolista)»: the dialog adds the pattern.
const QString kJobFilter = QStringLiteral("Trabajos de Fotolista|*.fotolista|");

bool isJobFile(const QFileInfo& info)
{
    return info.suffix().compare(QLatin1String("fotolista"), Qt::CaseInsensitive) == 0;
}

bool isWorkbookFile(const QFileInfo& info)
{
    static const QStringList suffixes{QStringLiteral("xls"), QStringLiteral("xlsx"), QStringLiteral("xlsm"),
                                      QStringLiteral("ods"), QStringLiteral("csv"),  QStringLiteral("txt")};
    return suffixes.contains(info.suffix().toLower());
}

}  // namespace

void MainWindow::addJobItems(QMenu* options)
{
    QAction* save = options->addAction(QStringLiteral("Guardar trabajo..."));
    save->setObjectName(QStringLiteral("guardartrabajo"));
    connect(save, &QAction::triggered, this, &MainWindow::saveJob);
    QAction* open = options->addAction(QStringLiteral("Abrir trabajo..."));
    open->setObjectName(QStringLiteral("abrirtrabajo"));
    connect(open, &QAction::triggered, this, &MainWindow::chooseJobToOpen);
    m_recentJobsMenu = options->addMenu(QStringLiteral("Trabajos recientes"));
    m_recentJobsMenu->setObjectName(QStringLiteral("trabajosrecientes"));
    refreshRecentJobs();
}

void MainWindow::refreshRecentJobs()
{
    m_recentJobsMenu->clear();
    const QStringList paths = m_recentJobs.paths();
    for (const QString& path : paths) {
        QAction* a = m_recentJobsMenu->addAction(path);
        connect(a, &QAction::triggered, this, [this, path] { openRecentJob(path); });
    }
    m_recentJobsMenu->setEnabled(!paths.isEmpty());
}

void MainWindow::openRecentJob(const QString& path)
{
    if (!QFileInfo(path).isFile()) {
        m_recentJobs.remove(path);
        refreshRecentJobs();
        m_services.showMessage(QStringLiteral("El trabajo «%1» ya no existe; se quita de la lista.").arg(path),
                               MessageButtons::Ok, MessageIcon::Warning);
        return;
    }
    openJob(path);
}

void MainWindow::saveJob()
{
    const FileChoice choice =
        m_services.chooseFileToSave(QStringLiteral("Guardar trabajo"), kJobFilter, QStringLiteral("fotolista"));
    if (choice.status != FileChoice::Status::Chosen)
        return;
    QString path = choice.path;
    if (!isJobFile(QFileInfo(path)))
        path += QStringLiteral(".fotolista");
    QString problem;
    const WatermarkPlacement placed = m_settings.watermarkManualPlacement() ? placement() : WatermarkPlacement{};
    const std::optional<QByteArray> bytes = jobBytes(m_settings, placed, &problem);
    if (!bytes || !writeJobFile(path, *bytes, &problem)) {
        m_services.showMessage(QStringLiteral("No se puede guardar el trabajo en «%1»: %2").arg(path, problem),
                               MessageButtons::Ok, MessageIcon::Critical);
        return;
    }
    m_recentJobs.add(path);
    refreshRecentJobs();
}

void MainWindow::chooseJobToOpen()
{
    const FileChoice choice = m_services.chooseFileToOpen(QStringLiteral("Abrir trabajo"), kJobFilter);
    switch (choice.status) {
    case FileChoice::Status::Cancelled: return;
    case FileChoice::Status::Failed:
        m_services.showMessage(choice.failure, MessageButtons::Ok, MessageIcon::Warning);
        return;
    case FileChoice::Status::Chosen: openJob(choice.path); return;
    }
}

bool MainWindow::openJob(const QString& path)
{
    const JobLoad load = readJobFile(path);
    // Tried on settings of their own first: a job that cannot be used changes nothing.
    JobSettings trial(m_settings.defaultWatermarkFolder());
    std::optional<QString> problem = load.job ? std::nullopt : std::optional<QString>(load.problem);
    if (load.job) {
        applyJob(*load.job, trial);
        problem = missingJobPath(trial);
    }
    if (problem) {
        m_services.showMessage(QStringLiteral("No se puede abrir el trabajo «%1»: %2.").arg(path, *problem),
                               MessageButtons::Ok, MessageIcon::Critical);
        return false;
    }
    if (!load.warnings.isEmpty())
        m_services.showMessage(
            QStringLiteral("El trabajo «%1» se abre, pero:\n%2").arg(path, load.warnings.join(QLatin1Char('\n'))),
            MessageButtons::Ok, MessageIcon::Warning);
    if (trial.isWorkbookSet())
        prepareWorkbookChoice();
    showJobControls(applyJob(*load.job, m_settings));
    if (m_settings.isWorkbookSet())
        useWorkbook(m_settings.workbookPath());
    m_recentJobs.add(path);
    refreshRecentJobs();
    return true;
}

void MainWindow::showJobControls(const std::optional<WatermarkPlacement>& placed)
{
    if (m_settings.isSourceFolderSet())
        useSourceFolder(m_settings.sourceFolder());
    if (m_settings.isDestinationFolderSet())
        useDestinationFolder(m_settings.destinationFolder());
    if (!m_ui->Command10->isHidden())
        revealCellFields();
    const QString format = m_settings.sourceFormat();
    m_formatJpg->setChecked(format == QLatin1String(".JPG"));
    m_formatTiff->setChecked(format == QLatin1String(".TIF"));
    m_formatAny->setChecked(format == JobSettings::anySourceFormat());
    // The watermark as its menu item or the folder window leave it.
    const bool on = m_settings.watermarkEnabled();
    const bool ownFolder = m_settings.watermarkFolder() == m_settings.defaultWatermarkFolder();
    m_defaultWatermark->setChecked(on && ownFolder);
    m_ui->Slider1->setVisible(on);
    m_ui->Ajustecmd->setVisible(on);
    m_ui->lagua2->setText(!on         ? QString()
                          : ownFolder ? QStringLiteral("Marca de Agua ACTIVA")
                                      : QStringLiteral("Marca de Agua ACTIVA,\rAGUA.JPG"));
    if (placed)
        ensurePlacementWindow()->setPlacement(*placed);
    refreshFromSettings();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty())
        return;
    event->acceptProposedAction();
    const QWidget* target = childAt(event->position().toPoint());
    dropped(urls.size() == 1 && urls.first().isLocalFile() ? urls.first().toLocalFile() : QString(), target);
}

void MainWindow::dropped(const QString& path, const QWidget* target)
{
    const QFileInfo info(path);
    const QString clean = QDir::cleanPath(info.absoluteFilePath());
    // A button's caption is a child of its own.
    const auto on = [target](const QWidget* w) { return target && (target == w || w->isAncestorOf(target)); };
    if (!path.isEmpty() && info.isDir() && (on(m_ui->Command3) || on(m_ui->fuente))) {
        useSourceFolder(clean);
    } else if (!path.isEmpty() && info.isDir() && (on(m_ui->Command4) || on(m_ui->destino))) {
        useDestinationFolder(clean);
    } else if (info.isFile() && isJobFile(info)) {
        openJob(clean);
    } else if (info.isFile() && isWorkbookFile(info)) {
        prepareWorkbookChoice();
        useWorkbook(clean);
    } else {
        m_services.showMessage(QStringLiteral("Aquí no se puede usar «%1». Suelte una carpeta sobre «Fuente» o "
                                              "«Destino», o un libro de cálculo o un trabajo (.fotolista) sobre la "
                                              "ventana.")
                                   .arg(path.isEmpty() ? QStringLiteral("lo que ha soltado") : path),
                               MessageButtons::Ok, MessageIcon::Warning);
    }
}

}  // namespace fotolista
