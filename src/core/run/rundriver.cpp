#include "core/run/rundriver.h"

#include "core/base/caseblindfinder.h"
#include "core/base/uiservices.h"
#include "core/image/rowpreparation.h"
#include "core/run/destinationlock.h"
#include "core/run/imagepipeline.h"
#include "core/run/outputguard.h"
#include "core/run/rowproblems.h"
#include "core/settings/jobsettings.h"
#include "core/summary/errorlog.h"
#include "core/summary/runtotals.h"
#include "core/summary/summarytexts.h"
#include "core/summary/summarytree.h"
#include "core/workbook/workbookwalk.h"

#include <QElapsedTimer>

#include <algorithm>
#include <optional>
#include <tuple>

namespace fotolista {

namespace {

/// Clears the running mark however run() returns.
struct RunningMark {
    bool& flag;
    explicit RunningMark(bool& f) : flag(f) { flag = true; }
    ~RunningMark() { flag = false; }
};

/// One run, from the click to the counters: each step of the driver is a
/// member, and what the steps share lives here for the run's length.
class BatchRun {
public:
    explicit BatchRun(RunEnvironment& env) : m_env(env) {}
    RunResult execute();

private:
    void start();
    /// Why the run cannot start, if it cannot.
    std::optional<QString> refusal() const;
    RunResult refuse(const QString& message, RunEnd end);
    /// Takes the destination's lock, waiting for another run to let it go
    /// unless told not to; false when the run goes no further.
    bool lockDestination();
    /// Waits for the lock, until it is taken or "cancelar" is pressed.
    bool waitForDestination();
    void beginPasses();
    void openLog();
    /// Writes a line of errores.txt; the first line lost is said at once.
    void logLine(const QString& text);
    /// Every photo the workbook names, so that no row writes over one.
    void protectSources();
    /// One pass of the row loop; false once the loop is over.
    bool pass();
    void complete();
    void handleRow(const RowCells& cells, qint64 passNumber);
    /// The found row's match, unless what it found is an image this run wrote.
    SourceMatch match(const RowCells& cells);
    void recordFailure(const QString& key, const QString& entryText, const RowReport& report);
    RowOutcome processFound(const SourceMatch& match, const RowCells& cells, const QString& key, RowReport& report);
    void prepareAhead();
    /// Whether "Solo cambiadas" lets the found row go as it is.
    bool unchanged(const SourceMatch& match, const QString& destinationText);
    RowInputs inputsOf(const SourceMatch& match, const QString& destinationText);
    /// Keeps the row's fingerprint when both copies were written and every
    /// companion too (or was not, being no smaller), else forgets it.
    void noteOutcome(const SourceMatch& match, const RowReport& report);
    void end();

    RunEnvironment& m_env;
    RunResult m_result;
    std::optional<WalkPlan> m_plan;
    QString m_sourceFolder;
    QString m_watermarkFolder;
    QString m_destinationFolder;
    QString m_workbookPath;
    std::optional<WorkbookWalk> m_walk;
    ErrorLog m_log;
    bool m_logLost = false;
    bool m_skipBlank = false;
    OutputGuard m_guard;
    CaseBlindFinder m_finder;
    std::optional<RowPreparation> m_preparation;
    std::optional<ImagePipeline> m_pipeline;
    std::optional<RowFingerprints> m_fingerprints;
    std::optional<DestinationLock> m_lock;
    /// The rows ahead already matched and scheduled reach this offset, with
    /// the settings in m_aheadSettings; only rows beyond it are matched anew.
    qint64 m_aheadThrough = -1;
    std::optional<std::tuple<PrepareRequest, QString, bool>> m_aheadSettings;
    qint64 m_progressIndex = 1;
    bool m_finished = false;
};

RunResult BatchRun::execute()
{
    start();
    if (const std::optional<QString> why = refusal())
        return refuse(*why, RunEnd::Refused);
    // Before the workbook is read: a run that waits reads it as it is then.
    if (!lockDestination())
        return m_result;
    m_walk.emplace(m_env.reader, *m_plan);
    if (const WorkbookOpenResult opened = m_walk->open(m_workbookPath); !opened.ok) {
        m_walk->close();
        return refuse(opened.message, RunEnd::WorkbookUnreadable);
    }
    beginPasses();
    while (pass()) {
    }
    if (!m_finished)
        m_result.end = RunEnd::Stopped;
    end();
    return m_result;
}

void BatchRun::start()
{
    RunView& view = m_env.view;
    view.setPlacementButtonVisible(false);
    view.resetSummary();
    view.summaryTree().addRoots();
    view.setStatusText(QStringLiteral("Procesando ..."));
    view.setStatusVisible(true);
    view.setBatchVisible(true);

    // The cell settings and the folders are read once, here.
    m_plan = planWalk(m_env.settings);
    m_sourceFolder = m_env.settings.sourceFolder();
    m_watermarkFolder = m_env.settings.watermarkFolder();
    warnIfSourceFolderEmpty(m_env.ui, m_sourceFolder);
    m_destinationFolder = m_env.settings.destinationFolder();
    m_workbookPath = m_env.settings.workbookPath();
    m_skipBlank = m_env.settings.skipBlankRows();
}

std::optional<QString> BatchRun::refusal() const
{
    if (const std::optional<QString> why = runRefusal(m_env.settings))
        return why;
    // The plan was made before the warning box, which lets the user in.
    if (!m_plan)
        return walkRefusalMessage();
    return std::nullopt;
}

RunResult BatchRun::refuse(const QString& message, RunEnd end)
{
    m_env.ui.showMessage(message, MessageButtons::Ok, MessageIcon::Critical, RunDriver::refusalTitle());
    m_env.view.setStatusVisible(false);
    m_result.end = end;
    return m_result;
}

bool BatchRun::lockDestination()
{
    // Kept whether or not "Solo cambiadas" is on, so a later run can use them.
    m_fingerprints.emplace(m_env.fingerprintFolder, m_destinationFolder);
    m_lock.emplace(m_fingerprints->filePath());
    if (m_lock->tryTake() != LockAttempt::Busy)
        return true;
    if (!m_env.waitForDestination) {
        refuse(destinationBusyText(m_destinationFolder, false), RunEnd::DestinationBusy);
        return false;
    }
    m_env.view.destinationBusy(destinationBusyText(m_destinationFolder, true));
    if (waitForDestination())
        return true;
    m_env.view.setStatusVisible(false);
    m_env.view.setCancelButtonVisible(false);
    m_env.view.setProcessButtonVisible(true);
    m_result.end = RunEnd::Stopped;
    return false;
}

bool BatchRun::waitForDestination()
{
    m_env.control.stopRequested = false;
    m_env.view.setProcessButtonVisible(false);
    m_env.view.setCancelButtonVisible(true);
    QElapsedTimer sinceTry;
    sinceTry.start();
    // A try every tenth of a second: the other run's batch takes minutes.
    m_env.ui.waitUntil([&] {
        if (m_env.control.stopRequested)
            return true;
        if (sinceTry.elapsed() < 100)
            return false;
        sinceTry.restart();
        return m_lock->tryTake() != LockAttempt::Busy;
    });
    if (m_env.control.stopRequested && !m_lock->isHeld())
        return false;
    m_env.view.setStatusText(QStringLiteral("Procesando ..."));
    return true;
}

void BatchRun::openLog()
{
    if (m_log.open(m_env.logPath))
        return;
    m_result.logProblem = m_log.problem();
    m_env.ui.showMessage(QStringLiteral("No se puede crear el registro de errores «%1»: %2. Las filas no procesadas "
                                        "se verán solo en el resumen.")
                             .arg(m_env.logPath, m_log.problem()),
                         MessageButtons::Ok, MessageIcon::Warning);
}

void BatchRun::logLine(const QString& text)
{
    if (!m_log.isOpen() || m_log.writeLine(text) || m_logLost)
        return;
    m_logLost = true;
    m_result.logProblem = m_log.problem();
    m_env.ui.showMessage(QStringLiteral("No se puede escribir en el registro de errores «%1»: %2. Las filas no "
                                        "procesadas que falten en él se verán en el resumen.")
                             .arg(m_env.logPath, m_log.problem()),
                         MessageButtons::Ok, MessageIcon::Warning);
}

void BatchRun::protectSources()
{
    const QString format = m_env.settings.sourceFormat();
    for (const qint64 offset : m_walk->rowsWithData()) {
        const RowCells cells = m_walk->rowAt(offset);
        const SourceMatch found = matchSource(m_finder, m_sourceFolder, cells.sourceText, QString(), format);
        if (found.fate == RowFate::Found)
            m_guard.protectSource(found.resolvedPath, m_walk->originRow(offset));
    }
}

void BatchRun::beginPasses()
{
    openLog();
    m_env.view.withdrawWatermarkMark();

    m_result.completeRowCount = m_walk->preCount();
    m_env.view.rowCountKnown(m_result.completeRowCount);

    m_progressIndex = 1;
    m_walk->resetOffset();
    m_env.view.setBatchVisible(true);
    m_env.totals.passCount = 0;
    m_env.totals.notProcessedCount = 0;
    m_env.control.stopRequested = false;
    m_env.view.restartClock();

    m_fingerprints->load();

    protectSources();
    m_preparation.emplace(std::max(1, m_env.jobs));
    m_pipeline.emplace(PipelineContext{m_env.settings, m_env.ui, m_env.view, *m_walk, m_env.placement, m_env.totals,
                                       m_finder, *m_preparation, m_guard, m_destinationFolder, m_watermarkFolder});
}

bool BatchRun::pass()
{
    m_env.view.setProcessButtonVisible(false);
    m_env.view.setCancelButtonVisible(true);

    m_env.ui.yieldToUser();
    m_env.view.setProgress(m_progressIndex, m_result.completeRowCount);
    ++m_progressIndex;
    m_env.ui.yieldToUser();

    const qint64 passNumber = m_env.totals.passCount + 1;
    m_env.totals.passCount = passNumber;

    // Skipped rows are neither counted nor logged: the pass takes the next row with data.
    if (m_skipBlank)
        m_walk->skipEmptyRows();
    const RowCells cells = m_walk->currentRow();
    if (cells.isStopRow()) {
        complete();
    } else {
        handleRow(cells, passNumber);
        m_walk->advance();
        m_env.view.setStatusText(QStringLiteral("Procesando la imagen del lote: ") + cells.destinationText);
    }
    return !m_finished && !m_env.control.stopRequested;
}

void BatchRun::complete()
{
    RunView& view = m_env.view;
    m_finished = true;
    m_env.control.stopRequested = false;
    const QString stopText = m_walk->currentRow().destinationText;
    view.setStatusText(QStringLiteral("Proceso realizado correctamente en lote ") + stopText);
    view.setCancelButtonVisible(false);
    view.showMainWindow();
    m_env.control.stopRequested = true;
    view.setProcessButtonVisible(true);
    view.stopClock();
    view.playCompletionTones();
    for (int beep = 0; beep < 3; ++beep)
        m_env.ui.yieldToUser();
    m_result.end = RunEnd::Completed;
    // The data may go on below the empty row: the run ends here, and says so.
    m_result.stopRow = m_walk->originRow(m_walk->rowOffset());
    m_result.rowsLeftAfterStop = m_walk->rowsWithDataAfter(m_walk->rowOffset());
    if (m_result.rowsLeftAfterStop > 0)
        view.dataLeftAfterStop(m_result.stopRow, m_result.rowsLeftAfterStop);
}

void BatchRun::handleRow(const RowCells& cells, qint64 passNumber)
{
    ++m_result.rowsHandled;
    RowReport report;
    report.passNumber = passNumber;
    report.cells = cells;

    const SourceMatch match = this->match(cells);
    report.fate = match.fate;
    report.sourcePath = match.sourcePath;
    report.resolvedSourcePath = match.resolvedPath;
    const QString key = QString::number(passNumber) + QStringLiteral(" ID");
    const QString text = rowEntryText(passNumber, cells.originAddress, cells.sourceText, match.extension,
                                      cells.destinationAddress, cells.destinationText);
    switch (match.fate) {
    case RowFate::Found:
        if (m_env.settings.onlyChanged() && unchanged(match, cells.destinationText)) {
            m_env.view.summaryTree().addRowEntry(1, key, text, kEntryBlack, unchangedTag());
            m_env.view.summaryTree().addDetail(key, unchangedDetailText());
            ++m_result.unchanged;
            report.outcome = RowOutcome::Unchanged;
            break;
        }
        m_env.view.summaryTree().addRowEntry(1, key, text, kEntryBlack, QStringLiteral("procesado"));
        report.outcome = processFound(match, cells, key, report);
        noteOutcome(match, report);
        recordFailure(key, text, report);
        break;
    case RowFate::Unnamed:
    case RowFate::Missing:
    case RowFate::Unsafe:
        m_env.view.summaryTree().addRowEntry(2, key, text, kEntryRed, QStringLiteral("No procesado"));
        ++m_env.totals.notProcessedCount;
        ++m_result.notProcessed;
        logLine(text);
        break;
    }
    m_env.view.rowHandled(report);
}

SourceMatch BatchRun::match(const RowCells& cells)
{
    SourceMatch m =
        matchSource(m_finder, m_sourceFolder, cells.sourceText, cells.destinationText, m_env.settings.sourceFormat());
    // An image an earlier row has just written is no photo of the workbook:
    // the row is as it was when the run started, without its source.
    if (m.fate == RowFate::Found && m_guard.writtenByThisRun(m.resolvedPath)) {
        m.fate = RowFate::Missing;
        m.resolvedPath.clear();
    }
    return m;
}

void BatchRun::recordFailure(const QString& key, const QString& entryText, const RowReport& report)
{
    const std::optional<QString> failure = rowFailureText(*report.outcome, report.problem);
    if (!failure)
        return;
    m_env.view.summaryTree().addDetail(key, *failure, kEntryRed);
    logLine(entryText + QStringLiteral(" || ") + *failure);
}

RowOutcome BatchRun::processFound(const SourceMatch& match, const RowCells& cells, const QString& key,
                                  RowReport& report)
{
    m_preparation->schedule(m_walk->rowOffset(), ImagePipeline::requestFor(m_env.settings, match.resolvedPath));
    prepareAhead();
    const RowOutcome outcome = m_pipeline->run(cells, match, key, m_walk->rowOffset(), report);
    switch (outcome) {
    case RowOutcome::Written: ++m_result.written; break;
    case RowOutcome::NotDecoded:
    case RowOutcome::CellsNoLongerMatching: ++m_result.withoutOutput; break;
    case RowOutcome::TooLarge:
    case RowOutcome::WriteFailed:
    case RowOutcome::SmallWriteFailed:
    case RowOutcome::MarketplaceWriteFailed: ++m_result.writeFailures; break;
    case RowOutcome::Unchanged: ++m_result.unchanged; break;
    }
    return outcome;
}

RowInputs BatchRun::inputsOf(const SourceMatch& match, const QString& destinationText)
{
    return RowInputs{m_env.settings,      m_env.placement,    m_finder,       m_watermarkFolder,
                     m_destinationFolder, match.resolvedPath, destinationText};
}

bool BatchRun::unchanged(const SourceMatch& match, const QString& destinationText)
{
    const std::optional<RowFingerprint> known = m_fingerprints->find(destinationText);
    return known && *known == rowFingerprint(inputsOf(match, destinationText));
}

void BatchRun::noteOutcome(const SourceMatch& match, const RowReport& report)
{
    const QString& destinationText = report.cells.destinationText;
    // A companion that failed is made again next time, with its row.
    const bool whole = std::all_of(report.files.begin(), report.files.end(),
                                   [](const RowFile& f) { return f.written || f.notSmaller; });
    if (report.outcome == RowOutcome::Written && whole)
        m_fingerprints->record(destinationText, rowFingerprint(inputsOf(match, destinationText)));
    else
        m_fingerprints->forget(destinationText);
}

void BatchRun::prepareAhead()
{
    // Rows ahead are prepared with the settings as they stand; a row whose
    // settings have changed by the time it comes is prepared again. Four
    // rows a thread: a progressive or large photo takes as long as several
    // others, and a thread that has run out of rows ahead stands idle
    // while the run waits for the slow one. Each row ahead is matched once,
    // as it enters the window, unless the settings change meanwhile: the
    // window is wide, and matching it whole for every row would load the
    // run's own thread in proportion to the cores.
    const qint64 current = m_walk->rowOffset();
    m_preparation->forgetBefore(current);
    const auto settings = std::tuple{ImagePipeline::requestFor(m_env.settings, QString()),
                                     m_env.settings.sourceFormat(), m_env.settings.onlyChanged()};
    if (m_aheadSettings != settings) {
        m_aheadSettings = settings;
        m_aheadThrough = current;
    }
    for (int ahead = 1; ahead <= 4 * m_preparation->threadCount(); ++ahead) {
        const qint64 offset = current + ahead * m_walk->rowStep();
        if (offset <= m_aheadThrough)
            continue;
        const RowCells next = m_walk->rowAt(offset);
        if (next.isStopRow() && !m_skipBlank)
            break;
        m_aheadThrough = offset;
        if (next.isStopRow())
            continue;
        const SourceMatch m = match(next);
        if (m.fate == RowFate::Found && !(m_env.settings.onlyChanged() && unchanged(m, next.destinationText)))
            m_preparation->schedule(offset, ImagePipeline::requestFor(m_env.settings, m.resolvedPath));
    }
}

void BatchRun::end()
{
    m_log.close();
    m_fingerprints->save();
    m_env.view.setCancelButtonVisible(false);
    m_env.view.showMainWindow();
    m_env.control.stopRequested = true;
    const qint64 totales = m_env.totals.passCount - 1;
    const qint64 noProcesadas = m_env.totals.notProcessedCount;
    m_env.view.setRowCounters(totales, noProcesadas, totales - noProcesadas);
    m_walk->close();
}

}  // namespace

std::optional<QString> runRefusal(const JobSettings& s)
{
    if (!s.isSourceFolderSet() || !s.isDestinationFolderSet() || !s.isWorkbookSet() || s.originColumn().isEmpty()
        || s.destinationColumn().isEmpty())
        return RunDriver::refusalMessage();
    if (!planWalk(s))
        return walkRefusalMessage();
    return std::nullopt;
}

QString destinationBusyText(const QString& destinationFolder, bool waiting)
{
    return (waiting
                ? QStringLiteral("Otro proceso está escribiendo en la carpeta destino «%1»; se espera a que termine…")
                : QStringLiteral("Otro proceso está escribiendo en la carpeta destino «%1»; el lote no se hace."))
        .arg(destinationFolder);
}

void requestCancel(RunControl& control, RunView& view)
{
    view.setPlacementButtonVisible(false);
    control.stopRequested = true;
    view.setProcessButtonVisible(true);
    view.withdrawWatermarkMark();
}

RunDriver::RunDriver(RunEnvironment env) : m_env(std::move(env)) {}

QString RunDriver::refusalMessage()
{
    return QStringLiteral("Es necesario especificar la fuente, el destino y el archivo XLS");
}

QString RunDriver::refusalTitle()
{
    return QStringLiteral("Error de archivos");
}

RunResult RunDriver::run()
{
    if (m_running)
        return {};
    RunningMark running(m_running);
    BatchRun run(m_env);
    return run.execute();
}

}  // namespace fotolista
