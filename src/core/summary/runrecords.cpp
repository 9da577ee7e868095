#include "core/summary/runrecords.h"

#include "core/base/shortint.h"

#include <QLocale>

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

SummaryEntry* SummaryTree::findRowMutable(const QString& key)
{
    for (SummaryEntry& root : m_roots)
        for (SummaryEntry& row : root.children)
            if (row.key == key)
                return &row;
    return nullptr;
}

const SummaryEntry* SummaryTree::findRow(const QString& key) const
{
    return const_cast<SummaryTree*>(this)->findRowMutable(key);
}

bool SummaryTree::addDetail(const QString& rowKey, const QString& text)
{
    SummaryEntry* row = findRowMutable(rowKey);
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

bool ErrorLog::open(const QString& path)
{
    close();
    m_file.setFileName(path);
    return m_file.open(QIODevice::WriteOnly | QIODevice::Truncate);
}

void ErrorLog::writeLine(const QString& text)
{
    if (!m_file.isOpen())
        return;
    m_file.write(text.toUtf8() + "\r\n");
    // Each line reaches the disk at once, so it survives whatever ends the run.
    m_file.flush();
}

void ErrorLog::close()
{
    if (m_file.isOpen())
        m_file.close();
}

QString rowEntryText(qint64 passNumber, const QString& originAddress, const QString& sourceText,
                     const QString& sourceFormat, const QString& destinationAddress,
                     const QString& destinationText)
{
    return QString::number(passNumber) + QStringLiteral(" - C.O: ") + originAddress + QStringLiteral(" valor: ")
        + sourceText + sourceFormat + QStringLiteral(" || C.D.: ") + destinationAddress + QStringLiteral(" : ")
        + QStringLiteral(" valor: ") + destinationText + QStringLiteral(".jpg");
}

qint64 kilobytes(qint64 bytes)
{
    return static_cast<qint64>(roundHalfEven(static_cast<double>(bytes) / 1024.0));
}

QString sizeDetailText(qint64 kbRead, qint64 kbWritten)
{
    return QStringLiteral("Tam I Grande: ") + QString::number(kbRead) + QStringLiteral(" Kb.")
        + QStringLiteral(" Tam F Grande: ") + QString::number(kbWritten) + QStringLiteral(" Kb.");
}

QString compressionDetailText(qint64 kbRead, qint64 kbWritten)
{
    if (kbRead == 0)
        return QStringLiteral("Porcentaje comprimido n/d % || Ratio: n/d sobre unidad");
    const double p = 100.0 - (static_cast<double>(kbWritten) * 100.0) / static_cast<double>(kbRead);
    const qint64 percent = static_cast<qint64>(roundHalfEven(p));
    // (P + 100) / 100 is P / 100 + 1 without the extra rounding step, so the
    // shortest form is the plain two-decimal figure (1,92, not 1,9199999999999999).
    const double ratio = static_cast<double>(percent + 100) / 100.0;
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return QStringLiteral("Porcentaje comprimido ") + QString::number(percent) + QStringLiteral(" % || Ratio: ")
        + locale.toString(ratio, 'f', QLocale::FloatingPointShortest) + QStringLiteral(" sobre unidad");
}
