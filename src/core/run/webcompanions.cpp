#include "core/run/webcompanions.h"

#include "core/base/filesystem.h"
#include "core/base/safewrite.h"
#include "core/image/bitmap.h"
#include "core/run/outputguard.h"
#include "core/run/rowproblems.h"
#include "core/summary/summarytexts.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace fotolista {

namespace {

/// One row of the quality table: a JPEG quality item and its companions'.
struct QualityRow {
    JpegQuality jpeg;
    int webp;
    int avif;
};

// From bench/websweep.sh over both corpora, qualities in steps of 5
// (bench/README.md, "WebP and AVIF beside the JPEG").
constexpr QualityRow kQualities[] = {
    {JpegQuality::High, 100, 95},
    {JpegQuality::Medium, 70, 55},
    {JpegQuality::Low, 35, 45},
    {JpegQuality::VeryLow, 5, 25},
};

/// A file of the companion's name that no longer matches its JPEG.
void removeStale(const QString& path, const OutputGuard& guard)
{
    const QFileInfo info(path);
    if ((info.isFile() || info.isSymLink()) && !guard.refusal({path}))
        QFile::remove(path);
}

}  // namespace

QString companionPath(const QString& jpegPath, WebFormat format)
{
    const QString stem = jpegPath.endsWith(QStringLiteral(".jpg")) ? jpegPath.chopped(4) : jpegPath;
    return stem + QLatin1Char('.') + webFormatExtension(format);
}

int companionQuality(WebFormat format, JpegQuality quality)
{
    for (const QualityRow& row : kQualities)
        if (row.jpeg == quality)
            return format == WebFormat::Webp ? row.webp : row.avif;
    return 100;
}

std::vector<WebFormat> companionFormats(const JobSettings& settings)
{
    std::vector<WebFormat> formats;
    if (settings.writeAvif())
        formats.push_back(WebFormat::Avif);
    if (settings.writeWebp())
        formats.push_back(WebFormat::Webp);
    return formats;
}

RowFileKind companionKind(WebFormat format, bool large)
{
    if (format == WebFormat::Webp)
        return large ? RowFileKind::LargeWebp : RowFileKind::SmallWebp;
    return large ? RowFileKind::LargeAvif : RowFileKind::SmallAvif;
}

QString webFormatName(WebFormat format)
{
    return format == WebFormat::Webp ? QStringLiteral("WebP") : QStringLiteral("AVIF");
}

void writeCompanions(const CompanionJob& job, std::vector<RowFile>& files)
{
    const qint64 jpegBytes = fileSize(job.jpegPath).value_or(0);
    for (const WebFormat format : job.formats) {
        RowFile file;
        file.kind = companionKind(format, job.large);
        file.path = companionPath(job.jpegPath, format);
        if (const std::optional<QString> refused = job.guard.refusal({file.path})) {
            file.problem = *refused;
            files.push_back(std::move(file));
            continue;
        }
        const QByteArray bytes = encodeWebFormat(format, job.copy, companionQuality(format, job.quality));
        if (bytes.isEmpty()) {
            file.problem = QStringLiteral("no se pudo codificar como %1").arg(webFormatName(format));
            removeStale(file.path, job.guard);
        } else if (qint64(bytes.size()) >= jpegBytes) {
            file.notSmaller = true;
            file.problem =
                QStringLiteral("no es más pequeña que su JPEG (%1 bytes frente a %2)").arg(bytes.size()).arg(jpegBytes);
            removeStale(file.path, job.guard);
        } else if (writeFileSafely(file.path, bytes)) {
            file.written = true;
            job.guard.noteWritten(file.path, job.workbookRow);
        } else {
            file.problem = writeFailureReason(file.path);
        }
        files.push_back(std::move(file));
    }
}

QString companionDetailText(WebFormat format, const std::vector<RowFile>& files)
{
    QStringList parts;
    for (const bool large : {true, false}) {
        const QString copy = large ? QStringLiteral("Grande") : QStringLiteral("Pequeña");
        for (const RowFile& f : files) {
            if (f.kind != companionKind(format, large))
                continue;
            if (f.written)
                parts << QStringLiteral("Tam %1 %2: %3 Kb.")
                             .arg(webFormatName(format), copy)
                             .arg(kilobytes(fileSize(f.path).value_or(0)));
            else
                parts << QStringLiteral("%1 %2 no escrita: %3.").arg(webFormatName(format), copy, f.problem);
        }
    }
    return parts.join(QLatin1Char(' '));
}

}  // namespace fotolista
