#pragma once

#include "core/workbook/workbookreader.h"
#include "core/workbook/xls/xlsworkbook.h"

#include <optional>

/// WorkbookReader over the project's own .xls reader. The whole active sheet
/// is read when the workbook opens; each run opens the file anew.
class XlsWorkbookReader final : public WorkbookReader {
public:
    WorkbookOpenResult openWorkbook(const QString& path) override;
    QString readCellText(const QString& address) override;
    void closeWorkbook() override;

private:
    std::optional<xls::Workbook> m_workbook;
};
