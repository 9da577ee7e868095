#pragma once

#include "core/image/bitmap.h"
#include "core/image/imageheader.h"
#include "core/image/photoheader.h"

#include <QString>

#include <optional>

namespace fotolista {

class MemoryBudget;

/// What decoding and rescaling one source depends on: the settings as they
/// stood when the work was asked for.
struct PrepareRequest {
    QString path;  ///< read by its content, whatever its name says
    bool fastRead = false;  ///< JPEG decoded at a reduced scale that still covers the large width
    bool autorotate = true;  ///< turned upright as the camera recorded
    int largeWidth = 0;
    int smallWidth = 0;
    int marketplaceSide = 0;  ///< the square copy for online marketplaces; 0 for none

    bool operator==(const PrepareRequest&) const = default;
};

/// Largest source the program decodes, in pixels (about 450 MB in memory at
/// 24 bits): a camera's largest photo is a tenth of it. A header claiming
/// more is refused before anything is allocated.
inline constexpr qint64 kMaxSourcePixels = 150'000'000;
/// Largest copy the program makes, in pixels: far beyond any web image, and
/// small enough that a mistyped width cannot exhaust memory.
inline constexpr qint64 kMaxTargetPixels = 50'000'000;

/// What a source's header says, before anything is decoded.
struct SourceProbe {
    PhotoHeader header;  ///< format by content, stored size, orientation, profile; why not readable
    std::optional<ImageSize> size;  ///< the upright size the copies follow; nothing when the header cannot be read
    bool tooLarge = false;  ///< the source or a copy beyond the pixel limits
};

/// Reads the source's header, whatever its format, and holds its size (once
/// upright, when the request turns photos) against the pixel limits for the
/// copies the request asks for. prepareImages() starts with it, and the
/// batch check uses it alone.
SourceProbe probeSource(const PrepareRequest& request);

/// The height of a copy `width` pixels wide of an upright source of `size`,
/// rounded half to even as the copies are made; 0 when it rounds below 1
/// (no copy can be made) or overflows.
int copyHeight(ImageSize size, int width);

/// A source decoded and made into its two copies.
struct PreparedImages {
    bool decoded = false;
    bool tooLarge = false;  ///< refused: source or copy beyond the pixel limits
    QString problem;  ///< why it was not decoded, for the user
    int sourceWidth = 0;  ///< true size of the source once upright, whatever scale it was decoded at
    int sourceHeight = 0;
    Bitmap large;
    Bitmap small;
    Bitmap marketplace;  ///< when the request asks for it (marketplace.h)
};

/// Decodes the source (see photointake.h: upright, sRGB, 8 bits a channel,
/// no metadata) and makes the large and the small copy from it, the small
/// one from the source too. Sizes follow the true size of the upright
/// source: the large copy is largeWidth × round(H × largeWidth ÷ W), half to even.
/// With a `budget`, the decode waits for its share of it (decodeBytesFor)
/// once the header has given the size, and holds it until the copies are made.
/// The marketplace copy, when asked for, is made from the same decode.
PreparedImages prepareImages(const PrepareRequest& request, MemoryBudget* budget = nullptr);

}  // namespace fotolista
