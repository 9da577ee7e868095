#pragma once

#include "core/image/imageheader.h"

#include <optional>

namespace fotolista {

class ByteSource;

/// The largest picture a HEIF file's coded streams declare: the sequence
/// parameter sets of its "hvcC" properties and of its HEVC items' data, the
/// sequence headers of its "av1C" properties and of its AV1 items' data,
/// and the output sizes of its grid and overlay items.
/// The decoders allocate what these say, up to a thousand million pixels,
/// whatever the file's "ispe" claims, so a file whose coded pictures are
/// larger than its stated size must be refused before it is decoded.
/// {0, 0} when it has no HEVC or AV1 picture; nothing when its boxes cannot
/// be walked or a coded item declares no size: such a file is not decoded.
std::optional<ImageSize> largestCodedPicture(ByteSource& source);

}  // namespace fotolista
