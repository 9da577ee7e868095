#pragma once

#include "core/watermark/layout.h"

#include <QString>

#include <functional>

namespace fotolista {

class Bitmap;
class CaseBlindFinder;

/// What stamping one large copy reads, taken when its stamping starts.
struct WatermarkStamp {
    QString folder;  ///< the pictures: band, mark, one per character
    qint32 bandHeight = 0;  ///< the band's top lies this far above the bottom
    bool interiorOnly = false;  ///< the mark alone: no band, no characters
    MarkRule mark;  ///< where the interior mark goes and how it is blended
    QString code;  ///< the characters drawn over the band
};

/// Stamps the large copy: the band along its bottom at x = 1, the interior
/// mark (see markPlace()), and one picture per character of the code over
/// the band, 6 pixels below its top, in the columns codeRow() gives. The
/// band's top is floor(`largeHeightExact`) − bandHeight. A picture that is
/// missing or does not fit is left out. `yield` runs before and after each
/// character, so the user is let in during a long code. A greyscale copy is
/// made 24-bit first, so it is stamped like any other.
void stampWatermark(Bitmap& large, double largeHeightExact, const WatermarkStamp& stamp, CaseBlindFinder& finder,
                    const std::function<void()>& yield);

}  // namespace fotolista
