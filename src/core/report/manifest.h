#pragma once

#include <QString>
#include <QStringList>

namespace fotolista {

class BatchRecord;

/// One field of a CSV line: as it is, or between double quotes (each quote
/// doubled) when it holds a comma, a quote, a line break or blanks at its
/// ends, so any name reads back as it was written.
QString csvField(const QString& text);

/// The manifest of a run: a header, then one line per handled row, with the
/// workbook row, the destination name and, for each file the row was to
/// write (the two JPEGs, then the companions asked for), its path inside
/// the destination folder, its bytes, width and height, or why it was not
/// written. Comma-separated, UTF-8, lines ended by CR LF.
QStringList manifestLines(const BatchRecord& record);

/// Writes the manifest whole to `path`; false when it cannot.
bool writeManifest(const BatchRecord& record, const QString& path);

}  // namespace fotolista
