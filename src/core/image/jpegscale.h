#pragma once

#include "core/image/imageheader.h"

/// The largest of 8, 4, 2 that, dividing the width (rounded up), still
/// leaves at least 1.3 × `targetWidth` pixels across; 1 when none does.
/// Measured on camera photographs, the copy made from such a reduced read
/// is as close to an ideal downscale as the copy made from the full read.
int jpegReduction(ImageSize size, int targetWidth);
/// The size hint that makes the JPEG decoder scale by that much; 0 when the
/// image must be decoded whole. Chosen from both sides, since the decoder
/// compares the hint with the longer one.
int jpegSizeHint(ImageSize size, int targetWidth);
