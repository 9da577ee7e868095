#include "cli/cellscommand.h"

#include "core/workbook/celladdress.h"
#include "core/workbook/xls/xlsworkbook.h"

#include <QTextStream>

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
    const xls::LoadResult loaded = xls::Workbook::load(workbookPath);
    if (!loaded.ok()) {
        err << loaded.message << Qt::endl;
        return 2;
    }
    for (const auto& [position, text] : loaded.workbook->nonEmptyCellTexts())
        out << formatCellAddress(position.row, position.column) << QLatin1Char('\t') << escapeCellText(text)
            << QLatin1Char('\n');
    out.flush();
    return 0;
}
