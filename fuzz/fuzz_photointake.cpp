// A source photo may be anything. The intake tells its format by content,
// reads sizes, EXIF orientation and colour profiles from its header, decodes
// it and turns it upright and into sRGB: nothing may crash, leak or read out
// of bounds, and a photo that comes out is 8 or 24 bits a pixel and as large
// as its header said, turned as its orientation says.

#include "core/image/bitmap.h"
#include "core/image/photointake.h"

#include <cstdint>
#include <cstdlib>

using namespace fotolista;

namespace {

// Large enough for every seed, small enough to keep each input quick.
constexpr qint64 kMaxPixels = 1 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = [] {
        initialiseImageLibrary();
        return true;
    }();
    (void)ready;
    if (size < 1)
        return 0;
    const PhotoOptions options{(data[0] & 1) != 0};
    const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data + 1), size - 1);

    MemorySource source(bytes);
    const PhotoHeader header = readPhotoHeader(source);
    const DecodedPhoto photo = decodePhoto(bytes, options, kMaxPixels);
    if (photo.bitmap.isNull()) {
        if (photo.problem.isEmpty())
            std::abort();  // every refusal says why
        return 0;
    }
    if (!header.readable() || qint64(header.width) * header.height > kMaxPixels)
        std::abort();  // decoded what the header refused
    if (photo.bitmap.bitsPerPixel() != 8 && photo.bitmap.bitsPerPixel() != 24)
        std::abort();
    if (photo.bitmap.width() != header.uprightWidth(options.autorotate)
        || photo.bitmap.height() != header.uprightHeight(options.autorotate))
        std::abort();
    return 0;
}
