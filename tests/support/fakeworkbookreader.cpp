#include "support/fakeworkbookreader.h"

#include <algorithm>

using namespace fotolista;

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

std::vector<qint64> FakeWorkbookReader::rowsWithData(const QString& columnLetters)
{
    std::vector<qint64> rows;
    if (!isOpen)
        return rows;
    const QString column = columnLetters.toUpper();
    for (auto it = cells.cbegin(); it != cells.cend(); ++it) {
        const QString& address = it.key();
        qsizetype digits = 0;
        while (digits < address.size() && address.at(digits).isLetter())
            ++digits;
        if (address.left(digits) == column && !it.value().isEmpty())
            rows.push_back(address.mid(digits).toLongLong());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void FakeWorkbookReader::closeWorkbook()
{
    ++closeCount;
    isOpen = false;
}
