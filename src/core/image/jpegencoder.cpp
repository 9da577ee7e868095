#include "core/image/jpegencoder.h"

#include "core/image/bitmapaccess.h"

#include <FreeImage.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

namespace fotolista {

namespace {

// Sent in this order: the DC of all three, the lowest luma frequencies (most
// of what the eye sees first), each chroma's, then the rest of the luma.
const jpeg_scan_info kScans[] = {
    {3, {0, 1, 2, 0}, 0, 0, 0, 0},  {1, {0, 0, 0, 0}, 1, 5, 0, 0},  {1, {1, 0, 0, 0}, 1, 63, 0, 0},
    {1, {2, 0, 0, 0}, 1, 63, 0, 0}, {1, {0, 0, 0, 0}, 6, 63, 0, 0},
};

struct Failure {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void leave(j_common_ptr c)
{
    std::longjmp(reinterpret_cast<Failure*>(c->err)->jump, 1);
}

void keepQuiet(j_common_ptr) {}

// The image library's mapping of its quality flags.
int qualityOf(int flags)
{
    if ((flags & JPEG_QUALITYBAD) == JPEG_QUALITYBAD)
        return 10;
    if ((flags & JPEG_QUALITYAVERAGE) == JPEG_QUALITYAVERAGE)
        return 25;
    if ((flags & JPEG_QUALITYNORMAL) == JPEG_QUALITYNORMAL)
        return 50;
    if ((flags & JPEG_QUALITYGOOD) == JPEG_QUALITYGOOD)
        return 75;
    if ((flags & JPEG_QUALITYSUPERB) == JPEG_QUALITYSUPERB)
        return 100;
    return (flags & 0x7F) == 0 ? 75 : flags & 0x7F;
}

void setSampling(jpeg_compress_struct& c, int flags)
{
    int h = 0, v = 0;  // of the luma; the chroma stay at 1 x 1
    if ((flags & JPEG_SUBSAMPLING_411) == JPEG_SUBSAMPLING_411)
        h = 4, v = 1;
    else if ((flags & JPEG_SUBSAMPLING_420) == JPEG_SUBSAMPLING_420)
        h = 2, v = 2;
    else if ((flags & JPEG_SUBSAMPLING_422) == JPEG_SUBSAMPLING_422)
        h = 2, v = 1;
    else if ((flags & JPEG_SUBSAMPLING_444) == JPEG_SUBSAMPLING_444)
        h = 1, v = 1;
    if (h == 0)
        return;  // libjpeg's default, 4:2:0
    c.comp_info[0].h_samp_factor = h;
    c.comp_info[0].v_samp_factor = v;
    for (int i = 1; i < 3; ++i)
        c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
}

bool carriesMore(FIBITMAP* dib)
{
    const FIICCPROFILE* profile = FreeImage_GetICCProfile(dib);
    return FreeImage_GetThumbnail(dib) || (profile && profile->size > 0)
           || FreeImage_GetMetadataCount(FIMD_COMMENTS, dib) > 0 || FreeImage_GetMetadataCount(FIMD_IPTC, dib) > 0
           || FreeImage_GetMetadataCount(FIMD_XMP, dib) > 0 || FreeImage_GetMetadataCount(FIMD_EXIF_RAW, dib) > 0;
}

struct Output {
    unsigned char* data = nullptr;
    unsigned long size = 0;
};

// Only plain data lives in this frame, so leaving it by longjmp is sound.
bool compress(FIBITMAP* dib, int flags, JpegLayout layout, unsigned char* row, Output* out)
{
    jpeg_compress_struct c;
    Failure failure;
    c.err = jpeg_std_error(&failure.manager);
    failure.manager.error_exit = leave;
    failure.manager.output_message = keepQuiet;
    if (setjmp(failure.jump)) {
        jpeg_destroy_compress(&c);
        return false;
    }
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &out->data, &out->size);
    const unsigned width = FreeImage_GetWidth(dib);
    const unsigned height = FreeImage_GetHeight(dib);
    c.image_width = width;
    c.image_height = height;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    if (layout == JpegLayout::Progressive) {
        c.scan_info = kScans;
        c.num_scans = int(sizeof kScans / sizeof kScans[0]);
    }
    c.optimize_coding = TRUE;
    c.X_density = UINT16(0.5 + 0.0254 * FreeImage_GetDotsPerMeterX(dib));
    c.Y_density = UINT16(0.5 + 0.0254 * FreeImage_GetDotsPerMeterY(dib));
    c.density_unit = 1;
    setSampling(c, flags);
    jpeg_set_quality(&c, qualityOf(flags), TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < height) {
        // The library keeps its rows bottom up, blue first.
        const BYTE* pixel = FreeImage_GetScanLine(dib, int(height - c.next_scanline - 1));
        for (unsigned x = 0; x < width; ++x, pixel += 3) {
            row[3 * x] = pixel[FI_RGBA_RED];
            row[3 * x + 1] = pixel[FI_RGBA_GREEN];
            row[3 * x + 2] = pixel[FI_RGBA_BLUE];
        }
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return true;
}

}  // namespace

QByteArray encodeOptimisedJpeg(const Bitmap& bitmap, int flags, JpegLayout layout)
{
    FIBITMAP* dib = dibOf(bitmap);
    if (!dib || FreeImage_GetImageType(dib) != FIT_BITMAP || FreeImage_GetBPP(dib) != 24
        || FreeImage_GetColorType(dib) != FIC_RGB || carriesMore(dib) || (flags & JPEG_BASELINE) != 0)
        return {};
    auto* row = static_cast<unsigned char*>(std::malloc(size_t(FreeImage_GetWidth(dib)) * 3));
    if (!row)
        return {};
    Output out;
    QByteArray bytes;
    if (compress(dib, flags, layout, row, &out) && out.size > 0)
        bytes = QByteArray(reinterpret_cast<const char*>(out.data), qsizetype(out.size));
    std::free(out.data);
    std::free(row);
    return bytes;
}

}  // namespace fotolista
