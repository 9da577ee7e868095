#include "core/summary/summarytree.h"

namespace fotolista {

namespace {

// Texts are packed into blocks of this many characters.
constexpr qsizetype kBlockChars = 16 * 1024;

SummaryEntry entryWithText(const QString& text)
{
    SummaryEntry e;
    e.text = text;
    return e;
}

}  // namespace

SummaryTree::TextRef SummaryTree::store(QStringView text)
{
    if (m_blocks.empty() || m_blocks.back().size() + text.size() > m_blocks.back().capacity()) {
        m_blocks.emplace_back();
        m_blocks.back().reserve(std::max(kBlockChars, text.size()));
    }
    QString& block = m_blocks.back();
    const TextRef ref{quint32(m_blocks.size() - 1), quint32(block.size()), quint32(text.size())};
    block.append(text);
    return ref;
}

QStringView SummaryTree::viewOf(const TextRef& ref) const
{
    return QStringView(m_blocks[ref.block]).mid(ref.offset, ref.length);
}

QString SummaryTree::textOf(const TextRef& ref) const
{
    return viewOf(ref).toString();
}

void SummaryTree::clear()
{
    m_rootCount = 0;
    m_rows.clear();
    m_details.clear();
    m_blocks.clear();
    m_counters = {};
    if (m_listener)
        m_listener->summaryCleared();
}

void SummaryTree::setCounters(qint64 totales, qint64 noProcesadas, qint64 procesadas)
{
    m_counters.totales = totales;
    m_counters.noProcesadas = noProcesadas;
    m_counters.procesadas = procesadas;
    if (m_listener)
        m_listener->countersChanged();
}

void SummaryTree::addRoots()
{
    m_rootCount += 2;
    if (m_listener)
        m_listener->rootsAdded();
}

bool SummaryTree::addRowEntry(int rootNumber, const QString& key, const QString& text, quint32 colour,
                              const QString& tag)
{
    if (rootNumber < 1 || rootNumber > m_rootCount)
        return false;
    m_rows.push_back(Row{store(key), store(text), store(tag), colour, rootNumber});
    if (m_listener) {
        SummaryEntry e;
        e.key = key;
        e.text = text;
        e.colour = colour;
        e.tag = tag;
        m_listener->rowAdded(rootNumber, e);
    }
    return true;
}

qsizetype SummaryTree::findRow(QStringView key) const
{
    // Details follow their row at once: the search ends at the first step.
    for (qsizetype i = qsizetype(m_rows.size()) - 1; i >= 0; --i)
        if (viewOf(m_rows[size_t(i)].key) == key)
            return i;
    return -1;
}

bool SummaryTree::addDetail(const QString& rowKey, const QString& text, quint32 colour)
{
    const qsizetype row = findRow(rowKey);
    if (row < 0)
        return false;
    m_details.push_back(Detail{quint32(row), store(text), colour});
    if (m_listener)
        m_listener->detailAdded(rowKey, text, colour);
    return true;
}

QList<SummaryEntry> SummaryTree::roots() const
{
    QList<SummaryEntry> roots;
    for (int i = 0; i < m_rootCount; ++i)
        roots << entryWithText(i % 2 == 0 ? associatedRootText() : notAssociatedRootText());
    // Where each row lands among its root's children.
    std::vector<qsizetype> place(m_rows.size());
    for (size_t i = 0; i < m_rows.size(); ++i) {
        const Row& r = m_rows[i];
        SummaryEntry e;
        e.key = textOf(r.key);
        e.text = textOf(r.text);
        e.colour = r.colour;
        e.tag = textOf(r.tag);
        QList<SummaryEntry>& children = roots[r.root - 1].children;
        place[i] = children.size();
        children << e;
    }
    for (const Detail& d : m_details) {
        SummaryEntry e = entryWithText(textOf(d.text));
        e.colour = d.colour;
        roots[m_rows[d.row].root - 1].children[place[d.row]].children << e;
    }
    return roots;
}

static void appendLines(QStringList& out, const SummaryEntry& e, int depth)
{
    out << QString(depth * 2, QLatin1Char(' ')) + e.text;
    for (const SummaryEntry& c : e.children)
        appendLines(out, c, depth + 1);
}

QStringList SummaryTree::toLines() const
{
    QStringList out;
    for (const SummaryEntry& root : roots())
        appendLines(out, root, 0);
    return out;
}

}  // namespace fotolista
