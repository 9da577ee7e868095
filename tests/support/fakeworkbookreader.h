#pragma once

#include "core/workbook/workbookreader.h"

#include <QHash>
#include <QStringList>

using namespace fotolista;

/// An in-memory workbook: cells by upper-case A1 address. Records every read
/// so tests can check which cells a step looked at.
class FakeWorkbookReader final : public WorkbookReader {
public:
    QHash<QString, QString> cells;
    /// When set, openWorkbook fails with this message.
    QString openFailure;

    QStringList reads;
    QStringList openedPaths;
    int closeCount = 0;
    bool isOpen = false;

    WorkbookOpenResult openWorkbook(const QString& path) override;
    QString readCellText(const QString& address) override;
    std::vector<qint64> rowsWithData(const QString& columnLetters) override;
    void closeWorkbook() override;
};
