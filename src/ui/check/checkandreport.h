#pragma once

#include "core/report/batchrecord.h"

#include <QPointer>
#include <QString>

namespace fotolista {

class CheckWindow;
class JobSettings;
class PlacementSource;
class UiServices;

/// What the items "Comprobar el lote...", "Ver informe del último lote"
/// and "Guardar la lista de archivos..." do, and the record of the last run that the second one reports.
/// The main window calls it from its menu and around each run.
class CheckAndReport {
public:
    /// The report is written beside `logPath`, the run's errores.txt; the
    /// mark placed by hand is read from `placement`.
    CheckAndReport(JobSettings& settings, UiServices& services, QString logPath, PlacementSource* placement = nullptr);
    ~CheckAndReport();

    /// "Comprobar el lote...": the batch as set now, checked, in a window of
    /// its own; the run's own message when it would not start.
    void checkTheBatch();

    /// A run starts: its record begins with the check of the same batch.
    void runStarting();
    void rowHandled(const RowReport& report) { m_record.addRow(report); }
    void runEnded(const RunResult& result) { m_record.finish(result); }

    /// "Ver informe del último lote": the page written beside errores.txt and
    /// opened with the desktop's browser.
    void showLastReport();

    /// "Guardar la lista de archivos...": the last run's files, a line a
    /// row, as `--manifest` writes them, into a CSV file the user names.
    void saveLastFileList();

private:
    /// Whether the last run ended after it started; says why not otherwise.
    /// `nothing` ends the message said when it never started.
    bool lastRunFinished(const QString& nothing, const QString& later);

    JobSettings& m_settings;
    UiServices& m_services;
    QString m_logPath;
    PlacementSource* m_placement;
    BatchRecord m_record;
    QPointer<CheckWindow> m_window;
};

}  // namespace fotolista
