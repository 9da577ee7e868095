#include "support/fakeworkbookreader.h"

WorkbookOpenResult FakeWorkbookReader::openWorkbook(const QString& path)
{
    openedPaths << path;
    if (!openFailure.isEmpty())
        return WorkbookOpenResult::failure(openFailure);
    isOpen = true;
    return WorkbookOpenResult::success();
}

QString FakeWorkbookReader::readCellText(const QString& address)
{
    reads << address;
    if (!isOpen)
        return {};
    return cells.value(address.toUpper());
}

void FakeWorkbookReader::closeWorkbook()
{
    ++closeCount;
    isOpen = false;
}
