#include "core/workbook/xls/xlsworkbookreader.h"

#include "core/workbook/celladdress.h"

WorkbookOpenResult XlsWorkbookReader::openWorkbook(const QString& path)
{
    xls::LoadResult loaded = xls::Workbook::load(path);
    m_workbook = std::move(loaded.workbook);
    if (!m_workbook)
        return WorkbookOpenResult::failure(loaded.message);
    return WorkbookOpenResult::success();
}

QString XlsWorkbookReader::readCellText(const QString& address)
{
    const std::optional<CellPosition> position = parseCellAddress(address);
    if (!m_workbook || !position)
        return {};
    return m_workbook->cellText(position->row, position->column);
}

void XlsWorkbookReader::closeWorkbook()
{
    m_workbook.reset();
}
