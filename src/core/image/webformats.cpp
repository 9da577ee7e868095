#include "core/image/webformats.h"

#include "core/image/bitmapaccess.h"

#include <FreeImage.h>
#include <libheif/heif.h>
#include <webp/encode.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace fotolista {

namespace {

constexpr int kWebpMaxSide = WEBP_MAX_DIMENSION;  // 16383
constexpr int kAvifMaxSide = 65535;  // libheif's own bound on a side

/// The picture top to bottom, red, green, blue: what both encoders take.
/// Empty when it cannot be converted.
std::vector<uint8_t> rgbRows(const Bitmap& picture)
{
    Bitmap converted;
    const Bitmap* colour = &picture;
    if (picture.bitsPerPixel() != 24) {
        converted = picture.convertedTo24Bits();
        colour = &converted;
    }
    FIBITMAP* dib = dibOf(*colour);
    if (!dib || FreeImage_GetBPP(dib) != 24)
        return {};
    const size_t width = FreeImage_GetWidth(dib);
    const size_t height = FreeImage_GetHeight(dib);
    std::vector<uint8_t> rgb(width * height * 3);
    for (size_t y = 0; y < height; ++y) {
        // The library stores rows from the bottom, each blue, green, red on this machine.
        const BYTE* src = FreeImage_GetScanLine(dib, int(height - 1 - y));
        uint8_t* dst = rgb.data() + y * width * 3;
        for (size_t x = 0; x < width; ++x, src += 3, dst += 3) {
            dst[0] = src[FI_RGBA_RED];
            dst[1] = src[FI_RGBA_GREEN];
            dst[2] = src[FI_RGBA_BLUE];
        }
    }
    return rgb;
}

int writeToArray(const uint8_t* data, size_t size, const WebPPicture* picture)
{
    static_cast<QByteArray*>(picture->custom_ptr)->append(reinterpret_cast<const char*>(data), qsizetype(size));
    return 1;
}

QByteArray encodeWebp(const std::vector<uint8_t>& rgb, int width, int height, int quality)
{
    WebPConfig config;
    WebPPicture picture;
    if (!WebPConfigPreset(&config, WEBP_PRESET_PHOTO, float(quality)) || !WebPValidateConfig(&config)
        || !WebPPictureInit(&picture))
        return {};
    picture.width = width;
    picture.height = height;
    QByteArray bytes;
    picture.writer = writeToArray;
    picture.custom_ptr = &bytes;
    const bool ok = WebPPictureImportRGB(&picture, rgb.data(), width * 3) && WebPEncode(&config, &picture);
    WebPPictureFree(&picture);
    return ok ? bytes : QByteArray();
}

struct HeifDeleter {
    void operator()(heif_context* c) const { heif_context_free(c); }
    void operator()(heif_image* i) const { heif_image_release(i); }
    void operator()(heif_encoder* e) const { heif_encoder_release(e); }
    void operator()(heif_encoding_options* o) const { heif_encoding_options_free(o); }
    void operator()(heif_color_profile_nclx* n) const { heif_nclx_color_profile_free(n); }
};
template <typename T>
using HeifPtr = std::unique_ptr<T, HeifDeleter>;

heif_error appendTo(heif_context*, const void* data, size_t size, void* userdata)
{
    static_cast<QByteArray*>(userdata)->append(static_cast<const char*>(data), qsizetype(size));
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
}

/// The picture in libheif's interleaved RGB, tagged sRGB with the matrix a
/// browser expects of a photo (BT.601, full range).
HeifPtr<heif_image> heifPicture(const std::vector<uint8_t>& rgb, int width, int height)
{
    heif_image* raw = nullptr;
    if (heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &raw).code != heif_error_Ok)
        return {};
    HeifPtr<heif_image> image(raw);
    if (heif_image_add_plane(image.get(), heif_channel_interleaved, width, height, 8).code != heif_error_Ok)
        return {};
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
    if (!plane)
        return {};
    for (int y = 0; y < height; ++y)
        std::copy_n(rgb.data() + size_t(y) * size_t(width) * 3, size_t(width) * 3, plane + size_t(y) * size_t(stride));
    HeifPtr<heif_color_profile_nclx> nclx(heif_nclx_color_profile_alloc());
    if (!nclx)
        return {};
    nclx->color_primaries = heif_color_primaries_ITU_R_BT_709_5;
    nclx->transfer_characteristics = heif_transfer_characteristic_IEC_61966_2_1;
    nclx->matrix_coefficients = heif_matrix_coefficients_ITU_R_BT_601_6;
    nclx->full_range_flag = 1;
    if (heif_image_set_nclx_color_profile(image.get(), nclx.get()).code != heif_error_Ok)
        return {};
    return image;
}

QByteArray encodeAvif(const std::vector<uint8_t>& rgb, int width, int height, int quality, int speed)
{
    HeifPtr<heif_context> context(heif_context_alloc());
    if (!context)
        return {};
    heif_encoder* rawEncoder = nullptr;
    if (heif_context_get_encoder_for_format(context.get(), heif_compression_AV1, &rawEncoder).code != heif_error_Ok)
        return {};
    HeifPtr<heif_encoder> encoder(rawEncoder);
    const HeifPtr<heif_image> image = heifPicture(rgb, width, height);
    if (!image || heif_encoder_set_lossy_quality(encoder.get(), quality).code != heif_error_Ok)
        return {};
    // Parameters this encoder does not know are left at its defaults.
    heif_encoder_set_parameter_integer(encoder.get(), "speed", speed);
    heif_encoder_set_parameter_string(encoder.get(), "chroma", "420");
    heif_encoder_set_logging_level(encoder.get(), 0);
    HeifPtr<heif_encoding_options> options(heif_encoding_options_alloc());
    if (!options)
        return {};
    options->save_alpha_channel = 0;
    if (heif_context_encode_image(context.get(), image.get(), encoder.get(), options.get(), nullptr).code
        != heif_error_Ok)
        return {};
    QByteArray bytes;
    heif_writer writer{1, appendTo};
    if (heif_context_write(context.get(), &writer, &bytes).code != heif_error_Ok)
        return {};
    return bytes;
}

}  // namespace

QString webFormatExtension(WebFormat format)
{
    return format == WebFormat::Webp ? QStringLiteral("webp") : QStringLiteral("avif");
}

int webFormatMaxSide(WebFormat format)
{
    return format == WebFormat::Webp ? kWebpMaxSide : kAvifMaxSide;
}

QByteArray encodeWebFormat(WebFormat format, const Bitmap& picture, int quality, int avifSpeed)
{
    const int width = picture.width();
    const int height = picture.height();
    // Checked here: neither library is trusted with a side it was not built for.
    if (picture.isNull() || width < 1 || height < 1 || width > webFormatMaxSide(format)
        || height > webFormatMaxSide(format) || quality < 0 || quality > 100)
        return {};
    const std::vector<uint8_t> rgb = rgbRows(picture);
    if (rgb.empty())
        return {};
    return format == WebFormat::Webp ? encodeWebp(rgb, width, height, quality)
                                     : encodeAvif(rgb, width, height, quality, avifSpeed);
}

}  // namespace fotolista
