#include "core/check/watermarkcheck.h"

#include "core/image/photoheader.h"
#include "core/image/prepareimages.h"
#include "core/settings/jobsettings.h"
#include "core/watermark/placement.h"
#include "core/watermark/preview.h"
#include "core/watermark/watermarkfiles.h"

namespace fotolista {

namespace {

QSize pictureSize(CaseBlindFinder& finder, const QString& folder, const QString& name)
{
    const std::optional<QString> path = finder.find(folder, name);
    if (!path)
        return {};
    const PhotoHeader header = readPhotoHeader(*path);
    return header.readable() ? QSize(header.width, header.height) : QSize();
}

QString quoted(const QList<uint>& characters)
{
    QStringList out;
    for (const char32_t c : characters)
        out << QStringLiteral("«") + QString::fromUcs4(&c, 1) + QStringLiteral("»");
    return out.join(QStringLiteral(", "));
}

}  // namespace

WatermarkCheck::WatermarkCheck(const JobSettings& settings, PlacementSource* placement)
    : m_enabled(settings.watermarkEnabled())
    , m_withCode(settings.watermarkEnabled() && !settings.watermarkInteriorOnly())
    , m_largeWidth(settings.largeWidth().value_or(0))
    , m_folder(settings.watermarkFolder())
{
    if (!m_enabled)
        return;
    m_mark.transparency = settings.watermarkTransparency();
    if (settings.watermarkManualPlacement() && placement)
        m_mark.manual = placement->placement();
    m_mark.fit = settings.fitMark();
    if (m_mark.fit && m_mark.manual)
        m_mark.placedOn = placementSampleSize(settings.defaultWatermarkFolder());
    m_markSize = pictureSize(m_finder, m_folder, watermarkfiles::mark());
    if (m_withCode)
        m_bandWidth = pictureSize(m_finder, m_folder, watermarkfiles::band()).width();
}

void WatermarkCheck::checkBand(std::vector<Finding>& out) const
{
    // Pasted at x = 1, the band reaches the right edge when it is one pixel narrower than the copy.
    if (!m_withCode || m_bandWidth <= 0 || m_bandWidth >= m_largeWidth - 1)
        return;
    out.push_back(
        Finding{0, FindingKind::NarrowBand,
                QStringLiteral("%1 mide %2 píxeles de ancho y la copia grande, %3: la banda no llega al borde "
                               "derecho y el código queda fuera de ella; «Crear marca de agua propia...» "
                               "(fotolista-batch watermark) hace una de %4")
                    .arg(watermarkfiles::band())
                    .arg(m_bandWidth)
                    .arg(m_largeWidth)
                    .arg(m_largeWidth - 1)});
}

void WatermarkCheck::checkRow(const QString& origin, const QString& destination, const QString& code, ImageSize size,
                              qint64 row, std::vector<Finding>& out)
{
    if (!m_enabled)
        return;
    const QSize copy(m_largeWidth, copyHeight(size, m_largeWidth));
    const MarkPlace place = m_markSize.isValid() ? markPlace(copy, m_markSize, m_mark) : MarkPlace{0, 0, 0, true};
    if (!place.fits) {
        QString detail = QStringLiteral("%1: la marca (%2 × %3) no cabe en la copia grande (%4 × %5)")
                             .arg(origin)
                             .arg(m_markSize.width())
                             .arg(m_markSize.height())
                             .arg(copy.width())
                             .arg(copy.height());
        if (m_mark.manual && !m_mark.manual->centred)
            detail += QStringLiteral(" en (%1, %2)").arg(place.left).arg(place.top);
        detail += QStringLiteral(" y no se pegará");
        if (m_mark.manual && !m_mark.manual->centred && !m_mark.fit)
            detail += QStringLiteral("; «Ajustar la marca a la foto» (--fit-mark) la mete dentro");
        out.push_back(Finding{row, FindingKind::MarkOutside, detail});
    }
    if (!m_withCode)
        return;
    const QList<uint> characters = code.toUcs4();
    const CodeRow stamped = codeRow(m_largeWidth, int(characters.size()));
    if (stamped.count < characters.size())
        out.push_back(Finding{row, FindingKind::CodeTooLong,
                              QStringLiteral("%1: el código tiene %2 caracteres y en la banda caben %3; se estampan "
                                             "los %3 primeros")
                                  .arg(destination)
                                  .arg(characters.size())
                                  .arg(stamped.count)});
    QList<uint> missing;
    for (int k = 0; k < stamped.count; ++k)
        if (!missing.contains(characters[k]) && !hasGlyph(characters[k]))
            missing << characters[k];
    if (missing.size() == 1)
        out.push_back(Finding{row, FindingKind::MissingGlyph,
                              QStringLiteral("%1: falta el dibujo de %2 en %3; su columna queda vacía")
                                  .arg(destination, quoted(missing), m_folder)});
    else if (!missing.isEmpty())
        out.push_back(Finding{row, FindingKind::MissingGlyph,
                              QStringLiteral("%1: faltan los dibujos de %2 en %3; sus columnas quedan vacías")
                                  .arg(destination, quoted(missing), m_folder)});
}

bool WatermarkCheck::hasGlyph(char32_t c)
{
    const auto known = m_glyphs.constFind(c);
    if (known != m_glyphs.constEnd())
        return *known;
    const std::optional<QString> name = watermarkfiles::glyph(c);
    const bool found = name && m_finder.find(m_folder, *name).has_value();
    m_glyphs.insert(c, found);
    return found;
}

}  // namespace fotolista
