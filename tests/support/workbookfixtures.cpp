#include "support/workbookfixtures.h"

#include "core/workbook/celladdress.h"

#include <QFile>
#include <QTest>

using namespace fotolista;

QString workbookFixture(const QString& name)
{
    return QStringLiteral(FOTOLISTA_SOURCE_DIR "/tests/data/workbooks/") + name;
}

CellList cellsOf(const workbook::Sheet& sheet)
{
    CellList cells;
    for (const auto& [at, text] : sheet.nonEmptyCellTexts())
        cells.append({formatCellAddress(at.row, at.column), text});
    return cells;
}

void compareCells(const CellList& actual, const CellList& expected)
{
    for (qsizetype i = 0; i < qMin(actual.size(), expected.size()); ++i) {
        QCOMPARE(actual[i].first, expected[i].first);
        QCOMPARE(actual[i].second, expected[i].second);
    }
    QCOMPARE(actual.size(), expected.size());
}

CellList readCellListing(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing listing %s", qPrintable(path));
    CellList cells;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        const qsizetype tab = line.indexOf('\t');
        const QString escaped = QString::fromUtf8(line.sliced(tab + 1));
        QString text;
        for (qsizetype i = 0; i < escaped.size(); ++i) {
            if (escaped[i] == u'\\' && i + 1 < escaped.size()) {
                const QChar e = escaped[++i];
                text += e == u't' ? QChar(u'\t') : e == u'n' ? QChar(u'\n') : e == u'r' ? QChar(u'\r') : e;
            } else {
                text += escaped[i];
            }
        }
        cells.append({QString::fromLatin1(line.first(tab)), text});
    }
    return cells;
}
