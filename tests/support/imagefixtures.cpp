#include "support/imagefixtures.h"

#include "core/image/bitmap.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <FreeImage.h>

#include <cstring>
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

using namespace fotolista;

namespace fixtures {

namespace {

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

FIBITMAP* solid(int width, int height, int bpp, quint32 rgb)
{
    FIBITMAP* dib = FreeImage_Allocate(width, height, bpp);
    if (!dib)
        return nullptr;
    RGBQUAD c{};
    c.rgbRed = BYTE(rgb >> 16);
    c.rgbGreen = BYTE(rgb >> 8);
    c.rgbBlue = BYTE(rgb);
    c.rgbReserved = 0xFF;
    FreeImage_FillBackground(dib, &c, 0);
    return dib;
}

/// A file decoded by the format its contents show; null when it does not decode.
FIBITMAP* loadAny(const QString& path)
{
    const QByteArray name = native(path);
    const FREE_IMAGE_FORMAT fif = FreeImage_GetFileType(name.constData(), 0);
    return fif == FIF_UNKNOWN ? nullptr : FreeImage_Load(fif, name.constData(), 0);
}

bool saveAndUnload(FIBITMAP* dib, FREE_IMAGE_FORMAT fif, const QString& path, int flags)
{
    initialiseImageLibrary();
    if (!dib)
        return false;
    const bool ok = FreeImage_Save(fif, dib, native(path).constData(), flags) == TRUE;
    FreeImage_Unload(dib);
    return ok;
}

}  // namespace

bool writeJpeg(const QString& path, int width, int height, quint32 rgb)
{
    return saveAndUnload(solid(width, height, 24, rgb), FIF_JPEG, path, 90);
}

bool writeTwoToneJpeg(const QString& path, int width, int height, quint32 left, quint32 right)
{
    FIBITMAP* dib = solid(width, height, 24, left);
    if (!dib)
        return false;
    RGBQUAD c{};
    c.rgbRed = BYTE(right >> 16);
    c.rgbGreen = BYTE(right >> 8);
    c.rgbBlue = BYTE(right);
    for (int y = 0; y < height; ++y)
        for (int x = width / 2; x < width; ++x)
            FreeImage_SetPixelColor(dib, x, y, &c);
    return saveAndUnload(dib, FIF_JPEG, path, 90);
}

bool writePhotoJpeg(const QString& path, int width, int height, int flags, bool grey)
{
    FIBITMAP* dib = FreeImage_Allocate(width, height, grey ? 8 : 24);
    if (!dib)
        return false;
    if (grey) {
        RGBQUAD* palette = FreeImage_GetPalette(dib);
        for (int i = 0; i < 256; ++i)
            palette[i].rgbRed = palette[i].rgbGreen = palette[i].rgbBlue = BYTE(i);
    }
    quint32 seed = 12345;
    const auto grain = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return int((seed >> 16) % 7) - 3;
    };
    const auto clamp = [](double v) { return BYTE(std::lround(std::min(255.0, std::max(0.0, v)))); };
    const double cx = width * 0.6, cy = height * 0.45, rx = width * 0.25, ry = height * 0.3;
    for (int y = 0; y < height; ++y) {
        BYTE* line = FreeImage_GetScanLine(dib, height - 1 - y);
        for (int x = 0; x < width; ++x) {
            double r = 205 + 20.0 * x / width, g = 195 + 15.0 * y / height, b = 200;
            const double dx = (x - cx) / rx, dy = (y - cy) / ry;
            if (dx * dx + dy * dy < 1) {
                // Saturated blue with soft shading and a band of fine stripes.
                const double shade = 0.6 + 0.4 * std::cos(3.0 * dx + 1.5 * dy);
                r = 10 * shade;
                g = 60 * shade;
                b = 250 * shade;
                if (std::abs(dy) < 0.3)
                    b += 30 * std::sin((x + y) * 1.3);
            }
            const int n = grain();
            if (grey) {
                line[x] = clamp(0.3 * r + 0.59 * g + 0.11 * b + n);
            } else {
                line[x * 3 + FI_RGBA_RED] = clamp(r + n);
                line[x * 3 + FI_RGBA_GREEN] = clamp(g + n);
                line[x * 3 + FI_RGBA_BLUE] = clamp(b + n);
            }
        }
    }
    return saveAndUnload(dib, FIF_JPEG, path, flags);
}

bool writeProductShot(const QString& path, int width, int height, int left, int top, int boxWidth, int boxHeight,
                      quint32 product)
{
    FIBITMAP* dib = solid(width, height, 24, 0xFFFFFF);
    if (!dib)
        return false;
    RGBQUAD c{};
    c.rgbRed = BYTE(product >> 16);
    c.rgbGreen = BYTE(product >> 8);
    c.rgbBlue = BYTE(product);
    // The library's rows run bottom up.
    for (int y = top; y < top + boxHeight; ++y)
        for (int x = left; x < left + boxWidth; ++x)
            FreeImage_SetPixelColor(dib, x, height - 1 - y, &c);
    RGBQUAD dust{};
    FreeImage_SetPixelColor(dib, 2, 2, &dust);
    const bool png = path.endsWith(".png");
    return saveAndUnload(dib, png ? FIF_PNG : FIF_JPEG, path, png ? 0 : 95);
}

bool writePng(const QString& path, int width, int height, quint32 rgb, bool withAlpha)
{
    FIBITMAP* dib = solid(width, height, withAlpha ? 32 : 24, rgb);
    if (dib && withAlpha) {
        // Half-transparent: a fully opaque 32-bit image would be saved as 24-bit.
        for (int y = 0; y < height; ++y) {
            BYTE* line = FreeImage_GetScanLine(dib, y);
            for (int x = 0; x < width; ++x)
                line[x * 4 + FI_RGBA_ALPHA] = 0x80;
        }
    }
    return saveAndUnload(dib, FIF_PNG, path, 0);
}

bool writeTiff(const QString& path, int width, int height, TiffKind kind, quint32 rgb)
{
    switch (kind) {
    case TiffKind::Rgb24: return saveAndUnload(solid(width, height, 24, rgb), FIF_TIFF, path, TIFF_NONE);
    case TiffKind::Rgba32: return saveAndUnload(solid(width, height, 32, rgb), FIF_TIFF, path, TIFF_NONE);
    case TiffKind::Grey8: {
        FIBITMAP* dib = FreeImage_Allocate(width, height, 8);
        if (!dib)
            return false;
        RGBQUAD* pal = FreeImage_GetPalette(dib);
        for (int i = 0; i < 256; ++i)
            pal[i].rgbRed = pal[i].rgbGreen = pal[i].rgbBlue = BYTE(i);
        const BYTE level = BYTE(rgb & 0xFF);
        for (int y = 0; y < height; ++y) {
            BYTE* line = FreeImage_GetScanLine(dib, y);
            for (int x = 0; x < width; ++x)
                line[x] = level;
        }
        return saveAndUnload(dib, FIF_TIFF, path, TIFF_NONE);
    }
    case TiffKind::Rgb48: {
        FIBITMAP* dib = FreeImage_AllocateT(FIT_RGB16, width, height);
        if (!dib)
            return false;
        for (int y = 0; y < height; ++y) {
            auto* line = reinterpret_cast<FIRGB16*>(FreeImage_GetScanLine(dib, y));
            for (int x = 0; x < width; ++x) {
                line[x].red = WORD(((rgb >> 16) & 0xFF) * 257);
                line[x].green = WORD(((rgb >> 8) & 0xFF) * 257);
                line[x].blue = WORD((rgb & 0xFF) * 257);
            }
        }
        return saveAndUnload(dib, FIF_TIFF, path, TIFF_NONE);
    }
    }
    return false;
}

bool samePixels(const QByteArray& a, const QByteArray& b)
{
    const auto load = [](const QByteArray& bytes) {
        FIMEMORY* m =
            FreeImage_OpenMemory(reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())), DWORD(bytes.size()));
        FIBITMAP* dib = FreeImage_LoadFromMemory(FreeImage_GetFileTypeFromMemory(m, 0), m, 0);
        FreeImage_CloseMemory(m);
        return dib;
    };
    FIBITMAP* x = load(a);
    FIBITMAP* y = load(b);
    bool same = x && y && FreeImage_GetWidth(x) == FreeImage_GetWidth(y)
                && FreeImage_GetHeight(x) == FreeImage_GetHeight(y) && FreeImage_GetBPP(x) == FreeImage_GetBPP(y);
    const unsigned rowBytes = x ? FreeImage_GetLine(x) : 0;
    for (unsigned r = 0; same && r < FreeImage_GetHeight(x); ++r)
        same = std::memcmp(FreeImage_GetScanLine(x, int(r)), FreeImage_GetScanLine(y, int(r)), rowBytes) == 0;
    FreeImage_Unload(x);
    FreeImage_Unload(y);
    return same;
}

QByteArray referenceJpeg(const QString& source, int width, int height, int flags)
{
    FIBITMAP* decoded = FreeImage_Load(FIF_JPEG, native(source).constData(), 0);
    FIBITMAP* rescaled = decoded ? FreeImage_Rescale(decoded, width, height, FILTER_BICUBIC) : nullptr;
    FIMEMORY* memory = FreeImage_OpenMemory();
    QByteArray bytes;
    if (rescaled && FreeImage_SaveToMemory(FIF_JPEG, rescaled, memory, flags)) {
        BYTE* data = nullptr;
        DWORD size = 0;
        FreeImage_AcquireMemory(memory, &data, &size);
        bytes = QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
    }
    FreeImage_CloseMemory(memory);
    FreeImage_Unload(rescaled);
    FreeImage_Unload(decoded);
    return bytes;
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

namespace {

std::vector<jpeg_scan_info> scanScript(ScanScript script, int components)
{
    std::vector<jpeg_scan_info> scans;
    auto add = [&](int component, int ss, int se, int ah, int al) {
        jpeg_scan_info scan{};
        if (component < 0) {
            scan.comps_in_scan = components;
            for (int i = 0; i < components; ++i)
                scan.component_index[i] = i;
        } else {
            scan.comps_in_scan = 1;
            scan.component_index[0] = component;
        }
        scan.Ss = ss;
        scan.Se = se;
        scan.Ah = ah;
        scan.Al = al;
        scans.push_back(scan);
    };
    if (script == ScanScript::BandsOnly) {
        add(-1, 0, 0, 0, 0);
        add(0, 1, 2, 0, 0);
        add(0, 3, 20, 0, 0);
        add(0, 21, 63, 0, 0);
        for (int c = 1; c < components; ++c)
            add(c, 1, 63, 0, 0);
    } else {
        add(-1, 0, 0, 0, 2);
        for (int c = 0; c < components; ++c)
            add(c, 1, 63, 0, 2);
        for (int al = 1; al >= 0; --al) {
            add(-1, 0, 0, al + 1, al);
            for (int c = 0; c < components; ++c)
                add(c, 1, 63, al + 1, al);
        }
    }
    return scans;
}

}  // namespace

QByteArray rescanJpeg(const QByteArray& jpeg, ScanScript script, int restartInterval)
{
    jpeg_decompress_struct in{};
    jpeg_compress_struct out{};
    jpeg_error_mgr inErrors{}, outErrors{};
    in.err = jpeg_std_error(&inErrors);
    out.err = jpeg_std_error(&outErrors);
    jpeg_create_decompress(&in);
    jpeg_create_compress(&out);
    jpeg_mem_src(&in, reinterpret_cast<const unsigned char*>(jpeg.constData()),
                 static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&in, TRUE);
    jvirt_barray_ptr* coefficients = jpeg_read_coefficients(&in);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&out, &buffer, &size);
    jpeg_copy_critical_parameters(&in, &out);
    out.restart_interval = unsigned(restartInterval);
    const std::vector<jpeg_scan_info> scans = scanScript(script, in.num_components);
    if (script == ScanScript::Simple) {
        jpeg_simple_progression(&out);
    } else if (script != ScanScript::Baseline) {
        out.scan_info = scans.data();
        out.num_scans = int(scans.size());
    }
    jpeg_write_coefficients(&out, coefficients);
    jpeg_finish_compress(&out);
    jpeg_finish_decompress(&in);
    jpeg_destroy_compress(&out);
    jpeg_destroy_decompress(&in);
    QByteArray result(reinterpret_cast<const char*>(buffer), qsizetype(size));
    std::free(buffer);
    return result;
}

QByteArray jpegClaimingSize(QByteArray jpeg, int width, int height)
{
    const qsizetype sof = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
    if (sof < 0 || sof + 9 > jpeg.size())
        return {};
    jpeg[sof + 5] = char(height >> 8);
    jpeg[sof + 6] = char(height & 0xFF);
    jpeg[sof + 7] = char(width >> 8);
    jpeg[sof + 8] = char(width & 0xFF);
    return jpeg;
}

QStringList filesUnder(const QString& folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(folder).relativeFilePath(it.next());
    out.sort();
    return out;
}

Decoded decode(const QString& path)
{
    Decoded d;
    FIBITMAP* dib = loadAny(path);
    if (!dib)
        return d;
    d.width = int(FreeImage_GetWidth(dib));
    d.height = int(FreeImage_GetHeight(dib));
    d.bpp = int(FreeImage_GetBPP(dib));
    FreeImage_Unload(dib);
    return d;
}

quint32 pixelAt(const QString& path, int x, int y)
{
    const Picture p = picture(path);
    return p.rgb.isEmpty() ? 0xFFFFFFFF : p.at(x, y);
}

Picture picture(const QString& path)
{
    Picture p;
    FIBITMAP* dib = loadAny(path);
    if (!dib)
        return p;
    p.width = int(FreeImage_GetWidth(dib));
    p.height = int(FreeImage_GetHeight(dib));
    const bool grey = FreeImage_GetBPP(dib) == 8;
    p.rgb.reserve(qsizetype(p.width) * p.height);
    for (int y = p.height - 1; y >= 0; --y)
        for (int x = 0; x < p.width; ++x) {
            RGBQUAD c{};
            BYTE i = 0;
            if (grey && FreeImage_GetPixelIndex(dib, x, y, &i))
                c.rgbRed = c.rgbGreen = c.rgbBlue = i;
            else
                FreeImage_GetPixelColor(dib, x, y, &c);
            p.rgb << ((quint32(c.rgbRed) << 16) | (quint32(c.rgbGreen) << 8) | c.rgbBlue);
        }
    FreeImage_Unload(dib);
    return p;
}

double psnr(const QString& a, const QString& b)
{
    const auto load = [](const QString& path) -> FIBITMAP* {
        FIBITMAP* dib = loadAny(path);
        if (!dib)
            return nullptr;
        FIBITMAP* rgb = FreeImage_ConvertTo24Bits(dib);
        FreeImage_Unload(dib);
        return rgb;
    };
    FIBITMAP* x = load(a);
    FIBITMAP* y = load(b);
    double result = -1;
    if (x && y && FreeImage_GetWidth(x) == FreeImage_GetWidth(y) && FreeImage_GetHeight(x) == FreeImage_GetHeight(y)) {
        const unsigned w = FreeImage_GetWidth(x);
        const unsigned h = FreeImage_GetHeight(x);
        double sum = 0;
        for (unsigned row = 0; row < h; ++row) {
            const BYTE* p = FreeImage_GetScanLine(x, int(row));
            const BYTE* q = FreeImage_GetScanLine(y, int(row));
            for (unsigned i = 0; i < w * 3; ++i) {
                const double d = double(p[i]) - double(q[i]);
                sum += d * d;
            }
        }
        const double mse = sum / (double(w) * h * 3);
        result = mse == 0 ? std::numeric_limits<double>::infinity() : 10.0 * std::log10(255.0 * 255.0 / mse);
    }
    if (x)
        FreeImage_Unload(x);
    if (y)
        FreeImage_Unload(y);
    return result;
}

bool near(quint32 a, quint32 b, int tolerance)
{
    for (int shift : {16, 8, 0})
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance)
            return false;
    return true;
}

}  // namespace fixtures
