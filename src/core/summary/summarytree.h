#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

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

    const SummaryCounters& counters() const { return m_counters; }
    void setCounters(qint64 totales, qint64 noProcesadas, qint64 procesadas);

    /// One line per entry, children indented by two blanks.
    QStringList toLines() const;

private:
    SummaryEntry* findRow(const QString& key);
    QList<SummaryEntry> m_roots;
    SummaryCounters m_counters;
    SummaryListener* m_listener = nullptr;
};
