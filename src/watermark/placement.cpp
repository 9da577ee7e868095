#include "watermark/placement.h"

#include "batch/bitmap.h"
#include "batch/fileops.h"

bool refreshPreview(const QString& markFolder, const WatermarkPlacement& placement, const QString& previewPath)
{
    CaseBlindFinder finder;
    Bitmap sample = Bitmap::load(ImageFormat::Jpeg, finder.find(markFolder, watermarkfiles::sample()).value_or(QString()));
    const Bitmap mark = Bitmap::load(ImageFormat::Png, finder.find(markFolder, watermarkfiles::mark()).value_or(QString()));
    pasteBitmap(sample, mark, placement.left, placement.top, placement.alpha);
    return saveBitmap(ImageFormat::Jpeg, sample, previewPath, kJpegDefault);
}
