#pragma once

#include "core/watermark/placement.h"

#include <QSize>

#include <optional>

namespace fotolista {

/// Where the characters of a code go over the band of a copy.
struct CodeRow {
    int first = 0;  ///< left edge of the first column
    int pitch = 10;  ///< pixels from one column's left edge to the next one's
    int count = 0;  ///< characters stamped: the code's own, or as many as fit
};

inline constexpr int kCodePitch = 10;  ///< a column, as the pictures are drawn
inline constexpr int kNarrowestPitch = 6;  ///< below this the characters cannot be told apart
inline constexpr int kPlainCodeLength = 9;

/// The row of `characters` characters on a copy `copyWidth` pixels wide.
/// Up to nine start 90 pixels from the right edge (319 at 409), 10 apart,
/// as always. A longer code starts further left, so that its last column
/// is where the ninth of a nine-character code is; when that would take it
/// past the middle of the copy, its columns narrow down to 6 pixels, and
/// past that only the characters that fit are stamped.
CodeRow codeRow(int copyWidth, int characters);

/// How many characters fit over a copy `copyWidth` wide at the narrowest columns.
int codeCapacity(int copyWidth);

/// What places the interior mark on one copy.
struct MarkRule {
    int transparency = 0;  ///< blend of the automatic, centred mark
    std::optional<WatermarkPlacement> manual;  ///< the mark placed by hand, when it is
    bool fit = false;  ///< "Ajustar la marca a la foto"
    QSize placedOn;  ///< the picture it was placed on; invalid when unknown
};

struct MarkPlace {
    int left = 0;
    int top = 0;
    int alpha = 0;
    bool fits = false;  ///< inside the copy: the image library pastes only then
};

/// Where a mark of `mark` size lands on a copy of `copy` size: centred
/// (a half pixel to the even neighbour) or where it was placed. With `fit`, a
/// placed mark that would stick out is moved inside, on each side where it
/// does, keeping the distance it had on the picture it was placed on from
/// the nearer of the two edges (pressed against the edge when that picture is
/// unknown or the distance does not fit).
MarkPlace markPlace(QSize copy, QSize mark, const MarkRule& rule);

}  // namespace fotolista
