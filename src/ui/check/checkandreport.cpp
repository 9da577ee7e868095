#include "ui/check/checkandreport.h"

#include "core/base/uiservices.h"
#include "core/check/batchcheck.h"
#include "core/report/htmlreport.h"
#include "core/report/manifest.h"
#include "core/workbook/open/workbookfilereader.h"
#include "ui/check/checkwindow.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace fotolista {

CheckAndReport::CheckAndReport(JobSettings& settings, UiServices& services, QString logPath, PlacementSource* placement)
    : m_settings(settings), m_services(services), m_logPath(std::move(logPath)), m_placement(placement)
{
}

// The window is top-level; it goes with the main window.
CheckAndReport::~CheckAndReport()
{
    delete m_window;
}

void CheckAndReport::checkTheBatch()
{
    WorkbookFileReader reader;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const CheckResult result = checkBatch(m_settings, reader, m_placement);
    QApplication::restoreOverrideCursor();
    if (result.end != CheckEnd::Checked) {
        m_services.showMessage(result.message, MessageButtons::Ok, MessageIcon::Critical, RunDriver::refusalTitle());
        return;
    }
    if (!m_window)
        m_window = new CheckWindow(nullptr);
    m_window->showResult(result);
    m_window->show();
    m_window->raise();
}

void CheckAndReport::runStarting()
{
    WorkbookFileReader reader;
    m_record.begin(m_settings, checkBatch(m_settings, reader, m_placement), QDateTime::currentDateTime());
}

bool CheckAndReport::lastRunFinished(const QString& nothing, const QString& later)
{
    const auto tell = [this](const QString& text) {
        m_services.showMessage(text, MessageButtons::Ok, MessageIcon::Warning);
    };
    if (!m_record.hasRun()) {
        tell(QStringLiteral("Todavía no se ha procesado ningún lote."));
        return false;
    }
    if (!m_record.end()) {
        tell(QStringLiteral("El lote está en marcha: ") + later);
        return false;
    }
    switch (*m_record.end()) {
    case RunEnd::Refused:
    case RunEnd::WorkbookUnreadable:
    case RunEnd::DestinationBusy: tell(QStringLiteral("El último lote no llegó a empezar: ") + nothing); return false;
    case RunEnd::Completed:
    case RunEnd::Stopped: break;
    }
    return true;
}

void CheckAndReport::showLastReport()
{
    if (!lastRunFinished(QStringLiteral("no hay informe."), QStringLiteral("el informe estará listo cuando termine.")))
        return;
    const auto tell = [this](const QString& text) {
        m_services.showMessage(text, MessageButtons::Ok, MessageIcon::Warning);
    };
    const QString page = QFileInfo(m_logPath).absoluteDir().filePath(QStringLiteral("informe.html"));
    if (!writeHtmlReport(m_record, page)) {
        tell(QStringLiteral("No se puede escribir el informe en «%1».").arg(page));
        return;
    }
    m_services.openWithDesktop(page);
}

void CheckAndReport::saveLastFileList()
{
    if (!lastRunFinished(QStringLiteral("no hay lista de archivos."),
                         QStringLiteral("la lista de archivos se podrá guardar cuando termine.")))
        return;
    const FileChoice choice = m_services.chooseFileToSave(QStringLiteral("Guardar la lista de archivos"),
                                                          QStringLiteral("Listas CSV|*.csv|"), QStringLiteral("csv"));
    if (choice.status != FileChoice::Status::Chosen)
        return;
    QString path = choice.path;
    if (QFileInfo(path).suffix().compare(QLatin1String("csv"), Qt::CaseInsensitive) != 0)
        path += QStringLiteral(".csv");
    if (!writeManifest(m_record, path))
        m_services.showMessage(QStringLiteral("No se puede escribir la lista de archivos en «%1».").arg(path),
                               MessageButtons::Ok, MessageIcon::Critical);
}

}  // namespace fotolista
