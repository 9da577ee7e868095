#include "core/image/prepareimages.h"

#include "core/base/shortint.h"
#include "core/image/imageheader.h"
#include "core/image/jpegscale.h"

#include <algorithm>

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

} // namespace

SourceProbe probeSource(const PrepareRequest& request)
{
    SourceProbe probe;
    probe.size = headerSize(request.format, request.path);
    if (probe.size) {
        const qint64 pixels = qint64(probe.size->width) * probe.size->height;
        probe.tooLarge = pixels > kMaxSourcePixels || targetPixels(*probe.size, request.largeWidth) > kMaxTargetPixels
            || targetPixels(*probe.size, request.smallWidth) > kMaxTargetPixels;
    }
    return probe;
}

PreparedImages prepareImages(const PrepareRequest& request)
{
    PreparedImages out;
    // The header first: a damaged or hostile file may claim any size, and
    // decoding it would try to allocate that much.
    const SourceProbe probe = probeSource(request);
    const std::optional<ImageSize>& size = probe.size;
    if (probe.tooLarge) {
        out.tooLarge = true;
        out.sourceWidth = size->width;
        out.sourceHeight = size->height;
        return out;
    }
    Bitmap source;
    if (request.fast && request.format == ImageFormat::Jpeg) {
        if (size) {
            out.sourceWidth = size->width;
            out.sourceHeight = size->height;
            source = Bitmap::loadJpegScaled(request.path, jpegSizeHint(*size, request.largeWidth));
        }
    } else {
        source = Bitmap::load(request.format, request.path);
        out.sourceWidth = source.width();
        out.sourceHeight = source.height();
    }
    if (source.isNull())
        return out;
    out.decoded = true;
    if (!source.isJpegEncodable()) {
        // Deep-colour and alpha sources would be refused by the JPEG encoder.
        Bitmap converted = source.convertedTo24Bits();
        if (!converted.isNull())
            source = std::move(converted);
    }
    const double w = out.sourceWidth;
    const double h = out.sourceHeight;
    const int largeHeight = roundedSide(h * request.largeWidth / w);
    const int smallHeight = roundedSide(h * request.smallWidth / w);
    if (request.fast && source.width() != out.sourceWidth) {
        // A reduced read is softer than the full one; Catmull-Rom, sharper
        // than the bicubic, makes up for it: measured on camera photographs,
        // the copies then lie as close to an ideal downscale as the exact
        // mode's (bench/README.md).
        out.large = source.resampled(request.largeWidth, largeHeight, ResampleKernel::CatmullRom);
        out.small = source.resampled(request.smallWidth, smallHeight, ResampleKernel::CatmullRom);
    } else {
        out.large = source.rescaled(request.largeWidth, largeHeight);
        out.small = source.rescaled(request.smallWidth, smallHeight);
    }
    return out;
}
