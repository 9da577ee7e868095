#pragma once

#include "core/base/uiservices.h"
#include "core/run/runview.h"
#include "core/summary/runtotals.h"
#include "core/summary/summarytree.h"

#include <QElapsedTimer>
#include <QString>
#include <QTextStream>

#include <functional>

namespace fotolista {

/// Stands in for the window when a run goes without a display: messages go
/// to stderr (a Yes/No question is answered as OK would be: the run goes
/// on), the summary is kept for printing at the end, and rows that end
/// without output are named on stderr.
class ConsoleHost final : public UiServices, public RunView {
public:
    ConsoleHost(QTextStream& err, bool showProgress);

    /// Called at every yield, while waiting, and after each row: where the
    /// command notices Ctrl-C.
    std::function<void()> onYield;
    /// Called after each handled row (the report keeps it).
    std::function<void(const RowReport&)> onRow;

    // UiServices
    MessageAnswer showMessage(const QString& text, MessageButtons buttons, MessageIcon icon,
                              const QString& title = {}) override;
    QString askText(const QString& prompt, const QString& title = {}) override;
    FileChoice chooseFileToOpen(const QString& title, const QString& filter) override;
    FileChoice chooseFileToSave(const QString& title, const QString& filter, const QString& suffix) override;
    bool startProgram(const QString& program, const QStringList& arguments, WindowMode mode) override;
    bool openWithDesktop(const QString& path) override;
    void yieldToUser() override;
    void waitUntil(const std::function<bool()>& ready) override;

    // RunView
    void resetSummary() override { m_tree.clear(); }
    SummaryTree& summaryTree() override { return m_tree; }
    void setRowCounters(qint64 totales, qint64 noProcesadas, qint64 procesadas) override;
    void setStatusText(const QString&) override {}
    void setStatusVisible(bool) override {}
    void setBatchText(const QString&) override {}
    void setBatchVisible(bool) override {}
    void setPlacementButtonVisible(bool) override {}
    void withdrawWatermarkMark() override {}
    void setProcessButtonVisible(bool) override {}
    void setCancelButtonVisible(bool) override {}
    void setSummaryButtonVisible(bool) override {}
    void showMainWindow() override {}
    void setProgress(qint64, qint64) override {}
    void restartClock() override { m_clock.start(); }
    void stopClock() override {}
    void playCompletionTones() override {}
    void rowCountKnown(qint64 completeRowCount) override;
    void rowHandled(const RowReport& report) override;
    void dataLeftAfterStop(qint64 stopRow, qint64 rowsLeft) override;
    void destinationBusy(const QString& text) override;

    const SummaryTree& tree() const { return m_tree; }

    /// The summary lines, then the counters and the kilobyte totals.
    QStringList summaryLines(const RunTotals& totals) const;

    /// Clears the progress line before the command prints its last words.
    void finishProgress();

private:
    void drawProgress(bool force);

    QTextStream& m_err;
    bool m_showProgress;
    SummaryTree m_tree;
    QElapsedTimer m_clock;
    QElapsedTimer m_lastDraw;
    qint64 m_preCount = 0;
    qint64 m_rowsDone = 0;
    qint64 m_unchanged = 0;  ///< rows skipped by --only-changed
    bool m_progressShown = false;
};

}  // namespace fotolista
