#pragma once

#include "core/image/bitmap.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <span>

namespace fotolista {

class ByteSource;
struct PhotoHeader;

/// Whether the first bytes of a file (an ISO box "ftyp") name a HEIF brand:
/// HEIC, AVIF or the general HEIF image brands.
bool isHeifBrand(std::span<const std::byte> head);

/// Fills `header` from a HEIF file's boxes, without decoding: the stored
/// size, the size once its own rotation, mirror and crop are applied, and
/// its colour profile (an ICC profile, or one made from the colour
/// primaries it names). Sets `problem` when the file is damaged or this
/// system has no decoder for its codec.
void readHeifHeader(ByteSource& source, PhotoHeader& header);

/// A HEIF picture decoded to 8 bits a channel.
struct HeifPicture {
    Bitmap bitmap;  ///< 24-bit, or 32-bit with straight alpha
    QString problem;  ///< why it could not be decoded, for the user
};

/// Decodes the primary picture. With `transform` its rotation, mirror and
/// crop are applied (they play the role EXIF orientation plays elsewhere);
/// without it the pixels come as coded.
HeifPicture decodeHeif(ByteSource& source, bool transform);

}  // namespace fotolista
