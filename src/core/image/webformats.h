#pragma once

#include "core/image/bitmap.h"

#include <QByteArray>
#include <QString>

namespace fotolista {

/// The two formats written beside a JPEG for browsers that take them.
enum class WebFormat { Webp, Avif };

/// "webp" or "avif": the file extension, without the dot.
QString webFormatExtension(WebFormat format);

/// The largest side each format can hold (WebP: 16 383; AVIF as libheif
/// writes it: 65 535).
int webFormatMaxSide(WebFormat format);

/// The AV1 encoder's speed, of 0 (slowest) to 9. At 6 a copy comes out
/// about 0.5 dB closer for the same bytes but takes twice as long, at 5 seven
/// times (bench/README.md); the companions' qualities were chosen at 7.
inline constexpr int kAvifSpeed = 7;

/// `picture` (8-bit grey or palette, 24-bit colour; anything else is
/// converted first) as a lossy WebP or AVIF at `quality` (0 to 100), 4:2:0,
/// sRGB, without metadata. Empty when it cannot be encoded: a null picture,
/// a side beyond the format's limit, or an encoder that fails.
/// `avifSpeed` is for the benchmark's sweep.
QByteArray encodeWebFormat(WebFormat format, const Bitmap& picture, int quality, int avifSpeed = kAvifSpeed);

}  // namespace fotolista
