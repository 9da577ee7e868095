#pragma once

#include "core/workbook/refusal.h"
#include "core/workbook/sheet.h"
#include "core/workbook/zip/zippackage.h"

#include <QString>
#include <QStringView>

#include <optional>

namespace fotolista {

/// Office Open XML workbooks (.xlsx, .xlsm), read from their XML parts.
namespace xlsx {

/// Reads the sheet that was active when the workbook was saved (the
/// workbook view's activeTab; else the first visible worksheet) into
/// `sheet`: shared and inline strings (rich text runs joined, phonetic runs
/// left out, _xHHHH_ escapes decoded), numbers with the date or time kind
/// their number format gives (built-in numbers and custom codes), booleans,
/// errors as written, and a formula's cached result (none reads as empty).
/// An .xlsb package gives Refusal::BinaryWorkbook; an Office document that is
/// no workbook, Refusal::NotWorkbook.
std::optional<workbook::Refusal> read(workbook::ZipPackage& package, workbook::Sheet& sheet);

/// Decodes the _xHHHH_ escapes of an OOXML string ("_x000D_" is a carriage
/// return, "_x005F_" the underscore that keeps a following "_x0041_" literal).
QString decodeEscapes(QStringView text);

/// A relationship target resolved against the part that holds it
/// ("worksheets/sheet1.xml" from "xl/workbook.xml" is
/// "xl/worksheets/sheet1.xml"; "/xl/styles.xml" is absolute).
QString resolvePartName(const QString& sourcePart, QStringView target);

}  // namespace xlsx

}  // namespace fotolista
