#pragma once

#include "core/watermark/placement.h"

#include <QSize>
#include <QString>

namespace fotolista {

/// Builds the preview: the mark of `markFolder` pasted on its sample picture
/// at (left, top) blended by alpha ("Centrar" plays no part here), written as
/// JPEG to `previewPath`. False when the sample is missing or the preview
/// could not be written; a mark that is missing or does not fit leaves the
/// sample bare.
bool refreshPreview(const QString& markFolder, const WatermarkPlacement& placement, const QString& previewPath);

/// Where the preview is written and read back: "temporal.jpg" in the default
/// watermark folder when that folder can be written, else in the user's cache
/// folder (created when missing), so an installed, read-only copy still previews.
QString previewPathFor(const QString& defaultWatermarkFolder);

/// The size of the sample the placement window shows, on which the user
/// places the mark: its distances from the edges are measured there.
/// Invalid when the sample cannot be read.
QSize placementSampleSize(const QString& defaultWatermarkFolder);

}  // namespace fotolista
