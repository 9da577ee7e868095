#pragma once

#include <QFile>
#include <QList>
#include <QString>

#include <optional>

/// Counters of a run and the kilobyte totals that outlive it. The totals are
/// reset only when a workbook is chosen, so two runs on one workbook add up.
struct RunTotals {
    qint64 passCount = 0;          ///< passes of the row loop so far
    qint64 notProcessedCount = 0;  ///< rows not processed (unnamed, missing, unsafe)
    qint64 kbReadTotal = 0;        ///< kilobytes of the sources of written rows
    qint64 kbWrittenTotal = 0;     ///< kilobytes of the large images written

    void resetKilobyteTotals() { kbReadTotal = kbWrittenTotal = 0; }
};

/// Colour values of the tree entries (0x00BBGGRR).
inline constexpr quint32 kEntryBlack = 0;
inline constexpr quint32 kEntryRed = 255;

struct SummaryEntry {
    QString key;   ///< "3 ID" for pass 3; empty for the roots and the details
    QString text;
    quint32 colour = kEntryBlack;
    QString tag;
    QList<SummaryEntry> children;
};

/// Row counters of a run as the summary shows them; unset until a run ends.
struct SummaryCounters {
    qint64 totales = 0;
    qint64 noProcesadas = 0;
    std::optional<qint64> procesadas;
};

/// Told of every change of a SummaryTree, so a view can follow a run as it
/// goes without rebuilding itself.
class SummaryListener {
public:
    virtual ~SummaryListener() = default;
    virtual void summaryCleared() = 0;
    virtual void rootsAdded() = 0;
    /// `rootNumber` is 1 or 2; the entry has no children yet.
    virtual void rowAdded(int rootNumber, const SummaryEntry& entry) = 0;
    virtual void detailAdded(const QString& rowKey, const QString& text) = 0;
    virtual void countersChanged() = 0;
};

/// The summary of the last run as plain data: two roots, one entry per
/// handled row, two detail entries under each written row, and the counters.
class SummaryTree {
public:
    /// At most one listener; nullptr detaches it.
    void setListener(SummaryListener* listener) { m_listener = listener; }

    static QString associatedRootText() { return QStringLiteral("-> Imagenes asociadas"); }
    static QString notAssociatedRootText() { return QStringLiteral("-> No asociadas"); }

    void clear();
    /// Adds "-> Imagenes asociadas" (root 1) and "-> No asociadas" (root 2).
    void addRoots();
    /// Adds a row entry under root 1 or 2; false when that root is not there.
    bool addRowEntry(int rootNumber, const QString& key, const QString& text, quint32 colour, const QString& tag);
    /// Adds a detail under the row entry with `rowKey`; false when there is none.
    bool addDetail(const QString& rowKey, const QString& text);

    const QList<SummaryEntry>& roots() const { return m_roots; }
    const SummaryEntry* findRow(const QString& key) const;

    const SummaryCounters& counters() const { return m_counters; }
    void setCounters(qint64 totales, qint64 noProcesadas, qint64 procesadas);

    /// One line per entry, children indented by two blanks.
    QStringList toLines() const;

private:
    SummaryEntry* findRowMutable(const QString& key);
    QList<SummaryEntry> m_roots;
    SummaryCounters m_counters;
    SummaryListener* m_listener = nullptr;
};

/// The log of the rows not processed: replaced at each run, one line per row
/// ended by CR LF, UTF-8. A log that cannot be written loses its lines
/// without stopping the run.
class ErrorLog {
public:
    bool open(const QString& path);
    void writeLine(const QString& text);
    void close();
    bool isOpen() const { return m_file.isOpen(); }

private:
    QFile m_file;
};

/// Text of a row entry and of its log line:
/// "3 - C.O: F14 valor: 12345.JPG || C.D.: A14 :  valor: ABC.jpg".
QString rowEntryText(qint64 passNumber, const QString& originAddress, const QString& sourceText,
                     const QString& sourceFormat, const QString& destinationAddress,
                     const QString& destinationText);

/// Kilobytes of a byte size, rounded half to even (1536 → 2, 2560 → 2, 3584 → 4).
qint64 kilobytes(qint64 bytes);

/// "Tam I Grande: 812 Kb. Tam F Grande: 64 Kb."
QString sizeDetailText(qint64 kbRead, qint64 kbWritten);

/// "Porcentaje comprimido 92 % || Ratio: 1,92 sobre unidad", the ratio in its
/// shortest form with the user's decimal separator; "n/d" when kbRead is 0.
QString compressionDetailText(qint64 kbRead, qint64 kbWritten);
