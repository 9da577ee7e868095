#pragma once

#include "core/image/rescale.h"

#include <QByteArray>
#include <QString>

#include <memory>

struct FIBITMAP;

namespace fotolista {

/// Formats the program reads and writes, with the image library's numbers.
enum class ImageFormat { Jpeg = 2, Png = 13, Tiff = 18 };

/// JPEG save flags for the four quality items.
inline constexpr int kJpegDefault = 0;
inline constexpr int kJpegQualitySuperb = 0x80;
inline constexpr int kJpegQualityNormal = 0x200;
inline constexpr int kJpegQualityAverage = 0x400;
inline constexpr int kJpegQualityBad = 0x800;
/// Lossless size options of a JPEG save: optimised Huffman tables, and the
/// progressive layout of the same coefficients.
inline constexpr int kJpegOptimize = 0x20000;
inline constexpr int kJpegProgressive = 0x2000;

struct BitmapHandle;

/// One image of the image library, released when it goes out of scope. A
/// default or failed bitmap is null; every operation on a null bitmap fails.
class Bitmap {
public:
    Bitmap();
    ~Bitmap();
    Bitmap(Bitmap&&) noexcept;
    Bitmap& operator=(Bitmap&&) noexcept;
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    /// Decodes a file (flags 0); null when it cannot be read or decoded.
    static Bitmap load(ImageFormat format, const QString& path);
    /// A 24-bit picture from rows of 8-bit red, green, blue, the top row
    /// first, `stride` bytes apart; null when it cannot be allocated.
    static Bitmap fromRgbRows(int width, int height, const unsigned char* rows, qsizetype stride);

    bool isNull() const { return !m_handle; }
    int width() const;
    int height() const;
    /// 8 for greyscale and palette pictures, 24 for colour, others for deep colour.
    int bitsPerPixel() const;

    /// Bicubic rescale to an exact size, with the very bytes of the image
    /// library's (see rescale.h), which it leaves to the library for the
    /// layouts it does not take; null when it fails or a side is below 1.
    Bitmap rescaled(int width, int height) const;
    /// The same at a chosen instruction set, for tests.
    Bitmap rescaled(int width, int height, SimdLevel level) const;
    /// Resampled to an exact size with `kernel`, over the part of the
    /// picture `extent` says (all of it by default); a layout the resampler
    /// does not take is rescaled bicubic instead.
    Bitmap resampled(int width, int height, ResampleKernel kernel, SourceExtent extent = {},
                     Precision precision = Precision::Double) const;

    /// A 24-bit copy: greyscale and palette pictures in colour, 16-bit,
    /// 32-bit, 48/64-bit, floating point, 1- or 4-bit ones reduced or
    /// widened; null when it cannot convert.
    Bitmap convertedTo24Bits() const;

    void reset();

private:
    friend bool pasteBitmap(Bitmap& target, const Bitmap& source, int left, int top, int alpha);
    friend QByteArray encodeBitmap(ImageFormat format, const Bitmap& bitmap, int flags);
    friend Bitmap wrapHandle(BitmapHandle* handle);
    friend FIBITMAP* dibOf(const Bitmap& bitmap);
    explicit Bitmap(BitmapHandle* handle);
    BitmapHandle* m_handle = nullptr;
};

/// Pastes `source` into `target` at (left, top): alpha 256 copies, 0..255
/// blends. True only when the library reports success: a piece that does not
/// fit inside the target, or whose bit depth exceeds the target's, is refused.
bool pasteBitmap(Bitmap& target, const Bitmap& source, int left, int top, int alpha);

/// Encodes `bitmap` in memory and writes it with writeFileSafely()
/// (base/safewrite.h): a failed save never leaves a partial file nor harms
/// an existing one, no link is followed, and a file the user made read-only
/// is not replaced. True on success.
bool saveBitmap(ImageFormat format, const Bitmap& bitmap, const QString& path, int flags);

/// `bitmap` encoded in memory; empty when it cannot be encoded.
QByteArray encodeBitmap(ImageFormat format, const Bitmap& bitmap, int flags);

/// `bitmap` as a JPEG at `flags` with optimised tables, baseline or
/// progressive, whichever is smaller (baseline on a tie): the same quantised
/// coefficients as a plain save, so the same decoded pixels in fewer bytes.
/// Empty when it cannot be encoded.
QByteArray smallestJpeg(const Bitmap& bitmap, int flags);

/// Routes the image library's messages away from the terminal. Call once.
void initialiseImageLibrary();

}  // namespace fotolista
