#pragma once

#include "core/workbook/sheet.h"
#include "core/workbook/workbookreader.h"

#include <optional>

namespace fotolista {

/// WorkbookReader over every workbook format the program reads (see
/// workbook::loadWorkbook()). The whole sheet is read when the workbook
/// opens; each run opens the file anew.
class WorkbookFileReader final : public WorkbookReader {
public:
    WorkbookOpenResult openWorkbook(const QString& path) override;
    QString readCellText(const QString& address) override;
    std::vector<qint64> rowsWithData(const QString& columnLetters) override;
    QString sheetName() const override { return m_sheet ? m_sheet->name() : QString(); }
    void closeWorkbook() override;

private:
    std::optional<workbook::Sheet> m_sheet;
};

}  // namespace fotolista
