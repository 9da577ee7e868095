#pragma once

#include "core/image/bitmap.h"
#include "core/image/imageheader.h"

#include <optional>

namespace fotolista {

struct PhotoHeader;

/// The square copy online marketplaces ask for: the product on pure white,
/// without watermark, filling most of the frame.
/// Marketplaces zoom from this size on the product's longer side.
inline constexpr int kMarketplaceZoomSide = 1000;
/// The product's longer side in the square, in thousandths of the side.
inline constexpr int kMarketplaceFillPermille = 850;
/// A pixel is near white when each of its channels is at least this.
inline constexpr int kNearWhiteLevel = 235;

/// A rectangle of pixels, from the top-left corner.
struct PixelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PixelRect&) const = default;
};

/// The part of `picture` inside its near-white margins. A row or column at
/// an edge is margin while at most one of its pixels in a thousand (at
/// least one) is darker than kNearWhiteLevel on some channel, so dust on a
/// backdrop does not stop the trim. The whole picture when all of it is
/// near white; empty for a null picture.
PixelRect productExtent(const Bitmap& picture);

/// Where the product goes: the square's side and the product's size in it.
struct MarketplaceLayout {
    int side = 0;
    int productWidth = 0;
    int productHeight = 0;
};

/// A product of `product` true pixels in a square of `side`: scaled so that
/// its longer side is 85 % of the side, but never enlarged; a product too
/// small for that keeps its pixels and the square shrinks around it (still
/// 85 %), so a small source gives a smaller copy on purpose.
MarketplaceLayout marketplaceLayout(ImageSize product, int side);

/// The product's longer side in true pixels, for a picture read at
/// `picture`'s size from a source `trueWidth` pixels wide (a reduced read
/// is scaled back).
int productLongerSide(const Bitmap& picture, int trueWidth);

/// The product's longer side in the source at `path`, whose header is
/// `header`, without its near-white margins: read at an eighth for a JPEG
/// (to a few pixels, quickly), whole otherwise. Nothing when it cannot be read.
std::optional<int> sourceProductSide(const QString& path, const PhotoHeader& header);

/// The marketplace copy of `picture`, which may be a reduced read of a
/// source `trueWidth` pixels wide: trimmed, scaled, centred on white
/// (255, 255, 255), 24 bits. Null when `picture` is null or cannot be made.
Bitmap marketplaceCopy(const Bitmap& picture, int trueWidth, int side);

}  // namespace fotolista
