#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct FIBITMAP;

namespace fotolista {

/// Kernels of the resampler. Bicubic is the image library's FILTER_BICUBIC
/// (Mitchell–Netravali, b = c = 1/3), weighted exactly as the library does.
enum class ResampleKernel { Bicubic, CatmullRom, Lanczos3 };

/// The instruction sets the passes are written for: Plain everywhere, SSE2
/// on every x86-64, AVX2 where the processor has it.
enum class SimdLevel { Plain, Sse2, Avx2 };

/// How the sums are formed: in double precision, in the image library's
/// order (every kernel), or in single precision where AVX2 is at hand, for
/// the fast read (Catmull-Rom and Lanczos; a sample may differ by one).
enum class Precision { Double, Single };

/// The best level the running processor takes.
SimdLevel bestSimdLevel();
bool simdLevelAvailable(SimdLevel level);

/// The weights of one axis. Every output takes `taps` consecutive source
/// samples from `start[i]`; shorter windows are padded with zero weights,
/// which leave every sum exactly as it was.
struct AxisWeights {
    int taps = 0;
    std::vector<int> start;
    std::vector<double> weights;  ///< `taps` per output
};
/// The passes across work on blocks of outputs whose source samples,
/// converted once (`bytesPerSample` each, all rows of a step together),
/// stay in the cache while the outputs use them: the outputs a block holds.
int outputsPerBlock(const AxisWeights& aw, int dstWidth, int srcWidth, int bytesPerSample);

/// How many of an axis's source samples a resampling spans: all of them
/// (size 0), or fewer where the first or the last is only partly picture.
struct AxisExtent {
    double size = 0;
    bool partialFirst = false;  ///< the partial sample is the first, not the last
};
AxisWeights axisWeights(ResampleKernel kernel, int dstSize, int srcSize, AxisExtent extent = {});

/// How much of a source picture a resampling spans, in its samples. A JPEG
/// read at a reduced scale rounds its sides up, so one column and one row
/// of it stand for only part of a pixel of the whole (the right and bottom
/// ones as stored; turning the picture moves them); spreading the copy over
/// the rounded sides would shift it by up to most of a pixel at one edge.
struct SourceExtent {
    double width = 0;  ///< 0: every column
    double height = 0;  ///< 0: every row
    bool partialLeft = false;  ///< the partial column is the left one
    bool partialTop = false;  ///< the partial row is the top one
};

/// Interleaved 8-bit samples, `channels` (1 or 3) per pixel; row y starts
/// at data + y × stride.
struct SamplePlane {
    std::uint8_t* data = nullptr;
    std::ptrdiff_t stride = 0;
    int width = 0;
    int height = 0;
    int channels = 0;
    std::uint8_t* row(int y) const { return data + y * stride; }
};

/// Separable two-pass resampling in the image library's manner: across
/// first when the width shrinks or stays, down first when it grows; sums of
/// double products in source order; an 8-bit buffer between the passes;
/// each result rounded as (int)(v + 0.5) and clamped to 0..255. Both planes
/// have sides of at least 1 and the same number of channels.
/// `across` and `down` are in the planes' own order of columns and rows.
void resample(const SamplePlane& src, const SamplePlane& dst, ResampleKernel kernel, SimdLevel level,
              AxisExtent across = {}, AxisExtent down = {}, Precision precision = Precision::Double);

/// FreeImage_Rescale(src, width, height, FILTER_BICUBIC), bit for bit: the
/// pixels, the bit depth and palette it chooses, and the metadata and
/// resolution it copies. Null for what it does not take (another image
/// type or depth, a transparent palette, the same size), which the caller
/// leaves to the library; the result is the caller's to unload.
FIBITMAP* rescaleLikeLibrary(FIBITMAP* src, int width, int height, SimdLevel level);

/// A 24-bit or 8-bit greyscale image resampled with `kernel` to an exact
/// size, with the source's metadata; null for any other layout.
FIBITMAP* resampleBitmap(FIBITMAP* src, int width, int height, ResampleKernel kernel, SimdLevel level,
                         SourceExtent extent = {}, Precision precision = Precision::Double);

}  // namespace fotolista
