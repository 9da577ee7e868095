#include "core/image/photoheader.h"

#include "core/base/byteorder.h"
#include "core/image/heifphoto.h"
#include "core/image/jpeg/markers.h"
#include "core/image/prepareimages.h"
#include "core/image/tiffheader.h"

#include <webp/decode.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <optional>

namespace fotolista {

namespace {

std::span<const std::byte> asBytes(const QByteArray& a)
{
    return {reinterpret_cast<const std::byte*>(a.constData()), size_t(a.size())};
}

const uchar* u8(const QByteArray& a)
{
    return reinterpret_cast<const uchar*>(a.constData());
}

QString damaged()
{
    return damagedHeaderText();
}

// ---------------------------------------------------------------- TIFF

using namespace tifftag;

Orientation validOrientation(std::optional<quint64> v)
{
    return v && *v >= 1 && *v <= 8 ? Orientation(*v) : 1;
}

void readTiff(ByteSource& source, PhotoHeader& h)
{
    TiffReader tiff(source);
    std::optional<TiffDirectory> dir;
    if (tiff.open())
        dir = tiff.firstDirectory();
    if (!dir) {
        h.problem = damaged();
        return;
    }
    const auto number = [&](quint16 tag) -> std::optional<quint64> {
        const auto it = dir->find(tag);
        return it == dir->end() ? std::nullopt : tiff.number(it->second);
    };
    const std::optional<quint64> w = number(kWidth);
    const std::optional<quint64> ht = number(kHeight);
    if (!w || !ht || *w < 1 || *ht < 1 || *w > 0x7fffffff || *ht > 0x7fffffff) {
        h.problem = damaged();
        return;
    }
    h.width = int(*w);
    h.height = int(*ht);
    h.orientation = validOrientation(number(kOrientation));
    h.cmyk = number(kPhotometric) == quint64(5);
    if (const auto it = dir->find(kIccProfile); it != dir->end())
        h.iccProfile = tiff.bytes(it->second, kMaxProfileBytes);
    // What the image library is given must be what it reads safely; a
    // picture beyond the pixel limit is refused as such, unread.
    if (qint64(h.width) * h.height <= kMaxSourcePixels)
        h.problem = tiffLayoutProblem(tiff, *dir, *w, *ht, source.size());
}

// ---------------------------------------------------------------- JPEG

/// What the segments before a JPEG's first scan say.
class JpegSegments {
public:
    JpegSegments(ByteSource& source, PhotoHeader& h) : m_source(source), m_h(h) {}

    /// Reads one segment's payload; false when the header cannot go on.
    bool take(int marker, qint64 payload, qint64 size)
    {
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame && !m_frameSeen) {
            const QByteArray f = m_source.readBytes(payload, std::min<qint64>(size, 6));
            if (f.size() < 6)
                return false;
            m_frameSeen = true;
            m_h.height = int(be16(u8(f) + 1));
            m_h.width = int(be16(u8(f) + 3));
            m_h.cmyk = uchar(f[5]) == 4;
        } else if (marker == 0xE1 && !m_exifSeen && size > 14) {
            const QByteArray app1 = m_source.readBytes(payload, size);
            if (app1.startsWith(QByteArray("Exif\0\0", 6))) {
                m_exifSeen = true;
                m_h.orientation = exifOrientation(asBytes(app1));
            }
        } else if (marker == 0xE2 && size > 14) {
            const QByteArray app2 = m_source.readBytes(payload, size);
            if (app2.startsWith(QByteArray("ICC_PROFILE\0", 12))) {
                const int seq = uchar(app2[12]);
                const int count = uchar(app2[13]);
                if (seq >= 1 && count >= 1 && seq <= count && (m_iccCount == 0 || m_iccCount == count)) {
                    m_iccCount = count;
                    m_iccPieces.emplace(seq, app2.mid(14));
                }
            }
        } else if (marker == 0xEE && size >= 12) {
            if (m_source.readBytes(payload, 12).startsWith("Adobe"))
                m_h.adobeInverted = true;
        }
        return true;
    }

    void finish()
    {
        if (!m_frameSeen || m_h.width < 1 || m_h.height < 1) {
            m_h.problem = damaged();
            return;
        }
        if (!m_h.cmyk)
            m_h.adobeInverted = false;
        // A profile with a piece missing is no profile: libjpeg's own reader agrees.
        if (m_iccCount == 0 || int(m_iccPieces.size()) != m_iccCount)
            return;
        QByteArray icc;
        for (const auto& [seq, piece] : m_iccPieces) {
            if (icc.size() + piece.size() > kMaxProfileBytes)
                return;
            icc += piece;
        }
        m_h.iccProfile = icc;
    }

private:
    ByteSource& m_source;
    PhotoHeader& m_h;
    // ICC profiles longer than one segment come in numbered pieces.
    std::map<int, QByteArray> m_iccPieces;
    int m_iccCount = 0;
    bool m_exifSeen = false;
    bool m_frameSeen = false;
};

void readJpeg(ByteSource& source, PhotoHeader& h)
{
    JpegSegments segments(source, h);
    jpeg::MarkerWalker walker(source);
    // Bounded: a file of markers and nothing else cannot keep us here.
    for (int segment = 0; segment < 65536; ++segment) {
        const std::optional<jpeg::Marker> m = walker.next();
        if (!m || m->code == 0xD9 || m->code == 0xDA)  // end of image, start of scan
            break;
        if (jpeg::hasLength(m->code) && !segments.take(m->code, m->payload, m->size))
            break;
    }
    segments.finish();
}

// ---------------------------------------------------------------- PNG

QByteArray inflateProfile(const QByteArray& compressed)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return {};
    QByteArray out;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.constData()));
    z.avail_in = uInt(compressed.size());
    std::array<char, 65536> buffer{};
    int status = Z_OK;
    while (status == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buffer.data());
        z.avail_out = uInt(buffer.size());
        status = inflate(&z, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END)
            break;
        out.append(buffer.data(), qsizetype(buffer.size() - z.avail_out));
        if (out.size() > kMaxProfileBytes) {
            status = Z_MEM_ERROR;
            break;
        }
        if (status == Z_OK && z.avail_in == 0 && z.avail_out != 0)
            break;  // input ended before the stream did
    }
    inflateEnd(&z);
    return status == Z_STREAM_END ? out : QByteArray();
}

void readPng(ByteSource& source, PhotoHeader& h)
{
    uchar ihdr[25];
    if (!source.read(8, ihdr, 25) || std::memcmp(ihdr + 4, "IHDR", 4) != 0 || be32(ihdr) != 13) {
        h.problem = damaged();
        return;
    }
    const quint32 w = be32(ihdr + 8);
    const quint32 ht = be32(ihdr + 12);
    if (w < 1 || ht < 1 || w > 0x7fffffff || ht > 0x7fffffff) {
        h.problem = damaged();
        return;
    }
    h.width = int(w);
    h.height = int(ht);
    qint64 pos = 8 + 25;
    bool srgbChunk = false;
    bool ended = false;
    for (int chunk = 0; chunk < 1'000'000 && !ended; ++chunk) {
        uchar c[8];
        if (!source.read(pos, c, 8))
            break;
        const qint64 length = be32(c);
        const qint64 data = pos + 8;
        // A chunk running past the end of the file: cut short, and libpng
        // would first try to allocate whatever the length claims.
        if (length > source.size() - data - 4) {
            h.problem = incompletePhotoText();
            return;
        }
        ended = std::memcmp(c + 4, "IEND", 4) == 0;
        if (std::memcmp(c + 4, "iCCP", 4) == 0 && h.iccProfile.isEmpty() && length <= kMaxProfileBytes) {
            const QByteArray body = source.readBytes(data, length);
            const qsizetype nul = body.indexOf('\0');
            if (nul > 0 && nul < 80 && body.size() > nul + 2 && body[nul + 1] == 0)
                h.iccProfile = inflateProfile(body.mid(nul + 2));
        } else if (std::memcmp(c + 4, "eXIf", 4) == 0 && length <= 16 * 1024 * 1024) {
            h.orientation = exifOrientation(asBytes(source.readBytes(data, length)));
        } else if (std::memcmp(c + 4, "sRGB", 4) == 0) {
            srgbChunk = true;
        }
        pos = data + length + 4;  // data and CRC
    }
    // A file that stops between chunks, before the last one, is cut short too.
    if (!ended && pos + 8 > source.size())
        h.problem = incompletePhotoText();
    // The sRGB chunk outranks any profile beside it.
    if (srgbChunk)
        h.iccProfile.clear();
}

// ---------------------------------------------------------------- WebP

void readWebp(ByteSource& source, PhotoHeader& h)
{
    const qint64 size = source.size();
    qint64 pos = 12;
    bool imageSeen = false;
    for (int chunk = 0; chunk < 100'000; ++chunk) {
        uchar c[8];
        if (!source.read(pos, c, 8))
            break;
        const qint64 length = le32(c + 4);
        const qint64 data = pos + 8;
        if (length > size - data) {
            h.problem = incompletePhotoText();
            return;
        }
        const auto is = [&](const char* id) { return std::memcmp(c, id, 4) == 0; };
        if (is("VP8X") && length >= 10) {
            uchar x[10];
            if (!source.read(data, x, 10))
                break;
            h.width = int(le24(x + 4) + 1);
            h.height = int(le24(x + 7) + 1);
            imageSeen = true;
        } else if ((is("VP8 ") || is("VP8L")) && !imageSeen && pos == 12) {
            // A simple file: its bitstream's own header, checked by libwebp.
            const QByteArray head = source.readBytes(0, std::min<qint64>(size, 256));
            int w = 0;
            int ht = 0;
            if (WebPGetInfo(u8(head), size_t(head.size()), &w, &ht)) {
                h.width = w;
                h.height = ht;
                imageSeen = true;
            }
        } else if (is("ICCP") && h.iccProfile.isEmpty() && length <= kMaxProfileBytes) {
            h.iccProfile = source.readBytes(data, length);
        } else if (is("EXIF") && length <= 16 * 1024 * 1024) {
            h.orientation = exifOrientation(asBytes(source.readBytes(data, length)));
        }
        pos = data + length + (length & 1);
    }
    if (!imageSeen || h.width < 1 || h.height < 1)
        h.problem = damaged();
}

}  // namespace

Orientation exifOrientation(std::span<const std::byte> exif)
{
    if (exif.size() >= 6 && std::memcmp(exif.data(), "Exif\0\0", 6) == 0)
        exif = exif.subspan(6);
    MemorySource source(exif);
    TiffReader tiff(source);
    if (!tiff.open())
        return 1;
    const std::optional<TiffDirectory> dir = tiff.firstDirectory();
    if (!dir)
        return 1;
    const auto it = dir->find(tifftag::kOrientation);
    return it == dir->end() ? 1 : validOrientation(tiff.number(it->second));
}

QString damagedHeaderText()
{
    return QStringLiteral("la cabecera de la imagen está dañada");
}

QString incompletePhotoText()
{
    return QStringLiteral("la imagen está incompleta: el archivo se acaba antes que sus datos");
}

PhotoFormat sniffPhotoFormat(std::span<const std::byte> head)
{
    const auto starts = [&](std::initializer_list<int> bytes, size_t at = 0) {
        if (head.size() < at + bytes.size())
            return false;
        size_t i = at;
        for (const int b : bytes)
            if (std::to_integer<int>(head[i++]) != b)
                return false;
        return true;
    };
    if (starts({0xFF, 0xD8, 0xFF}))
        return PhotoFormat::Jpeg;
    if (starts({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}))
        return PhotoFormat::Png;
    if (starts({'I', 'I', 42, 0}) || starts({'M', 'M', 0, 42}) || starts({'I', 'I', 43, 0})
        || starts({'M', 'M', 0, 43}))
        return PhotoFormat::Tiff;
    if (starts({'R', 'I', 'F', 'F'}) && starts({'W', 'E', 'B', 'P'}, 8))
        return PhotoFormat::Webp;
    if (starts({'f', 't', 'y', 'p'}, 4) && isHeifBrand(head))
        return PhotoFormat::Heif;
    return PhotoFormat::Unknown;
}

PhotoHeader readPhotoHeader(ByteSource& source)
{
    PhotoHeader h;
    std::array<std::byte, 64> head{};
    const qint64 headSize = std::min<qint64>(source.size(), qint64(head.size()));
    if (headSize <= 0 || !source.read(0, head.data(), headSize)) {
        h.problem = QStringLiteral("el archivo está vacío o no se puede leer");
        return h;
    }
    h.format = sniffPhotoFormat(std::span(head.data(), size_t(headSize)));
    switch (h.format) {
    case PhotoFormat::Jpeg: readJpeg(source, h); break;
    case PhotoFormat::Png: readPng(source, h); break;
    case PhotoFormat::Tiff: readTiff(source, h); break;
    case PhotoFormat::Webp: readWebp(source, h); break;
    case PhotoFormat::Heif: readHeifHeader(source, h); break;
    case PhotoFormat::Unknown:
        h.problem = QStringLiteral("no es una imagen JPEG, TIFF, PNG, WebP, HEIC ni AVIF");
        break;
    }
    return h;
}

PhotoHeader readPhotoHeader(const QString& path)
{
    FileSource file(path);
    if (!file.isOpen()) {
        PhotoHeader h;
        h.problem = QStringLiteral("el archivo no se puede abrir");
        return h;
    }
    return readPhotoHeader(file);
}

}  // namespace fotolista
