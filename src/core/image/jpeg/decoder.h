#pragma once

// The decoder's state, shared by its stages: the frame's planes (ITU-T T.81,
// B.2.2 and A.1.1: each plane's sampling factors set its share of the
// blocks of a minimum coded unit), the scan being read (B.2.3) and the
// tables the file defines (B.2.4). The stages:
//   segments.cpp     the markers and their segments (Annex B)
//   huffman.h/.cpp   the bits of a scan and the Huffman codes (F.2.2, Annex C)
//   sequential.cpp   the one scan of a sequential file (F.2)
//   progressive.cpp  the scans of a progressive file (G.1.2, G.2)
//   transform.cpp    the reduced inverse transform (A.3.3, A.3.4)
//   colour.cpp       the colour conversion and the picture's rows
//   jpegdecoder.cpp  where it starts, and the coefficients' storage

#include "core/image/jpeg/huffman.h"
#include "core/image/jpeg/jpegdecoder.h"

#include <FreeImage.h>

#include <QtGlobal>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace fotolista {

namespace jpeg {

// Where the k-th coefficient of the stored (zigzag) order lies in the block,
// row by row (the zigzag order of Annex A).
inline constexpr std::array<uint8_t, 64> kNaturalOrder = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// Limits that no camera or editor comes near; past them libjpeg decides.
inline constexpr qint64 kMaxCoefficientBytes = 512LL << 20;
// libjpeg's own limits: it refuses a side beyond 65500 and an interleaved
// scan of more than ten blocks a unit.
inline constexpr int kMaxSide = 65500;
inline constexpr int kMaxBlocksInMcu = 10;
inline constexpr int kMaxScans = 1000;
inline constexpr int kMaxDcValue = 1 << 20;

struct Component;
/// Transforms `count` blocks of a plane side by side into their pixels
/// (first block, count, where, row stride).
using TransformFunction = void (*)(const Component&, size_t, int, uint8_t*, ptrdiff_t);
TransformFunction transformFor(int sx, int sy);

struct Component {
    int id = 0;
    int h = 1, v = 1;
    int quantId = 0;
    std::array<uint16_t, 64> quant{};  // natural order, taken at the component's first scan
    bool quantTaken = false;
    int widthInBlocks = 0, heightInBlocks = 0;  // as a scan of this component alone covers
    int storedWidth = 0, storedHeight = 0;  // padded to whole MCUs
    int sizeX = 0, sizeY = 0;  // output pixels per block
    int kept = 0;  // coefficients kept per block
    int stride = 0;  // coefficients stored per block
    std::array<int8_t, 64> slot{};  // per zigzag index: where it is stored
    uint64_t keptMask = 0;  // zigzag indices kept
    uint64_t* nonzero = nullptr;  // per block: bit k set when coefficient k is nonzero
    int16_t* coefficients = nullptr;  // per block: `stride` of them, the kept ones first
    std::array<int, 64> coefficientBits{};  // successive approximation reached, -1 for none yet
    int dcPrediction = 0;
    TransformFunction transform = nullptr;
};

/// One scan: its planes, tables and band, and where its decoding stands.
struct Scan {
    int count = 0;
    std::array<Component*, 4> components{};
    std::array<const Huffman*, 4> dcTables{};
    std::array<const Huffman*, 4> acTables{};
    int ss = 0, se = 0, ah = 0, al = 0;
    int eobRun = 0;
    int untilRestart = 0;
    int expectedRestart = 0;
    bool dc() const { return ss == 0; }
};

/// Refines `count` blocks side by side (reader, plane, table, first block,
/// count, band, shift, end-of-band run).
using RefineFunction = bool (*)(BitReader&, Component&, const Huffman&, size_t, int, int, int, int, int&);
RefineFunction refineFunction(RefineInstructions asked);

/// Points `c` at zeroed storage for the coefficients of plane `index`, kept
/// by each thread from one photo to the next (jpegdecoder.cpp).
void takeStorage(Component& c, size_t index);

struct UnloadPicture {
    void operator()(FIBITMAP* dib) const { FreeImage_Unload(dib); }
};
using Picture = std::unique_ptr<FIBITMAP, UnloadPicture>;

class Decoder {
public:
    Decoder(const uint8_t* data, size_t size, int eighths, qint64 maxPixels, RefineFunction refine)
        : m_data(data), m_end(data + size), m_eighths(eighths), m_maxPixels(maxPixels), m_refine(refine)
    {
    }

    /// The picture, the caller's from now on, or null.
    FIBITMAP* run();

private:
    bool segments();
    bool frame(const uint8_t* at, int length);
    bool layOut(Component& c) const;
    bool huffmanTables(const uint8_t* at, int length);
    bool quantTables(const uint8_t* at, int length);
    bool scan(const uint8_t* at, int length, const uint8_t*& next);
    bool scanHeader(const uint8_t* at, int length, Scan& scan);
    bool takeUp(Component& c, const Scan& scan, const Huffman& dcTable, const Huffman& acTable);
    bool nextMcu(BitReader& reader, Scan& scan);
    bool oneComponent(BitReader& reader, Scan& scan);
    bool interleaved(BitReader& reader, Scan& scan);
    bool sequential(BitReader& reader, Scan& scan);
    bool sequentialRow(BitReader& reader, Scan& scan);
    bool restart(BitReader& reader, int& expected) const;
    bool startOutput();
    void outputRow(int my, int stored);
    bool rgbPlanes() const;

    const uint8_t* m_data;
    const uint8_t* m_end;
    int m_eighths;
    qint64 m_maxPixels;
    RefineFunction m_refine;
    int m_width = 0, m_height = 0;
    int m_maxH = 1, m_maxV = 1;
    int m_mcusAcross = 0, m_mcusDown = 0;
    int m_restartInterval = 0;
    int m_scans = 0;
    bool m_sawFrame = false;
    bool m_sequential = false;
    bool m_jfif = false;
    int m_densityUnit = 0, m_densityX = 1, m_densityY = 1;
    std::vector<Component> m_components;
    std::array<Huffman, 4> m_dc{};
    std::array<Huffman, 4> m_ac{};
    std::array<std::array<uint16_t, 64>, 4> m_quant{};
    std::array<bool, 4> m_quantDefined{};
    Picture m_picture;
    int m_stripWidth = 0, m_stripHeight = 0;
    std::vector<std::vector<uint8_t>> m_strips;
};

/// Counts down the restart interval: at its end, the marker that must come
/// and a fresh start of the predictions and of the end-of-band run.
inline bool Decoder::nextMcu(BitReader& reader, Scan& scan)
{
    if (!m_restartInterval)
        return true;
    if (scan.untilRestart == 0) {
        if (!restart(reader, scan.expectedRestart))
            return false;
        scan.untilRestart = m_restartInterval;
        scan.eobRun = 0;
        for (int i = 0; i < scan.count; ++i)
            scan.components[size_t(i)]->dcPrediction = 0;
    }
    --scan.untilRestart;
    return true;
}

}  // namespace jpeg

}  // namespace fotolista
