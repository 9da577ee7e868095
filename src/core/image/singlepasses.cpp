#include "core/image/singlepasses.h"

#include "core/base/cpu.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace fotolista {

#if FOTOLISTA_X86

namespace {

std::vector<float> singleWeights(const AxisWeights& aw)
{
    return {aw.weights.begin(), aw.weights.end()};
}

/// The low eight bytes as floats.
FOTOLISTA_AVX2 inline __m256 eight(__m128i b)
{
    return _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(b));
}

/// buf[s * 8 + r] = sample s of row r.
FOTOLISTA_AVX2 void interleave8(const std::uint8_t* const* rows, int n, float* buf)
{
    int s = 0;
    for (; s + 16 <= n; s += 16) {
        // Bytes to pairs of rows, pairs to quads, quads to one sample of all eight.
        __m128i pairs[8];
        for (int i = 0; i < 4; ++i) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[2 * i] + s));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[2 * i + 1] + s));
            pairs[2 * i] = _mm_unpacklo_epi8(a, b);
            pairs[2 * i + 1] = _mm_unpackhi_epi8(a, b);
        }
        float* o = buf + size_t(s) * 8;
        for (int g = 0; g < 4; ++g) {  // samples 4g .. 4g + 3
            const int h = g / 2;
            const __m128i low =
                g % 2 ? _mm_unpackhi_epi16(pairs[h], pairs[2 + h]) : _mm_unpacklo_epi16(pairs[h], pairs[2 + h]);
            const __m128i high =
                g % 2 ? _mm_unpackhi_epi16(pairs[4 + h], pairs[6 + h]) : _mm_unpacklo_epi16(pairs[4 + h], pairs[6 + h]);
            const __m128i e[2] = {_mm_unpacklo_epi32(low, high), _mm_unpackhi_epi32(low, high)};
            for (int i = 0; i < 4; ++i) {
                const __m128i bytes = i % 2 ? _mm_srli_si128(e[i / 2], 8) : e[i / 2];
                _mm256_storeu_ps(o + (4 * g + i) * 8, eight(bytes));
            }
        }
    }
    for (; s < n; ++s)
        for (int r = 0; r < 8; ++r)
            buf[size_t(s) * 8 + size_t(r)] = rows[r][s];
}

/// (int)(v + 0.5) of eight lanes, as 16-bit words.
FOTOLISTA_AVX2 inline __m128i words(__m256 v)
{
    const __m256i i = _mm256_cvttps_epi32(_mm256_add_ps(v, _mm256_set1_ps(0.5f)));
    return _mm_packs_epi32(_mm256_castsi256_si128(i), _mm256_extracti128_si256(i, 1));
}

/// One colour output of eight rows, clamped to 0..255.
FOTOLISTA_AVX2 inline void put(__m256 r, __m256 g, __m256 b, std::uint8_t* const* out, int x)
{
    alignas(16) std::uint8_t bytes[32];
    _mm_store_si128(reinterpret_cast<__m128i*>(bytes), _mm_packus_epi16(words(r), words(g)));
    _mm_store_si128(reinterpret_cast<__m128i*>(bytes + 16), _mm_packus_epi16(words(b), words(b)));
    for (int row = 0; row < 8; ++row) {
        out[row][x * 3] = bytes[row];
        out[row][x * 3 + 1] = bytes[8 + row];
        out[row][x * 3 + 2] = bytes[16 + row];
    }
}

/// Outputs x0 .. x1 of eight rows from their converted samples (buf holds
/// samples s0 on). Two at a time: six independent sums keep the adder busy.
FOTOLISTA_AVX2 void colourOutputs(const AxisWeights& aw, const float* wf, const float* buf, int s0,
                                  std::uint8_t* const* out, int x0, int x1)
{
    const int taps = aw.taps;
    const auto samples = [&](int x) { return buf + size_t(aw.start[size_t(x)] - s0) * 24; };
    int x = x0;
    for (; x + 2 <= x1; x += 2) {
        const float* w = wf + size_t(x) * size_t(taps);
        const float* p = samples(x);
        const float* q = samples(x + 1);
        __m256 a0 = _mm256_setzero_ps(), a1 = a0, a2 = a0, c0 = a0, c1 = a0, c2 = a0;
        for (int k = 0; k < taps; ++k, p += 24, q += 24) {
            const __m256 wa = _mm256_broadcast_ss(w + k);
            const __m256 wc = _mm256_broadcast_ss(w + taps + k);
            a0 = _mm256_add_ps(a0, _mm256_mul_ps(wa, _mm256_loadu_ps(p)));
            a1 = _mm256_add_ps(a1, _mm256_mul_ps(wa, _mm256_loadu_ps(p + 8)));
            a2 = _mm256_add_ps(a2, _mm256_mul_ps(wa, _mm256_loadu_ps(p + 16)));
            c0 = _mm256_add_ps(c0, _mm256_mul_ps(wc, _mm256_loadu_ps(q)));
            c1 = _mm256_add_ps(c1, _mm256_mul_ps(wc, _mm256_loadu_ps(q + 8)));
            c2 = _mm256_add_ps(c2, _mm256_mul_ps(wc, _mm256_loadu_ps(q + 16)));
        }
        put(a0, a1, a2, out, x);
        put(c0, c1, c2, out, x + 1);
    }
    if (x < x1) {
        const float* w = wf + size_t(x) * size_t(taps);
        const float* p = samples(x);
        __m256 a0 = _mm256_setzero_ps(), a1 = a0, a2 = a0;
        for (int k = 0; k < taps; ++k, p += 24) {
            const __m256 wa = _mm256_broadcast_ss(w + k);
            a0 = _mm256_add_ps(a0, _mm256_mul_ps(wa, _mm256_loadu_ps(p)));
            a1 = _mm256_add_ps(a1, _mm256_mul_ps(wa, _mm256_loadu_ps(p + 8)));
            a2 = _mm256_add_ps(a2, _mm256_mul_ps(wa, _mm256_loadu_ps(p + 16)));
        }
        put(a0, a1, a2, out, x);
    }
}

FOTOLISTA_AVX2 void across8(const SamplePlane& src, const SamplePlane& dst, const AxisWeights& aw)
{
    const std::vector<float> wf = singleWeights(aw);
    const int block = outputsPerBlock(aw, dst.width, src.width, 3 * 8 * int(sizeof(float)));
    const std::unique_ptr<float[]> buf(new float[size_t(src.width) * 3 * 8]);
    const std::unique_ptr<std::uint8_t[]> spare(new std::uint8_t[size_t(dst.width) * 3]);
    for (int y = 0; y < src.height; y += 8) {
        // The last group repeats its last row and writes the repeats nowhere.
        std::uint8_t* out[8];
        const std::uint8_t* in[8];
        for (int r = 0; r < 8; ++r) {
            const bool real = y + r < src.height;
            out[r] = real ? dst.row(y + r) : spare.get();
            in[r] = src.row(real ? y + r : src.height - 1);
        }
        for (int x0 = 0; x0 < dst.width; x0 += block) {
            const int x1 = std::min(dst.width, x0 + block);
            const int s0 = aw.start[size_t(x0)];
            const int s1 = aw.start[size_t(x1 - 1)] + aw.taps;
            const std::uint8_t* rows[8];
            for (int r = 0; r < 8; ++r)
                rows[r] = in[r] + s0 * 3;
            interleave8(rows, (s1 - s0) * 3, buf.get());
            colourOutputs(aw, wf.data(), buf.get(), s0, out, x0, x1);
        }
    }
    _mm256_zeroupper();
}

FOTOLISTA_AVX2 void down8(const SamplePlane& src, const SamplePlane& dst, const AxisWeights& aw)
{
    const std::vector<float> wf = singleWeights(aw);
    const int n = dst.width * dst.channels;
    const int taps = aw.taps;
    for (int y = 0; y < dst.height; ++y) {
        const float* w = &wf[size_t(y) * size_t(taps)];
        const int start = aw.start[size_t(y)];
        std::uint8_t* out = dst.row(y);
        int j = 0;
        for (; j + 32 <= n; j += 32) {
            __m256 a0 = _mm256_setzero_ps(), a1 = a0, a2 = a0, a3 = a0;
            for (int k = 0; k < taps; ++k) {
                const std::uint8_t* in = src.row(start + k) + j;
                const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
                const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
                const __m256 wk = _mm256_broadcast_ss(w + k);
                a0 = _mm256_add_ps(a0, _mm256_mul_ps(wk, eight(b0)));
                a1 = _mm256_add_ps(a1, _mm256_mul_ps(wk, eight(_mm_srli_si128(b0, 8))));
                a2 = _mm256_add_ps(a2, _mm256_mul_ps(wk, eight(b1)));
                a3 = _mm256_add_ps(a3, _mm256_mul_ps(wk, eight(_mm_srli_si128(b1, 8))));
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), _mm_packus_epi16(words(a0), words(a1)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j + 16), _mm_packus_epi16(words(a2), words(a3)));
        }
        for (; j < n; ++j) {
            float v = 0;
            for (int k = 0; k < taps; ++k)
                v += w[k] * float(src.row(start + k)[j]);
            out[j] = std::uint8_t(std::clamp(int(v + 0.5f), 0, 255));
        }
    }
    _mm256_zeroupper();
}

}  // namespace

bool singleAcross(const SamplePlane& src, const SamplePlane& dst, const AxisWeights& aw)
{
    if (src.channels != 3 || !cpu::features().avx2)
        return false;
    across8(src, dst, aw);
    return true;
}

bool singleDown(const SamplePlane& src, const SamplePlane& dst, const AxisWeights& aw)
{
    if (!cpu::features().avx2)
        return false;
    down8(src, dst, aw);
    return true;
}

#else

bool singleAcross(const SamplePlane&, const SamplePlane&, const AxisWeights&)
{
    return false;
}
bool singleDown(const SamplePlane&, const SamplePlane&, const AxisWeights&)
{
    return false;
}

#endif

}  // namespace fotolista
