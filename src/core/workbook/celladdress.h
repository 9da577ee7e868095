#pragma once

#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <optional>

namespace fotolista {

/// A cell of a sheet, both coordinates counted from 0 (A1 is row 0, column 0).
struct CellPosition {
    quint32 row = 0;
    quint32 column = 0;

    friend bool operator==(const CellPosition&, const CellPosition&) = default;
};

/// Parses an A1-style address: one or more ASCII letters in any case, then a
/// decimal row number of at least 1 ("f6", "AA10", "XFD1048576"). Nothing may
/// come before or after; "$", blanks and a row of 0 make the address malformed.
/// A column or row too large for 32 bits is still well formed: it is clamped
/// to the largest position, which no sheet holds, so it reads as empty.
std::optional<CellPosition> parseCellAddress(QStringView address);

/// The upper-case A1 text of a 0-based position: (0, 0) gives "A1", (9, 26) gives "AA10".
QString formatCellAddress(quint32 row0, quint32 column0);

}  // namespace fotolista
