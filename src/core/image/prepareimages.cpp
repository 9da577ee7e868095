#include "core/image/prepareimages.h"

#include "core/base/shortint.h"
#include "core/image/imageheader.h"
#include "core/image/jpegscale.h"
#include "core/image/photointake.h"

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

PreparedImages prepareImages(const PrepareRequest& request)
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
    const PhotoOptions options{request.autorotate};
    Bitmap source;
    if (request.fast && header.format == PhotoFormat::Jpeg && !header.cmyk) {
        // The decoder's scaled read, then turned and converted to sRGB at
        // that reduced size, which costs a fraction of doing it on the whole
        // picture: phones record most photos turned, so falling back to the
        // full read for them would take the speed out of the fast mode. The
        // reduction is chosen on the upright width, the one the copies take.
        // CMYK goes through the full read: its inks are converted first.
        source = finishPhoto(loadJpegScaledPhoto(request.path, jpegSizeHint(size, request.largeWidth)), header,
                             options);
        if (source.isNull())
            out.problem = undecodablePhotoText();
    } else {
        DecodedPhoto photo = decodePhoto(request.path, header, options);
        source = std::move(photo.bitmap);
        out.problem = photo.problem;
    }
    if (source.isNull())
        return out;
    out.decoded = true;
    const int largeHeight = copyHeight(size, request.largeWidth);
    const int smallHeight = copyHeight(size, request.smallWidth);
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
