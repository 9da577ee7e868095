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

PreparedImages prepareImages(const PrepareRequest& request)
{
    PreparedImages out;
    // The header first, whatever the format: a damaged or hostile file may
    // claim any size, and decoding it would try to allocate that much.
    const PhotoHeader header = readPhotoHeader(request.path);
    if (!header.readable()) {
        out.problem = header.problem;
        return out;
    }
    const PhotoOptions options{request.autorotate};
    // The widths apply to the picture as it is shown.
    const ImageSize size{header.uprightWidth(options.autorotate), header.uprightHeight(options.autorotate)};
    out.sourceWidth = size.width;
    out.sourceHeight = size.height;
    const qint64 pixels = qint64(header.width) * header.height;
    if (pixels > kMaxSourcePixels || targetPixels(size, request.largeWidth) > kMaxTargetPixels
        || targetPixels(size, request.smallWidth) > kMaxTargetPixels) {
        out.tooLarge = true;
        return out;
    }
    Bitmap source;
    if (request.fast && header.format == PhotoFormat::Jpeg && !header.cmyk) {
        // The reduced read keeps the colours of the full read; layouts it
        // does not take go through the decoder's own scaling. Either is
        // turned and converted afterwards, at the reduced size.
        const int denominator = jpegReduction(size, request.largeWidth);
        if (denominator > 1)
            source = Bitmap::loadJpegReduced(request.path, denominator);
        if (source.isNull())
            source = Bitmap::loadJpegScaled(request.path, jpegSizeHint(size, request.largeWidth));
        source = finishPhoto(std::move(source), header, options);
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
    const double w = out.sourceWidth;
    const double h = out.sourceHeight;
    out.large = source.rescaled(request.largeWidth, roundedSide(h * request.largeWidth / w));
    out.small = source.rescaled(request.smallWidth, roundedSide(h * request.smallWidth / w));
    return out;
}
