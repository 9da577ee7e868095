#pragma once

#include "core/image/imageheader.h"

/// The largest of 8, 4, 2 that, dividing the width (rounded up), still
/// leaves at least `targetWidth` pixels across; 1 when none does.
int jpegReduction(ImageSize size, int targetWidth);
/// The size hint that makes the JPEG decoder scale by that much; 0 when the
/// image must be decoded whole. Chosen from both sides, since the decoder
/// compares the hint with the longer one.
int jpegSizeHint(ImageSize size, int targetWidth);
