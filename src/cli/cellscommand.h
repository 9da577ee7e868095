#pragma once

#include <QString>

class QTextStream;

namespace fotolista {

/// A cell text on one line: "\" as "\\", tab as "\t", line feed as "\n",
/// carriage return as "\r".
QString escapeCellText(const QString& text);

/// `fotolista-batch cells WORKBOOK`: every non-empty cell of the sheet a run
/// reads, "ADDRESS<TAB>TEXT", row by row. Returns the exit status: 0, or 2
/// when the workbook cannot be read (its message goes to `err`).
int runCellsCommand(const QString& workbookPath, QTextStream& out, QTextStream& err);

}  // namespace fotolista
