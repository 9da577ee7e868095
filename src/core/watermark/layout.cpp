#include "core/watermark/layout.h"

#include "core/base/shortint.h"
#include "core/watermark/placement.h"

#include <algorithm>

namespace fotolista {

namespace {

/// The columns may reach from the middle of the copy (or from where a plain
/// code starts, on copies too narrow for that) to the ninth column.
int lastColumn(int copyWidth)
{
    return copyWidth - kCodePitch;
}

int leftmostColumn(int copyWidth)
{
    const int middle = copyWidth - copyWidth / 2;
    return std::max(1, std::min(middle, copyWidth - kPlainCodeLength * kCodePitch));
}

int roundedToInt(double value)
{
    const double r = roundHalfEven(value);
    if (!(r >= -2147483648.0 && r <= 2147483647.0))
        return 0;
    return static_cast<int>(r);
}

/// One side of a placed mark: kept when it is inside, else moved in.
int fittedOffset(int offset, int piece, int copy, int placedOn)
{
    if (offset >= 0 && offset + piece <= copy)
        return offset;
    const int maxOffset = copy - piece;
    int moved = maxOffset;
    if (placedOn > 0) {
        const int fromStart = offset;
        const int fromEnd = placedOn - piece - offset;
        moved = fromStart <= fromEnd ? fromStart : maxOffset - fromEnd;
    }
    return std::clamp(moved, 0, std::max(0, maxOffset));
}

}  // namespace

CodeRow codeRow(int copyWidth, int characters)
{
    const int plainStart = copyWidth - kPlainCodeLength * kCodePitch;
    if (characters <= kPlainCodeLength)
        return CodeRow{plainStart, kCodePitch, std::max(0, characters)};
    const int room = std::max(0, lastColumn(copyWidth) - leftmostColumn(copyWidth));
    const int pitch = std::min(kCodePitch, room / (characters - 1));
    if (pitch >= kNarrowestPitch)
        return CodeRow{lastColumn(copyWidth) - pitch * (characters - 1), pitch, characters};
    const int count = std::min(characters, codeCapacity(copyWidth));
    return CodeRow{lastColumn(copyWidth) - kNarrowestPitch * (count - 1), kNarrowestPitch, count};
}

int codeCapacity(int copyWidth)
{
    const int room = std::max(0, lastColumn(copyWidth) - leftmostColumn(copyWidth));
    return std::max(kPlainCodeLength, room / kNarrowestPitch + 1);
}

MarkPlace markPlace(QSize copy, QSize mark, const MarkRule& rule)
{
    MarkPlace p;
    const bool centred = !rule.manual || rule.manual->centred;
    p.alpha = rule.manual ? rule.manual->alpha : rule.transparency;
    if (centred) {
        p.left = roundedToInt(double(copy.width()) / 2.0 - double(mark.width()) / 2.0);
        p.top = roundedToInt(double(copy.height()) / 2.0 - double(mark.height()) / 2.0);
    } else {
        p.left = rule.manual->left;
        p.top = rule.manual->top;
        if (rule.fit) {
            p.left = fittedOffset(p.left, mark.width(), copy.width(), rule.placedOn.width());
            p.top = fittedOffset(p.top, mark.height(), copy.height(), rule.placedOn.height());
        }
    }
    p.fits = p.left >= 0 && p.top >= 0 && qint64(p.left) + mark.width() <= copy.width()
             && qint64(p.top) + mark.height() <= copy.height();
    return p;
}

}  // namespace fotolista
