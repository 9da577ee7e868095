#include "core/workbook/xls/compoundfile.h"

#include <QtEndian>

#include <algorithm>

namespace fotolista {

namespace xls {

namespace {

constexpr quint32 kMaxRegularSector = 0xFFFFFFFA;
constexpr quint32 kEndOfChain = 0xFFFFFFFE;
constexpr quint32 kFreeSector = 0xFFFFFFFF;
constexpr quint32 kNoEntry = 0xFFFFFFFF;
constexpr int kHeaderDifatEntries = 109;
constexpr int kDirEntrySize = 128;
constexpr int kMiniSectorSize = 64;

constexpr quint8 kTypeStream = 2;
constexpr quint8 kTypeRoot = 5;

const char kSignature[8] = {'\xD0', '\xCF', '\x11', '\xE0', '\xA1', '\xB1', '\x1A', '\xE1'};

quint16 u16At(QByteArrayView b, qsizetype at)
{
    return qFromLittleEndian<quint16>(b.data() + at);
}

quint32 u32At(QByteArrayView b, qsizetype at)
{
    return qFromLittleEndian<quint32>(b.data() + at);
}

quint64 u64At(QByteArrayView b, qsizetype at)
{
    return qFromLittleEndian<quint64>(b.data() + at);
}

/// Appends the 32-bit entries of a table sector; bytes missing from a short
/// sector read as free entries, so a cut-off table never invents links.
void appendTableEntries(QByteArrayView sector, quint32 sectorSize, std::vector<quint32>& table)
{
    for (quint32 at = 0; at + 4 <= sectorSize; at += 4)
        table.push_back(at + 4 <= quint32(sector.size()) ? u32At(sector, at) : kFreeSector);
}

}  // namespace

CompoundFile::CompoundFile(QByteArray bytes) : m_bytes(std::move(bytes))
{
    if (m_bytes.size() < qsizetype(sizeof kSignature)
        || !std::equal(std::begin(kSignature), std::end(kSignature), m_bytes.constData())) {
        m_status = Status::NotCompoundFile;
        return;
    }
    m_status = load() ? Status::Ok : Status::Damaged;
}

qsizetype CompoundFile::sectorOffset(quint32 sector) const
{
    return qsizetype((quint64(sector) + 1) << m_sectorShift);
}

QByteArrayView CompoundFile::sectorBytes(quint32 sector) const
{
    if (sector >= m_sectorCount)
        return {};
    const qsizetype at = sectorOffset(sector);
    const qsizetype available = m_bytes.size() - at;
    return QByteArrayView(m_bytes.constData() + at, qMin<qsizetype>(available, m_sectorSize));
}

bool CompoundFile::load()
{
    const QByteArrayView header(m_bytes);
    if (header.size() < 512 || !readSectorSizes(header))
        return false;
    readFat(header);
    if (!readDirectory(u32At(header, 0x30)))
        return false;
    m_miniCutoff = u32At(header, 0x38);
    readMiniStream(u32At(header, 0x3C));
    return true;
}

bool CompoundFile::readSectorSizes(QByteArrayView header)
{
    const quint16 sectorShift = u16At(header, 0x1E);
    const quint16 miniShift = u16At(header, 0x20);
    // Every writer uses 512-byte sectors (version 3) or 4096-byte ones (version 4).
    if ((sectorShift != 9 && sectorShift != 12) || miniShift != 6)
        return false;
    m_sectorShift = sectorShift;
    m_sectorSize = 1u << sectorShift;
    m_sizeIs64Bit = sectorShift == 12;
    if (m_bytes.size() < qsizetype(m_sectorSize))
        return false;
    // Count a short last sector too: real writers leave one.
    m_sectorCount = (quint64(m_bytes.size()) - m_sectorSize + m_sectorSize - 1) / m_sectorSize;
    return true;
}

void CompoundFile::readFat(QByteArrayView header)
{
    const quint32 declaredFatSectors = u32At(header, 0x2C);
    // Which sectors hold the FAT: 109 slots in the header, then a chain of
    // DIFAT sectors whose last entry links to the next one.
    std::vector<quint32> fatSectors;
    const auto addFatSector = [&](quint32 s) {
        if (s <= kMaxRegularSector)
            fatSectors.push_back(s);
    };
    for (int i = 0; i < kHeaderDifatEntries; ++i)
        addFatSector(u32At(header, 0x4C + 4 * i));
    std::vector<bool> seen(m_sectorCount, false);
    quint32 s = u32At(header, 0x44);
    const quint32 perSector = m_sectorSize / 4 - 1;
    while (s < m_sectorCount && !seen[s]) {
        seen[s] = true;
        std::vector<quint32> entries;
        appendTableEntries(sectorBytes(s), m_sectorSize, entries);
        for (quint32 i = 0; i < perSector; ++i)
            addFatSector(entries[i]);
        s = entries[perSector];
    }
    if (declaredFatSectors > 0 && fatSectors.size() > declaredFatSectors)
        fatSectors.resize(declaredFatSectors);

    // Only links to sectors inside the file can be followed, so the FAT never
    // needs more entries than the file has sectors.
    for (quint32 sector : fatSectors) {
        if (m_fat.size() >= m_sectorCount)
            break;
        appendTableEntries(sectorBytes(sector), m_sectorSize, m_fat);
    }
    if (m_fat.size() > m_sectorCount)
        m_fat.resize(m_sectorCount);
}

bool CompoundFile::readDirectory(quint32 firstDirSector)
{
    std::vector<quint32> dirChain;
    if (!followChain(m_fat, firstDirSector, m_sectorCount, dirChain) || dirChain.empty())
        return false;
    QByteArray dir;
    for (quint32 s : dirChain)
        dir.append(sectorBytes(s));
    const qsizetype entryCount = dir.size() / kDirEntrySize;
    m_entries.reserve(entryCount);
    for (qsizetype i = 0; i < entryCount; ++i) {
        const QByteArrayView e = QByteArrayView(dir).sliced(i * kDirEntrySize, kDirEntrySize);
        Entry entry;
        const quint16 nameBytes = qMin<quint16>(u16At(e, 0x40), 64);
        const qsizetype nameChars = nameBytes >= 2 ? nameBytes / 2 - 1 : 0;
        for (qsizetype c = 0; c < nameChars; ++c)
            entry.name.append(QChar(u16At(e, 2 * c)));
        entry.type = quint8(e[0x42]);
        entry.left = u32At(e, 0x44);
        entry.right = u32At(e, 0x48);
        entry.child = u32At(e, 0x4C);
        entry.start = u32At(e, 0x74);
        // Version 3 files leave the high half undefined.
        entry.size = m_sizeIs64Bit ? u64At(e, 0x78) : u32At(e, 0x78);
        m_entries.push_back(std::move(entry));
    }
    return !m_entries.empty() && m_entries[0].type == kTypeRoot;
}

void CompoundFile::readMiniStream(quint32 firstMiniFatSector)
{
    // The mini stream and its table are only needed for small streams; when
    // they are broken, reading such a stream reports the damage instead.
    std::vector<quint32> miniFatChain;
    if (followChain(m_fat, firstMiniFatSector, m_sectorCount, miniFatChain)) {
        for (quint32 s : miniFatChain)
            appendTableEntries(sectorBytes(s), m_sectorSize, m_miniFat);
    }
    const Entry& root = m_entries[0];
    if (!readRegular(root.start, root.size, m_miniStream))
        m_miniStream.clear();
}

bool CompoundFile::followChain(const std::vector<quint32>& table, quint32 start, quint64 maxSectors,
                               std::vector<quint32>& chain)
{
    chain.clear();
    std::vector<bool> seen(table.size(), false);
    quint32 s = start;
    while (chain.size() < maxSectors) {
        if (s == kEndOfChain)
            return true;
        if (s >= table.size() || seen[s])
            return false;
        seen[s] = true;
        chain.push_back(s);
        s = table[s];
    }
    return true;
}

bool CompoundFile::readRegular(quint32 start, quint64 size, QByteArray& out) const
{
    out.clear();
    if (size > quint64(m_bytes.size()))
        return false;
    const quint64 needed = (size + m_sectorSize - 1) / m_sectorSize;
    std::vector<quint32> chain;
    if (!followChain(m_fat, start, needed, chain) || chain.size() != needed)
        return false;
    out.reserve(qsizetype(size));
    quint64 remaining = size;
    for (quint32 s : chain) {
        const QByteArrayView bytes = sectorBytes(s);
        const quint64 want = qMin<quint64>(remaining, m_sectorSize);
        if (quint64(bytes.size()) < want)
            return false;
        out.append(bytes.first(qsizetype(want)));
        remaining -= want;
    }
    return true;
}

bool CompoundFile::readMini(quint32 start, quint64 size, QByteArray& out) const
{
    out.clear();
    if (size > quint64(m_miniStream.size()))
        return false;
    const quint64 needed = (size + kMiniSectorSize - 1) / kMiniSectorSize;
    std::vector<quint32> chain;
    if (!followChain(m_miniFat, start, needed, chain) || chain.size() != needed)
        return false;
    out.reserve(qsizetype(size));
    quint64 remaining = size;
    for (quint32 s : chain) {
        const quint64 at = quint64(s) * kMiniSectorSize;
        const quint64 want = qMin<quint64>(remaining, kMiniSectorSize);
        if (at + want > quint64(m_miniStream.size()))
            return false;
        out.append(m_miniStream.constData() + at, qsizetype(want));
        remaining -= want;
    }
    return true;
}

std::vector<quint32> CompoundFile::rootChildren() const
{
    // The children of a storage form a binary tree through left/right links;
    // a damaged file may link it into a loop, hence the visited set.
    std::vector<quint32> found;
    std::vector<bool> seen(m_entries.size(), false);
    std::vector<quint32> pending{m_entries.empty() ? kNoEntry : m_entries[0].child};
    while (!pending.empty()) {
        const quint32 id = pending.back();
        pending.pop_back();
        if (id >= m_entries.size() || seen[id])
            continue;
        seen[id] = true;
        found.push_back(id);
        pending.push_back(m_entries[id].left);
        pending.push_back(m_entries[id].right);
    }
    return found;
}

CompoundFile::StreamStatus CompoundFile::readStream(QStringView name, QByteArray& out) const
{
    if (m_status != Status::Ok)
        return StreamStatus::Damaged;
    for (quint32 id : rootChildren()) {
        const Entry& e = m_entries[id];
        if (e.type != kTypeStream || e.name.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        QByteArray data;
        const bool ok = e.size < m_miniCutoff ? readMini(e.start, e.size, data) : readRegular(e.start, e.size, data);
        if (!ok)
            return StreamStatus::Damaged;
        out = std::move(data);
        return StreamStatus::Ok;
    }
    return StreamStatus::Missing;
}

}  // namespace xls

}  // namespace fotolista
