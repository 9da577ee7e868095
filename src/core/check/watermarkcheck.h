#pragma once

#include "core/base/caseblindfinder.h"
#include "core/check/batchcheck.h"
#include "core/image/imageheader.h"
#include "core/watermark/layout.h"

#include <QHash>
#include <QSize>

namespace fotolista {

class JobSettings;
class PlacementSource;

/// What the check finds in the watermark a run would stamp: a band that
/// does not cover the copy, characters without a picture or beyond what
/// the band holds, a mark that will not be pasted.
class WatermarkCheck {
public:
    /// `placement`, read when the mark is placed by hand.
    WatermarkCheck(const JobSettings& settings, PlacementSource* placement);

    /// The band against the large copy, once per check.
    void checkBand(std::vector<Finding>& out) const;
    /// One row a run would write: its code over the band, and its mark on a
    /// copy of the source's upright `size`.
    void checkRow(const QString& origin, const QString& destination, const QString& code, ImageSize size, qint64 row,
                  std::vector<Finding>& out);

private:
    bool hasGlyph(char32_t c);

    bool m_enabled = false;
    bool m_withCode = false;
    int m_largeWidth = 0;
    QString m_folder;
    MarkRule m_mark;
    QSize m_markSize;  ///< invalid when the folder has no readable mark
    int m_bandWidth = 0;  ///< 0 when the folder has no readable band
    CaseBlindFinder m_finder;
    QHash<char32_t, bool> m_glyphs;
};

}  // namespace fotolista
