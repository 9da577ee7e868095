#pragma once

namespace fotolista {

/// The size of an image, as its header gives it.
struct ImageSize {
    int width = 0;
    int height = 0;
};

}  // namespace fotolista
