#include "core/image/avx2passes.h"

#include "core/base/cpu.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

namespace fotolista {

// As in passes.cpp: every product rounded on its own and added in source
// order, so that the double sums are the image library's.
#if defined(__FP_FAST_FMA) && !defined(FOTOLISTA_FP_CONTRACT_OFF)
#error "avx2passes.cpp must be built with -ffp-contract=off"
#endif

#if FOTOLISTA_X86

namespace {

/// Sixteen samples of four rows, from sample s: slot i of q[j] (32 bits)
/// holds sample 4j + i of the four rows, row 0 lowest.
FOTOLISTA_AVX2 inline void quads(const std::uint8_t* const* rows, int s, __m128i* q)
{
    const auto at = [&](int r) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + s)); };
    const __m128i a0 = at(0), a1 = at(1), a2 = at(2), a3 = at(3);
    const __m128i l01 = _mm_unpacklo_epi8(a0, a1), h01 = _mm_unpackhi_epi8(a0, a1);
    const __m128i l23 = _mm_unpacklo_epi8(a2, a3), h23 = _mm_unpackhi_epi8(a2, a3);
    q[0] = _mm_unpacklo_epi16(l01, l23);
    q[1] = _mm_unpackhi_epi16(l01, l23);
    q[2] = _mm_unpacklo_epi16(h01, h23);
    q[3] = _mm_unpackhi_epi16(h01, h23);
}

/// One sample of `rows` rows (across) or columns (down) in a vector.
template <class T>
struct Lanes;

template <>
struct Lanes<double> {
    using Vec = __m256d;
    static constexpr int rows = 4;
    FOTOLISTA_AVX2 static Vec zero() { return _mm256_setzero_pd(); }
    FOTOLISTA_AVX2 static Vec broadcast(const double* w) { return _mm256_broadcast_sd(w); }
    FOTOLISTA_AVX2 static Vec load(const double* p) { return _mm256_loadu_pd(p); }
    FOTOLISTA_AVX2 static void store(double* p, Vec v) { _mm256_storeu_pd(p, v); }
    FOTOLISTA_AVX2 static Vec addProduct(Vec sum, Vec w, Vec x) { return _mm256_add_pd(sum, _mm256_mul_pd(w, x)); }
    /// Bytes p[0..15], four to a vector.
    FOTOLISTA_AVX2 static void fromBytes4(const std::uint8_t* p, Vec& a, Vec& b, Vec& c, Vec& d)
    {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m256i lo = _mm256_cvtepu8_epi32(bytes);
        const __m256i hi = _mm256_cvtepu8_epi32(_mm_srli_si128(bytes, 8));
        a = _mm256_cvtepi32_pd(_mm256_castsi256_si128(lo));
        b = _mm256_cvtepi32_pd(_mm256_extracti128_si256(lo, 1));
        c = _mm256_cvtepi32_pd(_mm256_castsi256_si128(hi));
        d = _mm256_cvtepi32_pd(_mm256_extracti128_si256(hi, 1));
    }
    /// (int)(v + 0.5) of every lane of four vectors, clamped to 0..255,
    /// into out[0..15].
    FOTOLISTA_AVX2 static void toBytes4(Vec a, Vec b, Vec c, Vec d, std::uint8_t* out)
    {
        const __m128i ab = _mm_packs_epi32(rounded(a), rounded(b));
        const __m128i cd = _mm_packs_epi32(rounded(c), rounded(d));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(ab, cd));
    }
    /// Sixteen samples of the four rows from s, converted: out[i * 4 + r]
    /// is sample s + i of row r.
    FOTOLISTA_AVX2 static void interleave16(const std::uint8_t* const* rows, int s, double* out)
    {
        __m128i q[4];
        quads(rows, s, q);
        convert16(q[0], out);
        convert16(q[1], out + 16);
        convert16(q[2], out + 32);
        convert16(q[3], out + 48);
    }

private:
    /// Sixteen bytes to out[0..15].
    FOTOLISTA_AVX2 static void convert16(__m128i bytes, double* out)
    {
        const __m256i lo = _mm256_cvtepu8_epi32(bytes);
        const __m256i hi = _mm256_cvtepu8_epi32(_mm_srli_si128(bytes, 8));
        _mm256_storeu_pd(out, _mm256_cvtepi32_pd(_mm256_castsi256_si128(lo)));
        _mm256_storeu_pd(out + 4, _mm256_cvtepi32_pd(_mm256_extracti128_si256(lo, 1)));
        _mm256_storeu_pd(out + 8, _mm256_cvtepi32_pd(_mm256_castsi256_si128(hi)));
        _mm256_storeu_pd(out + 12, _mm256_cvtepi32_pd(_mm256_extracti128_si256(hi, 1)));
    }
    /// (int)(v + 0.5) of the four lanes.
    FOTOLISTA_AVX2 static __m128i rounded(Vec v) { return _mm256_cvttpd_epi32(_mm256_add_pd(v, _mm256_set1_pd(0.5))); }
};

template <>
struct Lanes<float> {
    using Vec = __m256;
    static constexpr int rows = 8;
    FOTOLISTA_AVX2 static Vec zero() { return _mm256_setzero_ps(); }
    FOTOLISTA_AVX2 static Vec broadcast(const float* w) { return _mm256_broadcast_ss(w); }
    FOTOLISTA_AVX2 static Vec load(const float* p) { return _mm256_loadu_ps(p); }
    FOTOLISTA_AVX2 static void store(float* p, Vec v) { _mm256_storeu_ps(p, v); }
    FOTOLISTA_AVX2 static Vec addProduct(Vec sum, Vec w, Vec x) { return _mm256_add_ps(sum, _mm256_mul_ps(w, x)); }
    /// Bytes p[0..31], eight to a vector.
    FOTOLISTA_AVX2 static void fromBytes4(const std::uint8_t* p, Vec& a, Vec& b, Vec& c, Vec& d)
    {
        const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        a = eight(b0);
        b = eight(_mm_srli_si128(b0, 8));
        c = eight(b1);
        d = eight(_mm_srli_si128(b1, 8));
    }
    /// (int)(v + 0.5) of every lane of four vectors, clamped to 0..255,
    /// into out[0..31].
    FOTOLISTA_AVX2 static void toBytes4(Vec a, Vec b, Vec c, Vec d, std::uint8_t* out)
    {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(words(a), words(b)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_packus_epi16(words(c), words(d)));
    }
    /// Sixteen samples of the eight rows from s, converted: out[i * 8 + r]
    /// is sample s + i of row r.
    FOTOLISTA_AVX2 static void interleave16(const std::uint8_t* const* rows, int s, float* out)
    {
        __m128i low[4], high[4];
        quads(rows, s, low);
        quads(rows + 4, s, high);
        for (int j = 0; j < 4; ++j) {
            // Samples 4j .. 4j + 3, each of the eight rows.
            const __m128i e[2] = {_mm_unpacklo_epi32(low[j], high[j]), _mm_unpackhi_epi32(low[j], high[j])};
            for (int i = 0; i < 4; ++i)
                _mm256_storeu_ps(out + (4 * j + i) * 8, eight(i % 2 ? _mm_srli_si128(e[i / 2], 8) : e[i / 2]));
        }
    }

private:
    /// The low eight bytes as floats.
    FOTOLISTA_AVX2 static Vec eight(__m128i b) { return _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(b)); }
    /// (int)(v + 0.5) of eight lanes, as 16-bit words.
    FOTOLISTA_AVX2 static __m128i words(Vec v)
    {
        const __m256i i = _mm256_cvttps_epi32(_mm256_add_ps(v, _mm256_set1_ps(0.5f)));
        return _mm_packs_epi32(_mm256_castsi256_si128(i), _mm256_extracti128_si256(i, 1));
    }
};

/// The weights in the precision of the sums.
template <class T>
const T* weightsIn(const AxisWeights& aw, std::vector<T>& converted)
{
    if constexpr (std::is_same_v<T, double>) {
        return aw.weights.data();
    } else {
        converted.assign(aw.weights.begin(), aw.weights.end());
        return converted.data();
    }
}

/// buf[s * R + r] = sample s of row r, converted once for every output
/// that takes it.
template <class T>
FOTOLISTA_AVX2 void interleave(const std::uint8_t* const* rows, int n, T* buf)
{
    using L = Lanes<T>;
    constexpr int R = L::rows;
    int s = 0;
    for (; s + 16 <= n; s += 16)
        L::interleave16(rows, s, buf + size_t(s) * R);
    for (; s < n; ++s)
        for (int r = 0; r < R; ++r)
            buf[size_t(s) * R + size_t(r)] = T(rows[r][s]);
}

/// One block of outputs of R rows, with their source samples converted
/// from sample s0 on.
template <class T, int C>
struct Block {
    using L = Lanes<T>;
    using Vec = typename L::Vec;
    static constexpr int R = L::rows;
    const AxisWeights& aw;
    const T* w;
    const T* buf;
    int s0;
    std::uint8_t* const* out;  ///< the R output rows

    const T* samples(int x) const { return buf + size_t(aw.start[size_t(x)] - s0) * C * R; }
    const T* weights(int x) const { return w + size_t(x) * size_t(aw.taps); }
    /// Bytes at .. at + N - 1 of every output row, one sum each (N <= 4;
    /// the sums past N are not written).
    template <int N>
    FOTOLISTA_AVX2 void put(int at, Vec a, Vec b, Vec c, Vec d) const
    {
        alignas(16) std::uint8_t bytes[4 * R];
        L::toBytes4(a, b, c, d, bytes);
        for (int r = 0; r < R; ++r)
            for (int i = 0; i < N; ++i)
                out[r][at + i] = bytes[i * R + r];
    }
};

/// Two colour outputs at a time: six independent sums keep the adder busy
/// while each waits for its previous result. Returns the next output.
template <class T>
FOTOLISTA_AVX2 int colourPairs(const Block<T, 3>& b, int x, int x1)
{
    using L = Lanes<T>;
    constexpr int R = L::rows;
    const int taps = b.aw.taps;
    for (; x + 2 <= x1; x += 2) {
        const T* w = b.weights(x);
        const T* p = b.samples(x);
        const T* q = b.samples(x + 1);
        auto a0 = L::zero(), a1 = a0, a2 = a0, c0 = a0, c1 = a0, c2 = a0;
        for (int k = 0; k < taps; ++k, p += 3 * R, q += 3 * R) {
            const auto wa = L::broadcast(w + k);
            const auto wc = L::broadcast(w + taps + k);
            a0 = L::addProduct(a0, wa, L::load(p));
            a1 = L::addProduct(a1, wa, L::load(p + R));
            a2 = L::addProduct(a2, wa, L::load(p + 2 * R));
            c0 = L::addProduct(c0, wc, L::load(q));
            c1 = L::addProduct(c1, wc, L::load(q + R));
            c2 = L::addProduct(c2, wc, L::load(q + 2 * R));
        }
        b.template put<4>(x * 3, a0, a1, a2, c0);
        b.template put<2>(x * 3 + 4, c1, c2, c2, c2);
    }
    return x;
}

/// Four grey outputs at a time, for the same reason.
template <class T>
FOTOLISTA_AVX2 int greyQuads(const Block<T, 1>& b, int x, int x1)
{
    using L = Lanes<T>;
    constexpr int R = L::rows;
    const int taps = b.aw.taps;
    for (; x + 4 <= x1; x += 4) {
        const T* w = b.weights(x);
        const T* p = b.samples(x);
        auto a0 = L::zero(), a1 = a0, a2 = a0, a3 = a0;
        for (int k = 0; k < taps; ++k) {
            a0 = L::addProduct(a0, L::broadcast(w + k), L::load(p + k * R));
            a1 = L::addProduct(a1, L::broadcast(w + taps + k), L::load(b.samples(x + 1) + k * R));
            a2 = L::addProduct(a2, L::broadcast(w + 2 * taps + k), L::load(b.samples(x + 2) + k * R));
            a3 = L::addProduct(a3, L::broadcast(w + 3 * taps + k), L::load(b.samples(x + 3) + k * R));
        }
        b.template put<4>(x, a0, a1, a2, a3);
    }
    return x;
}

template <class T, int C>
FOTOLISTA_AVX2 void oneOutput(const Block<T, C>& b, int x)
{
    using L = Lanes<T>;
    constexpr int R = L::rows;
    const T* w = b.weights(x);
    const T* p = b.samples(x);
    auto a0 = L::zero(), a1 = a0, a2 = a0;
    for (int k = 0; k < b.aw.taps; ++k, p += C * R) {
        const auto wk = L::broadcast(w + k);
        a0 = L::addProduct(a0, wk, L::load(p));
        if constexpr (C == 3) {
            a1 = L::addProduct(a1, wk, L::load(p + R));
            a2 = L::addProduct(a2, wk, L::load(p + 2 * R));
        }
    }
    b.template put<C>(x * C, a0, a1, a2, a2);
}

template <class T, int C>
FOTOLISTA_AVX2 void across(const SamplePlane& src, const SamplePlane& dst, const AxisWeights& aw)
{
    constexpr int R = Lanes<T>::rows;
    std::vector<T> converted;
    const T* w = weightsIn(aw, converted);
    const int block = outputsPerBlock(aw, dst.width, src.width, C * R * int(sizeof(T)));
    const std::unique_ptr<T[]> buf(new T[size_t(src.width) * C * R]);
    const std::unique_ptr<std::uint8_t[]> spare(new std::uint8_t[size_t(dst.width) * C]);
    for (int y = 0; y < src.height; y += R) {
        // The last group repeats its last row and writes the repeats nowhere.
        std::uint8_t* out[R];
        const std::uint8_t* in[R];
        for (int r = 0; r < R; ++r) {
            const bool real = y + r < src.height;
            out[r] = real ? dst.row(y + r) : spare.get();
            in[r] = src.row(real ? y + r : src.height - 1);
        }
        for (int x0 = 0; x0 < dst.width; x0 += block) {
            const int x1 = std::min(dst.width, x0 + block);
            const int s0 = aw.start[size_t(x0)];
            const int s1 = aw.start[size_t(x1 - 1)] + aw.taps;
            const std::uint8_t* rows[R];
            for (int r = 0; r < R; ++r)
                rows[r] = in[r] + s0 * C;
            interleave<T>(rows, (s1 - s0) * C, buf.get());
            const Block<T, C> b{aw, w, buf.get(), s0, out};
            int x = x0;
            if constexpr (C == 3)
                x = colourPairs<T>(b, x0, x1);
            else
                x = greyQuads<T>(b, x0, x1);
            for (; x < x1; ++x)
                oneOutput<T, C>(b, x);
        }
    }
    // Leave the upper halves clean: legacy SSE code after dirty ones (ours,
    // the library's, the decoder's) runs several times slower on some processors.
    _mm256_zeroupper();
}

template <class T>
FOTOLISTA_AVX2 void down(const SamplePlane& src, const SamplePlane& dst, const AxisWeights& aw)
{
    using L = Lanes<T>;
    constexpr int R = L::rows;
    std::vector<T> converted;
    const T* wAll = weightsIn(aw, converted);
    const int n = dst.width * dst.channels;
    const int taps = aw.taps;
    for (int y = 0; y < dst.height; ++y) {
        const T* w = wAll + size_t(y) * size_t(taps);
        const int start = aw.start[size_t(y)];
        std::uint8_t* out = dst.row(y);
        int j = 0;
        // Consecutive columns, so the lanes are already in order.
        for (; j + 4 * R <= n; j += 4 * R) {
            auto a0 = L::zero(), a1 = a0, a2 = a0, a3 = a0;
            for (int k = 0; k < taps; ++k) {
                typename L::Vec v0, v1, v2, v3;
                L::fromBytes4(src.row(start + k) + j, v0, v1, v2, v3);
                const auto wk = L::broadcast(w + k);
                a0 = L::addProduct(a0, wk, v0);
                a1 = L::addProduct(a1, wk, v1);
                a2 = L::addProduct(a2, wk, v2);
                a3 = L::addProduct(a3, wk, v3);
            }
            L::toBytes4(a0, a1, a2, a3, out + j);
        }
        for (; j < n; ++j) {
            T v = 0;
            for (int k = 0; k < taps; ++k)
                v += w[k] * T(src.row(start + k)[j]);
            out[j] = std::uint8_t(std::clamp(int(v + T(0.5)), 0, 255));
        }
    }
    _mm256_zeroupper();
}

}  // namespace

void avx2Across(const SamplePlane& src, const SamplePlane& dst, const AxisWeights& aw, Precision precision)
{
    // Grey rows keep their double sums in the fast read too.
    if (src.channels != 3)
        across<double, 1>(src, dst, aw);
    else if (precision == Precision::Single)
        across<float, 3>(src, dst, aw);
    else
        across<double, 3>(src, dst, aw);
}

void avx2Down(const SamplePlane& src, const SamplePlane& dst, const AxisWeights& aw, Precision precision)
{
    if (precision == Precision::Single)
        down<float>(src, dst, aw);
    else
        down<double>(src, dst, aw);
}

#else

void avx2Across(const SamplePlane&, const SamplePlane&, const AxisWeights&, Precision) {}
void avx2Down(const SamplePlane&, const SamplePlane&, const AxisWeights&, Precision) {}

#endif

}  // namespace fotolista
