#pragma once

#include "core/image/rescale.h"

namespace fotolista {

/// The resampling passes in double precision, whose bytes are the image
/// library's: plain, with SSE2 (two rows side by side) and with AVX2 (four),
/// the same sums in the same order at every level. Across: every row of
/// `src` into `dst`, as wide as the output; down: every column.
void doubleAcross(const SamplePlane& src, const SamplePlane& dst, const AxisWeights& aw, SimdLevel level);
void doubleDown(const SamplePlane& src, const SamplePlane& dst, const AxisWeights& aw, SimdLevel level);

}  // namespace fotolista
