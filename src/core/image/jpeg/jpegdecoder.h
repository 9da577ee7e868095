#pragma once

#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <span>

struct FIBITMAP;

namespace fotolista {

/// The fast read of a JPEG at a reduced scale, done here rather than by
/// libjpeg, which decodes every coefficient of a block and then reduces.
/// This keeps only the coefficients the reduced transform needs:
/// - a sequential (baseline) file is transformed one row of blocks at a time
///   as it is read, the code of each coefficient and its value taken in one
///   table lookup, and the colour conversion done sixteen pixels at a time;
/// - a progressive file keeps every coefficient of the whole picture between
///   its scans, and libjpeg reads and writes all 64 of each block in every
///   scan, about four times the time of a baseline file. This keeps the
///   first few and one bit per coefficient for the others (whether it is
///   nonzero, which is all a later scan asks).
///
/// Decodes at `eighths`/8 (1 to 4) into what decodeJpegReduced gives: 24-bit
/// colour or 8-bit grey, bottom up, with the JFIF header's resolution; the
/// colour planes are transformed straight to the picture's reduced size, so
/// no upsampling follows. Null for anything it does not take (CMYK or Adobe
/// colour, 12 bits, arithmetic coding, a sequential file in several scans)
/// and for anything irregular in the file (a damaged table, a scan out of
/// order, data that ends early, a wrong restart marker, ...): the caller
/// then hands the file to libjpeg, whose handling of damaged files stays the
/// program's. The picture is the caller's (decodeJpegReducedByOurs in
/// core/image/jpegscale.h gives it as a Bitmap).
///
/// The refinement scans use the quickest instructions the processor has;
/// tests ask for the others (Counting: popcnt without BMI2's deposit; Plain:
/// those of every processor), which give the same picture.
///
/// decoder.h names the stages and the files that hold them.
enum class RefineInstructions { Best, Counting, Plain };
FIBITMAP* decodeJpegReducedDib(std::span<const std::byte> jpeg, int eighths, qint64 maxPixels,
                               RefineInstructions instructions = RefineInstructions::Best);

/// libjpeg's YCbCr to BGR, in its fixed point, for `width` pixels; with
/// `vector`, sixteen at a time where the processor has AVX2 (the tests
/// compare the two).
void jpegColourRow(const std::uint8_t* luma, const std::uint8_t* cb, const std::uint8_t* cr, std::uint8_t* line,
                   int width, bool vector);

/// The picture a reduced JPEG read decodes into, by either decoder: 24-bit
/// colour, or 8-bit grey with a grey palette, with the resolution a JFIF
/// header gives (`unit` 1: dots per inch, 2: per centimetre; anything else
/// leaves none). Null when it cannot be allocated.
FIBITMAP* allocateJpegPicture(int width, int height, bool grey, int unit, int x, int y);

}  // namespace fotolista
