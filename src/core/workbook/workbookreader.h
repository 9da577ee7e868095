#pragma once

#include <QString>

#include <vector>

namespace fotolista {

/// Result of opening a workbook: ok, or a message for the user that names the
/// file and the reason it cannot be read.
struct WorkbookOpenResult {
    bool ok = false;
    QString message;

    static WorkbookOpenResult success() { return {true, {}}; }
    static WorkbookOpenResult failure(QString why) { return {false, std::move(why)}; }
};

/// Reads cell texts of the sheet that was active when the workbook was saved.
class WorkbookReader {
public:
    virtual ~WorkbookReader() = default;

    virtual WorkbookOpenResult openWorkbook(const QString& path) = 0;

    /// Text of the cell at an A1-style address (column letters in any case,
    /// then the row number). An empty cell, an address outside the sheet or a
    /// malformed address give the empty text. Never trimmed.
    virtual QString readCellText(const QString& address) = 0;

    /// Rows (1-based, ascending) whose cell in the column named by
    /// `columnLetters` (in any case) is not empty; none for a malformed name.
    /// Lets a run tell what lies beyond the row where its walk stops.
    virtual std::vector<qint64> rowsWithData(const QString& columnLetters) = 0;

    /// The name of the sheet read; empty when the format has none.
    virtual QString sheetName() const { return {}; }

    /// Ends the reader; the workbook is never written.
    virtual void closeWorkbook() = 0;
};

}  // namespace fotolista
