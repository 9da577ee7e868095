#include "core/image/doublepasses.h"

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
#error "doublepasses.cpp must be built with -ffp-contract=off"
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
void horizontalSse2(const SamplePlane& src, const SamplePlane& dst, const AxisWeights& aw, int y0, int y1, double* buf)
{
    const int taps = aw.taps;
    const int block = outputsPerBlock(aw, dst.width, src.width, C * 2 * 8);
    int y = y0;
    for (; y + 2 <= y1; y += 2) {
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
    horizontalPlain<C>(src, dst, aw, y, y1);
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

// --- AVX2 passes: four rows side by side, chosen at run time ----------------

/// buf[s * 4 + r] = sample s of row r.
FOTOLISTA_AVX2 void interleave4(const std::uint8_t* const* rows, int n, double* buf)
{
    int s = 0;
    for (; s + 16 <= n; s += 16) {
        const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[0] + s));
        const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[1] + s));
        const __m128i a2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[2] + s));
        const __m128i a3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[3] + s));
        const __m128i l01 = _mm_unpacklo_epi8(a0, a1), h01 = _mm_unpackhi_epi8(a0, a1);
        const __m128i l23 = _mm_unpacklo_epi8(a2, a3), h23 = _mm_unpackhi_epi8(a2, a3);
        // Each 32-bit slot now holds one sample of the four rows.
        const __m128i quads[4] = {_mm_unpacklo_epi16(l01, l23), _mm_unpackhi_epi16(l01, l23),
                                  _mm_unpacklo_epi16(h01, h23), _mm_unpackhi_epi16(h01, h23)};
        double* o = buf + size_t(s) * 4;
        for (int i = 0; i < 4; ++i) {
            const __m256i lo = _mm256_cvtepu8_epi32(quads[i]);
            const __m256i hi = _mm256_cvtepu8_epi32(_mm_srli_si128(quads[i], 8));
            _mm256_storeu_pd(o + i * 16 + 0, _mm256_cvtepi32_pd(_mm256_castsi256_si128(lo)));
            _mm256_storeu_pd(o + i * 16 + 4, _mm256_cvtepi32_pd(_mm256_extracti128_si256(lo, 1)));
            _mm256_storeu_pd(o + i * 16 + 8, _mm256_cvtepi32_pd(_mm256_castsi256_si128(hi)));
            _mm256_storeu_pd(o + i * 16 + 12, _mm256_cvtepi32_pd(_mm256_extracti128_si256(hi, 1)));
        }
    }
    for (; s < n; ++s)
        for (int r = 0; r < 4; ++r)
            buf[size_t(s) * 4 + size_t(r)] = rows[r][s];
}

FOTOLISTA_AVX2 inline __m128i truncatedHalfUp4(__m256d v)
{
    return _mm256_cvttpd_epi32(_mm256_add_pd(v, _mm256_set1_pd(0.5)));
}

/// Clamped bytes of four sums of four lanes: byte i * 4 + r is sum i, lane r.
FOTOLISTA_AVX2 inline void packLanes(__m256d a, __m256d b, __m256d c, __m256d d, std::uint8_t* bytes)
{
    const __m128i ab = _mm_packs_epi32(truncatedHalfUp4(a), truncatedHalfUp4(b));
    const __m128i cd = _mm_packs_epi32(truncatedHalfUp4(c), truncatedHalfUp4(d));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes), _mm_packus_epi16(ab, cd));
}

/// Converted samples of one block of outputs: four rows side by side,
/// from source sample s0.
struct Block4 {
    const AxisWeights& aw;
    const double* buf;
    int s0;
    std::uint8_t* const* out;  ///< the four output rows
    template <int C>
    const double* samples(int x) const
    {
        return buf + size_t(aw.start[size_t(x)] - s0) * C * 4;
    }
    const double* weights(int x) const { return &aw.weights[size_t(x) * size_t(aw.taps)]; }
};

/// Two colour outputs at a time: six independent sums keep the adder busy
/// while each waits for its previous result. Returns the next output.
FOTOLISTA_AVX2 int colourPairsAvx2(const Block4& b, int x, int x1)
{
    const int taps = b.aw.taps;
    alignas(16) std::uint8_t bytes[32];
    for (; x + 2 <= x1; x += 2) {
        const double* w = b.weights(x);
        const double* p = b.samples<3>(x);
        const double* q = b.samples<3>(x + 1);
        __m256d a0 = _mm256_setzero_pd(), a1 = a0, a2 = a0, c0 = a0, c1 = a0, c2 = a0;
        for (int k = 0; k < taps; ++k, p += 12, q += 12) {
            const __m256d wa = _mm256_broadcast_sd(w + k);
            const __m256d wc = _mm256_broadcast_sd(w + taps + k);
            a0 = _mm256_add_pd(a0, _mm256_mul_pd(wa, _mm256_loadu_pd(p)));
            a1 = _mm256_add_pd(a1, _mm256_mul_pd(wa, _mm256_loadu_pd(p + 4)));
            a2 = _mm256_add_pd(a2, _mm256_mul_pd(wa, _mm256_loadu_pd(p + 8)));
            c0 = _mm256_add_pd(c0, _mm256_mul_pd(wc, _mm256_loadu_pd(q)));
            c1 = _mm256_add_pd(c1, _mm256_mul_pd(wc, _mm256_loadu_pd(q + 4)));
            c2 = _mm256_add_pd(c2, _mm256_mul_pd(wc, _mm256_loadu_pd(q + 8)));
        }
        packLanes(a0, a1, a2, c0, bytes);
        packLanes(c1, c2, c2, c2, bytes + 16);
        for (int r = 0; r < 4; ++r)
            for (int i = 0; i < 6; ++i)
                b.out[r][x * 3 + i] = bytes[i * 4 + r];
    }
    return x;
}

/// Four grey outputs at a time, for the same reason.
FOTOLISTA_AVX2 int greyQuadsAvx2(const Block4& b, int x, int x1)
{
    const int taps = b.aw.taps;
    alignas(16) std::uint8_t bytes[16];
    for (; x + 4 <= x1; x += 4) {
        const double* w = b.weights(x);
        const double* p[4] = {b.samples<1>(x), b.samples<1>(x + 1), b.samples<1>(x + 2), b.samples<1>(x + 3)};
        __m256d a[4] = {_mm256_setzero_pd(), _mm256_setzero_pd(), _mm256_setzero_pd(), _mm256_setzero_pd()};
        for (int k = 0; k < taps; ++k)
            for (int i = 0; i < 4; ++i)
                a[i] = _mm256_add_pd(
                    a[i], _mm256_mul_pd(_mm256_broadcast_sd(w + i * taps + k), _mm256_loadu_pd(p[i] + k * 4)));
        packLanes(a[0], a[1], a[2], a[3], bytes);
        for (int r = 0; r < 4; ++r)
            for (int i = 0; i < 4; ++i)
                b.out[r][x + i] = bytes[i * 4 + r];
    }
    return x;
}

template <int C>
FOTOLISTA_AVX2 void singleAvx2(const Block4& b, int x)
{
    const double* w = b.weights(x);
    const double* p = b.samples<C>(x);
    __m256d a[3] = {_mm256_setzero_pd(), _mm256_setzero_pd(), _mm256_setzero_pd()};
    for (int k = 0; k < b.aw.taps; ++k, p += C * 4) {
        const __m256d wk = _mm256_broadcast_sd(w + k);
        for (int c = 0; c < C; ++c)
            a[c] = _mm256_add_pd(a[c], _mm256_mul_pd(wk, _mm256_loadu_pd(p + c * 4)));
    }
    alignas(16) std::uint8_t bytes[16];
    packLanes(a[0], a[1], a[2], a[2], bytes);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < C; ++c)
            b.out[r][x * C + c] = bytes[c * 4 + r];
}

template <int C>
FOTOLISTA_AVX2 void horizontalAvx2(const SamplePlane& src, const SamplePlane& dst, const AxisWeights& aw, int y0,
                                   int y1, double* buf)
{
    const int block = outputsPerBlock(aw, dst.width, src.width, C * 4 * 8);
    int y = y0;
    for (; y + 4 <= y1; y += 4) {
        std::uint8_t* out[4] = {dst.row(y), dst.row(y + 1), dst.row(y + 2), dst.row(y + 3)};
        for (int x0 = 0; x0 < dst.width; x0 += block) {
            const int x1 = std::min(dst.width, x0 + block);
            const int s0 = aw.start[size_t(x0)];
            const int s1 = aw.start[size_t(x1 - 1)] + aw.taps;
            const std::uint8_t* rows[4] = {src.row(y) + s0 * C, src.row(y + 1) + s0 * C, src.row(y + 2) + s0 * C,
                                           src.row(y + 3) + s0 * C};
            interleave4(rows, (s1 - s0) * C, buf);
            const Block4 b{aw, buf, s0, out};
            for (int x = C == 3 ? colourPairsAvx2(b, x0, x1) : greyQuadsAvx2(b, x0, x1); x < x1; ++x)
                singleAvx2<C>(b, x);
        }
    }
    // Leave the upper halves clean: legacy SSE code after dirty ones (ours,
    // the library's, the decoder's) runs several times slower on some processors.
    _mm256_zeroupper();
    horizontalSse2<C>(src, dst, aw, y, y1, buf);
}

FOTOLISTA_AVX2 void verticalAvx2(const SamplePlane& src, const SamplePlane& dst, const AxisWeights& aw)
{
    const int n = dst.width * dst.channels;
    const int taps = aw.taps;
    for (int y = 0; y < dst.height; ++y) {
        const double* w = &aw.weights[size_t(y) * size_t(taps)];
        const int start = aw.start[size_t(y)];
        std::uint8_t* out = dst.row(y);
        int j = 0;
        for (; j + 16 <= n; j += 16) {
            __m256d a0 = _mm256_setzero_pd(), a1 = a0, a2 = a0, a3 = a0;
            for (int k = 0; k < taps; ++k) {
                const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src.row(start + k) + j));
                const __m256d wk = _mm256_broadcast_sd(w + k);
                const __m256i lo = _mm256_cvtepu8_epi32(b);
                const __m256i hi = _mm256_cvtepu8_epi32(_mm_srli_si128(b, 8));
                a0 = _mm256_add_pd(a0, _mm256_mul_pd(wk, _mm256_cvtepi32_pd(_mm256_castsi256_si128(lo))));
                a1 = _mm256_add_pd(a1, _mm256_mul_pd(wk, _mm256_cvtepi32_pd(_mm256_extracti128_si256(lo, 1))));
                a2 = _mm256_add_pd(a2, _mm256_mul_pd(wk, _mm256_cvtepi32_pd(_mm256_castsi256_si128(hi))));
                a3 = _mm256_add_pd(a3, _mm256_mul_pd(wk, _mm256_cvtepi32_pd(_mm256_extracti128_si256(hi, 1))));
            }
            // Sixteen consecutive columns, so the lanes are already in order.
            const __m128i ab = _mm_packs_epi32(truncatedHalfUp4(a0), truncatedHalfUp4(a1));
            const __m128i cd = _mm_packs_epi32(truncatedHalfUp4(a2), truncatedHalfUp4(a3));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), _mm_packus_epi16(ab, cd));
        }
        _mm256_zeroupper();
        verticalPlain(src, dst, aw, y, j);
    }
}

#endif  // FOTOLISTA_X86

}  // namespace

void doubleAcross(const SamplePlane& src, const SamplePlane& dst, const AxisWeights& aw, SimdLevel level)
{
#if FOTOLISTA_X86
    if (level != SimdLevel::Plain) {
        const size_t lanes = level == SimdLevel::Avx2 ? 4 : 2;
        const std::unique_ptr<double[]> buf(new double[size_t(src.width) * size_t(src.channels) * lanes]);
        const bool colour = src.channels == 3;
        if (level == SimdLevel::Avx2)
            colour ? horizontalAvx2<3>(src, dst, aw, 0, src.height, buf.get())
                   : horizontalAvx2<1>(src, dst, aw, 0, src.height, buf.get());
        else
            colour ? horizontalSse2<3>(src, dst, aw, 0, src.height, buf.get())
                   : horizontalSse2<1>(src, dst, aw, 0, src.height, buf.get());
        return;
    }
#endif
    if (src.channels == 3)
        horizontalPlain<3>(src, dst, aw, 0, src.height);
    else
        horizontalPlain<1>(src, dst, aw, 0, src.height);
}

void doubleDown(const SamplePlane& src, const SamplePlane& dst, const AxisWeights& aw, SimdLevel level)
{
#if FOTOLISTA_X86
    if (level == SimdLevel::Avx2)
        return verticalAvx2(src, dst, aw);
    if (level == SimdLevel::Sse2)
        return verticalSse2(src, dst, aw);
#endif
    for (int y = 0; y < dst.height; ++y)
        verticalPlain(src, dst, aw, y, 0);
}

}  // namespace fotolista
