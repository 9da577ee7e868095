#include "core/image/prepareimages.h"

#include "core/base/shortint.h"
#include "core/image/imageheader.h"
#include "core/image/jpegscale.h"
#include "core/image/marketplace.h"
#include "core/image/memorybudget.h"
#include "core/image/photointake.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <cmath>
#include <span>

namespace fotolista {

namespace {

int roundedSide(double value)
{
    const double r = roundHalfEven(value);
    if (!(r >= -2147483648.0 && r <= 2147483647.0))
        return 0;
    return int(r);
}

qint64 targetPixels(const ImageSize& source, int width)
{
    if (width < 1 || source.width < 1)
        return 0;
    const double height = roundHalfEven(double(source.height) * width / source.width);
    return qint64(std::min(double(width) * height, 9e18));
}

/// The fast read: the decoder's read at `eighths`/8, then turned and
/// converted to sRGB at that reduced size, which costs a fraction of doing
/// it on the whole picture: phones record most photos turned, so falling
/// back to the full read for them would take the speed out of the fast
/// mode. Null when the decoder cannot read it so; the full read then says why.
Bitmap reducedJpeg(const PrepareRequest& request, const PhotoHeader& header, int eighths)
{
    QFile file(request.path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    const std::span jpeg(reinterpret_cast<const std::byte*>(bytes.constData()), size_t(bytes.size()));
    return finishPhoto(decodeJpegReduced(jpeg, eighths, kMaxSourcePixels), header, PhotoOptions{request.autorotate});
}

/// The part of a reduced read, `eighths`/8 of the upright `size`, that is
/// picture: the decoder rounds its sides up, so its right column and bottom
/// row as stored are partly padding, and the copies must not be spread over
/// them, or they would slide by up to most of a pixel. Turning moves those
/// two edges.
SourceExtent reducedExtent(ImageSize size, int eighths, Orientation orientation)
{
    SourceExtent extent{size.width * eighths / 8.0, size.height * eighths / 8.0};
    // Where the stored right column and bottom row end up, per EXIF orientation.
    extent.partialLeft = orientation == 2 || orientation == 3 || orientation == 6 || orientation == 7;
    extent.partialTop = orientation == 3 || orientation == 4 || orientation == 7 || orientation == 8;
    return extent;
}

/// The picture, read reduced when `eighths` allows, else whole.
Bitmap decodeSource(const PrepareRequest& request, const PhotoHeader& header, int eighths, QString& problem)
{
    Bitmap source;
    if (eighths < 8)
        source = reducedJpeg(request, header, eighths);
    if (source.isNull()) {
        DecodedPhoto photo = decodePhoto(request.path, header, PhotoOptions{request.autorotate});
        source = std::move(photo.bitmap);
        problem = photo.problem;
    }
    return source;
}

/// The width a reduced read must keep for the marketplace copy: the whole
/// picture's longer side at the product's share of the square.
int marketplaceWidthNeeded(ImageSize size, int side)
{
    const int longer = std::max(size.width, size.height);
    if (side < 1 || longer < 1)
        return 0;
    const double productSide = double(side) * kMarketplaceFillPermille / 1000.0;
    return int(std::ceil(productSide * size.width / longer));
}

}  // namespace

int copyHeight(ImageSize size, int width)
{
    if (size.width < 1)
        return 0;
    return std::max(0, roundedSide(double(size.height) * width / size.width));
}

SourceProbe probeSource(const PrepareRequest& request)
{
    SourceProbe probe;
    probe.header = readPhotoHeader(request.path);
    if (!probe.header.readable())
        return probe;
    // The widths apply to the picture as it is shown.
    const ImageSize size{probe.header.uprightWidth(request.autorotate), probe.header.uprightHeight(request.autorotate)};
    probe.size = size;
    const qint64 pixels = qint64(probe.header.width) * probe.header.height;
    probe.tooLarge = pixels > kMaxSourcePixels || targetPixels(size, request.largeWidth) > kMaxTargetPixels
                     || targetPixels(size, request.smallWidth) > kMaxTargetPixels;
    return probe;
}

PreparedImages prepareImages(const PrepareRequest& request, MemoryBudget* budget)
{
    PreparedImages out;
    // The header first, whatever the format: a damaged or hostile file may
    // claim any size, and decoding it would try to allocate that much.
    const SourceProbe probe = probeSource(request);
    const PhotoHeader& header = probe.header;
    if (!probe.size) {
        out.problem = header.problem.isEmpty() ? undecodablePhotoText() : header.problem;
        return out;
    }
    const ImageSize size = *probe.size;
    out.sourceWidth = size.width;
    out.sourceHeight = size.height;
    if (probe.tooLarge) {
        out.tooLarge = true;
        return out;
    }
    const MemoryBudget::Share share =
        budget ? budget->take(decodeBytesFor(qint64(header.width) * header.height)) : MemoryBudget::Share();
    const PhotoOptions options{request.autorotate};
    // The reduction is chosen on the upright width, the one the copies take.
    // CMYK goes through the full read: its inks are converted first.
    const int eighths =
        request.fastRead && header.format == PhotoFormat::Jpeg && !header.cmyk
            ? jpegEighths(size, std::max(request.largeWidth, marketplaceWidthNeeded(size, request.marketplaceSide)))
            : 8;
    const Bitmap source = decodeSource(request, header, eighths, out.problem);
    if (source.isNull())
        return out;
    out.decoded = true;
    const int largeHeight = copyHeight(size, request.largeWidth);
    const int smallHeight = copyHeight(size, request.smallWidth);
    if (request.fastRead && source.width() != out.sourceWidth) {
        // A reduced read is softer than the full one; Catmull-Rom, sharper
        // than the bicubic, makes up for it: measured on camera photographs,
        // the copies then lie as close to an ideal downscale as the exact
        // mode's (bench/README.md).
        const SourceExtent extent = reducedExtent(size, eighths, options.autorotate ? header.orientation : 1);
        // Single precision: quicker than the double sums (the pass down in
        // half the time), and no visible difference (a sample at most one
        // level away).
        const Precision single = Precision::Single;
        out.large = source.resampled(request.largeWidth, largeHeight, ResampleKernel::CatmullRom, extent, single);
        // The small copy from the large one, not yet stamped, when that is
        // the wider: a few times less work, and on camera photographs as
        // close to an ideal downscale as from the reduced read (39.31
        // against 39.34 dB).
        const bool fromLarge = request.largeWidth >= request.smallWidth && !out.large.isNull();
        out.small = fromLarge
                        ? out.large.resampled(request.smallWidth, smallHeight, ResampleKernel::CatmullRom, {}, single)
                        : source.resampled(request.smallWidth, smallHeight, ResampleKernel::CatmullRom, extent, single);
    } else {
        out.large = source.rescaled(request.largeWidth, largeHeight);
        out.small = source.rescaled(request.smallWidth, smallHeight);
    }
    if (request.marketplaceSide > 0)
        out.marketplace = marketplaceCopy(source, size.width, request.marketplaceSide);
    return out;
}

}  // namespace fotolista
