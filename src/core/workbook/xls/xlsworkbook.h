#pragma once

#include "core/workbook/celladdress.h"
#include "core/workbook/celltext.h"
#include "core/workbook/refusal.h"
#include "core/workbook/sheet.h"
#include "core/workbook/xls/biff.h"

#include <QByteArray>
#include <QLocale>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace fotolista {

namespace xls {

struct LoadResult;

/// The sheet that was active when an .xls workbook (Excel 95, BIFF5, or
/// Excel 97-2003, BIFF8) was saved, kept as a workbook::Sheet, whose rules
/// turn values into text; an error reads as Excel shows it ("#DIV/0!",
/// "#N/A", ...). A formula cell reads as its cached result.
class Workbook {
public:
    /// Reads at most 1 GiB; a larger file is not a workbook of these versions.
    static LoadResult load(const QString& path);
    /// Parses the bytes of a file; `pathForMessages` only names it in messages.
    static LoadResult parse(const QByteArray& bytes, const QString& pathForMessages);

    QString cellText(quint32 row0, quint32 col0) const { return m_sheet.cellText(row0, col0); }
    /// Non-empty cells of the active sheet, row-major (row, then column).
    std::vector<std::pair<CellPosition, QString>> nonEmptyCellTexts() const { return m_sheet.nonEmptyCellTexts(); }
    /// The sheet read, for the readers of every format.
    workbook::Sheet takeSheet() { return std::move(m_sheet); }

private:
    // A cell as its record gives it, before it goes to the sheet.
    enum class ValueKind : quint8 { Text, Number, Boolean, Error };
    struct Cell {
        quint32 row = 0;
        quint32 column = 0;
        ValueKind kind = ValueKind::Text;
        quint8 code = 0;  // boolean value or error code
        quint16 xf = 0;  // style of a number, for its date format
        double number = 0;
        QString text;
    };
    friend class WorkbookParser;

    Workbook() = default;

    workbook::Sheet m_sheet;
    bool m_dates1904 = false;
};

/// Either a workbook or the message telling the user why the file was refused.
struct LoadResult {
    std::optional<Workbook> workbook;
    /// Why not, when not: NotWorkbook for neither an Excel 95 nor an Excel
    /// 97-2003 workbook, PackageAsXls for an .xlsx saved with an .xls name,
    /// TooManyCells past workbook::bounds::kCells or kTextUnits.
    std::optional<workbook::Refusal> refusal;
    QString message;  ///< names the file and the reason; empty on success

    bool ok() const { return workbook.has_value(); }
};

}  // namespace xls

}  // namespace fotolista
