#include "core/image/marketplace.h"

#include "core/base/shortint.h"
#include "core/image/bitmapaccess.h"
#include "core/image/jpegscale.h"
#include "core/image/photointake.h"
#include "core/image/prepareimages.h"

#include <QFile>

#include <FreeImage.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace fotolista {

namespace {

/// How many pixels darker than the backdrop a margin row or column may hold.
int specksAllowed(int length)
{
    return std::max(1, length / 1000);
}

int rounded(double value)
{
    return std::max(1, int(roundHalfEven(value)));
}

}  // namespace

PixelRect productExtent(const Bitmap& picture)
{
    if (picture.isNull())
        return {};
    const Bitmap colour = picture.bitsPerPixel() == 24 ? Bitmap() : picture.convertedTo24Bits();
    FIBITMAP* dib = dibOf(colour.isNull() ? picture : colour);
    if (!dib || FreeImage_GetBPP(dib) != 24)
        return {0, 0, picture.width(), picture.height()};
    const int width = int(FreeImage_GetWidth(dib));
    const int height = int(FreeImage_GetHeight(dib));
    std::vector<int> darkInRow(size_t(height), 0);
    std::vector<int> darkInColumn(size_t(width), 0);
    for (int y = 0; y < height; ++y) {
        // The library stores rows bottom up.
        const BYTE* line = FreeImage_GetScanLine(dib, height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const BYTE* p = line + 3 * x;
            if (std::min({p[0], p[1], p[2]}) < kNearWhiteLevel) {
                ++darkInRow[size_t(y)];
                ++darkInColumn[size_t(x)];
            }
        }
    }
    const auto isProduct = [](int allowed) { return [allowed](int dark) { return dark > allowed; }; };
    const auto top = std::find_if(darkInRow.begin(), darkInRow.end(), isProduct(specksAllowed(width)));
    const auto left = std::find_if(darkInColumn.begin(), darkInColumn.end(), isProduct(specksAllowed(height)));
    if (top == darkInRow.end() || left == darkInColumn.end())
        return {0, 0, width, height};  // nothing but backdrop: nothing to trim to
    const auto bottom = std::find_if(darkInRow.rbegin(), darkInRow.rend(), isProduct(specksAllowed(width)));
    const auto right = std::find_if(darkInColumn.rbegin(), darkInColumn.rend(), isProduct(specksAllowed(height)));
    const int t = int(top - darkInRow.begin());
    const int l = int(left - darkInColumn.begin());
    return {l, t, width - int(right - darkInColumn.rbegin()) - l, height - int(bottom - darkInRow.rbegin()) - t};
}

MarketplaceLayout marketplaceLayout(ImageSize product, int side)
{
    const int longer = std::max(product.width, product.height);
    if (longer < 1 || side < 1)
        return {};
    const double target = double(side) * kMarketplaceFillPermille / 1000.0;
    if (longer >= target) {
        const double scale = target / longer;
        return {side, std::min(side, rounded(product.width * scale)), std::min(side, rounded(product.height * scale))};
    }
    // Too small to fill the square without inventing pixels: the square
    // shrinks around the product instead.
    const int shrunk =
        std::min(side, int((qint64(longer) * 1000 + kMarketplaceFillPermille - 1) / kMarketplaceFillPermille));
    return {shrunk, product.width, product.height};
}

int productLongerSide(const Bitmap& picture, int trueWidth)
{
    const PixelRect extent = productExtent(picture);
    if (extent.width < 1 || picture.width() < 1)
        return 0;
    const double scale = double(trueWidth) / picture.width();
    return rounded(std::max(extent.width, extent.height) * scale);
}

std::optional<int> sourceProductSide(const QString& path, const PhotoHeader& header)
{
    if (!header.readable())
        return std::nullopt;
    Bitmap picture;
    if (header.format == PhotoFormat::Jpeg && !header.cmyk) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = file.readAll();
            picture = decodeJpegReduced(
                std::span(reinterpret_cast<const std::byte*>(bytes.constData()), size_t(bytes.size())), 1,
                kMaxSourcePixels);
        }
    }
    if (picture.isNull())
        picture = std::move(decodePhoto(path, header, PhotoOptions{false}).bitmap);
    if (picture.isNull())
        return std::nullopt;
    // Not turned: the longer side is the same either way.
    return productLongerSide(picture, header.width);
}

Bitmap marketplaceCopy(const Bitmap& picture, int trueWidth, int side)
{
    const PixelRect extent = productExtent(picture);
    if (extent.width < 1 || extent.height < 1 || trueWidth < 1)
        return {};
    // A reduced read stands for the source's true pixels.
    const double scale = double(trueWidth) / picture.width();
    const MarketplaceLayout layout =
        marketplaceLayout({rounded(extent.width * scale), rounded(extent.height * scale)}, side);
    if (layout.side < 1)
        return {};
    const Bitmap cropped = adoptDib(FreeImage_Copy(dibOf(picture), extent.left, extent.top, extent.left + extent.width,
                                                   extent.top + extent.height));
    if (cropped.isNull())
        return {};
    Bitmap product = cropped.rescaled(layout.productWidth, layout.productHeight);
    if (!product.isNull() && product.bitsPerPixel() != 24)
        product = product.convertedTo24Bits();
    Bitmap square = adoptDib(FreeImage_Allocate(layout.side, layout.side, 24));
    FIBITMAP* dib = dibOf(square);
    if (product.isNull() || !dib)
        return {};
    std::memset(FreeImage_GetBits(dib), 255, size_t(FreeImage_GetPitch(dib)) * FreeImage_GetHeight(dib));
    const int left = (layout.side - layout.productWidth) / 2;
    const int top = (layout.side - layout.productHeight) / 2;
    if (!pasteBitmap(square, product, left, top, 256))
        return {};
    return square;
}

}  // namespace fotolista
