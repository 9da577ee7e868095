#pragma once

#include "core/workbook/celladdress.h"
#include "core/workbook/celltext.h"

#include <QString>
#include <QStringView>

#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

namespace fotolista {

namespace workbook {

/// The cells of the sheet a run reads, whatever the format it came from.
/// Values are kept typed and turned into text when read, with the default
/// QLocale() of that moment:
/// - text: exactly as stored, never trimmed (errors are kept as the text a
///   spreadsheet shows, "#DIV/0!");
/// - number: plainNumberText(), or dateTimeText() when its format shows a
///   date or time;
/// - boolean: "Verdadero" or "Falso";
/// - empty, or outside the sheet: the empty text.
class Sheet {
public:
    QString name() const { return m_name; }
    DateSystem dateSystem() const { return m_dateSystem; }

    /// Text of the cell at a 0-based position (A1 is 0, 0).
    QString cellText(quint32 row, quint32 column) const;
    /// 0-based rows of the non-empty cells of a 0-based column, ascending.
    std::vector<quint32> rowsWithText(quint32 column) const;
    /// Non-empty cells, row-major (row, then column).
    std::vector<std::pair<CellPosition, QString>> nonEmptyCellTexts() const;
    /// Cells kept, an empty text among them, and each in row-major order:
    /// the listing of a large sheet without a copy of every text at once.
    std::size_t cellCount() const { return m_cells.size(); }
    CellPosition positionAt(std::size_t index) const { return {m_cells[index].row, m_cells[index].column}; }
    QString textAt(std::size_t index, const QLocale& locale) const { return textOf(m_cells[index], locale); }

private:
    friend class SheetBuilder;

    enum class Kind : quint8 { Text, Number, Boolean };
    struct TextSpan {
        quint32 offset;
        quint32 length;
    };
    struct Cell {
        quint32 row = 0;
        quint32 column = 0;
        union {
            double number;  // Number; Boolean: 0 or 1
            TextSpan text;  // Text: a span of m_texts
        };
        Kind kind = Kind::Text;
        NumberFormatKind format = NumberFormatKind::Number;

        Cell() : number(0) {}
    };

    const Cell* find(quint32 row, quint32 column) const;
    QString textOf(const Cell& cell, const QLocale& locale) const;

    QString m_name;
    DateSystem m_dateSystem = DateSystem::Excel1900;
    std::vector<Cell> m_cells;  // sorted by (row, column), one per position
    QString m_texts;  // every distinct text, one after another
};

/// Which bound a sheet outgrew while it was built.
enum class SheetOverflow { None, Cells, Text };

/// Collects the cells of a sheet as a reader finds them, within
/// bounds::kCells and bounds::kTextUnits. Cells may come in any order; when
/// a position comes twice the last one holds.
class SheetBuilder {
public:
    /// A stored text, to be given to several cells (shared strings).
    struct TextRef {
        quint32 offset = 0;
        quint32 length = 0;
    };

    /// False once a bound is passed; the sheet is then not to be used.
    bool addText(quint32 row, quint32 column, QStringView text);
    bool addStoredText(quint32 row, quint32 column, TextRef text);
    bool addNumber(quint32 row, quint32 column, double value, NumberFormatKind format);
    bool addBoolean(quint32 row, quint32 column, bool value);

    /// Keeps a text once for several cells; empty when a bound is passed.
    std::optional<TextRef> storeText(QStringView text);

    /// A text cell whose text is known later by a key (a shared-string
    /// number); resolvePlaceholders() fills them in.
    bool addPlaceholder(quint32 row, quint32 column, quint32 key);
    /// The keys of the placeholders, sorted, each once.
    std::vector<quint32> placeholderKeys() const;
    /// Gives each placeholder the text stored for its key (`texts[i]` for
    /// `keys[i]`); a key without a text reads as empty.
    void resolvePlaceholders(const std::vector<quint32>& keys, const std::vector<TextRef>& texts);

    /// True when `cells` more cells and `textUnits` more text still fit.
    bool hasRoomFor(quint64 cells, quint64 textUnits) const;
    /// Marks the sheet as too large without adding anything.
    void overflowed(SheetOverflow why) { m_overflow = why; }
    SheetOverflow overflow() const { return m_overflow; }

    void setName(QString name) { m_sheet.m_name = std::move(name); }
    void setDateSystem(DateSystem system) { m_sheet.m_dateSystem = system; }

    /// The sheet, its cells ordered; the builder is left empty.
    Sheet finish();

private:
    bool addCell(Sheet::Cell cell);

    Sheet m_sheet;
    bool m_ordered = true;
    bool m_hasPlaceholders = false;
    SheetOverflow m_overflow = SheetOverflow::None;
};

}  // namespace workbook

}  // namespace fotolista
