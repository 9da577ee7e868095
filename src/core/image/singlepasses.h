#pragma once

#include "core/image/rescale.h"

namespace fotolista {

/// The resampling passes of the fast read in single precision, with AVX2:
/// eight samples a vector (of eight rows across, of eight columns down)
/// instead of four. The pass down takes half the time of the double one;
/// the pass across, which mostly waits on reading the source rows, about a
/// tenth less. A sample may come out one level away from the double sums;
/// the exact mode never comes here.
/// Each returns false, having done nothing, where it does not apply (no
/// AVX2, or, across, a plane that is not 24-bit colour).
bool singleAcross(const SamplePlane& src, const SamplePlane& dst, const AxisWeights& aw);
bool singleDown(const SamplePlane& src, const SamplePlane& dst, const AxisWeights& aw);

}  // namespace fotolista
