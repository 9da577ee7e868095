#include "core/image/imageheader.h"

#include <QFile>

#include <FreeImage.h>

namespace {

/// Reads the frame size from a JPEG's markers. The library's own header
/// read starts the decoder, which for a progressive file reads every scan:
/// as slow as decoding the photo.
std::optional<ImageSize> scanJpegFrame(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const auto byte = [&file]() -> int {
        char c = 0;
        return file.getChar(&c) ? int(uchar(c)) : -1;
    };
    if (byte() != 0xFF || byte() != 0xD8)
        return std::nullopt;
    // Bounded: a file of markers and nothing else cannot keep us here.
    for (int segment = 0; segment < 4096; ++segment) {
        int b = byte();
        if (b != 0xFF)
            return std::nullopt;
        int marker = byte();
        while (marker == 0xFF)  // fill bytes
            marker = byte();
        if (marker < 0 || marker == 0xD9 || marker == 0xDA)
            return std::nullopt;  // end of image or start of scan before any frame
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue;  // markers without a length
        const int hi = byte();
        const int lo = byte();
        if (hi < 0 || lo < 0)
            return std::nullopt;
        const int length = hi << 8 | lo;
        if (length < 2)
            return std::nullopt;
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            const QByteArray header = file.read(5);
            if (header.size() != 5)
                return std::nullopt;
            const int height = uchar(header[1]) << 8 | uchar(header[2]);
            const int width = uchar(header[3]) << 8 | uchar(header[4]);
            if (width < 1 || height < 1)
                return std::nullopt;
            return ImageSize{width, height};
        }
        if (!file.seek(file.pos() + length - 2))
            return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

std::optional<ImageSize> headerSize(ImageFormat format, const QString& path)
{
    if (format == ImageFormat::Jpeg) {
        if (const std::optional<ImageSize> size = scanJpegFrame(path))
            return size;
    }
    const QByteArray native = QFile::encodeName(path);
    FIBITMAP* header = FreeImage_Load(static_cast<FREE_IMAGE_FORMAT>(format), native.constData(), FIF_LOAD_NOPIXELS);
    if (!header)
        return std::nullopt;
    const ImageSize size{int(FreeImage_GetWidth(header)), int(FreeImage_GetHeight(header))};
    FreeImage_Unload(header);
    return size;
}
