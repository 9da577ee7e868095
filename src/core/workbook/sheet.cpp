#include "core/workbook/sheet.h"

#include "core/workbook/bounds.h"

#include <algorithm>

namespace fotolista {

namespace workbook {

namespace {

// A text cell whose text is not known yet: its offset holds the key.
constexpr quint32 kPlaceholder = 0xFFFFFFFFu;

bool before(quint32 row, quint32 column, quint32 otherRow, quint32 otherColumn)
{
    return row < otherRow || (row == otherRow && column < otherColumn);
}

}  // namespace

const Sheet::Cell* Sheet::find(quint32 row, quint32 column) const
{
    const auto at = std::lower_bound(m_cells.begin(), m_cells.end(), std::pair(row, column),
                                     [](const Cell& c, const std::pair<quint32, quint32>& key) {
                                         return before(c.row, c.column, key.first, key.second);
                                     });
    if (at == m_cells.end() || at->row != row || at->column != column)
        return nullptr;
    return &*at;
}

QString Sheet::textOf(const Cell& cell, const QLocale& locale) const
{
    switch (cell.kind) {
    case Kind::Text: return m_texts.sliced(cell.text.offset, cell.text.length);
    case Kind::Boolean: return booleanText(cell.number != 0);
    case Kind::Number: return dateTimeText(cell.number, cell.format, m_dateSystem, locale);
    }
    return {};
}

QString Sheet::cellText(quint32 row, quint32 column) const
{
    const Cell* cell = find(row, column);
    return cell ? textOf(*cell, QLocale()) : QString();
}

std::vector<quint32> Sheet::rowsWithText(quint32 column) const
{
    const QLocale locale;
    std::vector<quint32> rows;
    for (const Cell& cell : m_cells) {
        if (cell.column != column)
            continue;
        const bool empty = cell.kind == Kind::Text ? cell.text.length == 0 : textOf(cell, locale).isEmpty();
        if (!empty)
            rows.push_back(cell.row);
    }
    return rows;
}

std::vector<std::pair<CellPosition, QString>> Sheet::nonEmptyCellTexts() const
{
    const QLocale locale;
    std::vector<std::pair<CellPosition, QString>> texts;
    texts.reserve(m_cells.size());
    for (const Cell& cell : m_cells) {
        QString text = textOf(cell, locale);
        if (!text.isEmpty())
            texts.emplace_back(CellPosition{cell.row, cell.column}, std::move(text));
    }
    return texts;
}

bool SheetBuilder::hasRoomFor(quint64 cells, quint64 textUnits) const
{
    return m_overflow == SheetOverflow::None && cells <= quint64(bounds::kCells) - m_sheet.m_cells.size()
           && textUnits <= quint64(bounds::kTextUnits) - quint64(m_sheet.m_texts.size());
}

bool SheetBuilder::addCell(Sheet::Cell cell)
{
    if (m_overflow != SheetOverflow::None)
        return false;
    if (m_sheet.m_cells.size() >= std::size_t(bounds::kCells)) {
        m_overflow = SheetOverflow::Cells;
        return false;
    }
    if (!m_sheet.m_cells.empty()) {
        const Sheet::Cell& last = m_sheet.m_cells.back();
        if (!before(last.row, last.column, cell.row, cell.column))
            m_ordered = false;
    }
    m_sheet.m_cells.push_back(cell);
    return true;
}

std::optional<SheetBuilder::TextRef> SheetBuilder::storeText(QStringView text)
{
    if (m_overflow != SheetOverflow::None)
        return std::nullopt;
    if (text.size() > bounds::kTextUnits - m_sheet.m_texts.size()) {
        m_overflow = SheetOverflow::Text;
        return std::nullopt;
    }
    const TextRef ref{quint32(m_sheet.m_texts.size()), quint32(text.size())};
    m_sheet.m_texts.append(text);
    return ref;
}

bool SheetBuilder::addStoredText(quint32 row, quint32 column, TextRef text)
{
    Sheet::Cell cell;
    cell.row = row;
    cell.column = column;
    cell.kind = Sheet::Kind::Text;
    cell.text = {text.offset, text.length};
    return addCell(cell);
}

bool SheetBuilder::addText(quint32 row, quint32 column, QStringView text)
{
    const std::optional<TextRef> stored = storeText(text);
    return stored && addStoredText(row, column, *stored);
}

bool SheetBuilder::addNumber(quint32 row, quint32 column, double value, NumberFormatKind format)
{
    Sheet::Cell cell;
    cell.row = row;
    cell.column = column;
    cell.kind = Sheet::Kind::Number;
    cell.number = value;
    cell.format = format;
    return addCell(cell);
}

bool SheetBuilder::addBoolean(quint32 row, quint32 column, bool value)
{
    Sheet::Cell cell;
    cell.row = row;
    cell.column = column;
    cell.kind = Sheet::Kind::Boolean;
    cell.number = value ? 1 : 0;
    return addCell(cell);
}

bool SheetBuilder::addPlaceholder(quint32 row, quint32 column, quint32 key)
{
    m_hasPlaceholders = true;
    return addStoredText(row, column, TextRef{key, kPlaceholder});
}

std::vector<quint32> SheetBuilder::placeholderKeys() const
{
    std::vector<quint32> keys;
    if (!m_hasPlaceholders)
        return keys;
    for (const Sheet::Cell& cell : m_sheet.m_cells) {
        if (cell.kind == Sheet::Kind::Text && cell.text.length == kPlaceholder)
            keys.push_back(cell.text.offset);
    }
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    return keys;
}

void SheetBuilder::resolvePlaceholders(const std::vector<quint32>& keys, const std::vector<TextRef>& texts)
{
    for (Sheet::Cell& cell : m_sheet.m_cells) {
        if (cell.kind != Sheet::Kind::Text || cell.text.length != kPlaceholder)
            continue;
        const auto at = std::lower_bound(keys.begin(), keys.end(), cell.text.offset);
        const std::size_t i = std::size_t(at - keys.begin());
        const TextRef text = at != keys.end() && *at == cell.text.offset && i < texts.size() ? texts[i] : TextRef{};
        cell.text = {text.offset, text.length};
    }
    m_hasPlaceholders = false;
}

Sheet SheetBuilder::finish()
{
    // Placeholders never resolved read as empty.
    if (m_hasPlaceholders)
        resolvePlaceholders({}, {});
    std::vector<Sheet::Cell>& cells = m_sheet.m_cells;
    if (!m_ordered) {
        std::stable_sort(cells.begin(), cells.end(), [](const Sheet::Cell& a, const Sheet::Cell& b) {
            return before(a.row, a.column, b.row, b.column);
        });
        // Keep the last cell given for a position.
        std::size_t kept = 0;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const bool lastOfPosition =
                i + 1 == cells.size() || cells[i + 1].row != cells[i].row || cells[i + 1].column != cells[i].column;
            if (lastOfPosition)
                cells[kept++] = cells[i];
        }
        cells.resize(kept);
    }
    cells.shrink_to_fit();
    m_sheet.m_texts.squeeze();
    Sheet sheet = std::move(m_sheet);
    m_sheet = Sheet();
    m_ordered = true;
    m_overflow = SheetOverflow::None;
    return sheet;
}

}  // namespace workbook

}  // namespace fotolista
