// Our own JPEG decoder on the bytes themselves, in memory. It hands libjpeg
// every file libjpeg refuses or warns about, so a file it takes is one
// libjpeg reads too, at the same size and depth; and the refinement's three
// sets of instructions give the same picture to the byte. The first byte
// picks the scale, 1/8 to 4/8.

#include "core/image/bitmapaccess.h"
#include "core/image/jpegscale.h"

#include <FreeImage.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

using namespace fotolista;

namespace {

// Small enough that libjpeg's whole-frame buffers stay within the fuzzer's memory.
constexpr qint64 kMaxPixels = qint64(1) << 22;

bool samePixels(const Bitmap& a, const Bitmap& b)
{
    if (a.width() != b.width() || a.height() != b.height() || a.bitsPerPixel() != b.bitsPerPixel())
        return false;
    const size_t bytes = size_t(a.bitsPerPixel() / 8) * size_t(a.width());
    for (int row = 0; row < a.height(); ++row) {
        if (std::memcmp(FreeImage_GetScanLine(dibOf(a), row), FreeImage_GetScanLine(dibOf(b), row), bytes) != 0)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const int eighths = 1 + data[0] % 4;
    const std::span jpeg(reinterpret_cast<const std::byte*>(data + 1), size - 1);
    const Bitmap ours = decodeJpegReducedByOurs(jpeg, eighths, kMaxPixels);
    if (ours.isNull())
        return 0;
    for (const auto set : {RefineInstructions::Counting, RefineInstructions::Plain}) {
        if (!samePixels(ours, decodeJpegReducedByOurs(jpeg, eighths, kMaxPixels, set)))
            std::abort();
    }
    const Bitmap theirs = decodeJpegReducedByLibjpeg(jpeg, eighths, kMaxPixels);
    if (theirs.isNull() || theirs.width() != ours.width() || theirs.height() != ours.height()
        || theirs.bitsPerPixel() != ours.bitsPerPixel())
        std::abort();
    return 0;
}
