#include "core/settings/jobsettings.h"

#include "core/base/shortint.h"
#include "core/base/uiservices.h"

#include <algorithm>

namespace fotolista {

JobSettings::JobSettings(QString defaultWatermarkFolder, QObject* parent)
    : QObject(parent)
    , m_defaultWatermarkFolder(std::move(defaultWatermarkFolder))
    , m_watermarkFolder(m_defaultWatermarkFolder)
{
}

template <typename T>
void JobSettings::assign(T& field, const T& value)
{
    if (field == value)
        return;
    field = value;
    emit changed();
}

void JobSettings::setSourceFolder(const QString& path)
{
    assign(m_sourceFolder, path);
}
void JobSettings::setDestinationFolder(const QString& path)
{
    assign(m_destinationFolder, path);
}
void JobSettings::setWorkbookPath(const QString& path)
{
    assign(m_workbookPath, path);
}

void JobSettings::setOriginColumn(const QString& text)
{
    assign(m_originColumn, text);
}
void JobSettings::setOriginRow(const QString& text)
{
    assign(m_originRow, text);
}
void JobSettings::setDestinationColumn(const QString& text)
{
    assign(m_destinationColumn, text);
}
void JobSettings::setDestinationRow(const QString& text)
{
    assign(m_destinationRow, text);
}
void JobSettings::setRowStep(const QString& text)
{
    assign(m_rowStep, text);
}

void JobSettings::chooseJpgSource()
{
    assign(m_sourceFormat, QStringLiteral(".JPG"));
}

void JobSettings::chooseTiffSource()
{
    assign(m_sourceFormat, QStringLiteral(".TIF"));
}

void JobSettings::chooseAnySource()
{
    assign(m_sourceFormat, anySourceFormat());
}

void JobSettings::chooseQuality(JpegQuality q)
{
    assign(m_jpegQuality, q);
}

void JobSettings::setFastRead(bool fast)
{
    assign(m_fastRead, fast);
}
void JobSettings::setOnlyChanged(bool onlyChanged)
{
    assign(m_onlyChanged, onlyChanged);
}

void JobSettings::setAutorotate(bool autorotate)
{
    assign(m_autorotate, autorotate);
}

void JobSettings::setSkipBlankRows(bool skip)
{
    assign(m_skipBlankRows, skip);
}

void JobSettings::setOptimizeJpeg(bool optimize)
{
    assign(m_optimizeJpeg, optimize);
}
void JobSettings::setMarketplaceCopy(bool on)
{
    assign(m_marketplaceCopy, on);
}

bool JobSettings::setMarketplaceSide(int side)
{
    if (side < kMarketplaceMinSide || side > kMarketplaceMaxSide)
        return false;
    assign(m_marketplaceSide, side);
    return true;
}

void JobSettings::setWriteWebp(bool write)
{
    assign(m_writeWebp, write);
}
void JobSettings::setWriteAvif(bool write)
{
    assign(m_writeAvif, write);
}

void JobSettings::setFitMark(bool fit)
{
    assign(m_fitMark, fit);
}

void JobSettings::setLargeWidth(qint16 w)
{
    assign(m_largeWidth, std::optional<qint16>(w));
}
void JobSettings::setSmallWidth(qint16 w)
{
    assign(m_smallWidth, w);
}

void JobSettings::enterWidths(UiServices& ui)
{
    const QString large = ui.askText(QStringLiteral("Introduzca la dimension en anchura de la imagen GRANDE"),
                                     QStringLiteral("Dimension anchura"));
    if (const ShortIntResult w = toShortInt(large))
        setLargeWidth(w.value);
    const QString small = ui.askText(QStringLiteral("Ahora, la anchura de la imagen pequeña"),
                                     QStringLiteral("Anchura de imagen pequeña"));
    if (const ShortIntResult w = toShortInt(small))
        setSmallWidth(w.value);
}

void JobSettings::restoreRunDefaults()
{
    m_watermarkHeight = 24;
    m_largeWidth = 409;
    m_smallWidth = 145;
    emit changed();
}

void JobSettings::useWatermarkFolder(const QString& folder)
{
    m_watermarkFolder = folder;
    m_watermarkEnabled = true;
    emit changed();
}

void JobSettings::disableWatermark()
{
    assign(m_watermarkEnabled, false);
}

void JobSettings::setWatermarkInteriorOnly(bool interiorOnly)
{
    assign(m_watermarkInteriorOnly, interiorOnly);
}

void JobSettings::enterWatermarkHeight(UiServices& ui)
{
    const QString answer = ui.askText(QStringLiteral("Introduzca la Altura de la Marca de agua: "));
    if (const ShortIntResult h = toShortInt(answer))
        setWatermarkHeight(h.value);
}

void JobSettings::setWatermarkHeight(qint32 h)
{
    assign(m_watermarkHeight, h);
}

void JobSettings::setWatermarkTransparency(int value)
{
    assign(m_watermarkTransparency, std::clamp(value, 0, 255));
}

void JobSettings::setWatermarkManualPlacement(bool manual)
{
    assign(m_watermarkManualPlacement, manual);
}

}  // namespace fotolista
