#pragma once

#include <QString>

/// Where the interior mark goes when the user places it by hand, and how
/// strongly it is blended. The start values are those of a fresh placement
/// window.
struct WatermarkPlacement {
    bool centred = false;
    int left = 0;    ///< 0..166 pixels from the image's left edge
    int top = 0;     ///< 0..247 pixels from the image's top edge
    int alpha = 125; ///< 0..255

    static constexpr int kMaxLeft = 166;
    static constexpr int kMaxTop = 247;
    static constexpr int kMaxAlpha = 255;
};

/// The placement as it stands when a mark is stamped. The window reads its
/// sliders (creating itself hidden when it does not exist); the command
/// answers with the options it was given.
class PlacementSource {
public:
    virtual ~PlacementSource() = default;
    virtual WatermarkPlacement placement() = 0;
};

/// A placement that does not change, for the command and for tests.
class FixedPlacement final : public PlacementSource {
public:
    explicit FixedPlacement(WatermarkPlacement p = {}) : m_placement(p) {}
    WatermarkPlacement placement() override { return m_placement; }
    void set(WatermarkPlacement p) { m_placement = p; }

private:
    WatermarkPlacement m_placement;
};

/// File names in a watermark folder.
namespace watermarkfiles {
inline QString band() { return QStringLiteral("agua.jpg"); }
inline QString mark() { return QStringLiteral("marca.png"); }
inline QString sample() { return QStringLiteral("previa.jpg"); }
inline QString preview() { return QStringLiteral("temporal.jpg"); }
} // namespace watermarkfiles

/// Builds the preview: the mark of `markFolder` pasted on its sample picture
/// at (left, top) blended by alpha ("Centrar" plays no part here), written as
/// JPEG to `previewPath`. False when the sample is missing or the preview
/// could not be written; a mark that is missing or does not fit leaves the
/// sample bare.
bool refreshPreview(const QString& markFolder, const WatermarkPlacement& placement, const QString& previewPath);

/// Where the preview is written and read back: "temporal.jpg" in the default
/// watermark folder when that folder can be written, else in the user's cache
/// folder (created when missing), so an installed, read-only copy still previews.
QString previewPathFor(const QString& defaultWatermarkFolder);
