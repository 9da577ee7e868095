#include "core/image/heifcodedsize.h"

#include "core/base/byteorder.h"
#include "core/image/photoheader.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace fotolista {

namespace {

/// A "meta" box larger than this is not a photo's.
constexpr qint64 kMaxMetaBytes = 16 << 20;

/// Reads bits most significant first; reading past the end gives zeros
/// and marks the reader as overrun.
class BitReader {
public:
    BitReader(const unsigned char* data, size_t size) : m_data(data), m_size(size) {}
    quint64 bits(int n)
    {
        quint64 v = 0;
        for (int i = 0; i < n; ++i) {
            const size_t byte = m_pos >> 3;
            if (byte >= m_size) {
                m_overrun = true;
                return 0;
            }
            v = v << 1 | ((m_data[byte] >> (7 - (m_pos & 7))) & 1);
            ++m_pos;
        }
        return v;
    }
    void skip(int n) { bits(n); }
    /// Exp-Golomb, as parameter sets code their numbers.
    quint64 ue()
    {
        int zeros = 0;
        while (bits(1) == 0) {
            if (m_overrun || ++zeros > 31) {
                m_overrun = true;
                return 0;
            }
        }
        return ((quint64(1) << zeros) - 1) + bits(zeros);
    }
    bool overrun() const { return m_overrun; }

private:
    const unsigned char* m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_overrun = false;
};

/// One box inside `data`: its type, and its payload's place.
struct Box {
    char type[4]{};
    size_t payload = 0;
    size_t end = 0;
};

/// The boxes laid one after the other in data[from, to); false on a box that overruns.
template <typename Visit>
bool forEachBox(const unsigned char* data, size_t from, size_t to, Visit visit)
{
    size_t at = from;
    while (at + 8 <= to) {
        quint64 size = be32(data + at);
        size_t header = 8;
        if (size == 1) {
            if (at + 16 > to)
                return false;
            size = quint64(be32(data + at + 8)) << 32 | be32(data + at + 12);
            header = 16;
        } else if (size == 0) {
            size = to - at;
        }
        if (size < header || size > to - at)
            return false;
        Box box;
        std::memcpy(box.type, data + at + 4, 4);
        box.payload = at + header;
        box.end = at + size_t(size);
        if (!visit(box))
            return true;
        at = box.end;
    }
    return at == to;
}

bool is(const Box& b, const char* type)
{
    return std::memcmp(b.type, type, 4) == 0;
}

/// The NAL payload without its emulation prevention bytes (00 00 03).
QByteArray unescaped(const unsigned char* p, size_t n)
{
    QByteArray out;
    out.reserve(qsizetype(n));
    int zeros = 0;
    for (size_t i = 0; i < n; ++i) {
        if (zeros >= 2 && p[i] == 3) {
            zeros = 0;
            continue;
        }
        zeros = p[i] == 0 ? zeros + 1 : 0;
        out.append(char(p[i]));
    }
    return out;
}

/// pic_width/height_in_luma_samples of an HEVC sequence parameter set (ITU-T H.265, 7.3.2.2).
std::optional<ImageSize> hevcSpsSize(const unsigned char* nal, size_t n)
{
    if (n < 3)
        return std::nullopt;
    const QByteArray rbsp = unescaped(nal + 2, n - 2);  // past the two-byte NAL header
    BitReader r(reinterpret_cast<const unsigned char*>(rbsp.constData()), size_t(rbsp.size()));
    r.skip(4);  // sps_video_parameter_set_id
    const int subLayers = int(r.bits(3));
    r.skip(1);
    r.skip(88 + 8);  // general profile, tier and level
    bool profilePresent[8]{}, levelPresent[8]{};
    for (int i = 0; i < subLayers; ++i) {
        profilePresent[i] = r.bits(1) != 0;
        levelPresent[i] = r.bits(1) != 0;
    }
    if (subLayers > 0)
        for (int i = subLayers; i < 8; ++i)
            r.skip(2);
    for (int i = 0; i < subLayers; ++i) {
        if (profilePresent[i])
            r.skip(88);
        if (levelPresent[i])
            r.skip(8);
    }
    r.ue();  // sps_seq_parameter_set_id
    if (r.ue() == 3)  // chroma_format_idc
        r.skip(1);
    const quint64 width = r.ue();
    const quint64 height = r.ue();
    if (r.overrun() || width < 1 || height < 1 || width > 65535 || height > 65535)
        return std::nullopt;
    return ImageSize{int(width), int(height)};
}

/// The largest picture of the sequence parameter sets of an "hvcC" payload (ISO/IEC 14496-15, 8.3.3).
std::optional<ImageSize> hvcCSize(const unsigned char* p, size_t n)
{
    if (n < 23)
        return std::nullopt;
    std::optional<ImageSize> largest;
    size_t at = 23;
    for (int array = 0, arrays = p[22]; array < arrays; ++array) {
        if (at + 3 > n)
            return std::nullopt;
        const int type = p[at] & 0x3f;
        const int count = p[at + 1] << 8 | p[at + 2];
        at += 3;
        for (int i = 0; i < count; ++i) {
            if (at + 2 > n)
                return std::nullopt;
            const size_t length = size_t(p[at] << 8 | p[at + 1]);
            at += 2;
            if (length > n - at)
                return std::nullopt;
            if (type == 33) {
                const std::optional<ImageSize> size = hevcSpsSize(p + at, length);
                if (!size)
                    return std::nullopt;
                if (!largest || qint64(size->width) * size->height > qint64(largest->width) * largest->height)
                    largest = size;
            }
            at += length;
        }
    }
    return largest;
}

/// max_frame_width/height of an AV1 sequence header OBU's payload (AV1 bitstream syntax, 5.5).
std::optional<ImageSize> av1SequenceHeaderSize(const unsigned char* p, size_t n)
{
    BitReader r(p, n);
    r.skip(3);  // seq_profile
    r.skip(1);  // still_picture
    const bool reduced = r.bits(1) != 0;
    if (reduced) {
        r.skip(5);
    } else {
        bool decoderModel = false;
        int delayLength = 0;
        if (r.bits(1)) {  // timing_info_present_flag
            r.skip(64);
            if (r.bits(1)) {  // equal_picture_interval: num_ticks_per_picture_minus_1, uvlc
                int zeros = 0;
                while (!r.overrun() && r.bits(1) == 0)
                    ++zeros;
                if (zeros >= 32)
                    return std::nullopt;
                r.skip(zeros);
            }
            decoderModel = r.bits(1) != 0;
            if (decoderModel) {
                delayLength = int(r.bits(5)) + 1;
                r.skip(32 + 5 + 5);
            }
        }
        const bool initialDelay = r.bits(1) != 0;
        const int points = int(r.bits(5)) + 1;
        for (int i = 0; i < points; ++i) {
            r.skip(12);
            if (r.bits(5) > 7)
                r.skip(1);
            if (decoderModel && r.bits(1))
                r.skip(2 * delayLength + 1);
            if (initialDelay && r.bits(1))
                r.skip(4);
        }
    }
    const int widthBits = int(r.bits(4)) + 1;
    const int heightBits = int(r.bits(4)) + 1;
    const quint64 width = r.bits(widthBits) + 1;
    const quint64 height = r.bits(heightBits) + 1;
    if (r.overrun())
        return std::nullopt;
    return ImageSize{int(width), int(height)};
}

/// The size the sequence header among an "av1C" payload's configuration OBUs declares (AV1-ISOBMFF, 2.3).
std::optional<ImageSize> av1CSize(const unsigned char* p, size_t n)
{
    size_t at = 4;
    while (at < n) {
        const int header = p[at];
        const int type = (header >> 3) & 0xf;
        const bool extension = header & 4;
        const bool hasSize = header & 2;
        at += 1 + (extension ? 1 : 0);
        quint64 size = n - std::min(at, n);
        if (hasSize) {
            size = 0;
            for (int i = 0;; ++i) {
                if (at >= n || i == 8)
                    return std::nullopt;
                size |= quint64(p[at] & 0x7f) << (7 * i);
                if (!(p[at++] & 0x80))
                    break;
            }
        }
        if (at > n || size > n - at)
            return std::nullopt;
        if (type == 1)
            return av1SequenceHeaderSize(p + at, size_t(size));
        at += size_t(size);
    }
    return std::nullopt;
}

/// The larger of two sizes by pixels; a missing one loses.
void keepLargest(std::optional<ImageSize>& largest, ImageSize size)
{
    if (!largest || qint64(size.width) * size.height > qint64(largest->width) * largest->height)
        largest = size;
}

/// What the "ipco" box's configurations declare; `sound` false when one cannot be read.
struct Configurations {
    std::optional<ImageSize> largest;
    bool sound = true;
    int hevcLengthBytes = 4;  ///< the NAL length field of HEVC items' data
};

Configurations configurationsIn(const unsigned char* data, size_t from, size_t to)
{
    Configurations c;
    const bool walked = forEachBox(data, from, to, [&](const Box& b) {
        const unsigned char* p = data + b.payload;
        const size_t n = b.end - b.payload;
        if (is(b, "hvcC")) {
            const std::optional<ImageSize> size = hvcCSize(p, n);
            if (!size) {
                c.sound = false;
                return false;
            }
            c.hevcLengthBytes = (p[21] & 3) + 1;
            keepLargest(c.largest, *size);
        } else if (is(b, "av1C")) {
            // The sequence header may be left to the item's data.
            if (const std::optional<ImageSize> size = av1CSize(p, n))
                keepLargest(c.largest, *size);
        }
        return true;
    });
    c.sound = c.sound && walked;
    return c;
}

/// One item to be decoded or composed: its kind and where its bytes lie.
struct CodedItem {
    enum class Kind { Hevc, Av1, Grid, Overlay };
    quint32 id = 0;
    Kind kind = Kind::Hevc;
    struct Extent {
        int method = 0;  ///< 0: in the file; 1: in the "idat" box
        quint64 offset = 0;
        quint64 length = 0;
    };
    std::vector<Extent> extents;
};

quint64 bigEndian(BitReader& r, int bytes)
{
    return r.bits(8 * bytes);
}

/// The items of "iinf" (ISO/IEC 14496-12, 8.11.6) that the library decodes
/// (HEVC, AV1) or composes into a picture of their own size (grid, overlay).
bool readItemTypes(const unsigned char* data, const Box& iinf, std::vector<CodedItem>& items)
{
    if (iinf.end - iinf.payload < 6)
        return false;
    const size_t first = iinf.payload + (data[iinf.payload] == 0 ? 6 : 8);
    return forEachBox(data, std::min(first, iinf.end), iinf.end, [&](const Box& infe) {
        if (!is(infe, "infe"))
            return true;
        BitReader r(data + infe.payload, infe.end - infe.payload);
        const int version = int(r.bits(8));
        r.skip(24);
        if (version < 2)
            return true;  // no item type: not a coded picture
        CodedItem item;
        item.id = quint32(r.bits(version == 2 ? 16 : 32));
        r.skip(16);
        char type[4];
        for (char& c : type)
            c = char(r.bits(8));
        static constexpr std::pair<const char*, CodedItem::Kind> kinds[] = {{"hvc1", CodedItem::Kind::Hevc},
                                                                            {"av01", CodedItem::Kind::Av1},
                                                                            {"grid", CodedItem::Kind::Grid},
                                                                            {"iovl", CodedItem::Kind::Overlay}};
        for (const auto& [name, kind] : kinds) {
            if (!r.overrun() && std::memcmp(type, name, 4) == 0) {
                item.kind = kind;
                items.push_back(item);
            }
        }
        return items.size() < 65536;
    });
}

/// The extents of "iloc" (ISO/IEC 14496-12, 8.11.3) for the items listed.
bool readLocations(const unsigned char* data, const Box& iloc, std::vector<CodedItem>& items)
{
    BitReader r(data + iloc.payload, iloc.end - iloc.payload);
    const int version = int(r.bits(8));
    r.skip(24);
    const int offsetSize = int(r.bits(4)), lengthSize = int(r.bits(4));
    const int baseSize = int(r.bits(4)), indexSize = version >= 1 ? int(r.bits(4)) : (r.skip(4), 0);
    const auto valid = [](int size) { return size == 0 || size == 4 || size == 8; };
    if (version > 2 || !valid(offsetSize) || !valid(lengthSize) || !valid(baseSize) || !valid(indexSize))
        return false;
    const quint64 count = r.bits(version < 2 ? 16 : 32);
    for (quint64 i = 0; i < count && !r.overrun(); ++i) {
        const quint32 id = quint32(r.bits(version < 2 ? 16 : 32));
        const int method = version >= 1 ? int(r.bits(16) & 0xf) : 0;
        r.skip(16);  // data_reference_index
        const quint64 base = bigEndian(r, baseSize);
        const quint64 extents = r.bits(16);
        const auto item = std::find_if(items.begin(), items.end(), [id](const CodedItem& c) { return c.id == id; });
        for (quint64 e = 0; e < extents && !r.overrun(); ++e) {
            if (version >= 1)
                bigEndian(r, indexSize);
            const quint64 offset = bigEndian(r, offsetSize);
            const quint64 length = bigEndian(r, lengthSize);
            if (item != items.end()) {
                if (method > 1 || item->extents.size() >= 1024)
                    return false;
                item->extents.push_back({method, base + offset, length});
            }
        }
    }
    return !r.overrun();
}

/// The sizes the sequence headers among an AV1 item's OBUs declare.
bool av1ItemSizes(const QByteArray& bytes, std::optional<ImageSize>& largest, bool& declared)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const size_t n = size_t(bytes.size());
    size_t at = 0;
    while (at < n) {
        const int header = p[at];
        const int type = (header >> 3) & 0xf;
        if (!(header & 2))
            return false;  // an item's OBUs carry their sizes
        at += 1 + ((header & 4) ? 1 : 0);
        quint64 size = 0;
        for (int i = 0;; ++i) {
            if (at >= n || i == 8)
                return false;
            size |= quint64(p[at] & 0x7f) << (7 * i);
            if (!(p[at++] & 0x80))
                break;
        }
        if (size > n - at)
            return false;
        if (type == 1) {
            const std::optional<ImageSize> s = av1SequenceHeaderSize(p + at, size_t(size));
            if (!s)
                return false;
            keepLargest(largest, *s);
            declared = true;
        }
        at += size_t(size);
    }
    return true;
}

/// The sizes the sequence parameter sets among an HEVC item's NAL units declare.
bool hevcItemSizes(const QByteArray& bytes, int lengthBytes, std::optional<ImageSize>& largest)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const size_t n = size_t(bytes.size());
    size_t at = 0;
    while (at + size_t(lengthBytes) <= n) {
        quint64 length = 0;
        for (int i = 0; i < lengthBytes; ++i)
            length = length << 8 | p[at++];
        if (length > n - at)
            return false;
        if (length >= 2 && ((p[at] >> 1) & 0x3f) == 33) {
            const std::optional<ImageSize> s = hevcSpsSize(p + at, size_t(length));
            if (!s)
                return false;
            keepLargest(largest, *s);
        }
        at += size_t(length);
    }
    return at == n;
}

/// The output size a grid or overlay item's data states (ISO/IEC 23008-12, 6.6.2.3 and 6.6.2.4).
bool derivedSize(const QByteArray& bytes, bool overlay, std::optional<ImageSize>& largest)
{
    BitReader r(reinterpret_cast<const unsigned char*>(bytes.constData()), size_t(bytes.size()));
    r.skip(8);  // version
    const int fieldBits = (r.bits(8) & 1) ? 32 : 16;
    if (overlay)
        r.skip(4 * 16);  // the canvas' fill value
    else
        r.skip(16);  // rows and columns
    const quint64 width = r.bits(fieldBits);
    const quint64 height = r.bits(fieldBits);
    if (r.overrun() || width > 65535 || height > 65535)
        return false;
    keepLargest(largest, ImageSize{int(width), int(height)});
    return true;
}

/// What one item's bytes say, read extent by extent.
bool itemSizes(ByteSource& source, const unsigned char* meta, size_t idatFrom, size_t idatTo, const CodedItem& item,
               const Configurations& c, std::optional<ImageSize>& largest)
{
    QByteArray bytes;
    for (const CodedItem::Extent& e : item.extents) {
        // A length of 0 runs to the end of the file.
        if (e.method == 0) {
            const qint64 size = source.size();
            if (e.offset > quint64(size))
                return false;
            const quint64 length = e.length == 0 ? quint64(size) - e.offset : e.length;
            if (length > quint64(size) - e.offset || bytes.size() + qint64(length) > size)
                return false;
            const QByteArray part = source.readBytes(qint64(e.offset), qint64(length));
            if (part.size() != qint64(length))
                return false;
            bytes += part;
        } else {
            const quint64 idat = idatTo - idatFrom;
            if (e.offset > idat || (e.length != 0 && e.length > idat - e.offset))
                return false;
            const quint64 length = e.length == 0 ? idat - e.offset : e.length;
            bytes.append(reinterpret_cast<const char*>(meta + idatFrom + e.offset), qsizetype(length));
        }
    }
    switch (item.kind) {
    case CodedItem::Kind::Grid: return derivedSize(bytes, false, largest);
    case CodedItem::Kind::Overlay: return derivedSize(bytes, true, largest);
    case CodedItem::Kind::Hevc: return hevcItemSizes(bytes, c.hevcLengthBytes, largest) && c.largest.has_value();
    case CodedItem::Kind::Av1: break;
    }
    bool declared = false;
    if (!av1ItemSizes(bytes, largest, declared))
        return false;
    return declared || c.largest.has_value();
}

/// Everything the "meta" box's bytes declare.
std::optional<ImageSize> largestInMeta(ByteSource& source, const unsigned char* data, size_t size)
{
    std::optional<Box> iinf, iloc, ipco, idat;
    // "meta" is a full box: four bytes of version and flags first.
    const bool walked = forEachBox(data, std::min<size_t>(4, size), size, [&](const Box& b) {
        if (is(b, "iinf"))
            iinf = b;
        else if (is(b, "iloc"))
            iloc = b;
        else if (is(b, "idat"))
            idat = b;
        else if (is(b, "iprp"))
            forEachBox(data, b.payload, b.end, [&](const Box& c) {
                if (is(c, "ipco"))
                    ipco = c;
                return !ipco;
            });
        return true;
    });
    if (!walked || !ipco)
        return std::nullopt;
    const Configurations c = configurationsIn(data, ipco->payload, ipco->end);
    if (!c.sound)
        return std::nullopt;
    std::vector<CodedItem> items;
    if (iinf && !readItemTypes(data, *iinf, items))
        return std::nullopt;
    if (!items.empty() && (!iloc || !readLocations(data, *iloc, items)))
        return std::nullopt;
    std::optional<ImageSize> largest = c.largest;
    for (const CodedItem& item : items)
        if (!itemSizes(source, data, idat ? idat->payload : 0, idat ? idat->end : 0, item, c, largest))
            return std::nullopt;
    return largest ? largest : ImageSize{0, 0};
}

}  // namespace

std::optional<ImageSize> largestCodedPicture(ByteSource& source)
{
    // The top-level boxes, read by their headers only, up to "meta".
    qint64 at = 0;
    const qint64 total = source.size();
    while (at + 8 <= total) {
        unsigned char head[16];
        if (!source.read(at, head, 8))
            return std::nullopt;
        quint64 size = be32(head);
        qint64 header = 8;
        if (size == 1) {
            if (at + 16 > total || !source.read(at + 8, head + 8, 8))
                return std::nullopt;
            size = quint64(be32(head + 8)) << 32 | be32(head + 12);
            header = 16;
        } else if (size == 0) {
            size = quint64(total - at);
        }
        if (size < quint64(header) || size > quint64(total - at))
            return std::nullopt;
        if (std::memcmp(head + 4, "meta", 4) == 0) {
            if (qint64(size) - header > kMaxMetaBytes)
                return std::nullopt;
            const QByteArray meta = source.readBytes(at + header, qint64(size) - header);
            if (meta.size() != qint64(size) - header)
                return std::nullopt;
            return largestInMeta(source, reinterpret_cast<const unsigned char*>(meta.constData()), size_t(meta.size()));
        }
        at += qint64(size);
    }
    return std::nullopt;
}

}  // namespace fotolista
