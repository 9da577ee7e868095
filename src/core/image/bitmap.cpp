#include "core/image/bitmap.h"

#include "core/base/safewrite.h"
#include "core/image/bitmapaccess.h"
#include "core/image/heaptuning.h"
#include "core/image/jpegencoder.h"
#include "core/image/libraryload.h"
#include "core/image/photoheader.h"

#include <QByteArray>

#include <FreeImage.h>
#include <tiffio.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace fotolista {

struct BitmapHandle {
    FIBITMAP* dib;
};

namespace {

FIBITMAP* dibOf(const BitmapHandle* h)
{
    return h ? h->dib : nullptr;
}

// Whether the decoder said, during the last load on this thread, that the
// picture is incomplete or damaged although it handed one over.
thread_local bool t_damaged = false;

void noteMessage(FREE_IMAGE_FORMAT, const char* message)
{
    // libjpeg only warns about a file that ends early and fills the rest of
    // the picture with grey; the TIFF reader goes on past strips it could not
    // read and leaves them black or as they were: such a photo must not be
    // published as it is.
    if (message
        && (std::strstr(message, "Premature end of JPEG file") || std::strstr(message, "Warning: parsing error")))
        t_damaged = true;
}

void noteTiffWarning(const char* module, const char* format, va_list arguments)
{
    // libtiff passes on what libjpeg says of the JPEG strips of a TIFF.
    char text[256];
    std::vsnprintf(text, sizeof text, format, arguments);
    if (module && std::strcmp(module, "JPEGLib") == 0 && std::strstr(text, "Premature end of JPEG file"))
        t_damaged = true;
}

/// What the library made of a load: refused when it said the picture is
/// incomplete or damaged.
FIBITMAP* checked(FIBITMAP* dib)
{
    if (dib && t_damaged) {
        FreeImage_Unload(dib);
        dib = nullptr;
    }
    t_damaged = false;
    return dib;
}

/// Loads through the library, refusing a picture it said is incomplete.
FIBITMAP* loadChecked(FREE_IMAGE_FORMAT fif, const QString& path, int flags)
{
    t_damaged = false;
    return checked(libraryLoad(fif, path, flags));
}

/// The library's reading of a ByteSource, as if it were a file.
struct SourceHandle {
    ByteSource* source = nullptr;
    qint64 position = 0;
};

unsigned DLL_CALLCONV readSource(void* buffer, unsigned size, unsigned count, fi_handle handle)
{
    // Like fread: as many whole items as there are, the bytes of a partial one too.
    auto* h = static_cast<SourceHandle*>(handle);
    const qint64 wanted = qint64(size) * count;
    const qint64 there = std::clamp<qint64>(h->source->size() - h->position, 0, wanted);
    if (there == 0 || size == 0 || !h->source->read(h->position, buffer, there))
        return 0;
    h->position += there;
    return unsigned(there / size);
}

unsigned DLL_CALLCONV writeNothing(void*, unsigned, unsigned, fi_handle)
{
    return 0;
}

int DLL_CALLCONV seekSource(fi_handle handle, long offset, int origin)
{
    auto* h = static_cast<SourceHandle*>(handle);
    const qint64 from = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? h->position : h->source->size();
    if (from + offset < 0)
        return -1;
    h->position = from + offset;
    return 0;
}

long DLL_CALLCONV tellSource(fi_handle handle)
{
    return long(static_cast<SourceHandle*>(handle)->position);
}

}  // namespace

Bitmap::Bitmap() = default;
Bitmap::Bitmap(BitmapHandle* handle) : m_handle(handle) {}
Bitmap::~Bitmap()
{
    reset();
}

Bitmap::Bitmap(Bitmap&& other) noexcept : m_handle(other.m_handle)
{
    other.m_handle = nullptr;
}

Bitmap& Bitmap::operator=(Bitmap&& other) noexcept
{
    if (this != &other) {
        reset();
        m_handle = other.m_handle;
        other.m_handle = nullptr;
    }
    return *this;
}

void Bitmap::reset()
{
    if (m_handle) {
        FreeImage_Unload(m_handle->dib);
        delete m_handle;
        m_handle = nullptr;
    }
}

static Bitmap wrap(FIBITMAP* dib);

Bitmap Bitmap::load(ImageFormat format, const QString& path)
{
    if (path.isEmpty())
        return {};
    return wrap(loadChecked(static_cast<FREE_IMAGE_FORMAT>(format), path, 0));
}

Bitmap wrapHandle(BitmapHandle* handle)
{
    return Bitmap(handle);
}

static Bitmap wrap(FIBITMAP* dib)
{
    if (!dib)
        return {};
    return wrapHandle(new BitmapHandle{dib});
}

int Bitmap::width() const
{
    return m_handle ? static_cast<int>(FreeImage_GetWidth(m_handle->dib)) : 0;
}
int Bitmap::height() const
{
    return m_handle ? static_cast<int>(FreeImage_GetHeight(m_handle->dib)) : 0;
}
int Bitmap::bitsPerPixel() const
{
    return m_handle ? static_cast<int>(FreeImage_GetBPP(m_handle->dib)) : 0;
}

Bitmap Bitmap::rescaled(int width, int height) const
{
    return rescaled(width, height, bestSimdLevel());
}

Bitmap Bitmap::rescaled(int width, int height, SimdLevel level) const
{
    if (!m_handle || width < 1 || height < 1)
        return {};
    if (FIBITMAP* ours = rescaleLikeLibrary(m_handle->dib, width, height, level))
        return wrap(ours);
    return wrap(FreeImage_Rescale(m_handle->dib, width, height, FILTER_BICUBIC));
}

Bitmap Bitmap::resampled(int width, int height, ResampleKernel kernel, SourceExtent extent, Precision precision) const
{
    if (!m_handle || width < 1 || height < 1)
        return {};
    if (FIBITMAP* ours = resampleBitmap(m_handle->dib, width, height, kernel, bestSimdLevel(), extent, precision))
        return wrap(ours);
    return rescaled(width, height);
}
Bitmap Bitmap::fromRgbRows(int width, int height, const unsigned char* rows, qsizetype stride)
{
    if (width < 1 || height < 1 || !rows)
        return {};
    FIBITMAP* dib = FreeImage_Allocate(width, height, 24, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK);
    if (!dib)
        return {};
    for (int y = 0; y < height; ++y) {
        // The library keeps its rows bottom first, in its own channel order.
        BYTE* out = FreeImage_GetScanLine(dib, height - 1 - y);
        const unsigned char* in = rows + qsizetype(y) * stride;
        for (int x = 0; x < width; ++x) {
            out[FI_RGBA_RED] = in[3 * x];
            out[FI_RGBA_GREEN] = in[3 * x + 1];
            out[FI_RGBA_BLUE] = in[3 * x + 2];
            out += 3;
        }
    }
    return wrap(dib);
}

Bitmap Bitmap::convertedTo24Bits() const
{
    if (!m_handle)
        return {};
    FIBITMAP* dib = m_handle->dib;
    switch (FreeImage_GetImageType(dib)) {
    case FIT_BITMAP:
    case FIT_RGB16:
    case FIT_RGBA16: return wrap(FreeImage_ConvertTo24Bits(dib));
    case FIT_RGBF:
    case FIT_RGBAF:
        // High dynamic range needs a tone curve to fit in 8 bits a channel.
        return wrap(FreeImage_ToneMapping(dib, FITMO_DRAGO03, 0, 0));
    default: {
        // Single-channel 16-bit, 32-bit, floating point: scaled to 8-bit grey first.
        FIBITMAP* grey = FreeImage_ConvertToStandardType(dib, TRUE);
        if (!grey)
            return {};
        FIBITMAP* rgb = FreeImage_ConvertTo24Bits(grey);
        FreeImage_Unload(grey);
        return wrap(rgb);
    }
    }
}

bool pasteBitmap(Bitmap& target, const Bitmap& source, int left, int top, int alpha)
{
    FIBITMAP* dst = dibOf(target.m_handle);
    FIBITMAP* src = dibOf(source.m_handle);
    if (!dst || !src)
        return false;
    return FreeImage_Paste(dst, src, left, top, alpha) == 1;
}

QByteArray encodeBitmap(ImageFormat format, const Bitmap& bitmap, int flags)
{
    FIBITMAP* dib = dibOf(bitmap.m_handle);
    FIMEMORY* memory = dib ? FreeImage_OpenMemory() : nullptr;
    if (!memory)
        return {};
    QByteArray bytes;
    BYTE* data = nullptr;
    DWORD size = 0;
    if (FreeImage_SaveToMemory(static_cast<FREE_IMAGE_FORMAT>(format), dib, memory, flags) == 1
        && FreeImage_AcquireMemory(memory, &data, &size) == TRUE && size > 0)
        bytes = QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
    FreeImage_CloseMemory(memory);
    return bytes;
}

bool saveBitmap(ImageFormat format, const Bitmap& bitmap, const QString& path, int flags)
{
    if (path.isEmpty())
        return false;
    const QByteArray bytes = encodeBitmap(format, bitmap, flags);
    return !bytes.isEmpty() && writeFileSafely(path, bytes);
}

QByteArray smallestJpeg(const Bitmap& bitmap, int flags)
{
    const auto smaller = [](const QByteArray& baseline, const QByteArray& progressive) {
        return !progressive.isEmpty() && progressive.size() < baseline.size() ? progressive : baseline;
    };
    const QByteArray ours = encodeOptimisedJpeg(bitmap, flags, JpegLayout::Baseline);
    if (!ours.isEmpty())
        return smaller(ours, encodeOptimisedJpeg(bitmap, flags, JpegLayout::Progressive));
    // What only the library writes (grey, palettes, metadata) takes its own layouts.
    const QByteArray baseline = encodeBitmap(ImageFormat::Jpeg, bitmap, flags | kJpegOptimize);
    if (baseline.isEmpty())
        return {};
    return smaller(baseline, encodeBitmap(ImageFormat::Jpeg, bitmap, flags | kJpegOptimize | kJpegProgressive));
}

void initialiseImageLibrary()
{
    static std::atomic<bool> done{false};
    if (done.exchange(true))
        return;
    FreeImage_SetOutputMessage(noteMessage);
    tuneHeapForImages();
    // libtiff's own handlers print every unknown tag of a camera file to
    // stderr; its warnings are only listened to for a strip cut short.
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(noteTiffWarning);
}

FIBITMAP* dibOf(const Bitmap& bitmap)
{
    return bitmap.m_handle ? bitmap.m_handle->dib : nullptr;
}

Bitmap adoptDib(FIBITMAP* dib)
{
    return wrap(dib);
}

Bitmap loadBitmap(int libraryFormat, const QString& path, int flags)
{
    if (path.isEmpty())
        return {};
    return wrap(loadChecked(static_cast<FREE_IMAGE_FORMAT>(libraryFormat), path, flags));
}

Bitmap loadBitmap(int libraryFormat, std::span<const std::byte> bytes, int flags)
{
    if (bytes.empty() || bytes.size() > 0x7fffffffu)
        return {};
    // The library only reads from the block it is given.
    FIMEMORY* memory =
        FreeImage_OpenMemory(reinterpret_cast<BYTE*>(const_cast<std::byte*>(bytes.data())), DWORD(bytes.size()));
    if (!memory)
        return {};
    t_damaged = false;
    FIBITMAP* dib = checked(FreeImage_LoadFromMemory(static_cast<FREE_IMAGE_FORMAT>(libraryFormat), memory, flags));
    FreeImage_CloseMemory(memory);
    return wrap(dib);
}

Bitmap loadBitmap(int libraryFormat, ByteSource& source, int flags)
{
    if (source.size() <= 0 || source.size() > 0x7fffffff)
        return {};
    FreeImageIO io{readSource, writeNothing, seekSource, tellSource};
    SourceHandle handle{&source, 0};
    t_damaged = false;
    return wrap(checked(FreeImage_LoadFromHandle(static_cast<FREE_IMAGE_FORMAT>(libraryFormat), &io, &handle, flags)));
}

}  // namespace fotolista
