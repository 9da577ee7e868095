#include "core/image/heifphoto.h"

#include "core/image/bitmapaccess.h"
#include "core/image/colourprofile.h"
#include "core/image/heifcodedsize.h"
#include "core/image/photoheader.h"

#include <FreeImage.h>
#include <libheif/heif.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace fotolista {

namespace {

enum class Codec { Unknown, Hevc, Av1 };

bool isOneOf(const char* brand, std::initializer_list<const char*> brands)
{
    for (const char* b : brands)
        if (std::memcmp(brand, b, 4) == 0)
            return true;
    return false;
}

bool isHevcBrand(const char* b)
{
    return isOneOf(b, {"heic", "heix", "heim", "heis", "hevc", "hevx", "hevm", "hevs"});
}
bool isAv1Brand(const char* b)
{
    return isOneOf(b, {"avif", "avis"});
}
bool isGeneralBrand(const char* b)
{
    return isOneOf(b, {"mif1", "msf1", "miaf", "mif2"});
}

/// The brands of the "ftyp" box at the start: the major one, then the compatible ones.
std::vector<std::array<char, 4>> brandsOf(std::span<const std::byte> head)
{
    std::vector<std::array<char, 4>> brands;
    if (head.size() < 16 || std::memcmp(head.data() + 4, "ftyp", 4) != 0)
        return brands;
    const auto* p = reinterpret_cast<const unsigned char*>(head.data());
    const size_t boxSize = size_t(p[0]) << 24 | size_t(p[1]) << 16 | size_t(p[2]) << 8 | p[3];
    const size_t end = std::min(head.size(), boxSize);
    const auto brandAt = [&](size_t at) {
        std::array<char, 4> b{};
        std::memcpy(b.data(), p + at, 4);
        return b;
    };
    brands.push_back(brandAt(8));
    for (size_t at = 16; at + 4 <= end; at += 4)
        brands.push_back(brandAt(at));
    return brands;
}

Codec codecOf(std::span<const std::byte> head)
{
    // The major brand speaks first; a general one leaves it to the others.
    for (const auto& b : brandsOf(head)) {
        if (isHevcBrand(b.data()))
            return Codec::Hevc;
        if (isAv1Brand(b.data()))
            return Codec::Av1;
    }
    return Codec::Unknown;
}

QString noDecoder(Codec codec)
{
    switch (codec) {
    case Codec::Hevc: return QStringLiteral("este equipo no tiene decodificador HEVC para imágenes HEIC");
    case Codec::Av1: return QStringLiteral("este equipo no tiene decodificador AV1 para imágenes AVIF");
    case Codec::Unknown: break;
    }
    return QStringLiteral("este equipo no tiene decodificador para la compresión de esta imagen HEIF");
}

/// Whether libheif failed for want of a decoder for the picture's coding.
bool missingDecoder(const heif_error& e)
{
    return e.subcode == heif_suberror_Unsupported_codec || e.subcode == heif_suberror_Unsupported_image_type;
}

QString damagedHeif()
{
    return QStringLiteral("la imagen HEIF está dañada o usa algo que no se puede leer");
}

/// libheif reading through a ByteSource.
struct Reader {
    ByteSource* source = nullptr;
    int64_t position = 0;
};

int64_t readerPosition(void* user)
{
    return static_cast<Reader*>(user)->position;
}

int readerRead(void* data, size_t size, void* user)
{
    auto* r = static_cast<Reader*>(user);
    if (!r->source->read(r->position, data, qint64(size)))
        return -1;
    r->position += int64_t(size);
    return 0;
}

int readerSeek(int64_t position, void* user)
{
    auto* r = static_cast<Reader*>(user);
    if (position < 0 || position > r->source->size())
        return -1;
    r->position = position;
    return 0;
}

heif_reader_grow_status readerGrow(int64_t target, void* user)
{
    return target <= static_cast<Reader*>(user)->source->size() ? heif_reader_grow_status_size_reached
                                                                : heif_reader_grow_status_size_beyond_eof;
}

constexpr heif_reader kReader{1, readerPosition, readerRead, readerSeek, readerGrow};

struct ContextDeleter {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleDeleter {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageDeleter {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct NclxDeleter {
    void operator()(heif_color_profile_nclx* n) const { heif_nclx_color_profile_free(n); }
};

/// Whether every picture the codec configurations declare fits the size the
/// primary picture states, give or take the coding blocks' padding. The
/// decoders allocate the coded size, not the stated one, and only the
/// stated one is checked against the pixel limits.
bool codedWithinStatedSize(ByteSource& source, const heif_image_handle* handle)
{
    constexpr int kPadding = 128;
    const std::optional<ImageSize> coded = largestCodedPicture(source);
    if (!coded)
        return false;
    const qint64 width = qint64(heif_image_handle_get_ispe_width(handle)) + kPadding;
    const qint64 height = qint64(heif_image_handle_get_ispe_height(handle)) + kPadding;
    const qint64 side = std::max(width, height);
    return coded->width <= side && coded->height <= side && qint64(coded->width) * coded->height <= width * height;
}

/// The primary picture of an opened file.
struct OpenedHeif {
    Reader reader;
    std::unique_ptr<heif_context, ContextDeleter> context;
    std::unique_ptr<heif_image_handle, HandleDeleter> handle;
    Codec codec = Codec::Unknown;
    QString problem;
};

void open(ByteSource& source, OpenedHeif& h)
{
    std::array<std::byte, 256> head{};
    const qint64 n = std::min<qint64>(source.size(), qint64(head.size()));
    if (n < 16 || !source.read(0, head.data(), n)) {
        h.problem = damagedHeif();
        return;
    }
    h.codec = codecOf(std::span(head.data(), size_t(n)));
    if (h.codec != Codec::Unknown) {
        const heif_compression_format format = h.codec == Codec::Hevc ? heif_compression_HEVC : heif_compression_AV1;
        if (!heif_have_decoder_for_format(format)) {
            h.problem = noDecoder(h.codec);
            return;
        }
    }
    h.reader.source = &source;
    h.context.reset(heif_context_alloc());
    if (!h.context) {
        h.problem = damagedHeif();
        return;
    }
    // The program's own limits are checked on the sizes read here; this
    // one keeps libheif from building a grid of absurd size meanwhile.
    heif_context_set_maximum_image_size_limit(h.context.get(), 65535);
    heif_error e = heif_context_read_from_reader(h.context.get(), &kReader, &h.reader, nullptr);
    heif_image_handle* handle = nullptr;
    if (e.code == heif_error_Ok)
        e = heif_context_get_primary_image_handle(h.context.get(), &handle);
    if (e.code != heif_error_Ok || !handle) {
        h.problem = missingDecoder(e) ? noDecoder(h.codec) : damagedHeif();
        return;
    }
    h.handle.reset(handle);
    if (!codedWithinStatedSize(source, handle))
        h.problem = QStringLiteral("la imagen HEIF declara un tamaño menor que el de sus imágenes codificadas");
}

/// The profile a picture's colours are described by, or empty for sRGB.
QByteArray profileOf(const heif_image_handle* handle)
{
    const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
    if (type == heif_color_profile_type_prof || type == heif_color_profile_type_rICC) {
        const size_t size = heif_image_handle_get_raw_color_profile_size(handle);
        if (size == 0 || size > size_t(kMaxProfileBytes))
            return {};
        QByteArray icc(qsizetype(size), Qt::Uninitialized);
        if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code != heif_error_Ok)
            return {};
        return icc;
    }
    heif_color_profile_nclx* raw = nullptr;
    const heif_error e = heif_image_handle_get_nclx_color_profile(handle, &raw);
    // Owned even when the call fails: libheif may hand one over with an error.
    const std::unique_ptr<heif_color_profile_nclx, NclxDeleter> nclx(raw);
    if (e.code != heif_error_Ok || !nclx)
        return {};
    const double primaries[6] = {nclx->color_primary_red_x,   nclx->color_primary_red_y,  nclx->color_primary_green_x,
                                 nclx->color_primary_green_y, nclx->color_primary_blue_x, nclx->color_primary_blue_y};
    const double white[2] = {nclx->color_primary_white_x, nclx->color_primary_white_y};
    // sRGB's primaries and white are those of BT.709.
    const double srgb[8] = {0.64, 0.33, 0.30, 0.60, 0.15, 0.06, 0.3127, 0.3290};
    bool primariesAreSrgb = true;
    for (int i = 0; i < 6; ++i)
        primariesAreSrgb = primariesAreSrgb && std::abs(primaries[i] - srgb[i]) < 0.002;
    primariesAreSrgb = primariesAreSrgb && std::abs(white[0] - srgb[6]) < 0.002 && std::abs(white[1] - srgb[7]) < 0.002;
    for (const double v : primaries)
        if (!(v > 0.0 && v < 1.0))
            return {};  // unspecified or nonsense: taken as sRGB
    // Pictures coded for screens carry sRGB's curve or BT.709's, which
    // screens show alike; only a linear or a pure power curve differs.
    double gamma = 0;
    switch (nclx->transfer_characteristics) {
    case heif_transfer_characteristic_linear: gamma = 1.0; break;
    case heif_transfer_characteristic_ITU_R_BT_470_6_System_M: gamma = 2.2; break;
    case heif_transfer_characteristic_ITU_R_BT_470_6_System_B_G: gamma = 2.8; break;
    default: break;
    }
    if (primariesAreSrgb && gamma == 0)
        return {};
    return rgbProfileFromPrimaries(primaries, white, gamma);
}

/// The interleaved 8-bit RGB(A) plane of a decoded picture as a library
/// bitmap: 24-bit, or 32-bit with straight alpha.
Bitmap bitmapOf(const heif_image* image, bool alpha, bool premultiplied)
{
    const int width = heif_image_get_width(image, heif_channel_interleaved);
    const int height = heif_image_get_height(image, heif_channel_interleaved);
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    if (!plane || width < 1 || height < 1 || heif_image_get_bits_per_pixel_range(image, heif_channel_interleaved) != 8)
        return {};
    const int channels = alpha ? 4 : 3;
    Bitmap bitmap = adoptDib(FreeImage_Allocate(width, height, channels * 8));
    FIBITMAP* dib = dibOf(bitmap);
    if (!dib)
        return {};
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = plane + size_t(y) * size_t(stride);
        BYTE* dst = FreeImage_GetScanLine(dib, height - 1 - y);  // the library counts rows from the bottom
        for (int x = 0; x < width; ++x, src += channels, dst += channels) {
            BYTE r = src[0], g = src[1], b = src[2];
            if (alpha) {
                const BYTE a = src[3];
                if (premultiplied && a > 0 && a < 255) {
                    const auto straight = [a](BYTE c) { return BYTE(std::min(255, (c * 255 + a / 2) / a)); };
                    r = straight(r);
                    g = straight(g);
                    b = straight(b);
                }
                dst[FI_RGBA_ALPHA] = a;
            }
            dst[FI_RGBA_RED] = r;
            dst[FI_RGBA_GREEN] = g;
            dst[FI_RGBA_BLUE] = b;
        }
    }
    return bitmap;
}

}  // namespace

bool isHeifBrand(std::span<const std::byte> head)
{
    for (const auto& b : brandsOf(head))
        if (isHevcBrand(b.data()) || isAv1Brand(b.data()) || isGeneralBrand(b.data()))
            return true;
    return false;
}

void readHeifHeader(ByteSource& source, PhotoHeader& header)
{
    OpenedHeif h;
    open(source, h);
    if (!h.problem.isEmpty()) {
        header.problem = h.problem;
        return;
    }
    const heif_image_handle* handle = h.handle.get();
    header.width = heif_image_handle_get_ispe_width(handle);
    header.height = heif_image_handle_get_ispe_height(handle);
    header.shownWidth = heif_image_handle_get_width(handle);
    header.shownHeight = heif_image_handle_get_height(handle);
    if (header.width < 1 || header.height < 1 || header.shownWidth < 1 || header.shownHeight < 1) {
        header.problem = damagedHeif();
        return;
    }
    header.iccProfile = profileOf(handle);
}

HeifPicture decodeHeif(ByteSource& source, bool transform)
{
    HeifPicture out;
    OpenedHeif h;
    open(source, h);
    if (!h.problem.isEmpty()) {
        out.problem = h.problem;
        return out;
    }
    const bool alpha = heif_image_handle_has_alpha_channel(h.handle.get()) != 0;
    heif_decoding_options* options = heif_decoding_options_alloc();
    if (!options) {
        out.problem = damagedHeif();
        return out;
    }
    options->ignore_transformations = transform ? 0 : 1;
    options->convert_hdr_to_8bit = 1;
    heif_image* raw = nullptr;
    const heif_error e = heif_decode_image(h.handle.get(), &raw, heif_colorspace_RGB,
                                           alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options);
    heif_decoding_options_free(options);
    const std::unique_ptr<heif_image, ImageDeleter> image(raw);
    // Damaged coded data is an error, not a picture with what could be read.
    // The library's strict mode would say so too, but it loses the picture
    // it made on that path; its warnings say the same.
    heif_error warning{};
    const bool warned = image && heif_image_get_decoding_warnings(image.get(), 0, &warning, 1) > 0;
    if (e.code != heif_error_Ok || !image || warned) {
        out.problem = missingDecoder(e) ? noDecoder(h.codec) : damagedHeif();
        return out;
    }
    out.bitmap = bitmapOf(image.get(), alpha, alpha && heif_image_handle_is_premultiplied_alpha(h.handle.get()));
    if (out.bitmap.isNull())
        out.problem = damagedHeif();
    return out;
}

}  // namespace fotolista
