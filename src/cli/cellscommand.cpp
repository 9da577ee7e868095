#include "cli/cellscommand.h"

#include "core/workbook/celladdress.h"
#include "core/workbook/open/openworkbook.h"

#include <QLocale>
#include <QTextStream>

namespace fotolista {

QString escapeCellText(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\': out += QStringLiteral("\\\\"); break;
        case '\t': out += QStringLiteral("\\t"); break;
        case '\n': out += QStringLiteral("\\n"); break;
        case '\r': out += QStringLiteral("\\r"); break;
        default: out += c; break;
        }
    }
    return out;
}

int runCellsCommand(const QString& workbookPath, QTextStream& out, QTextStream& err)
{
    const workbook::LoadResult loaded = workbook::loadWorkbook(workbookPath);
    if (!loaded.ok()) {
        err << loaded.message << Qt::endl;
        return 2;
    }
    // Cell by cell, so a sheet of millions of cells is never copied as texts.
    const QLocale locale;
    const workbook::Sheet& sheet = *loaded.sheet;
    for (std::size_t i = 0; i < sheet.cellCount(); ++i) {
        const QString text = sheet.textAt(i, locale);
        if (text.isEmpty())
            continue;
        const CellPosition position = sheet.positionAt(i);
        out << formatCellAddress(position.row, position.column) << QLatin1Char('\t') << escapeCellText(text)
            << QLatin1Char('\n');
    }
    out.flush();
    return 0;
}

}  // namespace fotolista
