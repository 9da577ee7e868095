// The markers and their segments (ITU-T T.81, Annex B; the codes of
// Table B.1), found by the walk the header reader and the intake use too
// (markers.h), with nothing passed over between segments: SOI, the frame
// header (B.2.2: baseline, extended and progressive Huffman frames only),
// DQT (B.2.4.1), DHT (B.2.4.2), DRI (B.2.4.4), each scan header (B.2.3)
// and the end of each scan's data, restart markers in that data, APPn and
// COM segments passed over but for JFIF's and Adobe's, and EOI. Anything
// this does not take ends the decoding, and the file goes to libjpeg.

#include "core/image/jpeg/decoder.h"

#include "core/base/byteorder.h"
#include "core/base/bytesource.h"
#include "core/image/jpeg/markers.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>

namespace fotolista {

namespace jpeg {

bool Decoder::huffmanTables(const uint8_t* at, int length)
{
    while (length > 0) {
        if (length < 17)
            return false;
        const int kind = at[0] >> 4, id = at[0] & 15;
        if (kind > 1 || id > 3)
            return false;
        int total = 0;
        for (int i = 1; i <= 16; ++i)
            total += at[i];
        if (total > 256 || 17 + total > length)
            return false;
        Huffman& table = kind ? m_ac[size_t(id)] : m_dc[size_t(id)];
        if (!buildHuffman(table, at + 1, at + 17, total, kind == 0))
            return false;
        at += 17 + total;
        length -= 17 + total;
    }
    return true;
}

bool Decoder::quantTables(const uint8_t* at, int length)
{
    while (length > 0) {
        const int precision = at[0] >> 4, id = at[0] & 15;
        const int size = 1 + (precision ? 128 : 64);
        if (precision > 1 || id > 3 || length < size)
            return false;
        for (size_t k = 0; k < 64; ++k)
            m_quant[size_t(id)][kNaturalOrder[k]] = uint16_t(precision ? be16(at + 1 + 2 * k) : at[1 + k]);
        m_quantDefined[size_t(id)] = true;
        at += size;
        length -= size;
    }
    return true;
}

bool Decoder::layOut(Component& c) const
{
    // Each plane is transformed straight to the output's size: a plane at
    // half the width gets twice the transform.
    if (m_maxH % c.h || m_maxV % c.v)
        return false;
    c.sizeX = m_eighths * (m_maxH / c.h);
    c.sizeY = m_eighths * (m_maxV / c.v);
    c.transform = transformFor(c.sizeX, c.sizeY);
    if (!c.transform)
        return false;
    c.widthInBlocks = int((qint64(m_width) * c.h + m_maxH - 1) / m_maxH + 7) / 8;
    c.heightInBlocks = int((qint64(m_height) * c.v + m_maxV - 1) / m_maxV + 7) / 8;
    c.storedWidth = m_mcusAcross * c.h;
    // A sequential file is transformed row by row as it is read.
    c.storedHeight = m_sequential ? c.v : m_mcusDown * c.v;
    for (int k = 0; k < 64; ++k) {
        const int row = kNaturalOrder[size_t(k)] / 8, column = kNaturalOrder[size_t(k)] % 8;
        if (row < c.sizeY && column < c.sizeX) {
            c.slot[size_t(k)] = int8_t(row * c.sizeX + column);
            c.keptMask |= uint64_t(1) << k;
            ++c.kept;
        } else {
            c.slot[size_t(k)] = -1;
        }
    }
    // Past the kept ones, a place the others are written to unread: no
    // branch on whether a coefficient is kept.
    for (int8_t& slot : c.slot) {
        if (slot < 0)
            slot = int8_t(c.kept);
    }
    c.stride = c.kept + 1;
    c.coefficientBits.fill(-1);
    return true;
}

bool Decoder::frame(const uint8_t* at, int length)
{
    if (m_sawFrame || length < 6)
        return false;
    m_sawFrame = true;
    const int precision = at[0];
    m_height = int(be16(at + 1));
    m_width = int(be16(at + 3));
    const int count = at[5];
    if (precision != 8 || m_width < 1 || m_height < 1 || m_width > kMaxSide || m_height > kMaxSide
        || (count != 1 && count != 3) || length != 6 + 3 * count)
        return false;
    m_components.resize(size_t(count));
    for (int i = 0; i < count; ++i) {
        Component& c = m_components[size_t(i)];
        const uint8_t* p = at + 6 + 3 * i;
        c.id = p[0];
        c.h = p[1] >> 4;
        c.v = p[1] & 15;
        c.quantId = p[2];
        if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4 || c.quantId > 3)
            return false;
        for (int j = 0; j < i; ++j) {
            if (m_components[size_t(j)].id == c.id)
                return false;
        }
        m_maxH = std::max(m_maxH, c.h);
        m_maxV = std::max(m_maxV, c.v);
    }
    const qint64 outputWidth = (qint64(m_width) * m_eighths + 7) / 8;
    const qint64 outputHeight = (qint64(m_height) * m_eighths + 7) / 8;
    if (outputWidth * outputHeight > m_maxPixels)
        return false;
    m_mcusAcross = (m_width + 8 * m_maxH - 1) / (8 * m_maxH);
    m_mcusDown = (m_height + 8 * m_maxV - 1) / (8 * m_maxV);
    qint64 bytes = 0;
    for (Component& c : m_components) {
        if (!layOut(c))
            return false;
        bytes += qint64(c.storedWidth) * c.storedHeight * (8 + 2 * c.stride);
    }
    if (bytes > kMaxCoefficientBytes)
        return false;
    for (Component& c : m_components)
        takeStorage(c, size_t(&c - m_components.data()));
    return true;
}

bool Decoder::restart(BitReader& reader, int& expected) const
{
    if (reader.overrun() || reader.unusedBits() >= 8)
        return false;
    reader.reset();
    const uint8_t* at = reader.position();
    int skipped = 0;
    while (at + 1 < m_end && at[0] == 0xFF && at[1] == 0xFF) {
        ++at;
        ++skipped;
    }
    if (at + 1 >= m_end || at[0] != 0xFF || at[1] != 0xD0 + expected)
        return false;
    reader.skipBytes(skipped + 2);
    expected = (expected + 1) & 7;
    return true;
}

bool Decoder::scanHeader(const uint8_t* at, int length, Scan& scan)
{
    if (!m_sawFrame || ++m_scans > kMaxScans || length < 1)
        return false;
    scan.count = at[0];
    if (scan.count < 1 || scan.count > int(m_components.size()) || length != 4 + 2 * scan.count)
        return false;
    for (size_t i = 0; i < size_t(scan.count); ++i) {
        const uint8_t* p = at + 1 + 2 * i;
        const auto found =
            std::find_if(m_components.begin(), m_components.end(), [&](const Component& c) { return c.id == p[0]; });
        if (found == m_components.end() || (p[1] >> 4) > 3 || (p[1] & 15) > 3)
            return false;
        // In the frame's order, each once (B.2.3); libjpeg refuses some other orders.
        if (i > 0 && &*found <= scan.components[i - 1])
            return false;
        scan.components[i] = &*found;
        scan.dcTables[i] = &m_dc[size_t(p[1] >> 4)];
        scan.acTables[i] = &m_ac[size_t(p[1] & 15)];
    }
    const uint8_t* q = at + 1 + 2 * scan.count;
    scan.ss = q[0];
    scan.se = q[1];
    scan.ah = q[2] >> 4;
    scan.al = q[2] & 15;
    if (m_sequential) {
        // One scan of every plane; a lone plane in blocks of its own.
        if (scan.ss != 0 || scan.se != 63 || scan.ah != 0 || scan.al != 0 || m_scans != 1
            || scan.count != int(m_components.size())
            || (scan.count == 1 && (m_components[0].h != 1 || m_components[0].v != 1)))
            return false;
    } else if (scan.dc() ? scan.se != 0 : (scan.se < scan.ss || scan.se > 63 || scan.count != 1)) {
        return false;
    }
    if (scan.al > 13 || (scan.ah != 0 && scan.al != scan.ah - 1))
        return false;
    int blocks = 0;
    for (size_t i = 0; i < size_t(scan.count); ++i)
        blocks += scan.components[i]->h * scan.components[i]->v;
    if (scan.count > 1 && blocks > kMaxBlocksInMcu)
        return false;
    for (size_t i = 0; i < size_t(scan.count); ++i) {
        if (!takeUp(*scan.components[i], scan, *scan.dcTables[i], *scan.acTables[i]))
            return false;
    }
    return true;
}

bool Decoder::takeUp(Component& c, const Scan& scan, const Huffman& dcTable, const Huffman& acTable)
{
    if (!scan.dc() && c.coefficientBits[0] < 0)
        return false;  // AC before DC
    // Each band must take up where the last scan of it stopped.
    for (int k = scan.ss; k <= scan.se; ++k) {
        if (scan.ah != std::max(c.coefficientBits[size_t(k)], 0))
            return false;
        c.coefficientBits[size_t(k)] = scan.al;
    }
    if (m_sequential ? !dcTable.defined || !acTable.defined
        : scan.dc()  ? scan.ah == 0 && !dcTable.defined
                     : !acTable.defined)
        return false;
    if (!c.quantTaken) {
        if (!m_quantDefined[size_t(c.quantId)])
            return false;
        c.quant = m_quant[size_t(c.quantId)];
        c.quantTaken = true;
    }
    c.dcPrediction = 0;
    return true;
}

bool Decoder::scan(const uint8_t* at, int length, const uint8_t*& next)
{
    Scan scan;
    if (!scanHeader(at, length, scan))
        return false;
    scan.untilRestart = m_restartInterval;
    BitReader reader(at + length, m_end);
    const bool read = m_sequential      ? sequential(reader, scan)
                      : scan.count == 1 ? oneComponent(reader, scan)
                                        : interleaved(reader, scan);
    if (!read || reader.overrun() || reader.unusedBits() >= 8)
        return false;
    // The scan's data ends at a marker, with nothing else before it.
    const uint8_t* end = reader.position();
    while (end + 1 < m_end && end[0] == 0xFF && end[1] == 0xFF)
        ++end;
    if (end + 1 >= m_end || end[0] != 0xFF || end[1] == 0)
        return false;
    next = end;
    return true;
}

bool Decoder::segments()
{
    if (m_end - m_data < 2 || m_data[0] != 0xFF || m_data[1] != 0xD8)
        return false;
    MemorySource source(std::as_bytes(std::span(m_data, size_t(m_end - m_data))));
    MarkerWalker walker(source);
    for (;;) {
        const std::optional<Marker> m = walker.next();
        // libjpeg warns about bytes between segments: such a file is its to read.
        if (!m || m->passedOver > 0)
            return false;
        const int marker = m->code;
        if (marker == 0xD9)
            return m_sawFrame && m_scans > 0;
        if (!hasLength(m->code))
            return false;
        const uint8_t* payload = m_data + m->payload;
        const int size = int(m->size);
        bool ok = true;
        if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
            m_sequential = marker != 0xC2;
            ok = frame(payload, size);
        } else if (marker == 0xC4) {
            ok = huffmanTables(payload, size);
        } else if (marker == 0xDB) {
            ok = quantTables(payload, size);
        } else if (marker == 0xDD) {
            ok = size == 2;
            if (ok)
                m_restartInterval = int(be16(payload));
        } else if (marker == 0xDA) {
            // The scan's data is read here, up to the marker that ends it.
            const uint8_t* next = nullptr;
            if (!scan(payload, size, next))
                return false;
            walker.resumeAt(next - m_data);
        } else if (marker == 0xE0) {
            // libjpeg warns about a JFIF version it does not know, wherever it is.
            ok = !(size >= 14 && std::memcmp(payload, "JFIF", 5) == 0 && payload[5] != 1);
            if (m_scans == 0 && size >= 14 && std::memcmp(payload, "JFIF", 5) == 0) {
                m_jfif = true;
                m_densityUnit = payload[7];
                m_densityX = int(be16(payload + 8));
                m_densityY = int(be16(payload + 10));
            }
        } else if (marker == 0xEE) {
            // Adobe's marker says which colours the planes hold.
            ok = !(size >= 12 && std::memcmp(payload, "Adobe", 5) == 0);
        } else if (!(marker >= 0xE1 && marker <= 0xEF) && marker != 0xFE) {
            // Other frames, arithmetic coding, DNL and reserved markers.
            ok = false;
        }
        if (!ok)
            return false;
    }
}

/// Planes named R, G and B in a file without JFIF's header hold RGB.
bool Decoder::rgbPlanes() const
{
    return m_components.size() == 3 && !m_jfif && m_components[0].id == 'R' && m_components[1].id == 'G'
           && m_components[2].id == 'B';
}

}  // namespace jpeg

}  // namespace fotolista
