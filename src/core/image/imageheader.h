#pragma once

#include "core/image/bitmap.h"

#include <QString>

#include <optional>

/// The size of an image, from its header alone.
struct ImageSize {
    int width = 0;
    int height = 0;
};

/// The size of a source from its header, without decoding the pixels;
/// nothing when it cannot be read.
std::optional<ImageSize> headerSize(ImageFormat format, const QString& path);
