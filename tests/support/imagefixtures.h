#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

/// Test images written with the image library itself.
namespace fixtures {

/// A 24-bit JPEG (quality 90) of one colour (0xRRGGBB).
bool writeJpeg(const QString& path, int width, int height, quint32 rgb = 0x808080);
/// A 24-bit JPEG whose left half is one colour and right half another.
bool writeTwoToneJpeg(const QString& path, int width, int height, quint32 left, quint32 right);
/// A photo-like JPEG: a soft background, a saturated shaded object, fine
/// stripes and grain, saved with the image library's JPEG `flags` (quality,
/// chroma sampling, progressive); 8-bit greyscale when `grey`.
bool writePhotoJpeg(const QString& path, int width, int height, int flags, bool grey = false);
/// A 24-bit PNG of one colour, or 32-bit with an alpha channel.
/// A product shot: a `product`-coloured box of `boxWidth` × `boxHeight` at
/// (`left`, `top`) on a white backdrop of `width` × `height`, with a dark
/// speck of dust in a corner; PNG when the path ends so, else JPEG.
bool writeProductShot(const QString& path, int width, int height, int left, int top, int boxWidth, int boxHeight,
                      quint32 product);
bool writePng(const QString& path, int width, int height, quint32 rgb, bool withAlpha = false);
/// Uncompressed TIFFs: 24-bit, 32-bit RGBA, 48-bit (16 bits a channel), 8-bit greyscale.
enum class TiffKind { Rgb24, Rgba32, Rgb48, Grey8 };
bool writeTiff(const QString& path, int width, int height, TiffKind kind, quint32 rgb = 0x808080);
/// What the image library itself makes of a JPEG source: decoded (flags 0),
/// rescaled bicubic to `width` x `height` and encoded with `flags`.
QByteArray referenceJpeg(const QString& source, int width, int height, int flags);
/// Whether two encoded pictures decode (through the image library) to the same pixels.
bool samePixels(const QByteArray& a, const QByteArray& b);
/// Writes `bytes` to a file.
bool writeBytes(const QString& path, const QByteArray& bytes);
/// The bytes of a file; empty when it cannot be read.
QByteArray readBytes(const QString& path);
/// A baseline JPEG whose frame header claims another size; empty when `jpeg` has no such header.
QByteArray jpegClaimingSize(QByteArray jpeg, int width, int height);
/// How rescanJpeg lays out a JPEG's scans: one (baseline), libjpeg's usual
/// progressive script, bands without successive approximation, or two
/// refinement passes over every band.
enum class ScanScript { Baseline, Simple, BandsOnly, DeepRefinement };
/// The same coefficients in other scans, with a restart marker every
/// `restartInterval` MCUs (0: none): the picture does not change.
QByteArray rescanJpeg(const QByteArray& jpeg, ScanScript script, int restartInterval = 0);
/// Every file under a folder, hidden ones too, relative to it and sorted.
QStringList filesUnder(const QString& folder);

/// Width, height and a pixel (x from the left, y from the top) of an image
/// file, decoded by format from its contents; -1 sizes when it does not decode.
struct Decoded {
    int width = -1;
    int height = -1;
    int bpp = 0;
};
Decoded decode(const QString& path);
quint32 pixelAt(const QString& path, int x, int y);

/// Every pixel of an image file as 0xRRGGBB, rows from the top; empty when
/// it does not decode.
struct Picture {
    int width = 0;
    int height = 0;
    QList<quint32> rgb;
    quint32 at(int x, int y) const { return rgb.at(qsizetype(y) * width + x); }
};
Picture picture(const QString& path);

/// Peak signal-to-noise ratio in dB between two images of one size (over the
/// three colour channels); -1 when they do not decode or differ in size,
/// infinity when identical.
double psnr(const QString& a, const QString& b);

/// Whether two colours are within `tolerance` in every channel (JPEG is lossy).
bool near(quint32 a, quint32 b, int tolerance = 24);

}  // namespace fixtures
