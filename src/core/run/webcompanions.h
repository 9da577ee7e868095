#pragma once

#include "core/image/webformats.h"
#include "core/run/runview.h"
#include "core/settings/jobsettings.h"

#include <QString>

#include <vector>

namespace fotolista {

class Bitmap;
class OutputGuard;

/// The file beside a JPEG in another format: the path with its ".jpg"
/// ending made ".webp" or ".avif" (ABC.jpg → ABC.webp, pequeñas/ABC_p.jpg →
/// pequeñas/ABC_p.avif).
QString companionPath(const QString& jpegPath, WebFormat format);

/// The companion's quality for a JPEG quality item: the lowest of the sweep
/// of bench/ at which every copy of both corpora lies at least as close to
/// the ideal downscale as its JPEG (bench/README.md).
int companionQuality(WebFormat format, JpegQuality quality);

/// The formats the settings ask for beside each JPEG, AVIF first (the order
/// a page offers them in).
std::vector<WebFormat> companionFormats(const JobSettings& settings);

/// The kind of a companion file: of the large copy or of the small one.
RowFileKind companionKind(WebFormat format, bool large);

/// "WebP" or "AVIF", as the summary and the report name them.
QString webFormatName(WebFormat format);

/// The summary's line for one format's companions of a row, from the files
/// the row wrote: "Tam WebP Grande: 31 Kb. Tam WebP Pequeña: 4 Kb.", a
/// companion not written said with why ("WebP Pequeña no escrita: no es más
/// pequeña que su JPEG (…)").
QString companionDetailText(WebFormat format, const std::vector<RowFile>& files);

/// One copy's companions, made from the very pixels its JPEG was made from.
struct CompanionJob {
    const Bitmap& copy;
    QString jpegPath;  ///< the JPEG just written
    bool large = true;
    JpegQuality quality = JpegQuality::Medium;
    std::vector<WebFormat> formats;
    OutputGuard& guard;  ///< a companion never writes over a photo of the workbook
    qint64 workbookRow = 0;
};

/// Encodes each companion and writes it, unless it is not smaller than the
/// JPEG: then it is not written, and a file of its name left by an earlier
/// run is removed, so a page never offers older pixels than its JPEG's. One
/// RowFile per format is added to `files`.
void writeCompanions(const CompanionJob& job, std::vector<RowFile>& files);

}  // namespace fotolista
