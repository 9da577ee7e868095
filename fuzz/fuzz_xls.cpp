// Feeds arbitrary bytes to the .xls reader as if a user had picked them as the
// workbook, then reads every cell the way a run does.

#include "core/workbook/xls/xlsworkbook.h"

#include <QByteArray>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace fotolista;

namespace {

const QString kPath = QStringLiteral("fuzz.xls");

[[noreturn]] void fail(const char* what, const QString& detail = {})
{
    std::fprintf(stderr, "fuzz_xls: %s %s\n", what, qUtf8Printable(detail));
    std::abort();
}

void check(bool ok, const char* what, const QString& detail = {})
{
    if (!ok)
        fail(what, detail);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Dates and numbers read differently per locale; alternate the two the
    // program meets most (Spanish, and US English with its AM/PM times).
    QLocale::setDefault(size % 2 ? QLocale(QLocale::Spanish, QLocale::Spain)
                                 : QLocale(QLocale::English, QLocale::UnitedStates));

    // A copy, as the program reads files into a QByteArray of its own.
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const xls::LoadResult result = xls::Workbook::parse(bytes, kPath);

    if (!result.ok()) {
        check(result.refusal.has_value(), "refused without a reason");
        check(result.message.contains(kPath), "refusal does not name the file:", result.message);
        return 0;
    }
    check(!result.refusal && result.message.isEmpty(), "accepted with a message:", result.message);

    const xls::Workbook& workbook = *result.workbook;

    const auto cells = workbook.nonEmptyCellTexts();
    for (size_t i = 0; i < cells.size(); ++i) {
        const auto& [position, text] = cells[i];
        check(!text.isEmpty(), "empty text listed as non-empty");
        check(workbook.cellText(position.row, position.column) == text, "cellText disagrees with the listing:", text);
        if (i + 1 < cells.size()) {
            const CellPosition next = cells[i + 1].first;
            check(position.row < next.row || (position.row == next.row && position.column < next.column),
                  "cells not in row-major order, or listed twice");
            // The listing is complete: the position right after a cell is
            // either the next listed one or reads as empty.
            const bool adjacent = next.row == position.row && next.column == position.column + 1;
            if (!adjacent && position.column < 0xFFFFFFFFu)
                check(workbook.cellText(position.row, position.column + 1).isEmpty(),
                      "a non-empty cell is missing from the listing");
        }
    }
    if (!cells.empty()) {
        const CellPosition last = cells.back().first;
        if (last.row < 0xFFFFFFFFu)
            check(workbook.cellText(last.row + 1, last.column).isEmpty(), "text past the last listed cell");
    }
    return 0;
}
