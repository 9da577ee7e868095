// The picture's rows: the planes of a row of MCUs, each transformed to the
// picture's size (transform.cpp), converted from YCbCr to BGR as libjpeg
// does (JFIF's conversion; T.81 itself leaves colour to the application),
// sixteen pixels at a time where the processor has AVX2. Nothing is
// upsampled: the transform already gave every plane the full size.

#include "core/image/jpeg/decoder.h"

#include "core/base/cpu.h"

#include <algorithm>
#include <cstring>

namespace fotolista {

namespace jpeg {

namespace {

/// libjpeg's YCbCr to RGB, in the same fixed point.
struct ColourTables {
    static constexpr int kBits = 16;
    static constexpr int32_t fix(double x) { return int32_t(x * (1 << kBits) + 0.5); }
    int crRed[256], cbBlue[256];
    int32_t crGreen[256], cbGreen[256];
    ColourTables()
    {
        constexpr int32_t half = 1 << (kBits - 1);
        for (int i = 0; i < 256; ++i) {
            const int x = i - 128;
            crRed[i] = (fix(1.40200) * x + half) >> kBits;
            cbBlue[i] = (fix(1.77200) * x + half) >> kBits;
            crGreen[i] = -fix(0.71414) * x;
            cbGreen[i] = -fix(0.34414) * x + half;
        }
    }
};

uint8_t clampByte(int value)
{
    return uint8_t(std::clamp(value, 0, 255));
}

#if FOTOLISTA_X86

FOTOLISTA_AVX2 inline __m256i eightSamples(const uint8_t* p)
{
    return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
}

/// libjpeg's sums for eight pixels, clamped to bytes in the low half.
FOTOLISTA_AVX2 inline __m128i eightLevels(__m256i luma, __m256i sum)
{
    const __m256i v = _mm256_add_epi32(luma, _mm256_srai_epi32(sum, ColourTables::kBits));
    const __m128i words = _mm_packs_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    return _mm_packus_epi16(words, words);
}

/// Which byte of plane `channel` each byte of the 16 from `chunk` on of
/// the interleaved row takes (-1: none).
constexpr std::array<int8_t, 16> interleaveMask(int chunk, int channel)
{
    std::array<int8_t, 16> mask{};
    for (int i = 0; i < 16; ++i) {
        const int at = 16 * chunk + i;
        mask[size_t(i)] = int8_t(at % 3 == channel ? at / 3 : -1);
    }
    return mask;
}

/// Sixteen pixels at a time; returns how many were done.
FOTOLISTA_AVX2 int colourRowVector(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr, uint8_t* line, int width)
{
    static_assert(FI_RGBA_BLUE == 0 && FI_RGBA_GREEN == 1 && FI_RGBA_RED == 2);
    const __m256i centre = _mm256_set1_epi32(128), half = _mm256_set1_epi32(1 << (ColourTables::kBits - 1));
    const __m256i toRed = _mm256_set1_epi32(ColourTables::fix(1.40200));
    const __m256i toBlue = _mm256_set1_epi32(ColourTables::fix(1.77200));
    const __m256i cbToGreen = _mm256_set1_epi32(-ColourTables::fix(0.34414));
    const __m256i crToGreen = _mm256_set1_epi32(-ColourTables::fix(0.71414));
    static constexpr std::array<std::array<int8_t, 16>, 9> kMasks = {
        interleaveMask(0, 0), interleaveMask(0, 1), interleaveMask(0, 2), interleaveMask(1, 0), interleaveMask(1, 1),
        interleaveMask(1, 2), interleaveMask(2, 0), interleaveMask(2, 1), interleaveMask(2, 2)};
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        __m128i planes[3];  // blue, green, red: 16 bytes each
        for (int half8 = 0; half8 < 2; ++half8) {
            const int at = x + 8 * half8;
            const __m256i l = eightSamples(luma + at);
            const __m256i b = _mm256_sub_epi32(eightSamples(cb + at), centre);
            const __m256i r = _mm256_sub_epi32(eightSamples(cr + at), centre);
            const __m128i blue = eightLevels(l, _mm256_add_epi32(_mm256_mullo_epi32(b, toBlue), half));
            const __m128i green =
                eightLevels(l, _mm256_add_epi32(_mm256_add_epi32(_mm256_mullo_epi32(b, cbToGreen), half),
                                                _mm256_mullo_epi32(r, crToGreen)));
            const __m128i red = eightLevels(l, _mm256_add_epi32(_mm256_mullo_epi32(r, toRed), half));
            if (half8 == 0) {
                planes[0] = blue;
                planes[1] = green;
                planes[2] = red;
            } else {
                planes[0] = _mm_unpacklo_epi64(planes[0], blue);
                planes[1] = _mm_unpacklo_epi64(planes[1], green);
                planes[2] = _mm_unpacklo_epi64(planes[2], red);
            }
        }
        for (int chunk = 0; chunk < 3; ++chunk) {
            __m128i bytes = _mm_setzero_si128();
            for (int channel = 0; channel < 3; ++channel) {
                const auto* mask = reinterpret_cast<const __m128i*>(kMasks[size_t(3 * chunk + channel)].data());
                bytes = _mm_or_si128(bytes, _mm_shuffle_epi8(planes[channel], _mm_loadu_si128(mask)));
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(line + 3 * x + 16 * chunk), bytes);
        }
    }
    return x;
}
#endif

}  // namespace

bool Decoder::startOutput()
{
    const int width = int((qint64(m_width) * m_eighths + 7) / 8);
    const int height = int((qint64(m_height) * m_eighths + 7) / 8);
    m_picture.reset(
        allocateJpegPicture(width, height, m_components.size() == 1, m_densityUnit, m_densityX, m_densityY));
    if (!m_picture)
        return false;
    // One row of MCUs at a time: every plane is at the output's size.
    m_stripWidth = m_mcusAcross * m_maxH * m_eighths;
    m_stripHeight = m_maxV * m_eighths;
    m_strips.assign(m_components.size(), std::vector<uint8_t>(size_t(m_stripWidth) * size_t(m_stripHeight)));
    return true;
}

/// Transforms row `my` of MCUs, whose blocks are stored from block row
/// `stored` on, and puts its pixels in the picture.
void Decoder::outputRow(int my, int stored)
{
    FIBITMAP* dib = m_picture.get();
    const int width = int(FreeImage_GetWidth(dib)), height = int(FreeImage_GetHeight(dib));
    const bool grey = m_components.size() == 1;
    for (size_t i = 0; i < m_components.size(); ++i) {
        const Component& c = m_components[i];
        for (int y = 0; y < c.v; ++y) {
            uint8_t* row = m_strips[i].data() + size_t(y * c.sizeY) * size_t(m_stripWidth);
            const size_t first = size_t(stored * c.v + y) * size_t(c.storedWidth);
            c.transform(c, first, c.storedWidth, row, m_stripWidth);
        }
    }
    const int top = my * m_stripHeight;
    for (int y = 0; y < m_stripHeight && top + y < height; ++y) {
        BYTE* line = FreeImage_GetScanLine(dib, height - 1 - (top + y));
        const uint8_t* luma = m_strips[0].data() + size_t(y) * size_t(m_stripWidth);
        if (grey) {
            std::memcpy(line, luma, size_t(width));
            continue;
        }
        const uint8_t* cb = m_strips[1].data() + size_t(y) * size_t(m_stripWidth);
        const uint8_t* cr = m_strips[2].data() + size_t(y) * size_t(m_stripWidth);
        jpegColourRow(luma, cb, cr, line, width, true);
    }
}

}  // namespace jpeg

void jpegColourRow(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr, uint8_t* line, int width, bool vector)
{
    using jpeg::ColourTables;
    static const ColourTables colour;
    int x = 0;
#if FOTOLISTA_X86
    if (vector && cpu::features().avx2)
        x = jpeg::colourRowVector(luma, cb, cr, line, width);
#else
    (void)vector;
#endif
    for (; x < width; ++x) {
        const int l = luma[x];
        line[3 * x + FI_RGBA_RED] = jpeg::clampByte(l + colour.crRed[cr[x]]);
        const int green = (colour.cbGreen[cb[x]] + colour.crGreen[cr[x]]) >> ColourTables::kBits;
        line[3 * x + FI_RGBA_GREEN] = jpeg::clampByte(l + green);
        line[3 * x + FI_RGBA_BLUE] = jpeg::clampByte(l + colour.cbBlue[cb[x]]);
    }
}

FIBITMAP* allocateJpegPicture(int width, int height, bool grey, int unit, int x, int y)
{
    FIBITMAP* dib = FreeImage_Allocate(width, height, grey ? 8 : 24);
    if (!dib)
        return nullptr;
    if (grey) {
        RGBQUAD* palette = FreeImage_GetPalette(dib);
        for (int i = 0; i < 256; ++i)
            palette[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
    }
    // The resolution the library's own JPEG reader gives, so the copies'
    // headers say what the full read's would.
    if (unit == 1) {
        FreeImage_SetDotsPerMeterX(dib, unsigned(float(x) / 0.0254 + 0.5));
        FreeImage_SetDotsPerMeterY(dib, unsigned(float(y) / 0.0254 + 0.5));
    } else if (unit == 2) {
        FreeImage_SetDotsPerMeterX(dib, unsigned(x * 100));
        FreeImage_SetDotsPerMeterY(dib, unsigned(y * 100));
    }
    return dib;
}

}  // namespace fotolista
