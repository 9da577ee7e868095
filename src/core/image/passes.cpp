#include "core/image/passes.h"

#include "core/image/avx2passes.h"

#include "core/base/cpu.h"

#include <algorithm>
#include <memory>

namespace fotolista {

// Every sum here is formed as the image library forms it: each product
// rounded to double on its own, the products added in source order. A fused
// multiply-add or a reordering would change the last bit of some sums, and
// through the rounding to 8 bits, some pixels. The build compiles this file
// with -ffp-contract=off; the check below catches a build that does not.
#if defined(__FP_FAST_FMA) && !defined(FOTOLISTA_FP_CONTRACT_OFF)
#error "passes.cpp must be built with -ffp-contract=off"
#endif

namespace {

inline std::uint8_t toByte(double v)
{
    return std::uint8_t(std::clamp(int(v + 0.5), 0, 255));
}

// --- plain passes ----------------------------------------------------------

template <int C>
void horizontalPlain(const SamplePlane& src, const SamplePlane& dst, const AxisWeights& aw, int y0, int y1)
{
    const int taps = aw.taps;
    for (int y = y0; y < y1; ++y) {
        const std::uint8_t* in = src.row(y);
        std::uint8_t* out = dst.row(y);
        for (int x = 0; x < dst.width; ++x) {
            const double* w = &aw.weights[size_t(x) * size_t(taps)];
            const std::uint8_t* p = in + size_t(aw.start[size_t(x)]) * C;
            if constexpr (C == 3) {
                double r = 0, g = 0, b = 0;
                for (int k = 0; k < taps; ++k, p += 3) {
                    r += w[k] * double(p[0]);
                    g += w[k] * double(p[1]);
                    b += w[k] * double(p[2]);
                }
                out[x * 3] = toByte(r);
                out[x * 3 + 1] = toByte(g);
                out[x * 3 + 2] = toByte(b);
            } else {
                double v = 0;
                for (int k = 0; k < taps; ++k)
                    v += w[k] * double(p[k]);
                out[x] = toByte(v);
            }
        }
    }
}

/// Columns j0.. of every output row.
void verticalPlain(const SamplePlane& src, const SamplePlane& dst, const AxisWeights& aw, int y, int j0)
{
    const int n = dst.width * dst.channels;
    const double* w = &aw.weights[size_t(y) * size_t(aw.taps)];
    const int start = aw.start[size_t(y)];
    std::uint8_t* out = dst.row(y);
    for (int j = j0; j < n; ++j) {
        double v = 0;
        for (int k = 0; k < aw.taps; ++k)
            v += w[k] * double(src.row(start + k)[j]);
        out[j] = toByte(v);
    }
}

#if FOTOLISTA_X86

// --- SSE2 passes: two rows side by side -------------------------------------

/// buf[s * 2 + r] = sample s of row r.
void interleave2(const std::uint8_t* r0, const std::uint8_t* r1, int n, double* buf)
{
    const __m128i zero = _mm_setzero_si128();
    int s = 0;
    for (; s + 8 <= n; s += 8) {
        const __m128i ab = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(r0 + s)),
                                             _mm_loadl_epi64(reinterpret_cast<const __m128i*>(r1 + s)));
        const __m128i words[2] = {_mm_unpacklo_epi8(ab, zero), _mm_unpackhi_epi8(ab, zero)};
        double* o = buf + size_t(s) * 2;
        for (int h = 0; h < 2; ++h) {
            const __m128i lo = _mm_unpacklo_epi16(words[h], zero);
            const __m128i hi = _mm_unpackhi_epi16(words[h], zero);
            _mm_storeu_pd(o + h * 8 + 0, _mm_cvtepi32_pd(lo));
            _mm_storeu_pd(o + h * 8 + 2, _mm_cvtepi32_pd(_mm_srli_si128(lo, 8)));
            _mm_storeu_pd(o + h * 8 + 4, _mm_cvtepi32_pd(hi));
            _mm_storeu_pd(o + h * 8 + 6, _mm_cvtepi32_pd(_mm_srli_si128(hi, 8)));
        }
    }
    for (; s < n; ++s) {
        buf[size_t(s) * 2] = r0[s];
        buf[size_t(s) * 2 + 1] = r1[s];
    }
}

/// (int)(v + 0.5) of both lanes, in the low two 32-bit slots.
inline __m128i truncatedHalfUp2(__m128d v)
{
    return _mm_cvttpd_epi32(_mm_add_pd(v, _mm_set1_pd(0.5)));
}

template <int C>
void horizontalSse2(const SamplePlane& src, const SamplePlane& dst, const AxisWeights& aw, double* buf)
{
    const int taps = aw.taps;
    const int block = outputsPerBlock(aw, dst.width, src.width, C * 2 * 8);
    int y = 0;
    for (; y + 2 <= src.height; y += 2) {
        std::uint8_t* out[2] = {dst.row(y), dst.row(y + 1)};
        for (int x0 = 0; x0 < dst.width; x0 += block) {
            const int x1 = std::min(dst.width, x0 + block);
            const int s0 = aw.start[size_t(x0)];
            const int s1 = aw.start[size_t(x1 - 1)] + taps;
            interleave2(src.row(y) + s0 * C, src.row(y + 1) + s0 * C, (s1 - s0) * C, buf);
            for (int x = x0; x < x1; ++x) {
                const double* w = &aw.weights[size_t(x) * size_t(taps)];
                const double* p = buf + size_t(aw.start[size_t(x)] - s0) * C * 2;
                __m128d acc[3];
                if constexpr (C == 3) {
                    __m128d a0 = _mm_setzero_pd(), a1 = a0, a2 = a0;
                    for (int k = 0; k < taps; ++k, p += 6) {
                        const __m128d wk = _mm_set1_pd(w[k]);
                        a0 = _mm_add_pd(a0, _mm_mul_pd(wk, _mm_loadu_pd(p)));
                        a1 = _mm_add_pd(a1, _mm_mul_pd(wk, _mm_loadu_pd(p + 2)));
                        a2 = _mm_add_pd(a2, _mm_mul_pd(wk, _mm_loadu_pd(p + 4)));
                    }
                    acc[0] = a0;
                    acc[1] = a1;
                    acc[2] = a2;
                } else {
                    __m128d a0 = _mm_setzero_pd();
                    for (int k = 0; k < taps; ++k, p += 2)
                        a0 = _mm_add_pd(a0, _mm_mul_pd(_mm_set1_pd(w[k]), _mm_loadu_pd(p)));
                    acc[0] = a0;
                }
                for (int c = 0; c < C; ++c) {
                    const __m128i v = truncatedHalfUp2(acc[c]);
                    const int both = _mm_cvtsi128_si32(_mm_packus_epi16(_mm_packs_epi32(v, v), v));
                    out[0][x * C + c] = std::uint8_t(both);
                    out[1][x * C + c] = std::uint8_t(both >> 8);
                }
            }
        }
    }
    horizontalPlain<C>(src, dst, aw, y, src.height);
}

void verticalSse2(const SamplePlane& src, const SamplePlane& dst, const AxisWeights& aw)
{
    const int n = dst.width * dst.channels;
    const int taps = aw.taps;
    const __m128i zero = _mm_setzero_si128();
    for (int y = 0; y < dst.height; ++y) {
        const double* w = &aw.weights[size_t(y) * size_t(taps)];
        const int start = aw.start[size_t(y)];
        std::uint8_t* out = dst.row(y);
        int j = 0;
        for (; j + 8 <= n; j += 8) {
            __m128d a0 = _mm_setzero_pd(), a1 = a0, a2 = a0, a3 = a0;
            for (int k = 0; k < taps; ++k) {
                const __m128i words =
                    _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(src.row(start + k) + j)), zero);
                const __m128i lo = _mm_unpacklo_epi16(words, zero);
                const __m128i hi = _mm_unpackhi_epi16(words, zero);
                const __m128d wk = _mm_set1_pd(w[k]);
                a0 = _mm_add_pd(a0, _mm_mul_pd(wk, _mm_cvtepi32_pd(lo)));
                a1 = _mm_add_pd(a1, _mm_mul_pd(wk, _mm_cvtepi32_pd(_mm_srli_si128(lo, 8))));
                a2 = _mm_add_pd(a2, _mm_mul_pd(wk, _mm_cvtepi32_pd(hi)));
                a3 = _mm_add_pd(a3, _mm_mul_pd(wk, _mm_cvtepi32_pd(_mm_srli_si128(hi, 8))));
            }
            const __m128i i01 = _mm_unpacklo_epi64(truncatedHalfUp2(a0), truncatedHalfUp2(a1));
            const __m128i i23 = _mm_unpacklo_epi64(truncatedHalfUp2(a2), truncatedHalfUp2(a3));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + j), _mm_packus_epi16(_mm_packs_epi32(i01, i23), zero));
        }
        verticalPlain(src, dst, aw, y, j);
    }
}

#endif  // FOTOLISTA_X86

}  // namespace

void resampleAcross(const SamplePlane& src, const SamplePlane& dst, const AxisWeights& aw, SimdLevel level,
                    Precision precision)
{
#if FOTOLISTA_X86
    if (level == SimdLevel::Avx2)
        return avx2Across(src, dst, aw, precision);
    if (level == SimdLevel::Sse2) {
        const std::unique_ptr<double[]> buf(new double[size_t(src.width) * size_t(src.channels) * 2]);
        if (src.channels == 3)
            horizontalSse2<3>(src, dst, aw, buf.get());
        else
            horizontalSse2<1>(src, dst, aw, buf.get());
        return;
    }
#endif
    if (src.channels == 3)
        horizontalPlain<3>(src, dst, aw, 0, src.height);
    else
        horizontalPlain<1>(src, dst, aw, 0, src.height);
}

void resampleDown(const SamplePlane& src, const SamplePlane& dst, const AxisWeights& aw, SimdLevel level,
                  Precision precision)
{
#if FOTOLISTA_X86
    if (level == SimdLevel::Avx2)
        return avx2Down(src, dst, aw, precision);
    if (level == SimdLevel::Sse2)
        return verticalSse2(src, dst, aw);
#endif
    for (int y = 0; y < dst.height; ++y)
        verticalPlain(src, dst, aw, y, 0);
}

}  // namespace fotolista
