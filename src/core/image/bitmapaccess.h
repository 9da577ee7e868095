#pragma once

#include "core/image/bitmap.h"

#include <cstddef>
#include <span>

struct FIBITMAP;

namespace fotolista {

class ByteSource;

// For the image module's own files: the library's handle inside a Bitmap,
// and loading with the library's own format numbers and flags.

/// The handle a bitmap owns (null for a null bitmap); still the bitmap's.
FIBITMAP* dibOf(const Bitmap& bitmap);
/// A bitmap that owns `dib` from now on (null when `dib` is null).
Bitmap adoptDib(FIBITMAP* dib);
/// Decodes a file or a block of memory with the library's format number
/// and flags; like Bitmap::load, a picture the library says is incomplete
/// (a JPEG that ends early, a TIFF with strips it could not read) is refused.
Bitmap loadBitmap(int libraryFormat, const QString& path, int flags);
Bitmap loadBitmap(int libraryFormat, std::span<const std::byte> bytes, int flags);
/// The same from any source of bytes, read as the library asks for them.
Bitmap loadBitmap(int libraryFormat, ByteSource& source, int flags);

}  // namespace fotolista
