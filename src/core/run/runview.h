#pragma once

#include "core/run/sourcematching.h"
#include "core/workbook/workbookwalk.h"

#include <QString>

#include <optional>
#include <vector>

namespace fotolista {

class SummaryTree;

/// How the image work of a found row ended.
enum class RowOutcome {
    Written,  ///< both copies written
    NotDecoded,  ///< the source could not be decoded: nothing written
    CellsNoLongerMatching,  ///< a cell was empty after decoding: nothing written
    TooLarge,  ///< source or copy beyond the pixel limits: nothing written
    WriteFailed,  ///< the large copy could not be written
    SmallWriteFailed,  ///< the large copy was written, the small one not
    MarketplaceWriteFailed,  ///< both copies written, the marketplace copy not
    Unchanged,  ///< skipped: both copies already made from the same source and settings
};

/// The files a found row writes.
enum class RowFileKind { LargeJpeg, SmallJpeg, LargeWebp, SmallWebp, LargeAvif, SmallAvif, Marketplace };

/// One file a found row was to write, and whether it was.
struct RowFile {
    RowFileKind kind = RowFileKind::LargeJpeg;
    QString path;
    bool written = false;
    /// Not written on purpose: the companion was not smaller than its JPEG.
    bool notSmaller = false;
    QString problem;  ///< why it was not written, for the user; empty when it was
};

/// One handled row, for views that report rows as they go.
struct RowReport {
    qint64 passNumber = 0;
    RowCells cells;
    RowFate fate = RowFate::Missing;
    std::optional<RowOutcome> outcome;  ///< set for found rows
    QString sourcePath;
    QString resolvedSourcePath;  ///< the file found, in its own letter case
    QString destinationPath;
    QString problem;  ///< why a source that was found did not decode
    std::vector<RowFile> files;  ///< what the pipeline wrote or meant to write, in order
};

/// The controls a run drives. The main window implements it with its labels
/// and buttons; the command prints; tests record.
class RunView {
public:
    virtual ~RunView() = default;

    /// The summary of the last run is discarded and started afresh (empty).
    virtual void resetSummary() = 0;
    /// The summary being filled. Not kept across yields: the user may close
    /// the summary window meanwhile, and the next call gives a fresh one.
    virtual SummaryTree& summaryTree() = 0;
    /// Row counters at the end of a run.
    virtual void setRowCounters(qint64 totales, qint64 noProcesadas, qint64 procesadas) = 0;

    /// The run status line ("Procesando ..."); shown at once.
    virtual void setStatusText(const QString& text) = 0;
    virtual void setStatusVisible(bool visible) = 0;
    /// The batch line ("Leyendo imagen: /12345.JPG").
    virtual void setBatchText(const QString& text) = 0;
    virtual void setBatchVisible(bool visible) = 0;

    /// "Ajuste manual y posicion".
    virtual void setPlacementButtonVisible(bool visible) = 0;
    /// The transparency slider hides and "Marca de agua predeterminada" loses
    /// its check mark; the watermark settings themselves do not change.
    virtual void withdrawWatermarkMark() = 0;
    virtual void setProcessButtonVisible(bool visible) = 0;
    virtual void setCancelButtonVisible(bool visible) = 0;
    virtual void setSummaryButtonVisible(bool visible) = 0;
    virtual void showMainWindow() = 0;

    /// About `step` ÷ `total` of the bar is filled.
    virtual void setProgress(qint64 step, qint64 total) = 0;

    /// Clock at 0:0, shown, ticking every second.
    virtual void restartClock() = 0;
    virtual void stopClock() = 0;

    /// The three tones of a completed run; must return at once.
    virtual void playCompletionTones() = 0;

    /// The pre-count of complete rows is known.
    virtual void rowCountKnown(qint64 completeRowCount) { Q_UNUSED(completeRowCount); }
    /// A row (not the stop row) has been handled.
    virtual void rowHandled(const RowReport& report) { Q_UNUSED(report); }
    /// The run has completed at the empty row `stopRow` (the origin cell's
    /// row), below which `rowsLeft` rows of the walk still hold data.
    virtual void dataLeftAfterStop(qint64 stopRow, qint64 rowsLeft) = 0;
    /// Another run holds the destination: this one waits, and says so.
    virtual void destinationBusy(const QString& text) { setStatusText(text); }
};

}  // namespace fotolista
