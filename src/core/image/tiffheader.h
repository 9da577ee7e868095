#pragma once

#include "core/image/photoheader.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <optional>
#include <vector>

namespace fotolista {

/// One entry of a TIFF directory, its value already located.
struct TiffEntry {
    quint16 type = 0;
    quint64 count = 0;
    quint64 valueOffset = 0;  ///< where the value lies, from the start of the structure
};

/// The entries of a directory, by tag (the first of a repeated tag wins).
using TiffDirectory = std::map<quint16, TiffEntry>;

/// Walks the first directory of a TIFF structure (a TIFF file or EXIF data),
/// classic or BigTIFF, checking every offset and count against the source.
class TiffReader {
public:
    explicit TiffReader(ByteSource& source) : m_source(source) {}

    /// Reads the byte order and where the first directory lies; false when it is no TIFF.
    bool open();
    std::optional<TiffDirectory> firstDirectory();
    /// A SHORT, LONG or LONG8 value (the first when there are several).
    std::optional<quint64> number(const TiffEntry& e);
    /// Every value of a SHORT, LONG or LONG8 entry, when it holds at most `limit`.
    std::optional<std::vector<quint64>> numbers(const TiffEntry& e, quint64 limit);
    /// The raw value, when it takes at most `limit` bytes.
    QByteArray bytes(const TiffEntry& e, qint64 limit);
    /// The first directory as the image library is given it: only the tags
    /// that describe the pixels, and no directory after it. The library's
    /// own readers of the others (EXIF, GPS, IPTC, XMP, Photoshop resources)
    /// trust the counts a file declares, and it loads the directory after
    /// an EXIF one, or a sub-directory, as a thumbnail, unchecked.
    std::optional<BytePatch> pixelDirectory();

private:
    static quint64 typeSize(quint16 type);
    quint32 u16(const uchar* p) const;
    quint32 u32(const uchar* p) const;
    quint64 u64(const uchar* p) const;
    quint64 value(const uchar* p, quint16 type) const;
    int countSize() const { return m_big ? 8 : 2; }
    int entrySize() const { return m_big ? 20 : 12; }

    ByteSource& m_source;
    bool m_little = true;
    bool m_big = false;
    quint64 m_ifd0 = 0;
};

/// Tags of a TIFF directory the photo intake reads.
namespace tifftag {
inline constexpr quint16 kWidth = 256;
inline constexpr quint16 kHeight = 257;
inline constexpr quint16 kPhotometric = 262;
inline constexpr quint16 kOrientation = 274;
inline constexpr quint16 kIccProfile = 34675;
}  // namespace tifftag

/// Why the image library must not be given the TIFF whose first directory
/// is `dir`, of `width` × `height` pixels in a file of `fileSize` bytes: a
/// layout it does not read safely (its checks are assertions that end the
/// process, or none), or pixel data that runs past the end of the file.
/// Empty when it may be decoded.
QString tiffLayoutProblem(TiffReader& tiff, const TiffDirectory& dir, quint64 width, quint64 height, qint64 fileSize);

}  // namespace fotolista
