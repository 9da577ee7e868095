#pragma once

#include "core/watermark/placement.h"

#include <QString>

#include <functional>
#include <optional>

class Bitmap;
class CaseBlindFinder;

/// What stamping one large copy reads, taken when its stamping starts.
struct WatermarkStamp {
    QString folder;                            ///< the pictures: band, mark, one per character
    qint32 bandHeight = 0;                     ///< the band's top lies this far above the bottom
    bool interiorOnly = false;                 ///< the mark alone: no band, no characters
    int transparency = 0;                      ///< blend of the centred mark
    std::optional<WatermarkPlacement> manual;  ///< the mark placed by hand, when it is
    QString code;                              ///< the characters drawn over the band
};

/// Stamps the large copy: the band along its bottom at x = 1, the interior
/// mark (centred, or where it was placed by hand), and one picture per
/// character of the code over the band, 10 pixels apart from x = 319. The
/// band's top is floor(`largeHeightExact`) − bandHeight. A picture that is
/// missing or does not fit is left out. `yield` runs before and after each
/// character, so the user is let in during a long code. A greyscale copy is
/// made 24-bit first, so it is stamped like any other.
void stampWatermark(Bitmap& large, double largeHeightExact, const WatermarkStamp& stamp, CaseBlindFinder& finder,
                    const std::function<void()>& yield);
