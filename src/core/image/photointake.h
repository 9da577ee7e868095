#pragma once

#include "core/image/bitmap.h"
#include "core/image/photoheader.h"

#include <QString>

#include <cstddef>
#include <span>

namespace fotolista {

/// How a photo is taken in.
struct PhotoOptions {
    bool autorotate = true;  ///< turn the picture as its EXIF orientation says
};

/// A photo made ready for rescaling, or why it could not be.
struct DecodedPhoto {
    /// Upright (unless autorotate is off), in sRGB, without alpha, 8 bits a
    /// channel: 24-bit colour, or 8-bit for greyscale and palette pictures;
    /// no metadata of the source travels with it. Null when not decoded.
    Bitmap bitmap;
    QString problem;  ///< for the user, when the bitmap is null
};

/// Decodes the photo at `path`, whose header `header` was read from it
/// (readPhotoHeader), by its content whatever its name says.
DecodedPhoto decodePhoto(const QString& path, const PhotoHeader& header, const PhotoOptions& options);

/// The same for a photo held in memory; the header is read here and a
/// picture of more than `maxPixels` is refused before decoding.
DecodedPhoto decodePhoto(std::span<const std::byte> bytes, const PhotoOptions& options, qint64 maxPixels);

/// Finishes a picture decoded in stored order by other means (the reduced
/// JPEG read): colours to sRGB, orientation, no metadata. Null in, null out.
Bitmap finishPhoto(Bitmap decoded, const PhotoHeader& header, const PhotoOptions& options);

/// The problem of a photo that does not decode although its header reads.
QString undecodablePhotoText();

/// Turns a bitmap (8, 24 or 32 bits a pixel) as an EXIF orientation says;
/// the bitmap itself when the orientation is 1 or not valid.
Bitmap orientedBitmap(Bitmap bitmap, Orientation orientation);

}  // namespace fotolista
