#pragma once

#include "core/image/rescale.h"

namespace fotolista {

/// The resampling passes. Across: every row of `src` into `dst`, as wide as
/// the output; down: every column, as tall as the output.
///
/// In double precision the sums are the image library's at every level
/// (plain; SSE2, two rows side by side; AVX2, four): each product rounded
/// to double on its own, the products added in source order.
///
/// Single precision, for the fast read, is taken at the AVX2 level only (a
/// vector then holds eight rows or columns instead of four) and, across,
/// for colour only; elsewhere the sums are double. The pass down takes half
/// the time of the double one, the pass across about a tenth less; a sample
/// may come out one level away from the double sums.
void resampleAcross(const SamplePlane& src, const SamplePlane& dst, const AxisWeights& aw, SimdLevel level,
                    Precision precision);
void resampleDown(const SamplePlane& src, const SamplePlane& dst, const AxisWeights& aw, SimdLevel level,
                  Precision precision);

}  // namespace fotolista
