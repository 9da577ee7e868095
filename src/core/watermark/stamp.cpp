#include "core/watermark/stamp.h"

#include "core/base/caseblindfinder.h"
#include "core/base/shortint.h"
#include "core/image/bitmap.h"
#include "core/watermark/watermarkfiles.h"

#include <cmath>

namespace {

int roundedToInt(double value)
{
    const double r = roundHalfEven(value);
    if (!(r >= -2147483648.0 && r <= 2147483647.0))
        return 0;
    return static_cast<int>(r);
}

void pasteMark(Bitmap& large, const Bitmap& mark, const WatermarkStamp& stamp)
{
    const int cx = roundedToInt(double(large.width()) / 2.0 - double(mark.width()) / 2.0);
    const int cy = roundedToInt(double(large.height()) / 2.0 - double(mark.height()) / 2.0);
    if (!stamp.manual)
        pasteBitmap(large, mark, cx, cy, stamp.transparency);
    else if (stamp.manual->centred)
        pasteBitmap(large, mark, cx, cy, stamp.manual->alpha);
    else
        pasteBitmap(large, mark, stamp.manual->left, stamp.manual->top, stamp.manual->alpha);
}

} // namespace

void stampWatermark(Bitmap& large, double largeHeightExact, const WatermarkStamp& stamp, CaseBlindFinder& finder,
                    const std::function<void()>& yield)
{
    // The stamp is in colour: onto a greyscale copy the library would paste
    // none of it, so such a copy takes colour first.
    if (large.bitsPerPixel() == 8) {
        Bitmap colour = large.convertedTo24Bits();
        if (!colour.isNull())
            large = std::move(colour);
    }
    const auto fileIn = [&](const QString& name) { return finder.find(stamp.folder, name).value_or(QString()); };
    const Bitmap band = Bitmap::load(ImageFormat::Jpeg, fileIn(watermarkfiles::band()));
    const int bandTop = static_cast<int>(std::floor(largeHeightExact)) - stamp.bandHeight;
    if (!stamp.interiorOnly)
        pasteBitmap(large, band, 1, bandTop, 256);

    pasteMark(large, Bitmap::load(ImageFormat::Png, fileIn(watermarkfiles::mark())), stamp);

    if (stamp.interiorOnly)
        return;
    int k = 0;
    for (const char32_t c : stamp.code.toUcs4()) {
        ++k;
        yield();
        // A character that cannot name a file has no picture.
        if (c != U'/' && c != U'\0') {
            const Bitmap glyph = Bitmap::load(ImageFormat::Jpeg, fileIn(QString::fromUcs4(&c, 1) + QStringLiteral(".jpg")));
            pasteBitmap(large, glyph, 319 + 10 * (k - 1), bandTop + 6, 256);
        }
        yield();
    }
}
