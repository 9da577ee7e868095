#include "core/run/rundriver.h"

#include "core/settings/jobsettings.h"
#include "core/base/uiservices.h"
#include "core/base/caseblindfinder.h"
#include "core/run/imagepipeline.h"
#include "core/image/rowpreparation.h"
#include "core/summary/runtotals.h"
#include "core/summary/summarytree.h"
#include "core/summary/errorlog.h"
#include "core/summary/summarytexts.h"
#include "core/workbook/workbookwalk.h"

namespace {

/// Clears the running mark however run() returns.
struct RunningMark {
    bool& flag;
    explicit RunningMark(bool& f) : flag(f) { flag = true; }
    ~RunningMark() { flag = false; }
};

} // namespace

void requestCancel(RunControl& control, JobSettings& settings, RunView& view)
{
    settings.hidePlacementButton();
    control.stopRequested = true;
    view.setProcessButtonVisible(true);
    // Hides the slider and takes the mark off; stamping itself goes on.
    settings.withdrawDefaultWatermarkMark();
}

RunDriver::RunDriver(RunEnvironment env)
    : m_env(std::move(env))
{
}

QString RunDriver::refusalMessage()
{
    return QStringLiteral("Es necesario especificar la fuente, el destino y el archivo XLS");
}

QString RunDriver::refusalTitle() { return QStringLiteral("Error de archivos"); }

RunResult RunDriver::run()
{
    RunResult result;
    if (m_running)
        return result;
    RunningMark running(m_running);

    JobSettings& settings = m_env.settings;
    UiServices& ui = m_env.ui;
    RunView& view = m_env.view;

    // Start.
    settings.hidePlacementButton();
    view.resetSummary();
    view.summaryTree().addRoots();
    view.setStatusText(QStringLiteral("Procesando ..."));
    view.setStatusVisible(true);
    view.setBatchVisible(true);

    const std::optional<WalkPlan> plan = planWalk(settings);
    const QString sourceFolder = settings.sourceFolder();
    const QString watermarkFolder = settings.watermarkFolder();
    warnIfSourceFolderEmpty(ui, sourceFolder);
    const QString destinationFolder = settings.destinationFolder();
    const QString workbookPath = settings.workbookPath();

    const auto refuse = [&](const QString& message, RunEnd end) {
        ui.showMessage(message, MessageButtons::Ok, MessageIcon::Critical, refusalTitle());
        view.setStatusVisible(false);
        result.end = end;
        return result;
    };
    if (!settings.isSourceFolderSet() || !settings.isDestinationFolderSet() || !settings.isWorkbookSet()
        || settings.originColumn().isEmpty() || settings.destinationColumn().isEmpty())
        return refuse(refusalMessage(), RunEnd::Refused);
    if (!plan)
        return refuse(walkRefusalMessage(), RunEnd::Refused);

    WorkbookWalk walk(m_env.reader, *plan);
    if (const WorkbookOpenResult opened = walk.open(workbookPath); !opened.ok) {
        walk.close();
        return refuse(opened.message, RunEnd::WorkbookUnreadable);
    }
    bool runFinished = false;

    ErrorLog log;
    log.open(m_env.logPath);

    settings.withdrawDefaultWatermarkMark();

    const qint64 completeRowCount = walk.preCount();
    result.completeRowCount = completeRowCount;
    view.rowCountKnown(completeRowCount);

    qint64 progressIndex = 1;
    walk.resetOffset();
    view.setBatchVisible(true);
    RunTotals& totals = m_env.totals;
    totals.passCount = 0;
    totals.notProcessedCount = 0;
    m_env.control.stopRequested = false;
    view.restartClock();

    CaseBlindFinder finder;
    RowPreparation preparation(std::max(1, m_env.jobs));
    ImagePipeline pipeline(PipelineContext{settings, ui, view, walk, m_env.placement, totals, finder, preparation,
                                           destinationFolder, watermarkFolder});
    // Rows ahead are prepared with the settings as they stand; a row whose
    // settings have changed by the time it comes is prepared again.
    const auto prepareAhead = [&] {
        const qint64 current = walk.rowOffset();
        preparation.forgetBefore(current);
        for (int ahead = 1; ahead <= preparation.threadCount(); ++ahead) {
            const qint64 offset = current + ahead * walk.rowStep();
            const RowCells next = walk.rowAt(offset);
            if (next.isStopRow())
                break;
            const SourceMatch m = matchSource(finder, sourceFolder, next.sourceText, next.destinationText,
                                              settings.sourceFormat());
            if (m.fate == RowFate::Found)
                preparation.schedule(offset, ImagePipeline::requestFor(settings, m.resolvedPath));
        }
    };

    // Passes.
    for (;;) {
        view.setProcessButtonVisible(false);
        view.setCancelButtonVisible(true);

        ui.yieldToUser();
        view.setProgress(progressIndex, completeRowCount);
        ++progressIndex;
        ui.yieldToUser();

        const qint64 passNumber = totals.passCount + 1;
        totals.passCount = passNumber;

        const RowCells cells = walk.currentRow();
        if (cells.isStopRow()) {
            // Completion.
            runFinished = true;
            m_env.control.stopRequested = false;
            const QString stopText = walk.currentRow().destinationText;
            view.setStatusText(QStringLiteral("Proceso realizado correctamente en lote ") + stopText);
            view.setCancelButtonVisible(false);
            view.showMainWindow();
            m_env.control.stopRequested = true;
            view.setProcessButtonVisible(true);
            view.stopClock();
            view.playCompletionTones();
            for (int beep = 0; beep < 3; ++beep)
                ui.yieldToUser();
            result.end = RunEnd::Completed;
        } else {
            ++result.rowsHandled;
            RowReport report;
            report.passNumber = passNumber;
            report.cells = cells;

            const QString sourceFormat = settings.sourceFormat();
            const SourceMatch match =
                matchSource(finder, sourceFolder, cells.sourceText, cells.destinationText, sourceFormat);
            report.fate = match.fate;
            report.sourcePath = match.sourcePath;
            const QString key = QString::number(passNumber) + QStringLiteral(" ID");
            const QString text = rowEntryText(passNumber, cells.originAddress, cells.sourceText, sourceFormat,
                                              cells.destinationAddress, cells.destinationText);
            switch (match.fate) {
            case RowFate::Found: {
                view.summaryTree().addRowEntry(1, key, text, kEntryBlack, QStringLiteral("procesado"));
                preparation.schedule(walk.rowOffset(), ImagePipeline::requestFor(settings, match.resolvedPath));
                prepareAhead();
                const RowOutcome outcome = pipeline.run(cells, match, key, walk.rowOffset(), &report.destinationPath);
                report.outcome = outcome;
                switch (outcome) {
                case RowOutcome::Written: ++result.written; break;
                case RowOutcome::NotDecoded:
                case RowOutcome::CellsNoLongerMatching: ++result.withoutOutput; break;
                case RowOutcome::TooLarge:
                case RowOutcome::WriteFailed:
                case RowOutcome::SmallWriteFailed: ++result.writeFailures; break;
                }
                break;
            }
            case RowFate::Unnamed:
            case RowFate::Missing:
            case RowFate::Unsafe:
                view.summaryTree().addRowEntry(2, key, text, kEntryRed, QStringLiteral("No procesado"));
                ++totals.notProcessedCount;
                ++result.notProcessed;
                log.writeLine(text);
                break;
            }
            view.rowHandled(report);

            // End of pass.
            walk.advance();
            view.setStatusText(QStringLiteral("Procesando la imagen del lote: ") + cells.destinationText);
        }

        if (runFinished || m_env.control.stopRequested)
            break;
    }
    if (!runFinished)
        result.end = RunEnd::Stopped;

    // End.
    log.close();
    view.setCancelButtonVisible(false);
    view.showMainWindow();
    m_env.control.stopRequested = true;
    const qint64 totales = totals.passCount - 1;
    const qint64 noProcesadas = totals.notProcessedCount;
    view.setRowCounters(totales, noProcesadas, totales - noProcesadas);
    walk.close();
    return result;
}
