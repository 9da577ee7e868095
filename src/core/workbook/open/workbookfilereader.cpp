#include "core/workbook/open/workbookfilereader.h"

#include "core/workbook/celladdress.h"
#include "core/workbook/open/openworkbook.h"

namespace fotolista {

WorkbookOpenResult WorkbookFileReader::openWorkbook(const QString& path)
{
    workbook::LoadResult loaded = workbook::loadWorkbook(path);
    m_sheet = std::move(loaded.sheet);
    if (!m_sheet)
        return WorkbookOpenResult::failure(loaded.message);
    return WorkbookOpenResult::success();
}

QString WorkbookFileReader::readCellText(const QString& address)
{
    const std::optional<CellPosition> position = parseCellAddress(address);
    if (!m_sheet || !position)
        return {};
    return m_sheet->cellText(position->row, position->column);
}

std::vector<qint64> WorkbookFileReader::rowsWithData(const QString& columnLetters)
{
    const std::optional<CellPosition> position = parseCellAddress(QString(columnLetters + QLatin1Char('1')));
    std::vector<qint64> rows;
    if (!m_sheet || !position)
        return rows;
    for (const quint32 row : m_sheet->rowsWithText(position->column))
        rows.push_back(qint64(row) + 1);
    return rows;
}

void WorkbookFileReader::closeWorkbook()
{
    m_sheet.reset();
}

}  // namespace fotolista
