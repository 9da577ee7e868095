#pragma once

// A JPEG's markers as libjpeg's reader meets them (ITU-T T.81, B.1.1.2 to
// B.1.1.5): bytes before a marker that are not 0xFF are passed over, as are
// fill bytes; a scan's entropy-coded data runs to the first marker that is
// neither a stuffed zero nor a restart. The header reader and the intake
// walk files this one way, so that what one of them takes out or reads is
// what the library would have found.

#include <QByteArray>
#include <QtGlobal>

#include <cstdint>
#include <optional>

namespace fotolista {

class ByteSource;

namespace jpeg {

struct Marker {
    uint8_t code = 0;
    qint64 at = 0;  // its 0xFF
    qint64 payload = 0;  // the first byte after its length field
    qint64 size = 0;  // bytes after its length field; 0 for a marker without one
    bool inScan = false;  // met inside a scan's entropy-coded data
    qint64 passedOver = 0;  // bytes before it that are neither fill bytes nor a scan's data
    qint64 end() const { return payload + size; }
};

/// Whether libjpeg, as the image library runs it, reads a length field
/// after a marker code.
bool hasLength(uint8_t code);

class MarkerWalker {
public:
    /// From just after the start-of-image marker.
    explicit MarkerWalker(ByteSource& source, qint64 from = 2);

    /// The next marker, or nothing at the end of the bytes, after the
    /// end-of-image marker, or at a segment that runs past the end.
    std::optional<Marker> next();

    /// Whether the walk has met the end-of-image marker.
    bool metEnd() const { return m_metEnd; }

    /// Goes on from `pos`, between segments: for a reader that has read a
    /// scan's data itself, up to the marker that ends it.
    void resumeAt(qint64 pos);

private:
    int byteAt(qint64 pos);  // -1 past the end
    qint64 nextFF(qint64 pos);

    ByteSource& m_source;
    const uchar* m_memory;  // the bytes, when they lie in memory
    qint64 m_size;
    qint64 m_pos;
    bool m_inScan = false;
    bool m_metEnd = false;
    bool m_done = false;
    QByteArray m_block;
    qint64 m_blockAt = 0;
};

/// A JPEG without the segments the image library would parse beyond
/// libjpeg's own (EXIF, XMP, ICC, IPTC, comments, JFXX thumbnails and the
/// other application segments), wherever in the file they stand, between
/// scans too. JFIF's and Adobe's segments stay: libjpeg reads them itself.
QByteArray withoutMetadataSegments(const QByteArray& jpeg);

/// Whether a JPEG stops before its end-of-image marker: libjpeg then warns
/// that the file ends early and fills the rest with grey.
bool endsEarly(const QByteArray& jpeg);

}  // namespace jpeg

}  // namespace fotolista
