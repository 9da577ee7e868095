#pragma once

#include "core/workbook/celladdress.h"
#include "core/workbook/xls/biff.h"

#include <QByteArray>
#include <QLocale>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace xls {

struct LoadResult;

/// Why a file could not be read as a workbook.
enum class LoadError {
    None,
    Unreadable,  ///< missing, a folder, or no permission
    Empty,
    Ooxml,       ///< a ZIP package: .xlsx/.xlsm saved with an .xls name
    NotWorkbook, ///< neither an Excel 95 nor an Excel 97-2003 workbook
    Encrypted,
    Damaged,     ///< an .xls whose structure is broken or cut short
};

/// The cells of the sheet that was active when an .xls workbook (Excel 95,
/// BIFF5, or Excel 97-2003, BIFF8) was saved. Values are kept typed and turned
/// into text when read, with the default QLocale() of that moment:
/// - text: exactly as stored, never trimmed;
/// - number: see plainNumberText(); a number whose format shows a date or time:
///   see dateTimeText();
/// - boolean: "Verdadero" or "Falso"; error: "#DIV/0!", "#N/A", ...;
/// - empty, or outside the sheet: the empty text.
/// A formula cell reads as its cached result.
class Workbook {
public:
    /// Reads at most 1 GiB; a larger file is not a workbook of these versions.
    static LoadResult load(const QString& path);
    /// Parses the bytes of a file; `pathForMessages` only names it in messages.
    static LoadResult parse(const QByteArray& bytes, const QString& pathForMessages);

    QString cellText(quint32 row0, quint32 col0) const;
    /// Non-empty cells of the active sheet, row-major (row, then column).
    std::vector<std::pair<CellPosition, QString>> nonEmptyCellTexts() const;
    QString activeSheetName() const { return m_sheetName; }
    /// True when the workbook counts days from 1904 (Excel for Mac's default).
    bool uses1904Dates() const { return m_dates1904; }

private:
    enum class ValueKind : quint8 { Text, Number, Boolean, Error };
    struct Cell {
        quint32 row = 0;
        quint32 column = 0;
        ValueKind kind = ValueKind::Text;
        quint8 code = 0;   // boolean value or error code
        quint16 xf = 0;    // style of a number, for its date format
        double number = 0;
        QString text;
    };
    friend class WorkbookParser;

    Workbook() = default;
    QString textOf(const Cell& cell, const QLocale& locale) const;

    QString m_sheetName;
    std::vector<Cell> m_cells; // sorted by (row, column), one per position
    std::vector<biff::NumberFormatKind> m_xfKinds;
    bool m_dates1904 = false;
};

/// Either a workbook or the message telling the user why the file was refused.
struct LoadResult {
    std::optional<Workbook> workbook;
    LoadError error = LoadError::None;
    QString message; ///< names the file and the reason; empty on success

    bool ok() const { return workbook.has_value(); }
};

/// A number as the original platform turned it into text: at most 15
/// significant digits, no group separators, the locale's decimal separator;
/// integers plainly (12345, 12345678901, -7); an exponent only when the
/// 15-digit form needs one, i.e. from 1E+15 up and below 0.0001
/// ("1,23456789012346E+16", "1E-05" in Spanish).
QString plainNumberText(double value, const QLocale& locale);

/// A number shown with a date or time format, as a date value reads as text:
/// - the locale's short date ("23/3/64" in Spanish), followed by a blank and
///   the time of day when that is not midnight;
/// - the time of day alone for a value below one day shown with a time-only
///   format, and for any value below one day in the 1900 date system;
/// - the time of day is the locale's short time format with seconds added
///   ("17:47:13" in Spanish, "5:47:13 PM" in US English).
/// Days count from 1899-12-31 (serial 1 = 1900-01-01, with Excel's fictitious
/// 1900-02-29 as serial 60) or, with 1904 dates, from 1904-01-01 (serial 0).
/// A value that is no real date (negative, 60, past 9999) reads as a plain number.
QString dateTimeText(double serial, biff::NumberFormatKind kind, bool dates1904, const QLocale& locale);

} // namespace xls
