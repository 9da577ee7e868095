#pragma once

struct FIBITMAP;

/// Reads a JPEG at 1/2, 1/4 or 1/8 of its size (`denominator` 2, 4 or 8;
/// each side rounded up, as the library's own scaled read does).
///
/// Each pixel is the mean of the pixels the full-size read (flags 0: the
/// library's fast integer transform, chroma repeated, no smoothing) would
/// give in its square, worked out from the stored coefficients: the fast
/// transform drops the fraction where the library's scaled read rounds it,
/// a colour shift of up to two levels that a JPEG save then magnifies.
/// So a reduced read rescaled to a size ends close to the full picture
/// rescaled to the same size.
///
/// Only 8-bit YCbCr and greyscale files whose chroma sampling divides the
/// scale are taken; for any other layout, an unreadable file or one that
/// ends early it returns null and the caller reads the file another way.
/// The result is a 24-bit image (8-bit with a grey palette for greyscale
/// files), the caller's to unload.
FIBITMAP* loadJpegReduced(const char* path, int denominator);
