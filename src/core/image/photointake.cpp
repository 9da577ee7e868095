#include "core/image/photointake.h"

#include "core/image/bitmapaccess.h"
#include "core/image/colourprofile.h"
#include "core/image/heifphoto.h"
#include "core/image/jpeg/markers.h"
#include "core/image/tiffheader.h"

#include <QFile>

#include <FreeImage.h>

#include <cstring>
#include <optional>
#include <utility>

namespace fotolista {

namespace {

/// A WebP without its EXIF, XMP and ICC chunks, and with the flags that
/// announce them cleared, for the same reasons as a JPEG's metadata
/// segments: the image library reads a WebP's EXIF with the same reader.
/// From a chunk whose size passes the end of the file on, the rest is kept
/// as it is.
QByteArray withoutMetadataChunks(const QByteArray& webp)
{
    const auto le32 = [&](qsizetype i) {
        return quint32(uchar(webp[i])) | quint32(uchar(webp[i + 1])) << 8 | quint32(uchar(webp[i + 2])) << 16
               | quint32(uchar(webp[i + 3])) << 24;
    };
    if (webp.size() < 12 || !webp.startsWith("RIFF") || webp.mid(8, 4) != "WEBP")
        return webp;
    QByteArray out = webp.left(12);
    qsizetype pos = 12;
    while (pos + 8 <= webp.size()) {
        const QByteArray fourcc = webp.mid(pos, 4);
        const qint64 room = qint64(le32(pos + 4)) + (le32(pos + 4) & 1);
        if (room > webp.size() - pos - 8)
            break;
        if (fourcc == "VP8X" && room >= 1) {
            QByteArray chunk = webp.mid(pos, 8 + room);
            chunk[8] = char(uchar(chunk[8]) & ~(0x20 | 0x08 | 0x04));  // ICC, EXIF, XMP
            out += chunk;
        } else if (fourcc != "EXIF" && fourcc != "XMP " && fourcc != "ICCP") {
            out += webp.mid(pos, 8 + room);
        }
        pos += 8 + room;
    }
    out += webp.mid(pos);
    const quint32 riff = quint32(out.size() - 8);
    for (int i = 0; i < 4; ++i)
        out[4 + i] = char(riff >> (8 * i));
    return out;
}

std::span<const std::byte> spanOf(const QByteArray& bytes)
{
    return {reinterpret_cast<const std::byte*>(bytes.constData()), size_t(bytes.size())};
}

/// Where the bytes come from: a file named by path, or a block of memory,
/// and the same bytes as a source to read from anywhere.
struct Input {
    QString path;
    std::span<const std::byte> bytes;
    ByteSource& source;

    Bitmap load(FREE_IMAGE_FORMAT fif, int flags) const
    {
        switch (fif) {
        case FIF_JPEG: {
            // The library's own readers of EXIF, ICC, IPTC and thumbnails
            // trust the counts a file declares: a damaged EXIF directory
            // made it read past its segment. The header reader has taken
            // what the intake uses (orientation, profile) already.
            const QByteArray plain = jpeg::withoutMetadataSegments(whole());
            return jpeg::endsEarly(plain) ? Bitmap() : loadBitmap(fif, spanOf(plain), flags);
        }
        case FIF_WEBP: return loadBitmap(fif, spanOf(withoutMetadataChunks(whole())), flags);
        case FIF_TIFF: return loadTiff(flags);
        default: return path.isEmpty() ? loadBitmap(fif, bytes, flags) : loadBitmap(fif, path, flags);
        }
    }

    /// Every byte, to leave the metadata out of.
    QByteArray whole() const
    {
        if (path.isEmpty())
            return QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    /// A TIFF as the library is given it: its first directory alone, with
    /// only the tags that describe the pixels (the header has checked them).
    Bitmap loadTiff(int flags) const
    {
        TiffReader tiff(source);
        std::optional<BytePatch> directory;
        if (tiff.open())
            directory = tiff.pixelDirectory();
        if (!directory)
            return {};
        OverlaidSource plain(source, std::move(*directory));
        return loadBitmap(FIF_TIFF, plain, flags);
    }
};

/// Drops everything but the pixels: EXIF (GPS, serial numbers, maker notes,
/// orientation), XMP, IPTC, comments, the colour profile and any thumbnail.
void stripMetadata(FIBITMAP* dib)
{
    if (!dib)
        return;
    for (int model = FIMD_COMMENTS; model <= FIMD_EXIF_RAW; ++model)
        FreeImage_SetMetadata(FREE_IMAGE_MDMODEL(model), dib, nullptr, nullptr);
    FreeImage_DestroyICCProfile(dib);
    FreeImage_SetThumbnail(dib, nullptr);
}

/// A new bitmap of the same resolution as `like` (sides swapped when `turned`).
Bitmap allocateLike(FIBITMAP* like, int width, int height, int bpp, bool turned = false)
{
    Bitmap b = adoptDib(FreeImage_Allocate(width, height, bpp));
    if (FIBITMAP* dib = dibOf(b)) {
        const unsigned x = FreeImage_GetDotsPerMeterX(like);
        const unsigned y = FreeImage_GetDotsPerMeterY(like);
        FreeImage_SetDotsPerMeterX(dib, turned ? y : x);
        FreeImage_SetDotsPerMeterY(dib, turned ? x : y);
    }
    return b;
}

BYTE toEight(WORD v)
{
    return BYTE((unsigned(v) * 255u + 32767u) / 65535u);
}

void greyPalette(FIBITMAP* dib)
{
    RGBQUAD* palette = FreeImage_GetPalette(dib);
    for (int i = 0; i < 256; ++i)
        palette[i].rgbRed = palette[i].rgbGreen = palette[i].rgbBlue = BYTE(i);
}

/// 8 bits a channel: 16-bit grey and colour are reduced linearly (never
/// stretched to the full range), palettes with transparency get an alpha
/// channel, odd depths become 24-bit; alpha stays for now.
Bitmap withEightBitChannels(Bitmap bitmap)
{
    FIBITMAP* dib = dibOf(bitmap);
    const int w = bitmap.width();
    const int h = bitmap.height();
    switch (FreeImage_GetImageType(dib)) {
    case FIT_UINT16: {
        Bitmap out = allocateLike(dib, w, h, 8);
        if (out.isNull())
            return out;
        greyPalette(dibOf(out));
        for (int y = 0; y < h; ++y) {
            const auto* src = reinterpret_cast<const WORD*>(FreeImage_GetScanLine(dib, y));
            BYTE* dst = FreeImage_GetScanLine(dibOf(out), y);
            for (int x = 0; x < w; ++x)
                dst[x] = toEight(src[x]);
        }
        return out;
    }
    case FIT_RGB16:
    case FIT_RGBA16: {
        const bool alpha = FreeImage_GetImageType(dib) == FIT_RGBA16;
        Bitmap out = allocateLike(dib, w, h, alpha ? 32 : 24);
        if (out.isNull())
            return out;
        const int step = alpha ? 4 : 3;
        for (int y = 0; y < h; ++y) {
            const BYTE* line = FreeImage_GetScanLine(dib, y);
            BYTE* dst = FreeImage_GetScanLine(dibOf(out), y);
            for (int x = 0; x < w; ++x, dst += step) {
                if (alpha) {
                    const auto* p = reinterpret_cast<const FIRGBA16*>(line) + x;
                    dst[FI_RGBA_RED] = toEight(p->red);
                    dst[FI_RGBA_GREEN] = toEight(p->green);
                    dst[FI_RGBA_BLUE] = toEight(p->blue);
                    dst[FI_RGBA_ALPHA] = toEight(p->alpha);
                } else {
                    const auto* p = reinterpret_cast<const FIRGB16*>(line) + x;
                    dst[FI_RGBA_RED] = toEight(p->red);
                    dst[FI_RGBA_GREEN] = toEight(p->green);
                    dst[FI_RGBA_BLUE] = toEight(p->blue);
                }
            }
        }
        return out;
    }
    case FIT_BITMAP: {
        const unsigned bpp = FreeImage_GetBPP(dib);
        if (bpp == 24 || (bpp == 32 && FreeImage_GetColorType(dib) == FIC_RGBALPHA))
            return bitmap;
        if (bpp <= 8 && FreeImage_IsTransparent(dib) && FreeImage_GetTransparencyCount(dib) > 0)
            return adoptDib(FreeImage_ConvertTo32Bits(dib));
        if (bpp == 8)
            return bitmap;
        return adoptDib(FreeImage_ConvertTo24Bits(dib));
    }
    default:
        // Floating point and 32-bit integers have no natural range: scaled.
        return bitmap.convertedTo24Bits();
    }
}

/// Colours described by `profile` turned into sRGB, in place.
void convertToSrgb(Bitmap& bitmap, const QByteArray& profile)
{
    FIBITMAP* dib = dibOf(bitmap);
    if (profile.isEmpty() || !dib)
        return;
    const unsigned bpp = FreeImage_GetBPP(dib);
    const int w = bitmap.width();
    const int h = bitmap.height();
    if (bpp == 8) {
        if (FreeImage_GetColorType(dib) == FIC_MINISBLACK) {
            const SrgbConversion c = SrgbConversion::forProfile(profile, PixelLayout::Grey8);
            if (!c.isNull())
                for (int y = 0; y < h; ++y)
                    c.convert(FreeImage_GetScanLine(dib, y), FreeImage_GetScanLine(dib, y), size_t(w));
        } else if (FreeImage_GetColorType(dib) == FIC_PALETTE) {
            // A palette picture: its colours are all in the palette.
            const SrgbConversion c = SrgbConversion::forProfile(profile, PixelLayout::Bgra8);
            if (!c.isNull())
                c.convert(FreeImage_GetPalette(dib), FreeImage_GetPalette(dib), FreeImage_GetColorsUsed(dib));
        }
        return;
    }
    if (bpp != 24 && bpp != 32)
        return;
    const SrgbConversion c = SrgbConversion::forProfile(profile, bpp == 24 ? PixelLayout::Bgr8 : PixelLayout::Bgra8);
    if (c.isNull())
        return;
    for (int y = 0; y < h; ++y)
        c.convert(FreeImage_GetScanLine(dib, y), FreeImage_GetScanLine(dib, y), size_t(w));
}

/// A 32-bit picture laid on white: what a web page behind it would show.
Bitmap overWhite(Bitmap bitmap)
{
    FIBITMAP* dib = dibOf(bitmap);
    if (!dib || FreeImage_GetBPP(dib) != 32)
        return bitmap;
    const int w = bitmap.width();
    const int h = bitmap.height();
    Bitmap out = allocateLike(dib, w, h, 24);
    if (out.isNull())
        return out;
    for (int y = 0; y < h; ++y) {
        const BYTE* src = FreeImage_GetScanLine(dib, y);
        BYTE* dst = FreeImage_GetScanLine(dibOf(out), y);
        for (int x = 0; x < w; ++x, src += 4, dst += 3) {
            const unsigned a = src[FI_RGBA_ALPHA];
            const unsigned white = 255u * (255u - a) + 127u;
            dst[FI_RGBA_RED] = BYTE((src[FI_RGBA_RED] * a + white) / 255u);
            dst[FI_RGBA_GREEN] = BYTE((src[FI_RGBA_GREEN] * a + white) / 255u);
            dst[FI_RGBA_BLUE] = BYTE((src[FI_RGBA_BLUE] * a + white) / 255u);
        }
    }
    return out;
}

/// A CMYK picture (32-bit, inks in byte order C, M, Y, K) turned into sRGB.
Bitmap cmykToSrgb(const Bitmap& cmyk, PixelLayout layout, const QByteArray& profile)
{
    FIBITMAP* dib = dibOf(cmyk);
    if (!dib || FreeImage_GetBPP(dib) != 32)
        return {};
    SrgbConversion c = SrgbConversion::forProfile(profile, layout);
    if (c.isNull())
        c = SrgbConversion::plainCmyk(layout);
    const int w = cmyk.width();
    const int h = cmyk.height();
    Bitmap out = allocateLike(dib, w, h, 24);
    if (out.isNull())
        return out;
    for (int y = 0; y < h; ++y)
        c.convert(FreeImage_GetScanLine(dib, y), FreeImage_GetScanLine(dibOf(out), y), size_t(w));
    return out;
}

/// Ready for rescaling: 8-bit channels, sRGB, no alpha, upright, no metadata.
Bitmap normalised(Bitmap bitmap, const QByteArray& profile, Orientation orientation)
{
    stripMetadata(dibOf(bitmap));
    if (bitmap.isNull())
        return bitmap;
    bitmap = withEightBitChannels(std::move(bitmap));
    convertToSrgb(bitmap, profile);
    bitmap = overWhite(std::move(bitmap));
    bitmap = orientedBitmap(std::move(bitmap), orientation);
    // Conversions copy what they find; nothing may be left by now.
    stripMetadata(dibOf(bitmap));
    return bitmap;
}

/// The source's pixels in stored order, decoded by the library its format
/// needs; inks come out already turned into sRGB, and then `profile` is
/// cleared, as it described the inks.
Bitmap decodeLibraryFormat(const Input& input, const PhotoHeader& header, QByteArray& profile)
{
    switch (header.format) {
    case PhotoFormat::Jpeg:
        if (header.cmyk) {
            // The library hands over the inks inverted: plain CMYK for an
            // Adobe file, inverted for the others.
            Bitmap inks = input.load(FIF_JPEG, JPEG_CMYK);
            stripMetadata(dibOf(inks));
            const PixelLayout layout = header.adobeInverted ? PixelLayout::Cmyk8 : PixelLayout::Cmyk8Inverted;
            return cmykToSrgb(inks, layout, std::exchange(profile, {}));
        }
        return input.load(FIF_JPEG, 0);
    case PhotoFormat::Tiff:
        if (header.cmyk) {
            Bitmap inks = input.load(FIF_TIFF, TIFF_CMYK);
            if (FreeImage_GetColorType(dibOf(inks)) == FIC_CMYK && inks.bitsPerPixel() == 32) {
                stripMetadata(dibOf(inks));
                return cmykToSrgb(inks, PixelLayout::Cmyk8, std::exchange(profile, {}));
            }
        }
        return input.load(FIF_TIFF, 0);
    case PhotoFormat::Png: return input.load(FIF_PNG, 0);
    case PhotoFormat::Webp: return input.load(FIF_WEBP, 0);
    case PhotoFormat::Heif:
    case PhotoFormat::Unknown: break;
    }
    return {};
}

DecodedPhoto decode(const Input& input, ByteSource& source, const PhotoHeader& header, const PhotoOptions& options)
{
    DecodedPhoto out;
    if (!header.readable()) {
        out.problem = header.problem.isEmpty() ? undecodablePhotoText() : header.problem;
        return out;
    }
    Orientation orientation = options.autorotate ? header.orientation : 1;
    QByteArray profile = header.iccProfile;
    Bitmap decoded;
    if (header.format == PhotoFormat::Heif) {
        HeifPicture heif = decodeHeif(source, options.autorotate);
        if (heif.bitmap.isNull()) {
            out.problem = heif.problem;
            return out;
        }
        decoded = std::move(heif.bitmap);
        orientation = 1;  // turned by libheif already
    } else {
        decoded = decodeLibraryFormat(input, header, profile);
    }
    out.bitmap = normalised(std::move(decoded), profile, orientation);
    // The limits were checked on the header's sizes: a picture that decodes
    // to other sizes is not what it claims to be.
    if (out.bitmap.width() != header.uprightWidth(options.autorotate)
        || out.bitmap.height() != header.uprightHeight(options.autorotate))
        out.bitmap.reset();
    if (out.bitmap.isNull())
        out.problem = undecodablePhotoText();
    return out;
}

template <int Bytes>
void copyRow(const BYTE* src, std::ptrdiff_t step, BYTE* dst, int count)
{
    for (int x = 0; x < count; ++x, src += step, dst += Bytes)
        std::memcpy(dst, src, Bytes);
}

/// Copies `from` into `to` turned as `o` says.
void copyPixels(FIBITMAP* from, FIBITMAP* to, Orientation o)
{
    const int w = int(FreeImage_GetWidth(from));
    const int h = int(FreeImage_GetHeight(from));
    const int bytes = int(FreeImage_GetBPP(from) / 8);
    const std::ptrdiff_t pitch = FreeImage_GetPitch(from);
    const BYTE* bits = FreeImage_GetBits(from);
    // Where the stored pixel (sx, sy), counted from the top left, lies: the
    // library keeps rows bottom up.
    const auto at = [&](int sx, int sy) {
        return bits + std::ptrdiff_t(h - 1 - sy) * pitch + std::ptrdiff_t(sx) * bytes;
    };
    const int tw = int(FreeImage_GetWidth(to));
    const int th = int(FreeImage_GetHeight(to));
    for (int y = 0; y < th; ++y) {
        // The stored pixels shown at (0, y) and at (1, y): one row of the
        // result walks the stored picture in a straight line.
        const BYTE* first = nullptr;
        std::ptrdiff_t step = 0;
        switch (o) {
        case 2:
            first = at(w - 1, y);
            step = -bytes;
            break;
        case 3:
            first = at(w - 1, h - 1 - y);
            step = -bytes;
            break;
        case 4:
            first = at(0, h - 1 - y);
            step = bytes;
            break;
        case 5:
            first = at(y, 0);
            step = -pitch;
            break;
        case 6:
            first = at(y, h - 1);
            step = pitch;
            break;
        case 7:
            first = at(w - 1 - y, h - 1);
            step = pitch;
            break;
        case 8:
            first = at(w - 1 - y, 0);
            step = -pitch;
            break;
        default:
            first = at(0, y);
            step = bytes;
            break;
        }
        BYTE* dst = FreeImage_GetScanLine(to, th - 1 - y);
        switch (bytes) {
        case 1: copyRow<1>(first, step, dst, tw); break;
        case 3: copyRow<3>(first, step, dst, tw); break;
        default: copyRow<4>(first, step, dst, tw); break;
        }
    }
}

}  // namespace

QString undecodablePhotoText()
{
    return QStringLiteral("la imagen está dañada o incompleta");
}

Bitmap orientedBitmap(Bitmap bitmap, Orientation orientation)
{
    if (bitmap.isNull() || orientation < 2 || orientation > 8)
        return bitmap;
    if (bitmap.bitsPerPixel() != 8 && bitmap.bitsPerPixel() != 24 && bitmap.bitsPerPixel() != 32) {
        bitmap = bitmap.convertedTo24Bits();
        if (bitmap.isNull())
            return bitmap;
    }
    FIBITMAP* dib = dibOf(bitmap);
    const bool turned = orientation >= 5;
    const int w = turned ? bitmap.height() : bitmap.width();
    const int h = turned ? bitmap.width() : bitmap.height();
    Bitmap out = allocateLike(dib, w, h, bitmap.bitsPerPixel(), turned);
    if (out.isNull())
        return out;
    if (bitmap.bitsPerPixel() == 8)
        std::memcpy(FreeImage_GetPalette(dibOf(out)), FreeImage_GetPalette(dib), 256 * sizeof(RGBQUAD));
    copyPixels(dib, dibOf(out), orientation);
    return out;
}

DecodedPhoto decodePhoto(const QString& path, const PhotoHeader& header, const PhotoOptions& options)
{
    FileSource file(path);
    return decode(Input{path, {}, file}, file, header, options);
}

DecodedPhoto decodePhoto(std::span<const std::byte> bytes, const PhotoOptions& options, qint64 maxPixels)
{
    MemorySource source(bytes);
    const PhotoHeader header = readPhotoHeader(source);
    if (header.readable() && qint64(header.width) * header.height > maxPixels) {
        DecodedPhoto out;
        out.problem = QStringLiteral("la imagen es demasiado grande");
        return out;
    }
    return decode(Input{{}, bytes, source}, source, header, options);
}

Bitmap finishPhoto(Bitmap decoded, const PhotoHeader& header, const PhotoOptions& options)
{
    return normalised(std::move(decoded), header.iccProfile, options.autorotate ? header.orientation : 1);
}

}  // namespace fotolista
