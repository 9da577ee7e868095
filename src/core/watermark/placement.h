#pragma once

namespace fotolista {

/// Where the interior mark goes when the user places it by hand, and how
/// strongly it is blended. The start values are those of a fresh placement
/// window.
struct WatermarkPlacement {
    bool centred = false;
    int left = 0;  ///< 0..166 pixels from the image's left edge
    int top = 0;  ///< 0..247 pixels from the image's top edge
    int alpha = 125;  ///< 0..255

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

}  // namespace fotolista
