#pragma once

#include <QString>

namespace fotolista {

class BatchRecord;

/// Small copies up to this size are embedded in the page; larger ones (a
/// small width set far above the usual 145 pixels) are linked instead.
inline constexpr qint64 kMaxEmbeddedThumbnailBytes = 64 * 1024;

/// Writes the report of a run as one HTML page at `path`: the settings and
/// the totals, the check's problems, then a card per row in workbook order
/// with its small copy, names, cells, sizes and compression, or in red the
/// reason it gave no images. The page needs nothing beside it: styles are
/// in the page and the small copies are embedded as data: URIs, so it shows
/// its pictures when mailed or moved; the names link to the large copies
/// relative to the page. Every text is escaped. False when the file cannot
/// be written.
bool writeHtmlReport(const BatchRecord& record, const QString& path);

}  // namespace fotolista
