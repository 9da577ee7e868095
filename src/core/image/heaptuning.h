#pragma once

namespace fotolista {

/// Sets the C library's heap up for many large images in a row, where the
/// library has anything to set; once, before the first image.
void tuneHeapForImages();

}  // namespace fotolista
