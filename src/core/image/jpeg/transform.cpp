// The inverse transform (ITU-T T.81, A.3.3) of dequantised blocks (A.3.4)
// straight to the reduced size: a block at n/8 is the n-point inverse
// transform of its first n × n coefficients, at the level of the 8-point
// one, as libjpeg's reduced read does (in fixed point there, here in
// single precision). A plane subsampled against the frame's largest
// sampling factors (A.1.1) gets a larger transform of its blocks instead,
// so that every plane comes out at the picture's size and nothing is
// upsampled after. Four outputs of a row to a vector on
// x86-64, with the same sums in the same order as the plain version.

#include "core/image/jpeg/decoder.h"

#include "core/base/cpu.h"

#include <cmath>
#include <cstring>
#include <numbers>

namespace fotolista {

namespace jpeg {

namespace {

struct CosineTables {
    // [size][frequency][output]: one dimension of the inverse transform at
    // `size` points, with the level of the 8-point one; zeros past `size`.
    alignas(16) float at[9][8][8]{};
    CosineTables()
    {
        for (int n = 1; n <= 8; ++n) {
            for (int x = 0; x < n; ++x) {
                for (int u = 0; u < n; ++u)
                    at[n][u][x] =
                        float((u ? 1.0 : std::sqrt(0.5)) * std::cos((2 * x + 1) * u * std::numbers::pi / (2 * n)) / 2);
            }
        }
    }
};

/// The coefficients (as bits in stored order) in rows, or columns, from
/// `from` on.
constexpr std::array<uint64_t, 8> fromLine(bool rows)
{
    std::array<uint64_t, 8> masks{};
    for (int from = 0; from < 8; ++from) {
        for (int k = 0; k < 64; ++k) {
            if ((rows ? kNaturalOrder[size_t(k)] / 8 : kNaturalOrder[size_t(k)] % 8) >= from)
                masks[size_t(from)] |= uint64_t(1) << k;
        }
    }
    return masks;
}
constexpr std::array<uint64_t, 8> kRowsFrom = fromLine(true);
constexpr std::array<uint64_t, 8> kColumnsFrom = fromLine(false);

uint8_t clampLevel(float value)
{
    const float shifted = value + 128.5f;
    return shifted <= 0 ? 0 : shifted >= 255 ? 255 : uint8_t(shifted);
}

/// The block's sums over its first `rows` × `columns` coefficients, into
/// SX × SY pixels.
template <int SX, int SY>
[[gnu::always_inline]] inline void sumBlock(const CosineTables& cosines, const Component& c,
                                            const int16_t* coefficients, int rows, int columns, uint8_t* out,
                                            ptrdiff_t stride)
{
    const auto& across = cosines.at[SX];
    const auto& down = cosines.at[SY];
#if FOTOLISTA_X86
    // Four outputs of a row to a vector; the same products and sums, in the
    // same order, as the plain version for other processors.
    constexpr int kVectors = (SX + 3) / 4;
    __m128 sums[SY][kVectors];
    for (int v = 0; v < rows; ++v) {
        __m128 row[kVectors];
        for (__m128& r : row)
            r = _mm_setzero_ps();
        for (int u = 0; u < columns; ++u) {
            const __m128 f = _mm_set1_ps(float(coefficients[v * SX + u]) * float(c.quant[size_t(v * 8 + u)]));
            for (int j = 0; j < kVectors; ++j)
                row[j] = _mm_add_ps(row[j], _mm_mul_ps(f, _mm_loadu_ps(&across[u][4 * j])));
        }
        for (int j = 0; j < kVectors; ++j)
            sums[v][j] = row[j];
    }
    const __m128 level = _mm_set1_ps(128.5f);
    for (int y = 0; y < SY; ++y) {
        __m128 line[2] = {_mm_setzero_ps(), _mm_setzero_ps()};
        for (int v = 0; v < rows; ++v) {
            const __m128 d = _mm_set1_ps(down[v][y]);
            for (int j = 0; j < kVectors; ++j)
                line[j] = _mm_add_ps(line[j], _mm_mul_ps(d, sums[v][j]));
        }
        // Truncated and clamped to 0..255 as clampLevel does.
        const __m128i words =
            _mm_packs_epi32(_mm_cvttps_epi32(_mm_add_ps(line[0], level)), _mm_cvttps_epi32(_mm_add_ps(line[1], level)));
        alignas(16) uint8_t bytes[16];
        _mm_store_si128(reinterpret_cast<__m128i*>(bytes), _mm_packus_epi16(words, words));
        std::memcpy(out + y * stride, bytes, SX);
    }
#else
    float sums[SY][SX];
    for (int v = 0; v < rows; ++v) {
        float row[SX] = {};
        for (int u = 0; u < columns; ++u) {
            const float f = float(coefficients[v * SX + u]) * float(c.quant[size_t(v * 8 + u)]);
            for (int x = 0; x < SX; ++x)
                row[x] += f * across[u][x];
        }
        std::memcpy(sums[v], row, sizeof row);
    }
    for (int y = 0; y < SY; ++y) {
        float line[SX] = {};
        for (int v = 0; v < rows; ++v) {
            const float d = down[v][y];
            for (int x = 0; x < SX; ++x)
                line[x] += d * sums[v][x];
        }
        for (int x = 0; x < SX; ++x)
            out[y * stride + x] = clampLevel(line[x]);
    }
#endif
}

/// One block, dequantised and transformed to SX × SY pixels. Only the rows
/// and columns of coefficients that hold a nonzero one are summed: most of a
/// block's high frequencies are zero, all the more in the colour planes.
template <int SX, int SY>
[[gnu::always_inline]] inline void transformBlock(const CosineTables& cosines, const Component& c, size_t block,
                                                  uint8_t* out, ptrdiff_t stride)
{
    const int16_t* coefficients = &c.coefficients[block * size_t(c.stride)];
    const uint64_t nonzero = c.nonzero[block] & c.keptMask & ~uint64_t(1);
    if (!nonzero) {
        const uint8_t level = clampLevel(float(coefficients[0]) * float(c.quant[0]) / 8);
        for (int y = 0; y < SY; ++y)
            std::memset(out + y * stride, level, SX);
        return;
    }
    int rows = SY, columns = SX;
    while (!(nonzero & kRowsFrom[size_t(rows - 1)]))
        --rows;
    while (!(nonzero & kColumnsFrom[size_t(columns - 1)]))
        --columns;
    sumBlock<SX, SY>(cosines, c, coefficients, rows, columns, out, stride);
}

template <int SX, int SY>
void transformSized(const Component& c, size_t first, int count, uint8_t* out, ptrdiff_t stride)
{
    static const CosineTables cosines;
    for (int i = 0; i < count; ++i)
        transformBlock<SX, SY>(cosines, c, first + size_t(i), out + i * SX, stride);
}

/// The transform for a plane's block size: 1, 2, 3, 4, 6 or 8 pixels a side
/// (eighths up to 4, times the plane's subsampling).
template <int SX>
TransformFunction transformAcross(int sy)
{
    switch (sy) {
    case 1: return transformSized<SX, 1>;
    case 2: return transformSized<SX, 2>;
    case 3: return transformSized<SX, 3>;
    case 4: return transformSized<SX, 4>;
    case 6: return transformSized<SX, 6>;
    case 8: return transformSized<SX, 8>;
    default: return nullptr;
    }
}

}  // namespace

TransformFunction transformFor(int sx, int sy)
{
    switch (sx) {
    case 1: return transformAcross<1>(sy);
    case 2: return transformAcross<2>(sy);
    case 3: return transformAcross<3>(sy);
    case 4: return transformAcross<4>(sy);
    case 6: return transformAcross<6>(sy);
    case 8: return transformAcross<8>(sy);
    default: return nullptr;
    }
}

}  // namespace jpeg

}  // namespace fotolista
