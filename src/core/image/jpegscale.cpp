#include "core/image/jpegscale.h"

#include <QtGlobal>

#include <algorithm>

int jpegReduction(ImageSize size, int targetWidth)
{
    if (size.width < 1 || size.height < 1 || targetWidth < 1)
        return 1;
    for (const int denominator : {8, 4, 2}) {
        // The decoder rounds a scaled side up. A reduced picture barely wider
        // than the copy would leave the last step too little to smooth out.
        if (qint64((size.width + denominator - 1) / denominator) * 10 >= qint64(targetWidth) * 13)
            return denominator;
    }
    return 1;
}

int jpegSizeHint(ImageSize size, int targetWidth)
{
    const int denominator = jpegReduction(size, targetWidth);
    if (denominator == 1)
        return 0;
    // longer / hint must reach this denominator and stay below the next.
    return std::max(1, std::max(size.width, size.height) / denominator);
}
