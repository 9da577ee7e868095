#include "core/report/batchrecord.h"

#include "core/base/filesystem.h"
#include "core/image/photoheader.h"
#include "core/run/imagepipeline.h"
#include "core/run/webcompanions.h"
#include "core/settings/jobsettings.h"
#include "core/summary/summarytexts.h"

#include <QStringList>

#include <algorithm>

namespace fotolista {

namespace {

QString qualityName(JpegQuality quality)
{
    switch (quality) {
    case JpegQuality::High: return QStringLiteral("Alta");
    case JpegQuality::Medium: return QStringLiteral("Media");
    case JpegQuality::Low: return QStringLiteral("Baja");
    case JpegQuality::VeryLow: return QStringLiteral("Muy baja");
    }
    return {};
}

QString watermarkText(const JobSettings& s)
{
    if (!s.watermarkEnabled())
        return QStringLiteral("sin marca de agua");
    // The default folder is the program's own, the same on every machine.
    QString text =
        s.watermarkFolder() == s.defaultWatermarkFolder() ? QStringLiteral("la predeterminada") : s.watermarkFolder();
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

QString webFormatsText(const JobSettings& s)
{
    QStringList names;
    for (const WebFormat format : companionFormats(s))
        names << webFormatName(format);
    return names.isEmpty() ? QStringLiteral("ninguno") : names.join(QStringLiteral(", "));
}

std::vector<ReportSetting> settingsOf(const JobSettings& s)
{
    const QString widths = s.largeWidth() ? QStringLiteral("%1 y %2 píxeles").arg(*s.largeWidth()).arg(s.smallWidth())
                                          : QStringLiteral("sin elegir");
    return {
        {QStringLiteral("Libro"), s.workbookPath()},
        {QStringLiteral("Carpeta fuente"), s.sourceFolder()},
        {QStringLiteral("Carpeta destino"), s.destinationFolder()},
        {QStringLiteral("Celdas"),
         QStringLiteral("origen %1%2, destino %3%4, salto %5")
             .arg(s.originColumn(), s.originRow(), s.destinationColumn(), s.destinationRow(), s.rowStep())},
        {QStringLiteral("Formato de las fotos"), s.sourceFormat()},
        {QStringLiteral("Calidad"), qualityName(s.jpegQuality())},
        {QStringLiteral("Anchuras"), widths},
        {QStringLiteral("Marca de agua"), watermarkText(s)},
        {QStringLiteral("Lectura rápida"), s.fastRead() ? QStringLiteral("sí") : QStringLiteral("no")},
        {QStringLiteral("Formatos web"), webFormatsText(s)},
    };
}

bool largeCopyWritten(const RowReport& report)
{
    if (!report.outcome)
        return false;
    switch (*report.outcome) {
    case RowOutcome::Written:
    case RowOutcome::SmallWriteFailed:
    case RowOutcome::MarketplaceWriteFailed: return true;
    case RowOutcome::NotDecoded:
    case RowOutcome::CellsNoLongerMatching:
    case RowOutcome::TooLarge:
    case RowOutcome::WriteFailed:
    case RowOutcome::Unchanged:  // made by an earlier run: nothing was read or written now
        return false;
    }
    return false;
}

bool isLarge(RowFileKind kind)
{
    return kind == RowFileKind::LargeJpeg || kind == RowFileKind::LargeWebp || kind == RowFileKind::LargeAvif;
}

std::optional<WebFormat> formatOf(RowFileKind kind)
{
    switch (kind) {
    case RowFileKind::LargeWebp:
    case RowFileKind::SmallWebp: return WebFormat::Webp;
    case RowFileKind::LargeAvif:
    case RowFileKind::SmallAvif: return WebFormat::Avif;
    case RowFileKind::LargeJpeg:
    case RowFileKind::SmallJpeg:
    case RowFileKind::Marketplace: break;
    }
    return std::nullopt;
}

/// The file's bytes and sides as it lies on disk; false when it is not there.
bool measure(ReportFile& file)
{
    const std::optional<qint64> size = fileSize(file.path);
    if (!size)
        return false;
    const PhotoHeader header = readPhotoHeader(file.path);
    file.bytes = *size;
    file.width = header.uprightWidth(true);
    file.height = header.uprightHeight(true);
    return true;
}

/// The row's files: what the pipeline said of each, or, for a row it did not
/// reach, why not.
std::vector<ReportFile> filesOf(const ReportRow& row, const std::vector<RowFileKind>& kinds)
{
    std::vector<ReportFile> files;
    const RowReport& r = row.report;
    for (const RowFileKind kind : kinds) {
        ReportFile file;
        file.kind = kind;
        const QString jpeg = isLarge(kind) ? row.largePath : row.smallPath;
        const std::optional<WebFormat> format = formatOf(kind);
        file.path = format ? companionPath(jpeg, *format) : jpeg;
        if (kind == RowFileKind::Marketplace)
            file.path = row.marketplacePath;
        const auto said =
            std::find_if(r.files.begin(), r.files.end(), [kind](const RowFile& f) { return f.kind == kind; });
        if (said != r.files.end()) {
            file.path = said->path;
            if (!said->written || !measure(file))
                file.notWritten = said->written ? QStringLiteral("ya no está") : said->problem;
        } else if (r.outcome == RowOutcome::Unchanged) {
            // Made by an earlier run with the same settings, which would make the same choice.
            if (!measure(file))
                file.notWritten = format ? QStringLiteral("sin cambios: no era más pequeña que su JPEG")
                                         : QStringLiteral("sin cambios, pero ya no está");
        } else {
            const QString reason = missingImagesReason(row);
            file.notWritten = reason.isEmpty() ? QStringLiteral("no escrita") : reason;
        }
        files.push_back(std::move(file));
    }
    return files;
}

}  // namespace

QString missingImagesReason(const ReportRow& r)
{
    const RowReport& report = r.report;
    switch (report.fate) {
    case RowFate::Unnamed:
        return QStringLiteral("No procesada: la celda origen %1 está vacía").arg(report.cells.originAddress);
    case RowFate::Missing: return QStringLiteral("No procesada: la foto no está en la carpeta fuente");
    case RowFate::Unsafe: return QStringLiteral("No procesada: un nombre sale de la carpeta elegida");
    case RowFate::Found: break;
    }
    switch (report.outcome.value_or(RowOutcome::NotDecoded)) {
    case RowOutcome::Written:
    case RowOutcome::Unchanged: return {};
    case RowOutcome::NotDecoded:
        // The intake says why when it knows: no picture it reads, damaged, no decoder.
        return report.problem.isEmpty() ? QStringLiteral("Sin imágenes: la foto no se puede leer")
                                        : QStringLiteral("Sin imágenes: la foto no se puede leer: ") + report.problem;
    case RowOutcome::CellsNoLongerMatching:
        return QStringLiteral("Sin imágenes: no existen concordancias entre celdas (una de las dos está vacía)");
    case RowOutcome::TooLarge: return QStringLiteral("Sin imágenes: la foto o su copia pasa del límite de píxeles");
    case RowOutcome::WriteFailed:
        return report.problem.isEmpty() ? QStringLiteral("Sin imágenes: no se pudo escribir la imagen grande")
                                        : QStringLiteral("Sin imágenes: ") + report.problem;
    case RowOutcome::SmallWriteFailed:
        return report.problem.isEmpty() ? QStringLiteral("No se pudo escribir la imagen pequeña")
                                        : QStringLiteral("No se pudo escribir la imagen pequeña: ") + report.problem;
    case RowOutcome::MarketplaceWriteFailed:
        return QStringLiteral("No se pudo escribir la copia para tiendas: ") + report.problem;
    }
    return {};
}

const ReportFile* ReportRow::file(RowFileKind kind) const
{
    for (const ReportFile& f : files)
        if (f.kind == kind)
            return &f;
    return nullptr;
}

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
    m_fileKinds = {RowFileKind::LargeJpeg, RowFileKind::SmallJpeg};
    for (const WebFormat format : companionFormats(settings))
        for (const bool large : {true, false})
            m_fileKinds.push_back(companionKind(format, large));
    if (settings.marketplaceCopy())
        m_fileKinds.push_back(RowFileKind::Marketplace);
}

void BatchRecord::addRow(const RowReport& report)
{
    ReportRow row;
    row.report = report;
    if (m_plan)
        row.row = m_plan->originRow + (report.passNumber - 1) * m_plan->rowStep;
    row.largePath = largeCopyPath(m_destinationFolder, report.cells.destinationText);
    row.smallPath = smallCopyPath(m_destinationFolder, report.cells.destinationText);
    row.marketplacePath = marketplaceCopyPath(m_destinationFolder, report.cells.destinationText);
    if (largeCopyWritten(report)) {
        // Measured as the summary measures them, right after the row.
        row.kbRead = kilobytes(fileSize(report.resolvedSourcePath).value_or(0));
        row.kbWritten = kilobytes(fileSize(row.largePath).value_or(0));
    }
    row.files = filesOf(row, m_fileKinds);
    m_rows.push_back(std::move(row));
}

void BatchRecord::finish(const RunResult& result)
{
    m_end = result.end;
    m_stopRow = result.stopRow;
    m_rowsLeftAfterStop = result.rowsLeftAfterStop;
    m_logProblem = result.logProblem;
}

}  // namespace fotolista
