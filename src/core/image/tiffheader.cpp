#include "core/image/tiffheader.h"

#include "core/base/byteorder.h"

#include <algorithm>

namespace fotolista {

namespace {

const uchar* u8(const QByteArray& a)
{
    return reinterpret_cast<const uchar*>(a.constData());
}

bool isNumberType(quint16 type)
{
    return type == 3 || type == 4 || type == 16;
}

/// The tags the image library needs to decode the pixels, and their
/// resolution (which the copies' headers keep). Everything else is metadata.
bool describesPixels(quint16 tag)
{
    switch (tag) {
    case 254:  // NewSubfileType
    case 256:
    case 257:
    case 258:
    case 259:  // sizes, bits, compression
    case 262:
    case 266:  // photometric, fill order
    case 273:
    case 277:
    case 278:
    case 279:  // strips, samples
    case 282:
    case 283:
    case 284:  // resolution, planar configuration
    case 292:
    case 293:
    case 296:  // fax options, resolution unit
    case 317:
    case 318:
    case 319:
    case 320:  // predictor, white point, primaries, palette
    case 322:
    case 323:
    case 324:
    case 325:  // tiles
    case 332:
    case 338:
    case 339:  // ink set, extra samples, sample format
    case 347:  // JPEG tables
    case 529:
    case 530:
    case 531:
    case 532:  // YCbCr
    case tifftag::kIccProfile: return true;
    default: return false;
    }
}

quint64 ceilDiv(quint64 a, quint64 b)
{
    return b ? (a + b - 1) / b : 0;
}

/// What the first directory says of how the pixels are stored.
struct Layout {
    quint64 width = 0, height = 0;
    quint64 photometric = 0, bits = 1, samples = 1, planar = 1, compression = 1, format = 1, inkSet = 1;
    quint64 rowsPerStrip = 0xFFFFFFFFu;
    bool tiled = false;
    quint64 tileWidth = 0, tileLength = 0;
};

QString bitsText(quint64 n)
{
    return n == 1 ? QStringLiteral("1 bit") : QStringLiteral("%1 bits").arg(n);
}

QString unsupported(const QString& how)
{
    return QStringLiteral("la imagen TIFF guarda sus píxeles de una forma que no se puede leer (%1)").arg(how);
}

/// Reads the layout; false when a value is missing where it is required,
/// unreadable, or different from one sample to another (libtiff refuses those).
bool readLayout(TiffReader& tiff, const TiffDirectory& dir, Layout& l)
{
    const auto one = [&](quint16 tag, quint64& into) {
        const auto it = dir.find(tag);
        if (it == dir.end())
            return true;
        const std::optional<quint64> v = tiff.number(it->second);
        into = v.value_or(0);
        return v.has_value();
    };
    const auto perSample = [&](quint16 tag, quint64& into) {
        const auto it = dir.find(tag);
        if (it == dir.end())
            return true;
        const auto v = tiff.numbers(it->second, 65535);
        if (!v || v->empty() || std::adjacent_find(v->begin(), v->end(), std::not_equal_to<>()) != v->end())
            return false;
        into = v->front();
        return true;
    };
    l.tiled = dir.contains(322) || dir.contains(323);
    return dir.contains(tifftag::kPhotometric) && one(tifftag::kPhotometric, l.photometric) && perSample(258, l.bits)
           && one(277, l.samples) && one(284, l.planar) && one(259, l.compression) && perSample(339, l.format)
           && one(332, l.inkSet) && one(278, l.rowsPerStrip) && l.rowsPerStrip > 0
           && (!l.tiled || (one(322, l.tileWidth) && one(323, l.tileLength) && dir.contains(322) && dir.contains(323)));
}

/// Whether the library reads this kind of pixel correctly: the paths it
/// takes for other bits and samples assert, write past their buffers or
/// make nonsense of the samples.
bool readableSamples(const Layout& l)
{
    const bool whole = l.format == 1, real = l.format == 3;
    const quint64 b = l.bits, s = l.samples;
    switch (l.photometric) {
    case 0:
    case 1:  // grey
        return (whole && s == 1 && (b == 1 || b == 4 || b == 8 || b == 16 || b == 32)) || (whole && s == 2 && b == 8)
               || (real && s == 1 && b == 32);
    case 2:  // RGB, alone or with alpha
        return (whole && (s == 3 || s == 4) && (b == 8 || b == 16)) || (real && s == 3 && b == 32)
               || (real && s == 3 && b == 16 && l.planar == 1);
    case 3:  // palette
        return whole && s == 1 && (b == 1 || b == 4 || b == 8);
    case 5:  // CMYK inks, alone or with alpha
        return whole && (s == 4 || s == 5) && (b == 8 || b == 16) && l.inkSet == 1;
    case 6:
    case 8:  // YCbCr, CIE L*a*b*: converted by libtiff itself
        return whole && s == 3 && b == 8;
    default: return false;
    }
}

bool knownCompression(quint64 c)
{
    // None, fax, LZW, JPEG, Deflate, PackBits, LZMA, Zstandard, WebP: not
    // the old JPEG of TIFF 6, whose decoder in libtiff is a known risk.
    switch (c) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 7:
    case 8:
    case 32773:
    case 32946:
    case 34925:
    case 50000:
    case 50001: return true;
    default: return false;
    }
}

QString pixelsProblem(const Layout& l)
{
    if (!readableSamples(l)) {
        const QString kind = l.format == 1   ? QString()
                             : l.format == 2 ? QStringLiteral(", con signo")
                             : l.format == 3 ? QStringLiteral(", coma flotante")
                                             : QStringLiteral(", tipo de muestra %1").arg(l.format);
        const QString samples =
            l.samples == 1 ? QStringLiteral("1 muestra") : QStringLiteral("%1 muestras").arg(l.samples);
        return unsupported(QStringLiteral("muestras de %1, %2 por píxel, tipo de color %3%4")
                               .arg(bitsText(l.bits), samples)
                               .arg(l.photometric)
                               .arg(kind));
    }
    if (l.planar != 1 && l.planar != 2)
        return damagedHeaderText();
    // Planes of less than a byte a sample: the library asserts.
    if (l.planar == 2 && l.bits < 8)
        return unsupported(QStringLiteral("planos separados con muestras de %1").arg(bitsText(l.bits)));
    if (!knownCompression(l.compression))
        return unsupported(QStringLiteral("compresión %1").arg(l.compression));
    if (l.compression >= 2 && l.compression <= 4 && (l.bits != 1 || l.samples != 1))
        return unsupported(QStringLiteral("compresión de fax con muestras de %1").arg(bitsText(l.bits)));
    if (l.compression == 7 && l.bits != 8)
        return unsupported(QStringLiteral("compresión JPEG con muestras de %1").arg(bitsText(l.bits)));
    if (!l.tiled)
        return {};
    // Tiles are copied row by row into the picture: a width that is not a
    // whole number of bytes writes past its rows.
    const quint64 bytes = l.tileWidth * l.tileLength * l.samples * std::max<quint64>(l.bits / 8, 1);
    if (l.tileWidth < 16 || l.tileLength < 16 || l.tileWidth % 16 || l.tileLength % 16 || l.tileWidth > 65536
        || l.tileLength > 65536 || bytes > (quint64(256) << 20))
        return unsupported(QStringLiteral("mosaicos de %1 × %2 píxeles").arg(l.tileWidth).arg(l.tileLength));
    if (l.planar == 2 || l.photometric == 5 || l.samples == 2)
        return unsupported(QStringLiteral("mosaicos de planos separados, de tintas o de gris con transparencia"));
    return {};
}

/// Whether every strip or tile lies inside the file and, uncompressed,
/// holds all its rows: a file cut short is seen here, before decoding.
QString dataProblem(TiffReader& tiff, const TiffDirectory& dir, const Layout& l, qint64 fileSize)
{
    const quint64 planes = l.planar == 2 ? l.samples : 1;
    const quint64 rows = l.tiled ? l.tileLength : std::min(l.rowsPerStrip, l.height);
    const quint64 across = l.tiled ? ceilDiv(l.width, l.tileWidth) : 1;
    const quint64 down = ceilDiv(l.height, rows);
    const quint64 pieces = across * down * planes;
    const auto offsetsAt = dir.find(l.tiled ? 324 : 273);
    const auto sizesAt = dir.find(l.tiled ? 325 : 279);
    if (pieces == 0 || pieces > (quint64(1) << 22) || offsetsAt == dir.end() || sizesAt == dir.end())
        return damagedHeaderText();
    const quint64 most = pieces * 4 + 1024;
    const auto offsets = tiff.numbers(offsetsAt->second, most);
    const auto sizes = tiff.numbers(sizesAt->second, most);
    if (!offsets || !sizes || offsets->size() < pieces || sizes->size() < pieces)
        return damagedHeaderText();
    const bool raw = l.compression == 1 && l.photometric != 6;  // YCbCr may be subsampled
    const quint64 rowBytes = ceilDiv((l.tiled ? l.tileWidth : l.width) * l.bits * (l.samples / planes), 8);
    const quint64 size = quint64(fileSize);
    for (quint64 i = 0; i < pieces; ++i) {
        const quint64 offset = (*offsets)[i], bytes = (*sizes)[i];
        const quint64 first = l.tiled ? 0 : (i % down) * rows;
        const quint64 needed = raw ? rowBytes * std::min(rows, l.height - first) : 1;
        if (offset > size || bytes > size - offset || bytes < needed)
            return incompletePhotoText();
    }
    return {};
}

}  // namespace

bool TiffReader::open()
{
    uchar h[16];
    if (!m_source.read(0, h, 8))
        return false;
    if (h[0] == 'I' && h[1] == 'I')
        m_little = true;
    else if (h[0] == 'M' && h[1] == 'M')
        m_little = false;
    else
        return false;
    const quint32 magic = u16(h + 2);
    if (magic == 42) {
        m_ifd0 = u32(h + 4);
        return true;
    }
    if (magic == 43 && m_source.read(8, h + 8, 8)) {  // BigTIFF
        if (u16(h + 4) != 8)
            return false;
        m_big = true;
        m_ifd0 = u64(h + 8);
        return true;
    }
    return false;
}

std::optional<TiffDirectory> TiffReader::firstDirectory()
{
    uchar c[8];
    if (!m_source.read(qint64(m_ifd0), c, countSize()))
        return std::nullopt;
    const quint64 count = m_big ? u64(c) : u16(c);
    // A directory longer than the file is damaged; bound the work anyway.
    if (count == 0 || count > 4096)
        return std::nullopt;
    const QByteArray table = m_source.readBytes(qint64(m_ifd0) + countSize(), qint64(count) * entrySize());
    if (table.isEmpty())
        return std::nullopt;
    TiffDirectory entries;
    for (quint64 i = 0; i < count; ++i) {
        const uchar* e = u8(table) + i * entrySize();
        TiffEntry entry;
        const quint16 tag = quint16(u16(e));
        entry.type = quint16(u16(e + 2));
        entry.count = m_big ? u64(e + 4) : u32(e + 4);
        if (entry.count > (quint64(1) << 40))
            continue;
        const quint64 bytes = entry.count * typeSize(entry.type);
        const int inlineSize = m_big ? 8 : 4;
        const qint64 valueField = qint64(m_ifd0) + countSize() + qint64(i) * entrySize() + (m_big ? 12 : 8);
        entry.valueOffset = bytes <= quint64(inlineSize) ? quint64(valueField) : (m_big ? u64(e + 12) : u32(e + 8));
        entries.emplace(tag, entry);
    }
    return entries;
}

std::optional<quint64> TiffReader::number(const TiffEntry& e)
{
    uchar v[8];
    if (e.count < 1 || !isNumberType(e.type) || !m_source.read(qint64(e.valueOffset), v, qint64(typeSize(e.type))))
        return std::nullopt;
    return value(v, e.type);
}

std::optional<std::vector<quint64>> TiffReader::numbers(const TiffEntry& e, quint64 limit)
{
    if (e.count < 1 || e.count > limit || !isNumberType(e.type))
        return std::nullopt;
    const quint64 size = typeSize(e.type);
    const QByteArray raw = m_source.readBytes(qint64(e.valueOffset), qint64(e.count * size));
    if (quint64(raw.size()) != e.count * size)
        return std::nullopt;
    std::vector<quint64> values(e.count);
    for (quint64 i = 0; i < e.count; ++i)
        values[i] = value(u8(raw) + i * size, e.type);
    return values;
}

QByteArray TiffReader::bytes(const TiffEntry& e, qint64 limit)
{
    const quint64 n = e.count * typeSize(e.type);
    if (n == 0 || n > quint64(limit))
        return {};
    return m_source.readBytes(qint64(e.valueOffset), qint64(n));
}

std::optional<BytePatch> TiffReader::pixelDirectory()
{
    uchar c[8];
    if (!m_source.read(qint64(m_ifd0), c, countSize()))
        return std::nullopt;
    const quint64 count = m_big ? u64(c) : u16(c);
    const QByteArray table = count > 0 && count <= 4096
                                 ? m_source.readBytes(qint64(m_ifd0) + countSize(), qint64(count) * entrySize())
                                 : QByteArray();
    if (table.isEmpty())
        return std::nullopt;
    // The kept entries in their order, under a new count and without a next
    // directory: shorter than the old directory, so written in its place.
    BytePatch patch{qint64(m_ifd0), QByteArray(countSize(), '\0')};
    quint64 kept = 0;
    for (quint64 i = 0; i < count; ++i) {
        const char* entry = table.constData() + i * entrySize();
        if (describesPixels(quint16(u16(reinterpret_cast<const uchar*>(entry))))) {
            patch.bytes.append(entry, entrySize());
            ++kept;
        }
    }
    for (int i = 0; i < countSize(); ++i)
        patch.bytes[m_little ? i : countSize() - 1 - i] = char(kept >> (8 * i));
    patch.bytes.append(QByteArray(m_big ? 8 : 4, '\0'));
    return patch;
}

quint64 TiffReader::typeSize(quint16 type)
{
    switch (type) {
    case 1:
    case 2:
    case 6:
    case 7: return 1;
    case 3:
    case 8: return 2;
    case 4:
    case 9:
    case 11:
    case 13: return 4;
    case 5:
    case 10:
    case 12:
    case 16:
    case 17:
    case 18: return 8;
    default: return 0;
    }
}

quint32 TiffReader::u16(const uchar* p) const
{
    return m_little ? le16(p) : be16(p);
}
quint32 TiffReader::u32(const uchar* p) const
{
    return m_little ? le32(p) : be32(p);
}

quint64 TiffReader::u64(const uchar* p) const
{
    const quint64 a = u32(p);
    const quint64 b = u32(p + 4);
    return m_little ? (b << 32 | a) : (a << 32 | b);
}

quint64 TiffReader::value(const uchar* p, quint16 type) const
{
    switch (type) {
    case 3: return u16(p);
    case 4: return u32(p);
    default: return u64(p);
    }
}

QString tiffLayoutProblem(TiffReader& tiff, const TiffDirectory& dir, quint64 width, quint64 height, qint64 fileSize)
{
    Layout l;
    l.width = width;
    l.height = height;
    if (!readLayout(tiff, dir, l))
        return damagedHeaderText();
    if (const QString problem = pixelsProblem(l); !problem.isEmpty())
        return problem;
    return dataProblem(tiff, dir, l, fileSize);
}

}  // namespace fotolista
