#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

namespace fotolista {

class CaseBlindFinder;
class JobSettings;
class PlacementSource;

/// What one row's two outputs were made from, reduced to 128 bits.
struct RowFingerprint {
    quint64 high = 0;
    quint64 low = 0;
    bool operator==(const RowFingerprint&) const = default;
};

/// Everything a row's outputs depend on, gathered as text and bytes.
class FingerprintBuilder {
public:
    void add(const QString& text);
    void add(qint64 number);
    /// A file's size and modification time; "none" for a missing file.
    void addFile(const QString& path);
    RowFingerprint result() const;

private:
    QByteArray m_bytes;
};

/// The fingerprints of the rows written into one destination folder, kept
/// in a small file of the program's own under `cacheFolder` (the user's
/// cache folder), named after the destination folder: nothing lands in the
/// folder the shop publishes. A missing or damaged file means no row is
/// known, so every row is made again.
class RowFingerprints {
public:
    RowFingerprints(QString cacheFolder, const QString& destinationFolder);

    /// Reads the file; false (and nothing known) when it is missing or damaged.
    bool load();
    /// Writes the file when something changed, atomically; true on success.
    bool save();

    std::optional<RowFingerprint> find(const QString& destinationText) const;
    void record(const QString& destinationText, RowFingerprint fingerprint);
    void forget(const QString& destinationText);

    QString filePath() const { return m_path; }

private:
    static quint64 keyOf(const QString& destinationText);

    QString m_path;
    QHash<quint64, RowFingerprint> m_rows;
    bool m_changed = false;
};

/// What a found row's outputs depend on, as things stand now.
struct RowInputs {
    const JobSettings& settings;
    PlacementSource& placement;
    CaseBlindFinder& finder;
    QString watermarkFolder;
    QString destinationFolder;
    QString sourcePath;
    QString destinationText;
};

/// The fingerprint of a row: the program's version, the source (path, size
/// and modification time), every setting the outputs depend on, the
/// watermark pictures the row is stamped with, and the two outputs as they
/// lie on disk, so one deleted or replaced is made again.
RowFingerprint rowFingerprint(const RowInputs& in);

/// Where the fingerprints live: "fotolista" in the user's cache folder.
QString defaultFingerprintFolder();

}  // namespace fotolista
