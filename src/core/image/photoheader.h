#pragma once

#include "core/base/bytesource.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstddef>
#include <span>
#include <utility>

namespace fotolista {

/// Kinds of picture the program reads, told apart by their first bytes.
enum class PhotoFormat { Unknown, Jpeg, Png, Tiff, Webp, Heif };

/// How the stored pixels must be turned to show the picture upright, as
/// EXIF and TIFF number it: 1 as stored, 2 mirrored left to right, 3 turned
/// half round, 4 mirrored top to bottom, 5 mirrored along the main diagonal,
/// 6 turned a quarter clockwise, 7 mirrored along the other diagonal, 8
/// turned a quarter anticlockwise.
using Orientation = int;

/// What a photo's header says, read without decoding any pixel.
struct PhotoHeader {
    PhotoFormat format = PhotoFormat::Unknown;
    int width = 0;  ///< as stored, before any orientation
    int height = 0;
    /// HEIF only: the size once its own rotation, mirror and crop apply.
    int shownWidth = 0;
    int shownHeight = 0;
    Orientation orientation = 1;  ///< from EXIF (HEIF turns itself: always 1 there)
    QByteArray iccProfile;  ///< embedded colour profile, empty when none
    bool cmyk = false;  ///< JPEG or TIFF holding inks rather than light
    bool adobeInverted = false;  ///< CMYK JPEG stored the Adobe way (255 = no ink)
    /// Why the photo cannot be read (empty when it can): for the user.
    QString problem;

    bool readable() const { return format != PhotoFormat::Unknown && problem.isEmpty() && width > 0 && height > 0; }
    /// Sides of the picture as it is shown: with `autorotate`, once turned.
    int uprightWidth(bool autorotate) const
    {
        if (format == PhotoFormat::Heif)
            return autorotate ? shownWidth : width;
        return turnsSideways(autorotate) ? height : width;
    }
    int uprightHeight(bool autorotate) const
    {
        if (format == PhotoFormat::Heif)
            return autorotate ? shownHeight : height;
        return turnsSideways(autorotate) ? width : height;
    }
    bool turnsSideways(bool autorotate) const { return autorotate && orientation >= 5 && orientation <= 8; }
};

/// The format a photo's first bytes announce.
PhotoFormat sniffPhotoFormat(std::span<const std::byte> head);

/// Reads the header of the photo in `source`: its format by content, its
/// stored size, EXIF orientation and colour profile. A source that is no
/// photo the program reads, or whose header is damaged, gets a `problem`.
PhotoHeader readPhotoHeader(ByteSource& source);
PhotoHeader readPhotoHeader(const QString& path);

/// The problem of a photo whose header is damaged.
QString damagedHeaderText();
/// The problem of a photo whose data runs past the end of its file: cut short.
QString incompletePhotoText();

/// The orientation recorded in EXIF data (a TIFF structure, optionally after
/// "Exif\0\0"); 1 when none or not valid.
Orientation exifOrientation(std::span<const std::byte> exif);

/// Upper bound on an embedded colour profile: a CMYK profile takes a few
/// megabytes; anything claiming more is damaged.
inline constexpr qint64 kMaxProfileBytes = 16 * 1024 * 1024;

}  // namespace fotolista
