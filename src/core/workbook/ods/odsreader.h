#pragma once

#include "core/workbook/refusal.h"
#include "core/workbook/sheet.h"
#include "core/workbook/zip/zippackage.h"

#include <QStringView>

#include <optional>

namespace fotolista {

/// OpenDocument spreadsheets (.ods), read from content.xml and settings.xml.
namespace ods {

/// Reads the table that was active when the document was saved
/// (settings.xml's ActiveTable; else the first) into `sheet`: value types
/// float, percentage, currency, date, time, boolean and string, a formula's
/// cached value (none reads as empty), an error as the text shown; repeated
/// rows and columns without expanding empty ones; a text's paragraphs joined
/// by line feeds, with text:s, text:tab and text:line-break as the spaces, tab
/// and line feed they stand for, and its other characters as written (as
/// LibreOffice and Gnumeric read them). A document encrypted with a password
/// gives Refusal::Encrypted.
std::optional<workbook::Refusal> read(workbook::ZipPackage& package, workbook::Sheet& sheet);

/// Days in an ISO 8601 duration as OpenDocument writes times of day and
/// durations ("PT17H47M13S", "P1DT12H", "-PT30M"); empty when it is none, or
/// counts years or months, which have no fixed length.
std::optional<double> daysFromDuration(QStringView duration);

}  // namespace ods

}  // namespace fotolista
