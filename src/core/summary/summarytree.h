#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <QStringView>

#include <optional>
#include <vector>

namespace fotolista {

/// Colour values of the tree entries (0x00BBGGRR).
inline constexpr quint32 kEntryBlack = 0;
inline constexpr quint32 kEntryRed = 255;

struct SummaryEntry {
    QString key;  ///< "3 ID" for pass 3; empty for the roots and the details
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
    virtual void detailAdded(const QString& rowKey, const QString& text, quint32 colour) = 0;
    virtual void countersChanged() = 0;
};

/// The summary of the last run as plain data: two roots, one entry per
/// handled row, two detail entries under each written row, and the counters.
/// A run of many thousand rows keeps its texts packed in a few large
/// blocks, not one allocation per entry; roots() builds the entries.
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
    /// Adds a detail under the row entry with `rowKey`; false when there is
    /// none. Red details say why a found row's images were not written.
    bool addDetail(const QString& rowKey, const QString& text, quint32 colour = kEntryBlack);

    /// The roots with their rows and details, built afresh.
    QList<SummaryEntry> roots() const;

    const SummaryCounters& counters() const { return m_counters; }
    void setCounters(qint64 totales, qint64 noProcesadas, qint64 procesadas);

    /// One line per entry, children indented by two blanks.
    QStringList toLines() const;

private:
    /// Where a text lies in the packed blocks.
    struct TextRef {
        quint32 block = 0;
        quint32 offset = 0;
        quint32 length = 0;
    };
    struct Row {
        TextRef key;
        TextRef text;
        TextRef tag;
        quint32 colour = kEntryBlack;
        int root = 0;
    };
    struct Detail {
        quint32 row = 0;
        TextRef text;
        quint32 colour = kEntryBlack;
    };
    TextRef store(QStringView text);
    QString textOf(const TextRef& ref) const;
    QStringView viewOf(const TextRef& ref) const;
    /// The row with `key`, searched from the last one added; -1 when none.
    qsizetype findRow(QStringView key) const;

    int m_rootCount = 0;
    std::vector<Row> m_rows;
    std::vector<Detail> m_details;
    std::vector<QString> m_blocks;
    SummaryCounters m_counters;
    SummaryListener* m_listener = nullptr;
};

}  // namespace fotolista
