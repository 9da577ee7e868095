#pragma once

#include <QByteArray>

#include <optional>

/// TIFFs written byte by byte, for layouts no image program writes on
/// request: the directory comes before the pixels (as cameras write it, so
/// a file cut short keeps its directory), little-endian, uncompressed.
namespace fixtures {

/// How a hand-made TIFF stores its pixels.
struct TiffLayout {
    int bits = 8;
    int samples = 3;
    int photometric = 2;  ///< 0 and 1 grey, 2 RGB, 3 palette, 5 CMYK
    int planar = 1;  ///< 2: one plane per sample
    int rowsPerStrip = 4;
    int sampleFormat = 0;  ///< 0: no such tag (whole numbers)
    int tile = 0;  ///< the side of square tiles; 0: strips
};

/// A TIFF of `width` × `height` pixels laid out as `layout` says, with a
/// gradient for pixels. With `thumbnail`, a second directory follows,
/// reached as the image library reaches a thumbnail: through an EXIF
/// directory of the first.
QByteArray handmadeTiff(int width, int height, const TiffLayout& layout = {},
                        std::optional<TiffLayout> thumbnail = std::nullopt);

/// Sets every value of a SHORT or LONG entry of the first directory to
/// `value`; false when the directory has no such tag.
bool setTiffTag(QByteArray& tiff, quint16 tag, quint32 value);

}  // namespace fixtures
