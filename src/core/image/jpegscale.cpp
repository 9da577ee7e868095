#include "core/image/jpegscale.h"

#include "core/image/bitmapaccess.h"
#include "core/image/jpeg/jpegdecoder.h"

#include <FreeImage.h>

#include <QtGlobal>

#include <csetjmp>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

namespace fotolista {

int jpegEighths(ImageSize size, int targetWidth)
{
    if (size.width < 1 || size.height < 1 || targetWidth < 1)
        return 8;
    const double wanted = kJpegReadMargin * targetWidth;
    for (int eighths = 1; eighths < 8; ++eighths) {
        if ((qint64(size.width) * eighths + 7) / 8 >= wanted)
            return eighths;
    }
    return 8;
}

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    bool truncated = false;
};

[[noreturn]] void leave(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void note(j_common_ptr cinfo, int level)
{
    // Warnings only: a file that ends early is filled with grey by the
    // decoder, and such a photo must not be published as it is.
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF)
        reinterpret_cast<ErrorManager*>(cinfo->err)->truncated = true;
}

void silent(j_common_ptr) {}

/// The decoding itself, between setjmp and the decoder's calls: nothing here
/// has a destructor for a longjmp to skip.
FIBITMAP* decode(jpeg_decompress_struct& cinfo, ErrorManager& errors, std::span<const std::byte> jpeg, int eighths,
                 qint64 maxPixels)
{
    FIBITMAP* volatile dib = nullptr;
    if (setjmp(errors.jump)) {
        if (dib)
            FreeImage_Unload(dib);
        return nullptr;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(jpeg.data()), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    const bool grey = cinfo.num_components == 1;
    if (!grey && cinfo.num_components != 3)
        return nullptr;
    cinfo.out_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR;  // FreeImage's order on this platform
    cinfo.scale_num = unsigned(eighths);
    cinfo.scale_denom = 8;
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.do_fancy_upsampling = TRUE;
    jpeg_calc_output_dimensions(&cinfo);
    if (cinfo.output_width < 1 || cinfo.output_height < 1
        || qint64(cinfo.output_width) * cinfo.output_height > maxPixels)
        return nullptr;
    jpeg_start_decompress(&cinfo);
    dib = allocateJpegPicture(int(cinfo.output_width), int(cinfo.output_height), grey, cinfo.density_unit,
                              cinfo.X_density, cinfo.Y_density);
    if (!dib)
        return nullptr;
    while (cinfo.output_scanline < cinfo.output_height) {
        // The library keeps its rows bottom up.
        JSAMPROW row = FreeImage_GetScanLine(dib, int(cinfo.output_height - 1 - cinfo.output_scanline));
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    if (errors.truncated) {
        FreeImage_Unload(dib);
        return nullptr;
    }
    return dib;
}

/// Our decoder first, unless the build leaves it out or FOTOLISTA_LIBJPEG_ONLY=1
/// asks for libjpeg alone, to tell a fault of ours from one of the file's.
bool ownDecoderFirst()
{
    static const bool libjpegOnly = qEnvironmentVariableIntValue("FOTOLISTA_LIBJPEG_ONLY") != 0;
    return FOTOLISTA_OWN_JPEG && !libjpegOnly;
}

}  // namespace

Bitmap decodeJpegReduced(std::span<const std::byte> jpeg, int eighths, qint64 maxPixels)
{
    if (ownDecoderFirst()) {
        if (Bitmap own = decodeJpegReducedByOurs(jpeg, eighths, maxPixels); !own.isNull())
            return own;
    }
    return decodeJpegReducedByLibjpeg(jpeg, eighths, maxPixels);
}

Bitmap decodeJpegReducedByOurs(std::span<const std::byte> jpeg, int eighths, qint64 maxPixels,
                               RefineInstructions instructions)
{
    return adoptDib(decodeJpegReducedDib(jpeg, eighths, maxPixels, instructions));
}

Bitmap decodeJpegReducedByLibjpeg(std::span<const std::byte> jpeg, int eighths, qint64 maxPixels)
{
    if (jpeg.empty() || eighths < 1 || eighths > 8)
        return {};
    jpeg_decompress_struct cinfo{};  // destroying it is then safe even if creating it failed
    ErrorManager errors;
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = leave;
    errors.pub.emit_message = note;
    errors.pub.output_message = silent;
    FIBITMAP* dib = decode(cinfo, errors, jpeg, eighths, maxPixels);
    jpeg_destroy_decompress(&cinfo);
    return adoptDib(dib);
}

}  // namespace fotolista
