#include "core/workbook/workbookwalk.h"

#include "core/base/shortint.h"
#include "core/settings/jobsettings.h"

#include <algorithm>

namespace fotolista {

std::optional<WalkPlan> planWalk(const JobSettings& settings)
{
    const ShortIntResult originRow = toShortInt(settings.originRow());
    const ShortIntResult destinationRow = toShortInt(settings.destinationRow());
    const ShortIntResult step = toShortInt(settings.rowStep());
    if (!originRow || !destinationRow || !step)
        return std::nullopt;
    if (originRow.value < 1 || destinationRow.value < 1 || step.value < 1)
        return std::nullopt;

    WalkPlan plan;
    plan.originColumn = settings.originColumn();
    plan.destinationColumn = settings.destinationColumn();
    plan.originRow = originRow.value;
    plan.destinationRow = destinationRow.value;
    plan.rowStep = step.value;
    return plan;
}

QString walkRefusalMessage()
{
    return QStringLiteral("Las filas de inicio y el salto de líneas deben ser números enteros mayores que 0");
}

WorkbookWalk::WorkbookWalk(WorkbookReader& reader, WalkPlan plan) : m_reader(reader), m_plan(std::move(plan)) {}

WorkbookOpenResult WorkbookWalk::open(const QString& workbookPath)
{
    m_rowOffset = 0;
    m_dataOffsets.clear();
    WorkbookOpenResult opened = m_reader.openWorkbook(workbookPath);
    if (!opened.ok)
        return opened;
    // The rows of the walk, of either column, from the columns' listings:
    // no cell is read for it.
    const auto addOffsets = [this](const QString& column, qint64 firstRow) {
        for (const qint64 row : m_reader.rowsWithData(column)) {
            const qint64 offset = row - firstRow;
            if (offset >= 0 && offset % m_plan.rowStep == 0)
                m_dataOffsets.push_back(offset);
        }
    };
    addOffsets(m_plan.originColumn, m_plan.originRow);
    addOffsets(m_plan.destinationColumn, m_plan.destinationRow);
    std::sort(m_dataOffsets.begin(), m_dataOffsets.end());
    m_dataOffsets.erase(std::unique(m_dataOffsets.begin(), m_dataOffsets.end()), m_dataOffsets.end());
    return opened;
}

qint64 WorkbookWalk::rowsWithDataAfter(qint64 offset) const
{
    const auto after = std::upper_bound(m_dataOffsets.begin(), m_dataOffsets.end(), offset);
    return qint64(m_dataOffsets.end() - after);
}

std::optional<qint64> WorkbookWalk::nextRowWithData(qint64 offset) const
{
    const auto after = std::upper_bound(m_dataOffsets.begin(), m_dataOffsets.end(), offset);
    if (after == m_dataOffsets.end())
        return std::nullopt;
    return *after;
}

void WorkbookWalk::close()
{
    m_reader.closeWorkbook();
}

QString WorkbookWalk::originAddress(qint64 offset) const
{
    return m_plan.originColumn + QString::number(m_plan.originRow + offset);
}

QString WorkbookWalk::destinationAddress(qint64 offset) const
{
    return m_plan.destinationColumn + QString::number(m_plan.destinationRow + offset);
}

qint64 WorkbookWalk::preCount()
{
    qint64 offset = 0;
    qint64 count = 0;
    for (;;) {
        const QString origin = originAddress(offset);
        const QString destination = destinationAddress(offset);
        offset += m_plan.rowStep;
        ++count;
        if (m_reader.readCellText(origin).isEmpty() || m_reader.readCellText(destination).isEmpty())
            break;
    }
    m_rowOffset = 0;
    return count;
}

RowCells WorkbookWalk::rowAt(qint64 offset) const
{
    RowCells row;
    row.originAddress = originAddress(offset);
    row.destinationAddress = destinationAddress(offset);
    row.sourceText = m_reader.readCellText(row.originAddress);
    row.destinationText = m_reader.readCellText(row.destinationAddress);
    return row;
}

void WorkbookWalk::skipEmptyRows()
{
    if (!currentRow().isStopRow())
        return;
    if (const std::optional<qint64> next = nextRowWithData(m_rowOffset))
        m_rowOffset = *next;
}

}  // namespace fotolista
