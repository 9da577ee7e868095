#pragma once

#include "core/workbook/refusal.h"
#include "core/workbook/sheet.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace fotolista {

namespace workbook {

/// The sheet a run reads, or why the file was refused.
struct LoadResult {
    std::optional<Sheet> sheet;
    Refusal refusal = Refusal::NotWorkbook;  ///< meaningful when there is no sheet
    QString message;  ///< names the file and the reason; empty on success

    bool ok() const { return sheet.has_value(); }
};

/// Reads a workbook of any format the program knows, chosen by the file's
/// content, never by its name: an OLE2 compound file is an .xls (or a
/// password-protected .xlsx, refused), a ZIP package an .xlsx/.xlsm or an
/// .ods (an .xlsb is refused), and other text a .csv/.txt. Anything else is
/// refused. An .xls keeps the messages it always had.
LoadResult loadWorkbook(const QString& path);

/// The same for the bytes of a file; `pathForMessages` only names it.
LoadResult parseWorkbook(const QByteArray& bytes, const QString& pathForMessages);

}  // namespace workbook

}  // namespace fotolista
