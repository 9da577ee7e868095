#include "core/image/rescale.h"

#include "core/base/cpu.h"
#include "core/image/passes.h"

#include <FreeImage.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace fotolista {

// Every sum here is formed as the image library forms it: each product
// rounded to double on its own, the products added in source order. A fused
// multiply-add or a reordering would change the last bit of some sums, and
// through the rounding to 8 bits, some pixels. The build compiles this file
// with -ffp-contract=off; the check below catches a build that does not.
#if defined(__FP_FAST_FMA) && !defined(FOTOLISTA_FP_CONTRACT_OFF)
#error "rescale.cpp must be built with -ffp-contract=off"
#endif

namespace {

// --- kernels ---------------------------------------------------------------

/// The library's bicubic: its coefficients are worked out at run time from
/// b = c = 1/3, in this order.
struct Bicubic {
    static constexpr double width = 2;
    double p0, p2, p3, q0, q1, q2, q3;
    Bicubic()
    {
        const double b = 1 / double(3);
        const double c = 1 / double(3);
        p0 = (6 - 2 * b) / 6;
        p2 = (-18 + 12 * b + 6 * c) / 6;
        p3 = (12 - 9 * b - 6 * c) / 6;
        q0 = (8 * b + 24 * c) / 6;
        q1 = (-12 * b - 48 * c) / 6;
        q2 = (6 * b + 30 * c) / 6;
        q3 = (-b - 6 * c) / 6;
    }
    double operator()(double v) const
    {
        v = std::fabs(v);
        if (v < 1)
            return p0 + v * v * (p2 + v * p3);
        if (v < 2)
            return q0 + v * (q1 + v * (q2 + v * q3));
        return 0;
    }
};

struct CatmullRom {
    static constexpr double width = 2;
    double operator()(double v) const
    {
        if (v < -2)
            return 0;
        if (v < -1)
            return 0.5 * (4 + v * (8 + v * (5 + v)));
        if (v < 0)
            return 0.5 * (2 + v * v * (-5 - 3 * v));
        if (v < 1)
            return 0.5 * (2 + v * v * (-5 + 3 * v));
        if (v < 2)
            return 0.5 * (4 + v * (-8 + v * (5 - v)));
        return 0;
    }
};

struct Lanczos3 {
    static constexpr double width = 3;
    static double sinc(double v)
    {
        if (v == 0)
            return 1;
        v *= 3.1415926535897932384626433832795;
        return std::sin(v) / v;
    }
    double operator()(double v) const
    {
        v = std::fabs(v);
        return v < width ? sinc(v) * sinc(v / width) : 0;
    }
};

/// The library's weight table, step for step: the window around each
/// output, the weights, their normalisation, and the zero weights it drops
/// at the right; then padded to one length. The outputs spread over
/// `srcExtent` samples from `srcStart`: for the library's own sums, all of
/// them from 0.
template <class Filter>
AxisWeights weightsFor(const Filter& filter, int dstSize, int srcSize, double srcExtent, double srcStart)
{
    const double scale = double(dstSize) / srcExtent;
    double width = Filter::width;
    double fscale = 1.0;
    if (scale < 1.0) {
        width = Filter::width / scale;
        fscale = scale;
    }
    const double offset = 0.5 / scale;
    const size_t window = size_t(2 * int(std::ceil(width)) + 1);
    std::vector<double> raw(size_t(dstSize) * window);
    std::vector<int> left(static_cast<size_t>(dstSize));
    std::vector<int> count(static_cast<size_t>(dstSize));
    int taps = 1;
    for (int u = 0; u < dstSize; ++u) {
        const double center = double(u) / scale + offset + srcStart;
        const int l = std::max(0, int(center - width + 0.5));
        int r = std::min(int(center + width + 0.5), srcSize);
        double* w = &raw[size_t(u) * window];
        double total = 0;
        for (int i = l; i < r; ++i) {
            w[i - l] = fscale * filter(fscale * (double(i) + 0.5 - center));
            total += w[i - l];
        }
        if (total > 0 && total != 1)
            for (int i = l; i < r; ++i)
                w[i - l] /= total;
        for (int t = r - l - 1; t >= 0 && w[t] == 0; --t) {
            --r;
            if (r == l)
                break;
        }
        left[size_t(u)] = l;
        count[size_t(u)] = r - l;
        taps = std::max(taps, r - l);
    }
    AxisWeights out;
    out.taps = std::min(taps, srcSize);
    out.start.resize(size_t(dstSize));
    out.weights.assign(size_t(dstSize) * size_t(out.taps), 0.0);
    for (int u = 0; u < dstSize; ++u) {
        // Zeros after the window, or before it where a window padded at its
        // end would pass the last source sample.
        const int start = std::min(left[size_t(u)], srcSize - out.taps);
        out.start[size_t(u)] = start;
        double* w = &out.weights[size_t(u) * size_t(out.taps)] + (left[size_t(u)] - start);
        std::copy_n(&raw[size_t(u) * window], count[size_t(u)], w);
    }
    return out;
}

/// A buffer plane of its own for the result of the first pass.
struct OwnedPlane {
    std::unique_ptr<std::uint8_t[]> bytes;
    SamplePlane plane;
    OwnedPlane(int width, int height, int channels)
        : bytes(new std::uint8_t[size_t(width) * size_t(height) * size_t(channels)])
        , plane{bytes.get(), std::ptrdiff_t(width) * channels, width, height, channels}
    {
    }
};

}  // namespace

int outputsPerBlock(const AxisWeights& aw, int dstWidth, int srcWidth, int bytesPerSample)
{
    // Source samples converted once fit in about this many bytes.
    constexpr int kBlockBytes = 96 * 1024;
    const int room = kBlockBytes / bytesPerSample - aw.taps;
    return std::max(1, int(room * (double(dstWidth) / srcWidth)));
}

SimdLevel bestSimdLevel()
{
#if FOTOLISTA_X86
    static const SimdLevel best = cpu::features().avx2 ? SimdLevel::Avx2 : SimdLevel::Sse2;
    return best;
#else
    return SimdLevel::Plain;
#endif
}

bool simdLevelAvailable(SimdLevel level)
{
    switch (level) {
    case SimdLevel::Plain: return true;
    case SimdLevel::Sse2: return FOTOLISTA_X86 != 0;
    case SimdLevel::Avx2: return bestSimdLevel() == SimdLevel::Avx2;
    }
    return false;
}

AxisWeights axisWeights(ResampleKernel kernel, int dstSize, int srcSize, AxisExtent extent)
{
    double size = srcSize;
    double start = 0;  // zero unless the first sample is partial: the library's sums stay as they are
    if (extent.size > 0 && extent.size < srcSize) {
        size = extent.size;
        if (extent.partialFirst)
            start = srcSize - extent.size;
    }
    switch (kernel) {
    case ResampleKernel::Bicubic: return weightsFor(Bicubic(), dstSize, srcSize, size, start);
    case ResampleKernel::CatmullRom: return weightsFor(CatmullRom(), dstSize, srcSize, size, start);
    case ResampleKernel::Lanczos3: return weightsFor(Lanczos3(), dstSize, srcSize, size, start);
    }
    return {};
}

void resample(const SamplePlane& src, const SamplePlane& dst, ResampleKernel kernel, SimdLevel level,
              AxisExtent acrossExtent, AxisExtent downExtent, Precision precision)
{
    const auto across = [&] { return axisWeights(kernel, dst.width, src.width, acrossExtent); };
    const auto down = [&] { return axisWeights(kernel, dst.height, src.height, downExtent); };
    if (!simdLevelAvailable(level))
        level = bestSimdLevel();
    const int c = src.channels;
    // The library's bicubic is always summed in doubles: its bytes are the point.
    if (kernel == ResampleKernel::Bicubic)
        precision = Precision::Double;
    if (dst.width <= src.width) {
        if (src.width == dst.width) {
            if (src.height != dst.height) {
                resampleDown(src, dst, down(), level, precision);
            } else {
                for (int y = 0; y < src.height; ++y)
                    std::memcpy(dst.row(y), src.row(y), size_t(src.width) * size_t(c));
            }
        } else if (src.height == dst.height) {
            resampleAcross(src, dst, across(), level, precision);
        } else {
            OwnedPlane narrowed(dst.width, src.height, c);
            resampleAcross(src, narrowed.plane, across(), level, precision);
            resampleDown(narrowed.plane, dst, down(), level, precision);
        }
    } else if (src.height == dst.height) {
        resampleAcross(src, dst, across(), level, precision);
    } else {
        OwnedPlane lowered(src.width, dst.height, c);
        resampleDown(src, lowered.plane, down(), level, precision);
        resampleAcross(lowered.plane, dst, across(), level, precision);
    }
}

// --- the library's bitmaps -------------------------------------------------

namespace {

enum class PaletteKind { GreyUp, GreyDown, Other };

/// How the library classes an 8-bit palette: a grey ramp up or down, or
/// anything else; `grey` tells whether every entry is a grey.
PaletteKind paletteKind(const RGBQUAD* pal, bool& grey)
{
    PaletteKind kind = PaletteKind::GreyUp;
    grey = true;
    for (unsigned i = 0; i < 256; ++i) {
        if (pal[i].rgbRed != pal[i].rgbGreen || pal[i].rgbRed != pal[i].rgbBlue) {
            kind = PaletteKind::Other;
            grey = false;
            break;
        }
        // As the library does: an entry off the up ramp makes the palette a
        // down ramp when it lies on that one, else a palette of its own.
        if (kind != PaletteKind::Other && pal[i].rgbBlue != i)
            kind = 255 - i == pal[i].rgbBlue ? PaletteKind::GreyDown : PaletteKind::Other;
    }
    return kind;
}

SamplePlane planeOf(FIBITMAP* dib, int channels)
{
    return SamplePlane{FreeImage_GetBits(dib), std::ptrdiff_t(FreeImage_GetPitch(dib)), int(FreeImage_GetWidth(dib)),
                       int(FreeImage_GetHeight(dib)), channels};
}

bool takenSize(FIBITMAP* src, int width, int height)
{
    return src && FreeImage_HasPixels(src) && FreeImage_GetImageType(src) == FIT_BITMAP && width >= 1 && height >= 1
           && FreeImage_GetWidth(src) >= 1 && FreeImage_GetHeight(src) >= 1;
}

FIBITMAP* resampledInto(FIBITMAP* src, const SamplePlane& in, int width, int height, bool reversedGrey,
                        ResampleKernel kernel, SimdLevel level, SourceExtent extent = {},
                        Precision precision = Precision::Double)
{
    FIBITMAP* dst = FreeImage_AllocateT(FIT_BITMAP, width, height, in.channels == 3 ? 24 : 8, 0, 0, 0);
    if (!dst)
        return nullptr;
    if (reversedGrey) {
        RGBQUAD* pal = FreeImage_GetPalette(dst);
        for (int i = 0; i < 256; ++i)
            pal[i].rgbRed = pal[i].rgbGreen = pal[i].rgbBlue = BYTE(255 - i);
    }
    // The library keeps rows bottom up: the picture's bottom row is the plane's first.
    resample(in, planeOf(dst, in.channels), kernel, level, AxisExtent{extent.width, extent.partialLeft},
             AxisExtent{extent.height, !extent.partialTop}, precision);
    FreeImage_CloneMetadata(dst, src);
    return dst;
}

}  // namespace

FIBITMAP* rescaleLikeLibrary(FIBITMAP* src, int width, int height, SimdLevel level)
{
    if (!takenSize(src, width, height))
        return nullptr;
    // The same size is a plain copy in the library; leave it to it.
    if (FreeImage_GetWidth(src) == unsigned(width) && FreeImage_GetHeight(src) == unsigned(height))
        return nullptr;
    const unsigned bpp = FreeImage_GetBPP(src);
    if (bpp == 24)
        return resampledInto(src, planeOf(src, 3), width, height, false, ResampleKernel::Bicubic, level);
    // A transparent palette makes a 32-bit image; other depths are not ours.
    if (bpp != 8 || FreeImage_IsTransparent(src) || !FreeImage_GetPalette(src))
        return nullptr;
    bool grey = false;
    const RGBQUAD* pal = FreeImage_GetPalette(src);
    const PaletteKind kind = paletteKind(pal, grey);
    if (kind != PaletteKind::Other)
        return resampledInto(src, planeOf(src, 1), width, height, kind == PaletteKind::GreyDown,
                             ResampleKernel::Bicubic, level);
    // The library reads any other palette through its colours in its first
    // pass (the blue of a grey one) and gives 24 bits, or 8 for a grey one:
    // the same sums as over a copy already looked up.
    const int w = int(FreeImage_GetWidth(src));
    const int h = int(FreeImage_GetHeight(src));
    OwnedPlane looked(w, h, grey ? 1 : 3);
    for (int y = 0; y < h; ++y) {
        const BYTE* line = FreeImage_GetScanLine(src, y);
        std::uint8_t* o = looked.plane.row(y);
        for (int x = 0; x < w; ++x) {
            const RGBQUAD& e = pal[line[x]];
            if (grey) {
                o[x] = e.rgbBlue;
            } else {
                o[x * 3 + FI_RGBA_RED] = e.rgbRed;
                o[x * 3 + FI_RGBA_GREEN] = e.rgbGreen;
                o[x * 3 + FI_RGBA_BLUE] = e.rgbBlue;
            }
        }
    }
    return resampledInto(src, looked.plane, width, height, false, ResampleKernel::Bicubic, level);
}

FIBITMAP* resampleBitmap(FIBITMAP* src, int width, int height, ResampleKernel kernel, SimdLevel level,
                         SourceExtent extent, Precision precision)
{
    if (!takenSize(src, width, height))
        return nullptr;
    const unsigned bpp = FreeImage_GetBPP(src);
    if (bpp == 24)
        return resampledInto(src, planeOf(src, 3), width, height, false, kernel, level, extent, precision);
    bool grey = false;
    if (bpp == 8 && !FreeImage_IsTransparent(src) && FreeImage_GetPalette(src)
        && paletteKind(FreeImage_GetPalette(src), grey) == PaletteKind::GreyUp)
        return resampledInto(src, planeOf(src, 1), width, height, false, kernel, level, extent, precision);
    return nullptr;
}

}  // namespace fotolista
