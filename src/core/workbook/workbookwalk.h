#pragma once

#include "core/workbook/workbookreader.h"

#include <QString>

#include <optional>
#include <vector>

namespace fotolista {

class JobSettings;

/// One workbook row as the run sees it: both addresses and both texts.
struct RowCells {
    QString originAddress;  ///< e.g. F6
    QString destinationAddress;  ///< e.g. A6
    QString sourceText;
    QString destinationText;

    /// The stop row: the data ends at the first row whose two cells are empty.
    bool isStopRow() const { return sourceText.isEmpty() && destinationText.isEmpty(); }
    /// Both cells hold text: counted by the pre-count, required after decoding.
    bool isComplete() const { return !sourceText.isEmpty() && !destinationText.isEmpty(); }
};

/// The cell settings of a run, read once when it starts.
struct WalkPlan {
    QString originColumn;
    QString destinationColumn;
    qint64 originRow = 0;
    qint64 destinationRow = 0;
    qint64 rowStep = 0;
};

/// Reads the cell settings. A start row or a step that is not a whole number
/// of at least 1 cannot run (a step of 0 would read the same row for ever):
/// the result is then empty and the run shows walkRefusalMessage().
std::optional<WalkPlan> planWalk(const JobSettings& settings);

/// What the run shows when planWalk() refuses.
QString walkRefusalMessage();

/// The walk over the correlated rows: origin row + offset with destination
/// row + offset, the offset growing by the step after each row.
class WorkbookWalk {
public:
    WorkbookWalk(WorkbookReader& reader, WalkPlan plan);

    WorkbookOpenResult open(const QString& workbookPath);
    void close();

    /// One more than the number of complete rows at the top of the data: it
    /// stops at the first row with either cell empty (so 1 for a workbook
    /// whose first row is incomplete). Leaves the offset at 0.
    qint64 preCount();

    /// Reads both cells of the current row (the reader may keep the texts).
    RowCells currentRow() const { return rowAt(m_rowOffset); }
    /// Reads both cells of the row at any offset, without moving the walk.
    RowCells rowAt(qint64 offset) const;
    qint64 rowStep() const { return m_plan.rowStep; }

    /// Address texts for a row offset: the column as typed, then the row number.
    QString originAddress(qint64 offset) const;
    QString destinationAddress(qint64 offset) const;

    void advance() { m_rowOffset += m_plan.rowStep; }
    qint64 rowOffset() const { return m_rowOffset; }
    void resetOffset() { m_rowOffset = 0; }
    /// The workbook row of the origin cell at an offset.
    qint64 originRow(qint64 offset) const { return m_plan.originRow + offset; }

    /// Rows of the walk beyond `offset` with data in either cell: what a
    /// stop at `offset` leaves behind. Known from the open workbook.
    qint64 rowsWithDataAfter(qint64 offset) const;
    /// The first row of the walk beyond `offset` with data in either cell.
    std::optional<qint64> nextRowWithData(qint64 offset) const;
    /// From a row whose two cells are empty, on to the next row of the walk
    /// with data, if there is one ("Saltar filas vacías").
    void skipEmptyRows();
    /// The offsets of every row of the walk with data in either cell, ascending.
    const std::vector<qint64>& rowsWithData() const { return m_dataOffsets; }

private:
    WorkbookReader& m_reader;
    WalkPlan m_plan;
    qint64 m_rowOffset = 0;
    std::vector<qint64> m_dataOffsets;  ///< ascending, every row of the walk that holds data
};

}  // namespace fotolista
