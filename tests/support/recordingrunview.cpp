#include "support/recordingrunview.h"

using namespace fotolista;

namespace {
QString shown(bool visible)
{
    return visible ? QStringLiteral("shown") : QStringLiteral("hidden");
}
}  // namespace

void RecordingRunView::resetSummary()
{
    ++summaryResets;
    tree.clear();
    countersSet = false;
    log << QStringLiteral("summary: reset");
}

void RecordingRunView::setRowCounters(qint64 totales, qint64 noProcesadas, qint64 procesadas)
{
    tree.setCounters(totales, noProcesadas, procesadas);
    countersSet = true;
    log << QStringLiteral("counters: %1 %2 %3").arg(totales).arg(noProcesadas).arg(procesadas);
}

void RecordingRunView::setStatusText(const QString& text)
{
    statusText = text;
    log << QStringLiteral("status: ") + text;
}

void RecordingRunView::setStatusVisible(bool visible)
{
    statusVisible = visible;
    log << QStringLiteral("status: ") + shown(visible);
}

void RecordingRunView::setBatchText(const QString& text)
{
    batchText = text;
    log << QStringLiteral("batch: ") + text;
}

void RecordingRunView::setBatchVisible(bool visible)
{
    batchVisible = visible;
    log << QStringLiteral("batch: ") + shown(visible);
}

void RecordingRunView::setPlacementButtonVisible(bool visible)
{
    placementButtonVisible = visible;
    log << QStringLiteral("placement: ") + shown(visible);
}

void RecordingRunView::withdrawWatermarkMark()
{
    watermarkMarkWithdrawn = true;
    log << QStringLiteral("watermark mark: withdrawn");
}

void RecordingRunView::setProcessButtonVisible(bool visible)
{
    processVisible = visible;
    log << QStringLiteral("process: ") + shown(visible);
}

void RecordingRunView::setCancelButtonVisible(bool visible)
{
    cancelVisible = visible;
    log << QStringLiteral("cancel: ") + shown(visible);
}

void RecordingRunView::setSummaryButtonVisible(bool visible)
{
    summaryButtonVisible = visible;
    log << QStringLiteral("summary button: ") + shown(visible);
}

void RecordingRunView::showMainWindow()
{
    log << QStringLiteral("main window: shown");
}

void RecordingRunView::setProgress(qint64 step, qint64 total)
{
    progressStep = step;
    progressTotal = total;
    log << QStringLiteral("progress: %1/%2").arg(step).arg(total);
}

void RecordingRunView::restartClock()
{
    ++clockRestarts;
    clockRunning = true;
    log << QStringLiteral("clock: restarted");
}

void RecordingRunView::stopClock()
{
    clockRunning = false;
    log << QStringLiteral("clock: stopped");
}

void RecordingRunView::playCompletionTones()
{
    ++toneCount;
    log << QStringLiteral("tones");
}

void RecordingRunView::rowCountKnown(qint64 completeRowCount)
{
    preCount = completeRowCount;
    log << QStringLiteral("pre-count: %1").arg(completeRowCount);
}

void RecordingRunView::rowHandled(const RowReport& report)
{
    rows << report;
    if (onRow)
        onRow(report);
}

QStringList RecordingRunView::logOf(const QString& prefix) const
{
    QStringList out;
    for (const QString& line : log)
        if (line.startsWith(prefix))
            out << line;
    return out;
}

void RecordingRunView::dataLeftAfterStop(qint64 stop, qint64 rowsLeft)
{
    stopRow = stop;
    rowsLeftAfterStop = rowsLeft;
    log << QStringLiteral("left after stop: %1 %2").arg(stop).arg(rowsLeft);
}
