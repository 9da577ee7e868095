#pragma once

#include "core/workbook/sheet.h"

#include <QList>
#include <QString>

#include <utility>

using namespace fotolista;

/// Cells as the tests compare them: (A1 address, text), row-major.
using CellList = QList<std::pair<QString, QString>>;

/// A file of tests/data/workbooks/.
QString workbookFixture(const QString& name);

/// The non-empty cells of a sheet, texts made with the default QLocale().
CellList cellsOf(const workbook::Sheet& sheet);

/// Compares cell by cell, so that a failure names the cell.
void compareCells(const CellList& actual, const CellList& expected);

/// Reads a NAME.LOCALE.cells listing ("A1<TAB>text" lines, escaped as
/// `fotolista-batch cells` prints them).
CellList readCellListing(const QString& path);
