#include "core/run/imagepipeline.h"

#include "core/base/caseblindfinder.h"
#include "core/base/filesystem.h"
#include "core/base/relativenames.h"
#include "core/base/safewrite.h"
#include "core/base/uiservices.h"
#include "core/image/bitmap.h"
#include "core/image/rowpreparation.h"
#include "core/run/outputguard.h"
#include "core/run/rowproblems.h"
#include "core/run/webcompanions.h"
#include "core/settings/jobsettings.h"
#include "core/summary/runtotals.h"
#include "core/summary/summarytexts.h"
#include "core/summary/summarytree.h"
#include "core/watermark/preview.h"
#include "core/watermark/stamp.h"

#include <QDir>
#include <QFileInfo>

namespace fotolista {

namespace {

int qualityFlagsFor(JpegQuality q)
{
    switch (q) {
    case JpegQuality::Medium: return kJpegQualityNormal;
    case JpegQuality::High: return kJpegQualitySuperb;
    case JpegQuality::Low: return kJpegQualityAverage;
    case JpegQuality::VeryLow: return kJpegQualityBad;
    }
    return kJpegDefault;
}

/// One copy at `flags`; as few bytes as its pixels allow when `optimize` is set.
bool writeJpeg(const Bitmap& copy, const QString& path, int flags, bool optimize)
{
    if (!optimize)
        return saveBitmap(ImageFormat::Jpeg, copy, path, flags);
    const QByteArray bytes = smallestJpeg(copy, flags);
    return !bytes.isEmpty() && writeFileSafely(path, bytes);
}

}  // namespace

/// One row on its way through the pipeline.
struct ImagePipeline::Row {
    const RowCells& cells;
    const SourceMatch& source;
    const QString& key;
    qint64 offset = 0;
    PrepareRequest request;
    std::shared_ptr<PreparedImages> prepared;
    Bitmap large;
    Bitmap small;
    Bitmap marketplace;
    double largeHeightExact = 0;
};

QString writeErrorMessage()
{
    return QStringLiteral("Se ha producido un error en la escritura");
}

QString readingImageText(const QString& sourceText, const QString& extension, QChar separator)
{
    return QStringLiteral("Leyendo imagen: ") + separator + sourceText + extension;
}

QString writingImageText(const QString& destinationText, QChar separator)
{
    return QStringLiteral("Escribiendo imagen: ") + separator + destinationText + QStringLiteral(".jpg");
}

QString largeCopyPath(const QString& destinationFolder, const QString& destinationText)
{
    return destinationFolder + QLatin1Char('/') + withForwardSlashes(destinationText) + QStringLiteral(".jpg");
}

QString smallCopyPath(const QString& destinationFolder, const QString& destinationText)
{
    const QString relative = withForwardSlashes(destinationText) + QStringLiteral(".jpg");
    const qsizetype slash = relative.lastIndexOf(QLatin1Char('/'));
    const QString folderPart = relative.left(slash + 1);
    QString name = relative.mid(slash + 1);
    name.replace(QStringLiteral(".jpg"), QStringLiteral("_p.jpg"));
    return destinationFolder + QStringLiteral("/pequeñas/") + folderPart + name;
}

QString marketplaceCopyPath(const QString& destinationFolder, const QString& destinationText)
{
    return destinationFolder + QStringLiteral("/tiendas/") + withForwardSlashes(destinationText)
           + QStringLiteral(".jpg");
}

ImagePipeline::ImagePipeline(PipelineContext context) : m_ctx(std::move(context)) {}

PrepareRequest ImagePipeline::requestFor(const JobSettings& settings, const QString& sourcePath)
{
    PrepareRequest r;
    r.path = sourcePath;
    r.fastRead = settings.fastRead();
    r.autorotate = settings.autorotate();
    r.largeWidth = settings.largeWidth().value_or(0);
    r.smallWidth = settings.smallWidth();
    r.marketplaceSide = settings.marketplaceCopy() ? settings.marketplaceSide() : 0;
    return r;
}

RowOutcome ImagePipeline::run(const RowCells& cells, const SourceMatch& source, const QString& rowKey, qint64 rowOffset,
                              RowReport& report)
{
    Row row{cells, source, rowKey, rowOffset, requestFor(m_ctx.settings, source.resolvedPath), {}, {}, {}, {}, 0};
    if (const std::optional<RowOutcome> failed = obtain(row)) {
        report.problem = row.prepared->problem;
        return *failed;
    }

    m_ctx.view.setBatchText(readingImageText(cells.sourceText, source.extension));
    m_ctx.ui.yieldToUser();
    // The cells may have been emptied meanwhile.
    if (!m_ctx.walk.currentRow().isComplete()) {
        m_ctx.view.setBatchText(QStringLiteral("No existen concordancias entre celdas"));
        return RowOutcome::CellsNoLongerMatching;
    }
    m_ctx.view.setSummaryButtonVisible(true);
    m_quality = m_ctx.settings.jpegQuality();
    m_qualityFlags = qualityFlagsFor(m_quality);

    if (const std::optional<RowOutcome> failed = takeCopies(row))
        return *failed;
    if (m_ctx.settings.watermarkEnabled())
        stamp(row);
    return save(row, report);
}

std::optional<RowOutcome> ImagePipeline::obtain(Row& row)
{
    row.prepared = m_ctx.preparation.obtain(row.offset, row.request, m_ctx.ui);
    if (row.prepared->tooLarge) {
        // Nothing can be written for the row: said like any other failed write.
        m_ctx.ui.showMessage(writeErrorMessage(), MessageButtons::Ok, MessageIcon::Critical);
        return RowOutcome::TooLarge;
    }
    if (!row.prepared->decoded)
        return RowOutcome::NotDecoded;
    return std::nullopt;
}

std::optional<RowOutcome> ImagePipeline::takeCopies(Row& row)
{
    const int largeWidth = m_ctx.settings.largeWidth().value_or(0);
    if (largeWidth != row.request.largeWidth) {
        row.request.largeWidth = largeWidth;
        row.request.smallWidth = m_ctx.settings.smallWidth();
        if (const std::optional<RowOutcome> failed = obtain(row))
            return failed;
    }
    // The product first, then the division; rounded only when the copy is made.
    row.largeHeightExact = double(row.prepared->sourceHeight) * double(largeWidth) / double(row.prepared->sourceWidth);
    row.large = std::move(row.prepared->large);
    m_ctx.ui.yieldToUser();
    const int smallWidth = m_ctx.settings.smallWidth();
    if (smallWidth != row.request.smallWidth) {
        row.request.smallWidth = smallWidth;
        if (const std::optional<RowOutcome> failed = obtain(row))
            return failed;
    }
    row.small = std::move(row.prepared->small);
    row.marketplace = std::move(row.prepared->marketplace);
    row.prepared.reset();
    return std::nullopt;
}

void ImagePipeline::stamp(Row& row)
{
    const JobSettings& settings = m_ctx.settings;
    WatermarkStamp stamp;
    stamp.folder = m_ctx.watermarkFolder;
    stamp.bandHeight = settings.watermarkHeight();
    stamp.interiorOnly = settings.watermarkInteriorOnly();
    stamp.mark.transparency = settings.watermarkTransparency();
    if (settings.watermarkManualPlacement())
        stamp.mark.manual = m_ctx.placement.placement();
    stamp.mark.fit = settings.fitMark();
    if (stamp.mark.fit && stamp.mark.manual) {
        if (!m_placedOn)
            m_placedOn = placementSampleSize(settings.defaultWatermarkFolder());
        stamp.mark.placedOn = *m_placedOn;
    }
    if (!stamp.interiorOnly)
        stamp.code = m_ctx.walk.currentRow().destinationText;
    stampWatermark(row.large, row.largeHeightExact, stamp, m_ctx.finder, [this] { m_ctx.ui.yieldToUser(); });
}

RowOutcome ImagePipeline::save(Row& row, RowReport& report)
{
    m_ctx.ui.yieldToUser();
    const QString destinationText = row.cells.destinationText;
    const QString destinationPath = largeCopyPath(m_ctx.destinationFolder, destinationText);
    const QString smallPath = smallCopyPath(m_ctx.destinationFolder, destinationText);
    const qint64 workbookRow = m_ctx.walk.originRow(row.offset);
    report.destinationPath = destinationPath;
    // Neither copy is written when either would replace a photo of the
    // workbook or an image of an earlier row.
    const bool marketplace = m_ctx.settings.marketplaceCopy();
    const QString marketplacePath = marketplaceCopyPath(m_ctx.destinationFolder, destinationText);
    QStringList outputs{destinationPath, smallPath};
    if (marketplace)
        outputs << marketplacePath;
    if (const std::optional<QString> refused = m_ctx.guard.refusal(outputs)) {
        report.problem = *refused;
        m_ctx.ui.showMessage(writeErrorMessage(), MessageButtons::Ok, MessageIcon::Critical);
        return RowOutcome::WriteFailed;
    }
    const bool optimize = m_ctx.settings.optimizeJpeg();
    const std::vector<WebFormat> companions = companionFormats(m_ctx.settings);
    if (!writeJpeg(row.large, destinationPath, m_qualityFlags, optimize)) {
        report.problem = writeFailureReason(destinationPath);
        report.files.push_back({RowFileKind::LargeJpeg, destinationPath, false, false, report.problem});
        m_ctx.ui.showMessage(writeErrorMessage(), MessageButtons::Ok, MessageIcon::Critical);
        return RowOutcome::WriteFailed;
    }
    m_ctx.guard.noteWritten(destinationPath, workbookRow);
    report.files.push_back({RowFileKind::LargeJpeg, destinationPath, true, false, {}});
    // From the very pixels of the JPEG: stamped, before they are released.
    writeCompanions({row.large, destinationPath, true, m_quality, companions, m_ctx.guard, workbookRow}, report.files);
    row.large.reset();

    // In "pequeñas", and in the sub-folder the name asks for.
    QDir().mkpath(QFileInfo(smallPath).absolutePath());
    const bool smallWritten = writeJpeg(row.small, smallPath, m_qualityFlags, optimize);
    if (smallWritten) {
        m_ctx.guard.noteWritten(smallPath, workbookRow);
        report.files.push_back({RowFileKind::SmallJpeg, smallPath, true, false, {}});
        writeCompanions({row.small, smallPath, false, m_quality, companions, m_ctx.guard, workbookRow}, report.files);
    } else {
        report.problem = writeFailureReason(smallPath);
        report.files.push_back({RowFileKind::SmallJpeg, smallPath, false, false, report.problem});
        m_ctx.ui.showMessage(writeErrorMessage(), MessageButtons::Ok, MessageIcon::Critical);
    }
    row.small.reset();

    const bool marketplaceWritten = !marketplace || !smallWritten || saveMarketplace(row, marketplacePath, report);

    m_ctx.ui.yieldToUser();
    recordSizes(row, destinationPath);
    for (const WebFormat format : companions)
        if (const QString text = companionDetailText(format, report.files); !text.isEmpty())
            m_ctx.view.summaryTree().addDetail(row.key, text);
    m_ctx.view.setBatchText(writingImageText(destinationText));
    if (!smallWritten)
        return RowOutcome::SmallWriteFailed;
    return marketplaceWritten ? RowOutcome::Written : RowOutcome::MarketplaceWriteFailed;
}

bool ImagePipeline::saveMarketplace(Row& row, const QString& path, RowReport& report)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    const bool made = !row.marketplace.isNull();
    const bool written = made && writeJpeg(row.marketplace, path, m_qualityFlags, m_ctx.settings.optimizeJpeg());
    row.marketplace.reset();
    if (written) {
        m_ctx.guard.noteWritten(path, m_ctx.walk.originRow(row.offset));
        report.files.push_back({RowFileKind::Marketplace, path, true, false, {}});
        return true;
    }
    report.problem = made ? writeFailureReason(path) : QStringLiteral("no se ha podido hacer la copia cuadrada");
    report.files.push_back({RowFileKind::Marketplace, path, false, false, report.problem});
    m_ctx.ui.showMessage(writeErrorMessage(), MessageButtons::Ok, MessageIcon::Critical);
    return false;
}

void ImagePipeline::recordSizes(const Row& row, const QString& destinationPath)
{
    const qint64 kbWritten = kilobytes(fileSize(destinationPath).value_or(0));
    const qint64 kbRead = kilobytes(fileSize(row.source.resolvedPath).value_or(0));
    m_ctx.view.summaryTree().addDetail(row.key, sizeDetailText(kbRead, kbWritten));
    m_ctx.totals.kbReadTotal += kbRead;
    m_ctx.totals.kbWrittenTotal += kbWritten;
    m_ctx.view.summaryTree().addDetail(row.key, compressionDetailText(kbRead, kbWritten));
}

}  // namespace fotolista
