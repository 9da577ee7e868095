#pragma once

#include "core/image/bitmap.h"
#include "core/image/imageheader.h"
#include "core/image/jpeg/jpegdecoder.h"

#include <cstddef>
#include <span>

namespace fotolista {

/// The eighths (1 to 8) of its size the fast read decodes a JPEG at: the
/// fewest that still leave at least kJpegReadMargin × `targetWidth` pixels
/// across (the decoder rounds a reduced side up); 8, the whole picture, when
/// none does. Measured on camera photographs, the copy made from such a
/// reduced read is as close to an ideal downscale as the exact mode's.
int jpegEighths(ImageSize size, int targetWidth);

/// How much wider than the copy the reduced picture must be: a picture
/// barely wider leaves the last resampling too little to smooth out. 1.3
/// left one photo in 200 at 0.5 dB under the exact mode; 1.5 none.
inline constexpr double kJpegReadMargin = 1.5;

/// Decodes a JPEG held in memory at `eighths`/8 of its size, in stored order
/// and colours: 24-bit colour, or 8-bit grey for a one-channel JPEG, with
/// the resolution of its JFIF header. Nothing of the file's metadata is read.
/// Null when the decoder cannot give that (CMYK, a damaged file, one that
/// ends early) or the reduced picture would have more than `maxPixels`.
/// Our own decoder (core/image/jpeg/) reads the file when it takes it, libjpeg
/// everything else; libjpeg reads them all in a build with FOTOLISTA_OWN_JPEG
/// off, or when FOTOLISTA_LIBJPEG_ONLY=1 is set, to tell whether a fault is
/// our decoder's.
Bitmap decodeJpegReduced(std::span<const std::byte> jpeg, int eighths, qint64 maxPixels);
/// The same by our own decoder alone: null for any file it leaves to libjpeg.
Bitmap decodeJpegReducedByOurs(std::span<const std::byte> jpeg, int eighths, qint64 maxPixels,
                               RefineInstructions instructions = RefineInstructions::Best);
/// The same by libjpeg alone, whatever the file.
Bitmap decodeJpegReducedByLibjpeg(std::span<const std::byte> jpeg, int eighths, qint64 maxPixels);

}  // namespace fotolista
