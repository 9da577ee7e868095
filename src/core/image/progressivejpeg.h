#pragma once

#include "core/image/bitmap.h"

#include <QtGlobal>

#include <cstddef>
#include <span>

/// The fast read of a progressive JPEG, done here rather than by libjpeg: a
/// progressive file keeps every coefficient of the whole picture between its
/// scans, and libjpeg reads and writes all 64 of each block in every scan,
/// about four times the time of a baseline file. The reduced transform only
/// needs the first few, so this keeps those and one bit per coefficient for
/// the others (whether it is nonzero, which is all a later scan asks).
///
/// Decodes at `eighths`/8 (1 to 4) into what decodeJpegReduced gives: 24-bit
/// colour or 8-bit grey, bottom up, with the JFIF header's resolution; the
/// colour planes are transformed straight to the picture's reduced size, so
/// no upsampling follows. Null for anything it does not take (a baseline
/// file, CMYK or Adobe colour, 12 bits, arithmetic coding) and for anything
/// irregular in the file (a damaged table, a scan out of order, data that
/// ends early, a wrong restart marker, ...): the caller then hands the file
/// to libjpeg, whose handling of damaged files stays the program's.
///
/// The refinement scans use the quickest instructions the processor has;
/// tests ask for the others (Counting: popcnt without BMI2's deposit; Plain:
/// those of every processor), which give the same picture.
enum class RefineInstructions { Best, Counting, Plain };
Bitmap decodeProgressiveReduced(std::span<const std::byte> jpeg, int eighths, qint64 maxPixels,
                                RefineInstructions instructions = RefineInstructions::Best);
