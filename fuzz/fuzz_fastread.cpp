// The fast read decodes a photo at a reduced scale and resamples it with the
// program's own resampler, whose windows and buffers follow the sizes the
// file declares. A source photo may be anything: nothing may crash, leak or
// read out of bounds, and copies that come out have the sizes asked for.
// The first byte picks the large width.

#include "core/image/prepareimages.h"

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

using namespace fotolista;

namespace {

std::string inputPath()
{
    static const std::string path = "/tmp/fotolista-fuzz-jpeg-" + std::to_string(::getpid()) + ".jpg";
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const int largeWidth = 1 + data[0];
    ++data;
    --size;

    const std::string path = inputPath();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    PrepareRequest request{QString::fromStdString(path), true, true, largeWidth, 7};
    const PreparedImages out = prepareImages(request);
    if (!out.decoded)
        return 0;
    if (out.large.isNull() || out.small.isNull())
        return 0;  // a size that rounds to nothing
    if (out.large.width() != largeWidth || out.small.width() != 7)
        std::abort();
    return 0;
}
