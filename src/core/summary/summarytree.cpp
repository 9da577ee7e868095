#include "core/summary/summarytree.h"

void SummaryTree::clear()
{
    m_roots.clear();
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
    SummaryEntry associated;
    associated.text = associatedRootText();
    SummaryEntry notAssociated;
    notAssociated.text = notAssociatedRootText();
    m_roots << associated << notAssociated;
    if (m_listener)
        m_listener->rootsAdded();
}

bool SummaryTree::addRowEntry(int rootNumber, const QString& key, const QString& text, quint32 colour,
                              const QString& tag)
{
    if (rootNumber < 1 || rootNumber > m_roots.size())
        return false;
    SummaryEntry e;
    e.key = key;
    e.text = text;
    e.colour = colour;
    e.tag = tag;
    m_roots[rootNumber - 1].children << e;
    if (m_listener)
        m_listener->rowAdded(rootNumber, e);
    return true;
}

SummaryEntry* SummaryTree::findRow(const QString& key)
{
    for (SummaryEntry& root : m_roots)
        for (SummaryEntry& row : root.children)
            if (row.key == key)
                return &row;
    return nullptr;
}

bool SummaryTree::addDetail(const QString& rowKey, const QString& text)
{
    SummaryEntry* row = findRow(rowKey);
    if (!row)
        return false;
    SummaryEntry detail;
    detail.text = text;
    row->children << detail;
    if (m_listener)
        m_listener->detailAdded(rowKey, text);
    return true;
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
    for (const SummaryEntry& root : m_roots)
        appendLines(out, root, 0);
    return out;
}
