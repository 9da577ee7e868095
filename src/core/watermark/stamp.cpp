#include "core/watermark/stamp.h"

#include "core/base/caseblindfinder.h"
#include "core/image/bitmap.h"
#include "core/watermark/watermarkfiles.h"

#include <cmath>

namespace fotolista {

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

    const Bitmap mark = Bitmap::load(ImageFormat::Png, fileIn(watermarkfiles::mark()));
    const MarkPlace place =
        markPlace(QSize(large.width(), large.height()), QSize(mark.width(), mark.height()), stamp.mark);
    pasteBitmap(large, mark, place.left, place.top, place.alpha);

    if (stamp.interiorOnly)
        return;
    const QList<uint> characters = stamp.code.toUcs4();
    const CodeRow row = codeRow(large.width(), int(characters.size()));
    for (int k = 0; k < row.count; ++k) {
        yield();
        if (const std::optional<QString> name = watermarkfiles::glyph(characters[k])) {
            const Bitmap glyph = Bitmap::load(ImageFormat::Jpeg, fileIn(*name));
            pasteBitmap(large, glyph, row.first + row.pitch * k, bandTop + 6, 256);
        }
        yield();
    }
}

}  // namespace fotolista
