#pragma once

#include "core/image/rescale.h"

namespace fotolista {

// The AVX2 passes behind passes.h, one template for both precisions. Call
// them only where cpu::features().avx2.
void avx2Across(const SamplePlane& src, const SamplePlane& dst, const AxisWeights& aw, Precision precision);
void avx2Down(const SamplePlane& src, const SamplePlane& dst, const AxisWeights& aw, Precision precision);

}  // namespace fotolista
