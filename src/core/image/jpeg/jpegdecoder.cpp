// Where the decoder starts: the refinement instructions for this processor,
// the run over the file (segments.cpp reads it; a sequential file's picture
// is made as its scan is read, a progressive file's after its last scan)
// and the coefficients' storage, kept per thread.

#include "core/image/jpeg/decoder.h"

namespace fotolista {

namespace jpeg {

namespace {

/// The coefficients of a photo, kept by each thread from one photo to the
/// next: taking a few megabytes fresh from the system for every photo cost a
/// tenth of the decoding in page faults.
struct Storage {
    std::vector<uint64_t> nonzero;
    std::vector<int16_t> coefficients;
};

std::array<Storage, 3>& threadStorage()
{
    thread_local std::array<Storage, 3> storage;
    return storage;
}

/// The storage of plane `index`, zeroed, for `c`.
Storage& storageOf(const Component& c, size_t index)
{
    Storage& s = threadStorage()[index];
    const size_t blocks = size_t(c.storedWidth) * size_t(c.storedHeight);
    s.nonzero.assign(blocks, 0);
    s.coefficients.assign(blocks * size_t(c.stride), 0);
    return s;
}

/// Gives the storage of a photo far larger than a camera's back.
void trimStorage()
{
    constexpr size_t kept = 64u << 20;
    for (Storage& s : threadStorage()) {
        if (s.nonzero.capacity() * 8 + s.coefficients.capacity() * 2 > kept)
            s = Storage{};
    }
}

}  // namespace

void takeStorage(Component& c, size_t index)
{
    Storage& storage = storageOf(c, index);
    c.nonzero = storage.nonzero.data();
    c.coefficients = storage.coefficients.data();
}

FIBITMAP* Decoder::run()
{
    if (!segments() || rgbPlanes())
        return nullptr;
    if (m_sequential)
        return m_picture.release();
    if (!startOutput())
        return nullptr;
    for (int my = 0; my < m_mcusDown; ++my)
        outputRow(my, my);
    return m_picture.release();
}

}  // namespace jpeg

FIBITMAP* decodeJpegReducedDib(std::span<const std::byte> jpeg, int eighths, qint64 maxPixels,
                               RefineInstructions instructions)
{
    if (eighths < 1 || eighths > 4)
        return nullptr;
    using jpeg::RefineFunction;
    static const RefineFunction best = jpeg::refineFunction(RefineInstructions::Best);
    const RefineFunction refine = instructions == RefineInstructions::Best ? best : jpeg::refineFunction(instructions);
    jpeg::Decoder decoder(reinterpret_cast<const uint8_t*>(jpeg.data()), jpeg.size(), eighths, maxPixels, refine);
    FIBITMAP* out = decoder.run();
    jpeg::trimStorage();
    return out;
}

}  // namespace fotolista
