#include "core/report/batchrecord.h"

#include "core/base/filesystem.h"
#include "core/run/imagepipeline.h"
#include "core/settings/jobsettings.h"
#include "core/summary/summarytexts.h"

namespace {

QString qualityName(JpegQuality quality)
{
    switch (quality) {
    case JpegQuality::Alta: return QStringLiteral("Alta");
    case JpegQuality::Media: return QStringLiteral("Media");
    case JpegQuality::Baja: return QStringLiteral("Baja");
    case JpegQuality::MuyBaja: return QStringLiteral("Muy baja");
    }
    return {};
}

QString watermarkText(const JobSettings& s)
{
    if (!s.watermarkEnabled())
        return QStringLiteral("sin marca de agua");
    // The default folder is the program's own, the same on every machine.
    QString text = s.watermarkFolder() == s.defaultWatermarkFolder() ? QStringLiteral("la predeterminada")
                                                                      : s.watermarkFolder();
    if (s.watermarkInteriorOnly())
        text += QStringLiteral(", solo marca interior");
    else
        text += QStringLiteral(", banda de %1 píxeles").arg(s.watermarkHeight());
    if (s.watermarkManualPlacement())
        text += QStringLiteral(", marca colocada a mano");
    else
        text += QStringLiteral(", transparencia %1").arg(s.watermarkTransparency());
    return text;
}

std::vector<ReportSetting> settingsOf(const JobSettings& s)
{
    const QString widths = s.largeWidth() ? QStringLiteral("%1 y %2 píxeles").arg(*s.largeWidth()).arg(s.smallWidth())
                                          : QStringLiteral("sin elegir");
    return {
        {QStringLiteral("Libro"), s.workbookPath()},
        {QStringLiteral("Carpeta fuente"), s.sourceFolder()},
        {QStringLiteral("Carpeta destino"), s.destinationFolder()},
        {QStringLiteral("Celdas"), QStringLiteral("origen %1%2, destino %3%4, salto %5")
                                        .arg(s.originColumn(), s.originRow(), s.destinationColumn(),
                                             s.destinationRow(), s.rowStep())},
        {QStringLiteral("Formato de las fotos"), s.sourceFormat()},
        {QStringLiteral("Calidad"), qualityName(s.jpegQuality())},
        {QStringLiteral("Anchuras"), widths},
        {QStringLiteral("Marca de agua"), watermarkText(s)},
        {QStringLiteral("Lectura rápida"), s.fastDecode() ? QStringLiteral("sí") : QStringLiteral("no")},
    };
}

bool largeCopyWritten(const RowReport& report)
{
    if (!report.outcome)
        return false;
    switch (*report.outcome) {
    case RowOutcome::Written:
    case RowOutcome::SmallWriteFailed:
    case RowOutcome::MarketplaceWriteFailed:
        return true;
    case RowOutcome::NotDecoded:
    case RowOutcome::CellsNoLongerMatching:
    case RowOutcome::TooLarge:
    case RowOutcome::WriteFailed:
    case RowOutcome::Unchanged:  // made by an earlier run: nothing was read or written now
        return false;
    }
    return false;
}

} // namespace

void BatchRecord::begin(const JobSettings& settings, CheckResult check, const QDateTime& started)
{
    m_settings = settingsOf(settings);
    m_check = std::move(check);
    m_rows.clear();
    m_end.reset();
    m_started = started;
    m_plan = planWalk(settings);
    m_workbookPath = settings.workbookPath();
    m_sourceFolder = settings.sourceFolder();
    m_destinationFolder = settings.destinationFolder();
}

void BatchRecord::addRow(const RowReport& report)
{
    ReportRow row;
    row.report = report;
    if (m_plan)
        row.row = m_plan->originRow + (report.passNumber - 1) * m_plan->rowStep;
    row.largePath = largeCopyPath(m_destinationFolder, report.cells.destinationText);
    row.smallPath = smallCopyPath(m_destinationFolder, report.cells.destinationText);
    if (largeCopyWritten(report)) {
        // Measured as the summary measures them, right after the row.
        row.kbRead = kilobytes(fileSize(report.resolvedSourcePath).value_or(0));
        row.kbWritten = kilobytes(fileSize(row.largePath).value_or(0));
    }
    m_rows.push_back(std::move(row));
}

void BatchRecord::finish(const RunResult& result)
{
    m_end = result.end;
    m_stopRow = result.stopRow;
    m_rowsLeftAfterStop = result.rowsLeftAfterStop;
    m_logProblem = result.logProblem;
}
