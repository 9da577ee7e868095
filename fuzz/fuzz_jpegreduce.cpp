// The fast read takes a photo's coefficients straight from the decoder and
// indexes its own tables with the sampling and sizes the file declares. A
// source photo may be anything: nothing may crash, leak or read out of
// bounds, and a picture that comes out has the size of the file's header
// divided by the scale, rounded up.

#include "core/image/jpegreduce.h"

#include <FreeImage.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

std::string inputPath()
{
    static const std::string path = "/tmp/fotolista-fuzz-jpeg-" + std::to_string(::getpid()) + ".jpg";
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    static const int denominators[] = {2, 4, 8};
    const int denominator = denominators[data[0] % 3];
    ++data;
    --size;

    const std::string path = inputPath();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    FIBITMAP* dib = loadJpegReduced(path.c_str(), denominator);
    if (!dib)
        return 0;
    FIBITMAP* header = FreeImage_Load(FIF_JPEG, path.c_str(), FIF_LOAD_NOPIXELS);
    if (!header)
        std::abort(); // read whole but the header does not read
    const unsigned w = (FreeImage_GetWidth(header) + denominator - 1) / denominator;
    const unsigned h = (FreeImage_GetHeight(header) + denominator - 1) / denominator;
    if (FreeImage_GetWidth(dib) != w || FreeImage_GetHeight(dib) != h)
        std::abort();
    FreeImage_Unload(header);
    FreeImage_Unload(dib);
    return 0;
}
