#pragma once

#include "core/workbook/refusal.h"
#include "core/workbook/sheet.h"

#include <QByteArrayView>
#include <QChar>
#include <QStringView>

#include <optional>

namespace fotolista {

/// Delimited text (.csv, .txt), as web shops and spreadsheet programs export it.
namespace csv {

enum class Encoding { Utf8, Utf16LittleEndian, Utf16BigEndian, Windows1252 };

/// UTF-8 or UTF-16 when a byte-order mark says so (`markLength` gets its
/// length), else UTF-8 when every byte sequence is valid UTF-8, else
/// Windows-1252 (what a Spanish Windows desktop writes).
Encoding detectEncoding(QByteArrayView bytes, qsizetype& markLength);

/// The delimiter of a sample of records: among ';', ',' and tab, the one that
/// splits most records into the same number (more than one) of fields; on a
/// tie ';', then tab, then ','.
QChar sniffDelimiter(QStringView sample, bool sampleIsWhole);

/// Reads the text into `sheet`: field k of record n is the cell in column k,
/// row n; a field's text as written, without its enclosing quotes and with
/// doubled quotes single ("" inside a quoted field); delimiters and line
/// breaks inside quotes belong to the field; records end with CR LF, LF or
/// CR. Empty fields are empty cells. Binary data, a web page and an XML
/// document are Refusal::NotWorkbook.
std::optional<workbook::Refusal> read(QByteArrayView bytes, workbook::Sheet& sheet);

}  // namespace csv

}  // namespace fotolista
