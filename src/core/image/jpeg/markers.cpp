#include "core/image/jpeg/markers.h"

#include "core/base/bytesource.h"

#include <cstring>
#include <span>

namespace fotolista {

namespace jpeg {

namespace {

constexpr qint64 kBlock = 64 * 1024;

bool isRestart(int code)
{
    return code >= 0xD0 && code <= 0xD7;
}

/// Segments that the image library reads on top of libjpeg, with readers
/// that trust the counts a file declares; APP0 stays only as JFIF's.
bool isMetadata(const Marker& m, const QByteArray& jpeg)
{
    if (m.code == 0xE0)
        return !(m.size >= 5 && std::memcmp(jpeg.constData() + m.payload, "JFIF\0", 5) == 0);
    return (m.code >= 0xE1 && m.code <= 0xED) || m.code == 0xEF || m.code == 0xFE;
}

}  // namespace

bool hasLength(uint8_t code)
{
    // The codes libjpeg knows and reads a length after: the frames, DHT,
    // JPG and DAC, DQT, DNL, DRI, SOS, APPn and COM. The image library has
    // libjpeg go on past any other code as if it had no length, reading
    // what follows as bytes to pass over: so does this walk.
    return (code >= 0xC0 && code <= 0xCF) || (code >= 0xDA && code <= 0xDD) || (code >= 0xE0 && code <= 0xEF)
           || code == 0xFE;
}

MarkerWalker::MarkerWalker(ByteSource& source, qint64 from)
    : m_source(source)
    , m_memory(reinterpret_cast<const uchar*>(source.contiguous()))
    , m_size(source.size())
    , m_pos(from)
{
}

void MarkerWalker::resumeAt(qint64 pos)
{
    m_pos = pos;
    m_inScan = false;
    m_done = m_metEnd;
}

int MarkerWalker::byteAt(qint64 pos)
{
    if (m_memory)
        return pos >= 0 && pos < m_size ? m_memory[pos] : -1;
    if (pos < m_blockAt || pos >= m_blockAt + m_block.size()) {
        if (pos < 0 || pos >= m_source.size())
            return -1;
        m_blockAt = pos;
        m_block = m_source.readBytes(pos, std::min(kBlock, m_source.size() - pos));
        if (m_block.isEmpty())
            return -1;
    }
    return uchar(m_block[pos - m_blockAt]);
}

qint64 MarkerWalker::nextFF(qint64 pos)
{
    if (m_memory) {
        if (pos < 0 || pos >= m_size)
            return -1;
        const void* ff = std::memchr(m_memory + pos, 0xFF, size_t(m_size - pos));
        return ff ? static_cast<const uchar*>(ff) - m_memory : -1;
    }
    for (;;) {
        if (byteAt(pos) < 0)
            return -1;
        const char* from = m_block.constData() + (pos - m_blockAt);
        const qint64 left = m_blockAt + m_block.size() - pos;
        if (const void* ff = std::memchr(from, 0xFF, size_t(left)))
            return pos + (static_cast<const char*>(ff) - from);
        pos += left;
    }
}

std::optional<Marker> MarkerWalker::next()
{
    qint64 passedOver = 0;
    while (!m_done) {
        const qint64 ff = nextFF(m_pos);
        if (!m_inScan && ff > m_pos)
            passedOver += ff - m_pos;
        qint64 at = ff + 1;
        int code = ff < 0 ? -1 : byteAt(at);
        while (code == 0xFF)  // fill bytes
            code = byteAt(++at);
        if (code < 0)
            break;
        m_pos = at + 1;
        // A stuffed zero is data in a scan, and passed over between
        // segments; inside a scan the restarts and the codes libjpeg's
        // resynchronisation discards (below the frame markers) do not end it.
        if (code == 0 || (m_inScan && (isRestart(code) || code < 0xC0))) {
            if (!m_inScan)
                passedOver += 2;
            continue;
        }
        Marker m;
        m.code = uint8_t(code);
        m.at = at - 1;
        m.inScan = m_inScan;
        m.passedOver = passedOver;
        m.payload = at + 1;
        if (hasLength(m.code)) {
            const int hi = byteAt(at + 1), lo = byteAt(at + 2);
            const qint64 length = hi < 0 || lo < 0 ? -1 : qint64(hi) << 8 | lo;
            if (length < 2 || at + 1 + length > m_size)
                break;  // libjpeg stops here too, on a bad length or the file's end
            m.payload = at + 3;
            m.size = length - 2;
        }
        m_pos = m.end();
        if (m.code == 0xD9) {
            m_metEnd = true;
            m_done = true;
        }
        m_inScan = m.code == 0xDA;
        return m;
    }
    m_done = true;
    return std::nullopt;
}

QByteArray withoutMetadataSegments(const QByteArray& jpeg)
{
    if (jpeg.size() < 4 || uchar(jpeg[0]) != 0xFF || uchar(jpeg[1]) != 0xD8)
        return jpeg;
    MemorySource source(std::as_bytes(std::span(jpeg.constData(), size_t(jpeg.size()))));
    MarkerWalker walker(source);
    QByteArray out;
    out.reserve(jpeg.size());
    qint64 kept = 0;
    while (const auto m = walker.next()) {
        if (!isMetadata(*m, jpeg))
            continue;
        out.append(jpeg.constData() + kept, m->at - kept);
        kept = m->end();
    }
    out.append(jpeg.constData() + kept, jpeg.size() - kept);
    return out;
}

bool endsEarly(const QByteArray& jpeg)
{
    MemorySource source(std::as_bytes(std::span(jpeg.constData(), size_t(jpeg.size()))));
    MarkerWalker walker(source);
    while (walker.next()) {
    }
    return !walker.metEnd();
}

}  // namespace jpeg

}  // namespace fotolista
