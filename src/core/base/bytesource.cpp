#include "core/base/bytesource.h"

#include <algorithm>
#include <cstring>

namespace fotolista {

QByteArray ByteSource::readBytes(qint64 offset, qint64 n)
{
    if (n < 0 || offset < 0 || offset > size() || n > size() - offset)
        return {};
    QByteArray bytes(n, Qt::Uninitialized);
    if (!read(offset, bytes.data(), n))
        return {};
    return bytes;
}

bool MemorySource::read(qint64 offset, void* into, qint64 n)
{
    if (offset < 0 || n < 0 || offset > size() || n > size() - offset)
        return false;
    if (n > 0)
        std::memcpy(into, m_bytes.data() + offset, size_t(n));
    return true;
}

bool OverlaidSource::read(qint64 offset, void* into, qint64 n)
{
    if (!m_base.read(offset, into, n))
        return false;
    const qint64 from = std::max(offset, m_patch.offset);
    const qint64 to = std::min(offset + n, m_patch.offset + qint64(m_patch.bytes.size()));
    if (from < to)
        std::memcpy(static_cast<char*>(into) + (from - offset), m_patch.bytes.constData() + (from - m_patch.offset),
                    size_t(to - from));
    return true;
}

FileSource::FileSource(const QString& path) : m_file(path)
{
    // Unbuffered: the start is kept here, and the rest is read in the
    // pieces asked for. 64 kB hold the header of nearly every photo; each
    // piece read from the file would otherwise cost a seek and a read.
    m_open = m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    if (!m_open)
        return;
    m_size = m_file.size();
    m_start = m_file.read(std::min<qint64>(m_size, 64 * 1024));
}

bool FileSource::read(qint64 offset, void* into, qint64 n)
{
    if (!m_open || offset < 0 || n < 0 || offset > m_size || n > m_size - offset)
        return false;
    if (offset + n <= m_start.size()) {
        if (n > 0)
            std::memcpy(into, m_start.constData() + offset, size_t(n));
        return true;
    }
    return m_file.seek(offset) && m_file.read(static_cast<char*>(into), n) == n;
}

}  // namespace fotolista
