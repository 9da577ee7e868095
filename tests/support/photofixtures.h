#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace fotolista {
class Bitmap;
}

/// The photos made by tests/data/photos/make-photos.sh with ImageMagick,
/// exiftool, cwebp and heif-enc, the references made from them by
/// ImageMagick and heif-convert, and the ways tests compare pixels.
namespace photofixtures {

/// Makes every photo once per test program (some seconds); the folder lives
/// until the program ends. Empty, with `error` set, when they cannot be made.
QString folder(QString* error = nullptr);

/// Path of a made photo or reference.
QString path(const QString& name);

/// How far two pictures are apart, channel by channel.
struct Difference {
    bool sameSize = false;
    int largest = 256;  ///< largest difference of one channel of one pixel
    double mean = 256.0;  ///< mean difference over every channel of every pixel
};
/// Between two picture files of any format the image library reads.
Difference difference(const QString& a, const QString& b);
/// Between a bitmap (saved losslessly first) and a picture file.
Difference difference(const fotolista::Bitmap& ours, const QString& referenceFile);
QString describe(const Difference& d);

/// Runs a program; its standard output, or nothing when it fails.
QByteArray run(const QString& program, const QStringList& arguments, bool* ok = nullptr);

}  // namespace photofixtures
