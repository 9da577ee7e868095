#include "support/tifffixtures.h"

#include <algorithm>
#include <vector>

namespace fixtures {

namespace {

/// A directory entry: SHORT (3), LONG (4) or UNDEFINED (7, one byte a value).
struct Entry {
    quint16 tag;
    quint16 type;
    std::vector<quint32> values;
};

void put16(QByteArray& b, qsizetype at, quint32 v)
{
    b[at] = char(v & 0xFF);
    b[at + 1] = char((v >> 8) & 0xFF);
}

void put32(QByteArray& b, qsizetype at, quint32 v)
{
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}

quint32 get16(const QByteArray& b, qsizetype at)
{
    return quint32(uchar(b[at])) | quint32(uchar(b[at + 1])) << 8;
}
quint32 get32(const QByteArray& b, qsizetype at)
{
    return get16(b, at) | get16(b, at + 2) << 16;
}

int typeSize(quint16 type)
{
    return type == 3 ? 2 : type == 4 ? 4 : 1;
}

qsizetype valueBytes(const Entry& e)
{
    return qsizetype(e.values.size()) * typeSize(e.type);
}

/// The bytes a directory takes with the values that do not fit in it.
qsizetype blockSize(const std::vector<Entry>& d)
{
    qsizetype size = 2 + 12 * qsizetype(d.size()) + 4;
    for (const Entry& e : d)
        if (valueBytes(e) > 4)
            size += valueBytes(e) + (valueBytes(e) & 1);
    return size;
}

void putValue(QByteArray& out, qsizetype at, quint16 type, quint32 v)
{
    if (type == 3)
        put16(out, at, v);
    else if (type == 4)
        put32(out, at, v);
    else
        out[at] = char(v);
}

void writeDirectory(QByteArray& out, qsizetype at, std::vector<Entry> d, quint32 next)
{
    std::sort(d.begin(), d.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
    qsizetype extra = at + blockSize({}) + 12 * qsizetype(d.size());
    put16(out, at, quint32(d.size()));
    for (size_t i = 0; i < d.size(); ++i) {
        const Entry& e = d[i];
        const qsizetype p = at + 2 + 12 * qsizetype(i);
        put16(out, p, e.tag);
        put16(out, p + 2, e.type);
        put32(out, p + 4, quint32(e.values.size()));
        qsizetype where = p + 8;
        if (valueBytes(e) > 4) {
            put32(out, p + 8, quint32(extra));
            where = extra;
            extra += valueBytes(e) + (valueBytes(e) & 1);
        }
        for (size_t j = 0; j < e.values.size(); ++j)
            putValue(out, where + qsizetype(j) * typeSize(e.type), e.type, e.values[j]);
    }
    put32(out, at + 2 + 12 * qsizetype(d.size()), next);
}

/// A directory and the pieces (strips or tiles) of pixels it points at.
struct Page {
    std::vector<Entry> entries;
    std::vector<QByteArray> pieces;
};

Page page(int width, int height, const TiffLayout& l)
{
    Page p;
    const int planes = l.planar == 2 ? l.samples : 1;
    const int pieceWidth = l.tile ? l.tile : width;
    const int rows = l.tile ? l.tile : l.rowsPerStrip;
    const int across = l.tile ? (width + l.tile - 1) / l.tile : 1;
    const int down = (height + rows - 1) / rows;
    const int rowBytes = (pieceWidth * l.bits * (l.samples / planes) + 7) / 8;
    std::vector<quint32> sizes;
    for (int plane = 0; plane < planes; ++plane) {
        for (int i = 0; i < down * across; ++i) {
            const int rowsHere = l.tile ? rows : std::min(rows, height - i * rows);
            QByteArray piece(qsizetype(rowBytes) * rowsHere, '\0');
            for (qsizetype b = 0; b < piece.size(); ++b)
                piece[b] = char((b / rowBytes * 9 + b % rowBytes * 5 + plane * 60 + i * 17) & 0xFF);
            sizes.push_back(quint32(piece.size()));
            p.pieces.push_back(piece);
        }
    }
    const auto perSample = [&](int v) { return std::vector<quint32>(size_t(l.samples), quint32(v)); };
    p.entries = {
        {256, 4, {quint32(width)}},         {257, 4, {quint32(height)}},    {258, 3, perSample(l.bits)},  {259, 3, {1}},
        {262, 3, {quint32(l.photometric)}}, {277, 3, {quint32(l.samples)}}, {284, 3, {quint32(l.planar)}}};
    const std::vector<quint32> offsets(sizes.size(), 0);  // filled in once the pixels have their place
    if (l.tile)
        p.entries.insert(
            p.entries.end(),
            {{322, 4, {quint32(l.tile)}}, {323, 4, {quint32(l.tile)}}, {324, 4, offsets}, {325, 4, sizes}});
    else
        p.entries.insert(p.entries.end(), {{273, 4, offsets}, {278, 4, {quint32(rows)}}, {279, 4, sizes}});
    if (l.sampleFormat)
        p.entries.push_back({339, 3, perSample(l.sampleFormat)});
    const int colours = l.photometric == 5 ? 4 : l.photometric == 2 ? 3 : 1;
    if (l.samples > colours)
        p.entries.push_back({338, 3, std::vector<quint32>(size_t(l.samples - colours), 2)});  // alpha
    if (l.photometric == 3 && l.bits <= 8) {
        std::vector<quint32> map;
        for (int channel = 0; channel < 3; ++channel)
            for (int i = 0; i < (1 << l.bits); ++i)
                map.push_back(quint32((i * 65535 / ((1 << l.bits) - 1) + channel * 20000) % 65536));
        p.entries.push_back({320, 3, map});
    }
    return p;
}

}  // namespace

QByteArray handmadeTiff(int width, int height, const TiffLayout& layout, std::optional<TiffLayout> thumbnail)
{
    std::vector<Page> pages{page(width, height, layout)};
    const std::vector<Entry> exif{{36864, 7, {'0', '2', '3', '0'}}};  // ExifVersion
    qsizetype exifAt = 0;
    if (thumbnail) {
        pages.push_back(page(width, height, *thumbnail));
        pages[0].entries.push_back({34665, 4, {0}});
        exifAt = 8 + blockSize(pages[0].entries);
    }
    // The directories first, then every page's pixels.
    std::vector<qsizetype> at{8};
    if (thumbnail)
        at.push_back(exifAt + blockSize(exif));
    qsizetype data = at.back() + blockSize(pages.back().entries);
    for (Page& p : pages) {
        for (Entry& e : p.entries) {
            if (e.tag == 34665)
                e.values = {quint32(exifAt)};
            if (e.tag == 273 || e.tag == 324)
                for (size_t i = 0; i < e.values.size(); ++i) {
                    e.values[i] = quint32(data);
                    data += p.pieces[i].size();
                }
        }
    }
    QByteArray out(data, '\0');
    out.replace(0, 4, QByteArray("II*\0", 4));
    put32(out, 4, 8);
    for (size_t i = 0; i < pages.size(); ++i)
        writeDirectory(out, at[i], pages[i].entries, i + 1 < pages.size() ? quint32(at[i + 1]) : 0);
    if (thumbnail)
        writeDirectory(out, exifAt, exif, 0);
    qsizetype pos = at.back() + blockSize(pages.back().entries);
    for (const Page& p : pages)
        for (const QByteArray& piece : p.pieces) {
            out.replace(pos, piece.size(), piece);
            pos += piece.size();
        }
    return out;
}

bool setTiffTag(QByteArray& tiff, quint16 tag, quint32 value)
{
    if (tiff.size() < 8 || !tiff.startsWith("II"))
        return false;
    const qsizetype ifd = get32(tiff, 4);
    const quint32 count = ifd + 2 <= tiff.size() ? get16(tiff, ifd) : 0;
    for (quint32 i = 0; i < count && ifd + 2 + 12 * qsizetype(i + 1) <= tiff.size(); ++i) {
        const qsizetype p = ifd + 2 + 12 * qsizetype(i);
        const quint16 type = quint16(get16(tiff, p + 2));
        if (get16(tiff, p) != tag || (type != 3 && type != 4))
            continue;
        const quint32 n = get32(tiff, p + 4);
        const qsizetype where = n * typeSize(type) <= 4 ? p + 8 : get32(tiff, p + 8);
        if (where + qsizetype(n) * typeSize(type) > tiff.size())
            return false;
        for (quint32 j = 0; j < n; ++j)
            putValue(tiff, where + qsizetype(j) * typeSize(type), type, value);
        return true;
    }
    return false;
}

}  // namespace fixtures
