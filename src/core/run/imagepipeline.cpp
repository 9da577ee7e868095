#include "core/run/imagepipeline.h"

#include "core/settings/jobsettings.h"
#include "core/base/shortint.h"
#include "core/base/uiservices.h"
#include "core/image/bitmap.h"
#include "core/base/caseblindfinder.h"
#include "core/base/filesystem.h"
#include "core/base/relativenames.h"
#include "core/summary/runtotals.h"
#include "core/summary/summarytree.h"
#include "core/summary/summarytexts.h"
#include "core/watermark/placement.h"
#include "core/watermark/watermarkfiles.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>

namespace {

int qualityFlagsFor(JpegQuality q)
{
    switch (q) {
    case JpegQuality::Media: return kJpegQualityNormal;
    case JpegQuality::Alta: return kJpegQualitySuperb;
    case JpegQuality::Baja: return kJpegQualityAverage;
    case JpegQuality::MuyBaja: return kJpegQualityBad;
    }
    return kJpegDefault;
}

int roundedToInt(double value)
{
    const double r = roundHalfEven(value);
    if (!(r >= -2147483648.0 && r <= 2147483647.0))
        return 0;
    return static_cast<int>(r);
}

QString pathIn(const QString& folder, const QString& relative)
{
    return folder + QLatin1Char('/') + relative;
}

} // namespace

QString writeErrorMessage() { return QStringLiteral("Se ha producido un error en la escritura"); }

QString smallCopyPath(const QString& destinationFolder, const QString& destinationText)
{
    const QString relative = withForwardSlashes(destinationText) + QStringLiteral(".jpg");
    const qsizetype slash = relative.lastIndexOf(QLatin1Char('/'));
    const QString folderPart = relative.left(slash + 1);
    QString name = relative.mid(slash + 1);
    name.replace(QStringLiteral(".jpg"), QStringLiteral("_p.jpg"));
    return destinationFolder + QStringLiteral("/pequeñas/") + folderPart + name;
}

ImagePipeline::ImagePipeline(PipelineContext context)
    : m_ctx(std::move(context))
{
}

RowOutcome ImagePipeline::refuseTooLarge()
{
    // Nothing can be written for the row: said like any other failed write.
    m_ctx.ui.showMessage(writeErrorMessage(), MessageButtons::Ok, MessageIcon::Critical);
    return RowOutcome::TooLarge;
}

PrepareRequest ImagePipeline::requestFor(const JobSettings& settings, const QString& sourcePath)
{
    PrepareRequest r;
    r.path = sourcePath;
    // ".JPG" exactly selects JPEG, anything else TIFF.
    r.format = settings.sourceFormat() == QLatin1String(".JPG") ? ImageFormat::Jpeg : ImageFormat::Tiff;
    r.fast = settings.fastDecode();
    r.largeWidth = settings.largeWidth().value_or(0);
    r.smallWidth = settings.smallWidth();
    return r;
}

RowOutcome ImagePipeline::run(const RowCells& cells, const SourceMatch& source, const QString& rowKey,
                              qint64 rowOffset, QString* destinationPathOut)
{
    JobSettings& settings = m_ctx.settings;

    // 1. Decode (with both copies, made ahead where the settings allow).
    const QString extension = settings.sourceFormat();
    PrepareRequest request = requestFor(settings, source.resolvedPath);
    std::shared_ptr<PreparedImages> prepared = m_ctx.preparation.obtain(rowOffset, request, m_ctx.ui);
    if (prepared->tooLarge)
        return refuseTooLarge();
    if (!prepared->decoded)
        return RowOutcome::NotDecoded;

    // 2. Status, then let the user in.
    m_ctx.view.setBatchText(QStringLiteral("Leyendo imagen: ") + QLatin1Char('/') + cells.sourceText + extension);
    m_ctx.ui.yieldToUser();

    // 3. The cells may have been emptied meanwhile.
    if (!m_ctx.walk.currentRow().isComplete()) {
        m_ctx.view.setBatchText(QStringLiteral("No existen concordancias entre celdas"));
        return RowOutcome::CellsNoLongerMatching;
    }

    // 4.
    m_ctx.view.setSummaryButtonVisible(true);

    // 5. Quality as marked now.
    m_qualityFlags = qualityFlagsFor(settings.jpegQuality());

    // 6–7. Target sizes as set now: the product first, then the division,
    // rounded only when passed. Copies made for other widths are made again.
    const int largeWidth = settings.largeWidth().value_or(0);
    if (largeWidth != request.largeWidth) {
        request.largeWidth = largeWidth;
        request.smallWidth = settings.smallWidth();
        prepared = m_ctx.preparation.obtain(rowOffset, request, m_ctx.ui);
        if (prepared->tooLarge)
            return refuseTooLarge();
        if (!prepared->decoded)
            return RowOutcome::NotDecoded;
    }
    const double largeHeightExact = double(prepared->sourceHeight) * double(largeWidth) / double(prepared->sourceWidth);
    Bitmap large = std::move(prepared->large);
    m_ctx.ui.yieldToUser();
    const int smallWidth = settings.smallWidth();
    if (smallWidth != request.smallWidth) {
        request.smallWidth = smallWidth;
        prepared = m_ctx.preparation.obtain(rowOffset, request, m_ctx.ui);
        if (prepared->tooLarge)
            return refuseTooLarge();
    }
    Bitmap small = std::move(prepared->small);
    prepared.reset();

    // 8. Watermark on the large copy only.
    if (settings.watermarkEnabled()) {
        const auto fileIn = [&](const QString& name) {
            return m_ctx.finder.find(m_ctx.watermarkFolder, name).value_or(QString());
        };
        const Bitmap band = Bitmap::load(ImageFormat::Jpeg, fileIn(watermarkfiles::band()));
        const int bandTop = static_cast<int>(std::floor(largeHeightExact)) - settings.watermarkHeight();
        if (!settings.watermarkInteriorOnly())
            pasteBitmap(large, band, 1, bandTop, 256);

        const Bitmap mark = Bitmap::load(ImageFormat::Png, fileIn(watermarkfiles::mark()));
        const double cx = double(large.width()) / 2.0 - double(mark.width()) / 2.0;
        const double cy = double(large.height()) / 2.0 - double(mark.height()) / 2.0;
        if (!settings.watermarkManualPlacement()) {
            pasteBitmap(large, mark, roundedToInt(cx), roundedToInt(cy), settings.watermarkTransparency());
        } else {
            const WatermarkPlacement p = m_ctx.placement.placement();
            if (p.centred)
                pasteBitmap(large, mark, roundedToInt(cx), roundedToInt(cy), p.alpha);
            else
                pasteBitmap(large, mark, p.left, p.top, p.alpha);
        }

        if (!settings.watermarkInteriorOnly()) {
            const QString code = m_ctx.walk.currentRow().destinationText;
            int k = 0;
            for (const char32_t c : code.toUcs4()) {
                ++k;
                m_ctx.ui.yieldToUser();
                const QString character = QString::fromUcs4(&c, 1);
                // A character that cannot name a file has no picture.
                if (c != U'/' && c != U'\0') {
                    const Bitmap glyph = Bitmap::load(ImageFormat::Jpeg, fileIn(character + QStringLiteral(".jpg")));
                    pasteBitmap(large, glyph, 319 + 10 * (k - 1), bandTop + 6, 256);
                }
                m_ctx.ui.yieldToUser();
            }
        }
    }

    // 9. The large copy.
    m_ctx.ui.yieldToUser();
    const QString destinationPath =
        pathIn(m_ctx.destinationFolder, withForwardSlashes(cells.destinationText) + QStringLiteral(".jpg"));
    if (destinationPathOut)
        *destinationPathOut = destinationPath;
    if (!saveBitmap(ImageFormat::Jpeg, large, destinationPath, m_qualityFlags)) {
        m_ctx.ui.showMessage(writeErrorMessage(), MessageButtons::Ok, MessageIcon::Critical);
        return RowOutcome::WriteFailed;
    }
    large.reset();

    // 11–13. The small copy, in "pequeñas" (and the sub-folder the name asks for).
    const QString smallPath = smallCopyPath(m_ctx.destinationFolder, cells.destinationText);
    QDir().mkpath(QFileInfo(smallPath).absolutePath());
    const bool smallWritten = saveBitmap(ImageFormat::Jpeg, small, smallPath, m_qualityFlags);
    small.reset();
    if (!smallWritten)
        m_ctx.ui.showMessage(writeErrorMessage(), MessageButtons::Ok, MessageIcon::Critical);

    // 14. Statistics of the large copy.
    m_ctx.ui.yieldToUser();
    const qint64 kbWritten = kilobytes(fileSize(destinationPath).value_or(0));
    const qint64 kbRead = kilobytes(fileSize(source.resolvedPath).value_or(0));
    m_ctx.view.summaryTree().addDetail(rowKey, sizeDetailText(kbRead, kbWritten));
    m_ctx.totals.kbReadTotal += kbRead;
    m_ctx.totals.kbWrittenTotal += kbWritten;
    m_ctx.view.summaryTree().addDetail(rowKey, compressionDetailText(kbRead, kbWritten));

    // 15.
    m_ctx.view.setBatchText(QStringLiteral("Escribiendo imagen: ") + QLatin1Char('/') + cells.destinationText
                            + QStringLiteral(".jpg"));
    return smallWritten ? RowOutcome::Written : RowOutcome::SmallWriteFailed;
}
