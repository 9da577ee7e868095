#include "core/watermark/preview.h"

#include "core/base/caseblindfinder.h"
#include "core/image/bitmap.h"
#include "core/image/photoheader.h"
#include "core/watermark/watermarkfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace fotolista {

bool refreshPreview(const QString& markFolder, const WatermarkPlacement& placement, const QString& previewPath)
{
    CaseBlindFinder finder;
    Bitmap sample =
        Bitmap::load(ImageFormat::Jpeg, finder.find(markFolder, watermarkfiles::sample()).value_or(QString()));
    const Bitmap mark =
        Bitmap::load(ImageFormat::Png, finder.find(markFolder, watermarkfiles::mark()).value_or(QString()));
    pasteBitmap(sample, mark, placement.left, placement.top, placement.alpha);
    return saveBitmap(ImageFormat::Jpeg, sample, previewPath, kJpegDefault);
}

QString previewPathFor(const QString& defaultWatermarkFolder)
{
    const QFileInfo folder(defaultWatermarkFolder);
    if (folder.isDir() && folder.isWritable())
        return QDir(defaultWatermarkFolder).filePath(watermarkfiles::preview());
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    QDir().mkpath(cache);
    return QDir(cache).filePath(watermarkfiles::preview());
}

QSize placementSampleSize(const QString& defaultWatermarkFolder)
{
    CaseBlindFinder finder;
    const std::optional<QString> sample = finder.find(defaultWatermarkFolder, watermarkfiles::sample());
    if (!sample)
        return {};
    const PhotoHeader header = readPhotoHeader(*sample);
    return header.readable() ? QSize(header.width, header.height) : QSize();
}

}  // namespace fotolista
