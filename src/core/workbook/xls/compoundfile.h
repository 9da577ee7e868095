#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <vector>

namespace fotolista {

namespace xls {

/// Read-only view of an OLE2 compound file (the container of .xls, .doc, ...).
/// Every offset it follows comes from the file, so each one is checked against
/// the bytes actually present, sector chains are walked with a visited set, and
/// nothing is allocated from a declared size larger than the file.
class CompoundFile {
public:
    enum class Status {
        Ok,
        NotCompoundFile,  ///< the signature is missing: some other kind of file
        Damaged,  ///< the signature is there but the structure is broken or cut short
    };

    enum class StreamStatus { Ok, Missing, Damaged };

    /// Reads the header, the allocation tables and the directory. The bytes
    /// are shared, not copied.
    explicit CompoundFile(QByteArray bytes);

    Status status() const { return m_status; }

    /// Reads the stream called `name` among the root storage's children (names
    /// compared without regard to case). `out` is filled only on Ok.
    StreamStatus readStream(QStringView name, QByteArray& out) const;

private:
    struct Entry {
        QString name;
        quint8 type = 0;
        quint32 left = 0;
        quint32 right = 0;
        quint32 child = 0;
        quint32 start = 0;
        quint64 size = 0;
    };

    bool load();
    bool readSectorSizes(QByteArrayView header);
    void readFat(QByteArrayView header);
    bool readDirectory(quint32 firstDirSector);
    void readMiniStream(quint32 firstMiniFatSector);
    qsizetype sectorOffset(quint32 sector) const;
    /// The sector's bytes as far as the file holds them (a writer may leave the
    /// last sector short); empty when the sector lies wholly past the end.
    QByteArrayView sectorBytes(quint32 sector) const;
    /// Follows `start` through `table` until end of chain or until `maxSectors`
    /// links are collected; false on a cycle, a free or out-of-range link.
    static bool followChain(const std::vector<quint32>& table, quint32 start, quint64 maxSectors,
                            std::vector<quint32>& chain);
    bool readRegular(quint32 start, quint64 size, QByteArray& out) const;
    bool readMini(quint32 start, quint64 size, QByteArray& out) const;
    std::vector<quint32> rootChildren() const;

    QByteArray m_bytes;
    Status m_status = Status::Damaged;
    int m_sectorShift = 9;
    quint32 m_sectorSize = 512;
    quint32 m_miniCutoff = 4096;
    bool m_sizeIs64Bit = false;
    quint64 m_sectorCount = 0;
    std::vector<quint32> m_fat;
    std::vector<quint32> m_miniFat;
    std::vector<Entry> m_entries;
    QByteArray m_miniStream;
};

}  // namespace xls

}  // namespace fotolista
