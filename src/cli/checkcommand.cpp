#include "cli/checkcommand.h"

#include "cli/batchcommand.h"
#include "cli/cellscommand.h"
#include "core/check/batchcheck.h"
#include "core/workbook/open/workbookfilereader.h"

#include <QTextStream>

namespace fotolista {

int runCheckCommand(const JobSettings& settings, PlacementSource& placement, QTextStream& out, QTextStream& err)
{
    WorkbookFileReader reader;
    const CheckResult result = checkBatch(settings, reader, &placement);
    switch (result.end) {
    case CheckEnd::Refused:
    case CheckEnd::WorkbookUnreadable:
        err << QStringLiteral("fotolista-batch: ") << result.message << Qt::endl;
        return kExitUsage;
    case CheckEnd::Checked: break;
    }
    for (const Finding& f : result.findings)
        out << f.row << QLatin1Char('\t') << findingKindName(f.kind) << QLatin1Char('\t') << escapeCellText(f.detail)
            << QLatin1Char('\n');
    out << result.summaryLine() << QLatin1Char('\n');
    out.flush();
    return result.problemCount() > 0 ? kExitRowsFailed : kExitOk;
}

}  // namespace fotolista
