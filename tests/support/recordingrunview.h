#pragma once

#include "core/run/runview.h"
#include "core/summary/summarytree.h"

#include <QList>
#include <QStringList>

#include <functional>

using namespace fotolista;

/// A RunView that keeps the state a window would show and a log of calls
/// ("status: Procesando ...", "process: hidden", "tones"), so tests can check
/// both the end state and the order of what the run did.
class RecordingRunView final : public RunView {
public:
    void resetSummary() override;
    SummaryTree& summaryTree() override { return tree; }
    void setRowCounters(qint64 totales, qint64 noProcesadas, qint64 procesadas) override;
    void setStatusText(const QString& text) override;
    void setStatusVisible(bool visible) override;
    void setBatchText(const QString& text) override;
    void setBatchVisible(bool visible) override;
    void setPlacementButtonVisible(bool visible) override;
    void withdrawWatermarkMark() override;
    void setProcessButtonVisible(bool visible) override;
    void setCancelButtonVisible(bool visible) override;
    void setSummaryButtonVisible(bool visible) override;
    void showMainWindow() override;
    void setProgress(qint64 step, qint64 total) override;
    void restartClock() override;
    void stopClock() override;
    void playCompletionTones() override;
    void rowCountKnown(qint64 completeRowCount) override;
    void rowHandled(const RowReport& report) override;
    void dataLeftAfterStop(qint64 stopRow, qint64 rowsLeft) override;

    SummaryTree tree;
    QStringList log;
    QList<RowReport> rows;

    QString statusText = QStringLiteral("Label5");
    bool statusVisible = false;
    QString batchText = QStringLiteral("Lote: ---");
    bool batchVisible = false;
    bool placementButtonVisible = true;
    bool watermarkMarkWithdrawn = false;
    bool processVisible = true;
    bool cancelVisible = false;
    bool summaryButtonVisible = false;
    bool clockRunning = true;
    int clockRestarts = 0;
    int toneCount = 0;
    int summaryResets = 0;
    qint64 progressStep = 0;
    qint64 progressTotal = 0;
    qint64 preCount = -1;
    bool countersSet = false;
    qint64 stopRow = 0;
    qint64 rowsLeftAfterStop = 0;

    /// Runs after each handled row (lets a test act between rows).
    std::function<void(const RowReport&)> onRow;

    /// The log entries that start with `prefix`.
    QStringList logOf(const QString& prefix) const;
};
