#pragma once

#include "core/image/bitmap.h"

#include <QByteArray>

namespace fotolista {

enum class JpegLayout { Baseline, Progressive };

/// `bitmap` as a JPEG with optimised Huffman tables, written straight through
/// libjpeg with the settings the image library's own save takes from
/// `flags` (quality, chroma sampling, density), so its coefficients, and so
/// its decoded pixels, are those of the library's plain save. The baseline
/// layout gives the library's optimised bytes; the progressive one sends
/// bands of frequencies without successive approximation, as small as the
/// library's progression on photos at about half its cost. Empty for what
/// only the library's save handles (not 24-bit colour, or carrying metadata
/// or a thumbnail) and when libjpeg fails.
QByteArray encodeOptimisedJpeg(const Bitmap& bitmap, int flags, JpegLayout layout);

}  // namespace fotolista
