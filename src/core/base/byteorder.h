#pragma once

#include <QtGlobal>

namespace fotolista {

// Numbers as file formats store them: big-endian (JPEG, ISO boxes, TIFF "MM")
// and little-endian (TIFF "II", RIFF). The caller has checked the bytes are there.

inline quint32 be16(const uchar* p)
{
    return quint32(p[0]) << 8 | p[1];
}
inline quint32 be32(const uchar* p)
{
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}
inline quint32 le16(const uchar* p)
{
    return quint32(p[1]) << 8 | p[0];
}
inline quint32 le24(const uchar* p)
{
    return quint32(p[2]) << 16 | quint32(p[1]) << 8 | p[0];
}
inline quint32 le32(const uchar* p)
{
    return quint32(p[3]) << 24 | quint32(p[2]) << 16 | quint32(p[1]) << 8 | p[0];
}

}  // namespace fotolista
