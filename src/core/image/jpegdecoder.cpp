#include "core/image/jpegdecoder.h"

#include "core/image/bitmapaccess.h"

#include <FreeImage.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

// Where the k-th coefficient of the stored (zigzag) order lies in the block,
// row by row.
constexpr std::array<uint8_t, 64> kNaturalOrder = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// Limits that no camera or editor comes near; past them libjpeg decides.
constexpr qint64 kMaxCoefficientBytes = 512LL << 20;
// libjpeg's own limits: it refuses a side beyond 65500 and an interleaved
// scan of more than ten blocks a unit.
constexpr int kMaxSide = 65500;
constexpr int kMaxBlocksInMcu = 10;
constexpr int kMaxScans = 1000;
constexpr int kMaxDcValue = 1 << 20;

struct Huffman {
    static constexpr int kFastBits = 9;
    // (length << 8) | symbol for the codes of kFastBits bits or fewer; 0 otherwise.
    std::array<uint16_t, 1 << kFastBits> fast{};
    std::array<int32_t, 17> maxCode{};  // the largest code of each length, -1 if none
    std::array<int32_t, 17> offset{};   // symbol index minus code, per length
    std::array<uint8_t, 256> symbols{};
    // For sequential scans: a code and the bits of the value after it read
    // in one look, when they fit in kLookupBits (entries below).
    static constexpr int kLookupBits = 11;
    std::array<uint32_t, 1 << kLookupBits> lookup{};
    bool defined = false;
};

// An entry of Huffman::lookup: the bits to pass (the code's, and the
// value's when whole), the zeros before the value, and the value itself or,
// when it did not fit, its size. Zero: a longer code, or none.
constexpr uint32_t kLookupWhole = 1u << 5;
constexpr uint32_t kLookupEnd = 1u << 6;

/// The entropy-coded bits of a scan: 0xFF 0x00 stands for 0xFF; a marker ends
/// them, and zeros follow as libjpeg feeds them, counted, so that reading
/// into them shows as damage.
class BitReader {
public:
    BitReader(const uint8_t* at, const uint8_t* end) : m_at(at), m_end(end) {}

    void refill()
    {
        if (m_count > 56)
            return;
        // Eight bytes at once when none of them is 0xFF.
        if (!m_marker && m_end - m_at >= 8) {
            uint64_t word;
            std::memcpy(&word, m_at, 8);
            const uint64_t inverse = ~word;
            if (((inverse - 0x0101010101010101u) & ~inverse & 0x8080808080808080u) == 0) {
                const int bytes = (64 - m_count) / 8;
                const int count = m_count + 8 * bytes;
                uint64_t added = __builtin_bswap64(word) >> m_count;
                if (count < 64)
                    added &= ~((uint64_t(1) << (64 - count)) - 1);
                m_bits |= added;
                m_count = count;
                m_at += bytes;
                return;
            }
        }
        while (m_count <= 56) {
            unsigned byte = 0;
            if (!m_marker && m_at < m_end) {
                byte = *m_at;
                if (byte == 0xFF) {
                    if (m_at + 1 < m_end && m_at[1] == 0) {
                        m_at += 2;
                    } else {
                        m_marker = true;
                        byte = 0;
                        ++m_padding;
                    }
                } else {
                    ++m_at;
                }
            } else {
                ++m_padding;
            }
            m_bits |= uint64_t(byte) << (56 - m_count);
            m_count += 8;
        }
    }
    unsigned bits(int n)  // 1 to 16
    {
        if (m_count < n)
            refill();
        const unsigned v = unsigned(m_bits >> (64 - n));
        m_bits <<= n;
        m_count -= n;
        return v;
    }
    bool bit() { return bits(1) != 0; }
    /// At least 32 bits ahead (zeros past the end).
    void ensure32()
    {
        if (m_count < 32)
            refill();
    }
    unsigned peek(int n) const { return unsigned(m_bits >> (64 - n)); }
    void consume(int n)
    {
        m_bits <<= n;
        m_count -= n;
    }
    /// A Huffman symbol, or -1 for a code no table has.
    int decode(const Huffman& table)
    {
        if (m_count < 16)
            refill();
        const unsigned entry = table.fast[m_bits >> (64 - Huffman::kFastBits)];
        if (entry) {
            const int length = int(entry >> 8);
            m_bits <<= length;
            m_count -= length;
            return int(entry & 0xFF);
        }
        const auto code16 = int32_t(m_bits >> 48);
        for (int length = Huffman::kFastBits + 1; length <= 16; ++length) {
            const int32_t code = code16 >> (16 - length);
            if (code <= table.maxCode[size_t(length)]) {
                m_bits <<= length;
                m_count -= length;
                return table.symbols[size_t(uint8_t(code + table.offset[size_t(length)]))];
            }
        }
        return -1;
    }
    /// True once bits past the end of the data have been used.
    bool overrun() const { return m_count < 8 * m_padding; }
    /// Bits of data read ahead and not used (the zeros after the end not
    /// counted): a whole byte of them before a marker is data libjpeg warns
    /// about as extraneous.
    int unusedBits() const { return m_count - 8 * m_padding; }
    /// Where the data stopped: at a marker, or where reading stopped.
    const uint8_t* position() const { return m_at; }
    /// Drops what is left of the buffer, as at a restart marker.
    void reset()
    {
        m_bits = 0;
        m_count = 0;
        m_padding = 0;
        m_marker = false;
    }
    /// Passes `n` bits (up to 64).
    void pass(int n)
    {
        if (n <= m_count) {
            m_bits = n < 64 ? m_bits << n : 0;
            m_count -= n;
            return;
        }
        while (n > 0) {
            if (m_count < 32)
                refill();
            const int now = std::min(n, 32);
            m_bits <<= now;
            m_count -= now;
            n -= now;
        }
    }
    void skipBytes(int n) { m_at += n; }

private:
    const uint8_t* m_at;
    const uint8_t* m_end;
    uint64_t m_bits = 0;
    int m_count = 0;
    int m_padding = 0;
    bool m_marker = false;
};

int extend(unsigned value, int size)
{
    return value < (1u << (size - 1)) ? int(value) - (1 << size) + 1 : int(value);
}

int16_t scaled(int value, int shift) { return int16_t(uint16_t(unsigned(value) << shift)); }

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
    int widthInBlocks = 0, heightInBlocks = 0;    // as a scan of this component alone covers
    int storedWidth = 0, storedHeight = 0;        // padded to whole MCUs
    int sizeX = 0, sizeY = 0;                     // output pixels per block
    int kept = 0;                                 // coefficients kept per block
    int stride = 0;                               // coefficients stored per block
    std::array<int8_t, 64> slot{};                // per zigzag index: where it is stored
    uint64_t keptMask = 0;                        // zigzag indices kept
    uint64_t* nonzero = nullptr;                  // per block: bit k set when coefficient k is nonzero
    int16_t* coefficients = nullptr;              // per block: `stride` of them, the kept ones first
    std::array<int, 64> coefficientBits{};        // successive approximation reached, -1 for none yet
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

class Decoder {
public:
    Decoder(const uint8_t* data, size_t size, int eighths, qint64 maxPixels, RefineFunction refine)
        : m_data(data), m_end(data + size), m_eighths(eighths), m_maxPixels(maxPixels), m_refine(refine)
    {
    }

    Bitmap run();

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
    Bitmap m_picture;
    int m_stripWidth = 0, m_stripHeight = 0;
    std::vector<std::vector<uint8_t>> m_strips;
};

unsigned be16(const uint8_t* p) { return unsigned(p[0]) << 8 | p[1]; }

int extend(unsigned value, int size);

/// The entries of Huffman::lookup that start with `code`.
void fillLookup(Huffman& table, int32_t code, int length, int symbol, bool dc)
{
    // A DC symbol is the size of the difference that follows.
    const int run = dc ? 0 : symbol >> 4, size = dc ? symbol : symbol & 15;
    if (dc && symbol > 11)
        return;
    const int shift = Huffman::kLookupBits - length;
    for (int fill = 0; fill < (1 << shift); ++fill) {
        uint32_t entry = 0;
        if (size == 0 && dc) {
            entry = kLookupWhole | uint32_t(length);
        } else if (size == 0) {
            if (run == 15)
                entry = kLookupWhole | uint32_t(15 << 8) | uint32_t(length);
            else if (run == 0)
                entry = kLookupWhole | kLookupEnd | uint32_t(length);
        } else if (length + size <= Huffman::kLookupBits) {
            const unsigned bits = unsigned(fill) >> (shift - size);
            const auto value = uint16_t(int16_t(extend(bits, size)));
            entry = uint32_t(value) << 16 | kLookupWhole | uint32_t(run << 8) | uint32_t(length + size);
        } else {
            entry = uint32_t(size) << 16 | uint32_t(run << 8) | uint32_t(length);
        }
        table.lookup[size_t((code << shift) | fill)] = entry;
    }
}

bool buildHuffman(Huffman& table, const uint8_t* counts, const uint8_t* symbols, int total, bool dc)
{
    table = Huffman{};
    std::copy(symbols, symbols + total, table.symbols.begin());
    // libjpeg refuses a DC table that lists a difference of more than 15
    // bits, whether the data uses it or not.
    if (dc && std::any_of(symbols, symbols + total, [](uint8_t s) { return s > 15; }))
        return false;
    int32_t code = 0;
    int index = 0;
    for (int length = 1; length <= 16; ++length) {
        const int n = counts[length - 1];
        table.offset[size_t(length)] = index - code;
        table.maxCode[size_t(length)] = n ? code + n - 1 : -1;
        for (int i = 0; i < n; ++i, ++code, ++index) {
            // A code must fit in its length, and none is all ones.
            if (code + 1 >= (1 << length))
                return false;
            if (length <= Huffman::kFastBits) {
                const int shift = Huffman::kFastBits - length;
                for (int fill = 0; fill < (1 << shift); ++fill)
                    table.fast[size_t((code << shift) | fill)] = uint16_t(length << 8 | table.symbols[size_t(index)]);
            }
            if (length <= Huffman::kLookupBits)
                fillLookup(table, code, length, table.symbols[size_t(index)], dc);
        }
        code <<= 1;
    }
    table.defined = true;
    return true;
}

bool Decoder::huffmanTables(const uint8_t* at, int length)
{
    while (length > 0) {
        if (length < 17)
            return false;
        const int kind = at[0] >> 4, id = at[0] & 15;
        if (kind > 1 || id > 3)
            return false;
        int total = 0;
        for (int i = 1; i <= 16; ++i)
            total += at[i];
        if (total > 256 || 17 + total > length)
            return false;
        Huffman& table = kind ? m_ac[size_t(id)] : m_dc[size_t(id)];
        if (!buildHuffman(table, at + 1, at + 17, total, kind == 0))
            return false;
        at += 17 + total;
        length -= 17 + total;
    }
    return true;
}

bool Decoder::quantTables(const uint8_t* at, int length)
{
    while (length > 0) {
        const int precision = at[0] >> 4, id = at[0] & 15;
        const int size = 1 + (precision ? 128 : 64);
        if (precision > 1 || id > 3 || length < size)
            return false;
        for (size_t k = 0; k < 64; ++k)
            m_quant[size_t(id)][kNaturalOrder[k]] = uint16_t(precision ? be16(at + 1 + 2 * k) : at[1 + k]);
        m_quantDefined[size_t(id)] = true;
        at += size;
        length -= size;
    }
    return true;
}

bool Decoder::layOut(Component& c) const
{
    // Each plane is transformed straight to the output's size: a plane at
    // half the width gets twice the transform.
    if (m_maxH % c.h || m_maxV % c.v)
        return false;
    c.sizeX = m_eighths * (m_maxH / c.h);
    c.sizeY = m_eighths * (m_maxV / c.v);
    c.transform = transformFor(c.sizeX, c.sizeY);
    if (!c.transform)
        return false;
    c.widthInBlocks = int((qint64(m_width) * c.h + m_maxH - 1) / m_maxH + 7) / 8;
    c.heightInBlocks = int((qint64(m_height) * c.v + m_maxV - 1) / m_maxV + 7) / 8;
    c.storedWidth = m_mcusAcross * c.h;
    // A sequential file is transformed row by row as it is read.
    c.storedHeight = m_sequential ? c.v : m_mcusDown * c.v;
    for (int k = 0; k < 64; ++k) {
        const int row = kNaturalOrder[size_t(k)] / 8, column = kNaturalOrder[size_t(k)] % 8;
        if (row < c.sizeY && column < c.sizeX) {
            c.slot[size_t(k)] = int8_t(row * c.sizeX + column);
            c.keptMask |= uint64_t(1) << k;
            ++c.kept;
        } else {
            c.slot[size_t(k)] = -1;
        }
    }
    // Past the kept ones, a place the others are written to unread: no
    // branch on whether a coefficient is kept.
    for (int8_t& slot : c.slot) {
        if (slot < 0)
            slot = int8_t(c.kept);
    }
    c.stride = c.kept + 1;
    c.coefficientBits.fill(-1);
    return true;
}

bool Decoder::frame(const uint8_t* at, int length)
{
    if (m_sawFrame || length < 6)
        return false;
    m_sawFrame = true;
    const int precision = at[0];
    m_height = int(be16(at + 1));
    m_width = int(be16(at + 3));
    const int count = at[5];
    if (precision != 8 || m_width < 1 || m_height < 1 || m_width > kMaxSide || m_height > kMaxSide
        || (count != 1 && count != 3) || length != 6 + 3 * count)
        return false;
    m_components.resize(size_t(count));
    for (int i = 0; i < count; ++i) {
        Component& c = m_components[size_t(i)];
        const uint8_t* p = at + 6 + 3 * i;
        c.id = p[0];
        c.h = p[1] >> 4;
        c.v = p[1] & 15;
        c.quantId = p[2];
        if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4 || c.quantId > 3)
            return false;
        for (int j = 0; j < i; ++j) {
            if (m_components[size_t(j)].id == c.id)
                return false;
        }
        m_maxH = std::max(m_maxH, c.h);
        m_maxV = std::max(m_maxV, c.v);
    }
    const qint64 outputWidth = (qint64(m_width) * m_eighths + 7) / 8;
    const qint64 outputHeight = (qint64(m_height) * m_eighths + 7) / 8;
    if (outputWidth * outputHeight > m_maxPixels)
        return false;
    m_mcusAcross = (m_width + 8 * m_maxH - 1) / (8 * m_maxH);
    m_mcusDown = (m_height + 8 * m_maxV - 1) / (8 * m_maxV);
    qint64 bytes = 0;
    for (Component& c : m_components) {
        if (!layOut(c))
            return false;
        bytes += qint64(c.storedWidth) * c.storedHeight * (8 + 2 * c.stride);
    }
    if (bytes > kMaxCoefficientBytes)
        return false;
    for (Component& c : m_components) {
        Storage& storage = storageOf(c, size_t(&c - m_components.data()));
        c.nonzero = storage.nonzero.data();
        c.coefficients = storage.coefficients.data();
    }
    return true;
}

bool Decoder::restart(BitReader& reader, int& expected) const
{
    if (reader.overrun() || reader.unusedBits() >= 8)
        return false;
    reader.reset();
    const uint8_t* at = reader.position();
    int skipped = 0;
    while (at + 1 < m_end && at[0] == 0xFF && at[1] == 0xFF) {
        ++at;
        ++skipped;
    }
    if (at + 1 >= m_end || at[0] != 0xFF || at[1] != 0xD0 + expected)
        return false;
    reader.skipBytes(skipped + 2);
    expected = (expected + 1) & 7;
    return true;
}

bool dcFirst(BitReader& reader, Component& c, const Huffman& table, size_t block, int al)
{
    const int size = reader.decode(table);
    if (size < 0 || size > 15)
        return false;
    c.dcPrediction += size ? extend(reader.bits(size), size) : 0;
    if (c.dcPrediction > kMaxDcValue || c.dcPrediction < -kMaxDcValue)
        return false;
    c.coefficients[block * size_t(c.stride)] = scaled(c.dcPrediction, al);
    return true;
}

void dcRefine(BitReader& reader, Component& c, size_t block, int al)
{
    if (reader.bit())
        c.coefficients[block * size_t(c.stride)] |= int16_t(1 << al);
}

void setNonzero(uint64_t& nonzero, int k, bool on)
{
    const uint64_t bit = uint64_t(1) << k;
    nonzero = on ? nonzero | bit : nonzero & ~bit;
}

bool acFirst(BitReader& reader, Component& c, const Huffman& table, size_t block, int ss, int se, int al, int& eobRun)
{
    if (eobRun > 0) {
        --eobRun;
        return true;
    }
    int16_t* coefficients = &c.coefficients[block * size_t(c.stride)];
    uint64_t& nonzero = c.nonzero[block];
    for (int k = ss; k <= se; ++k) {
        const int symbol = reader.decode(table);
        if (symbol < 0)
            return false;
        const int run = symbol >> 4, size = symbol & 15;
        if (size) {
            k += run;
            if (k > se)
                return false;
            const int16_t value = scaled(extend(reader.bits(size), size), al);
            setNonzero(nonzero, k, value != 0);
            coefficients[c.slot[size_t(k)]] = value;
        } else if (run == 15) {
            k += 15;
        } else {
            eobRun = (1 << run) - 1;
            if (run)
                eobRun += int(reader.bits(run));
            break;
        }
    }
    return true;
}

/// The DC difference of a block of a sequential scan.
[[gnu::always_inline]] inline bool sequentialDc(BitReader& reader, const Huffman& table, int& difference)
{
    reader.ensure32();
    const uint32_t entry = table.lookup[reader.peek(Huffman::kLookupBits)];
    if (entry & kLookupWhole) {
        reader.consume(int(entry & 31));
        difference = int16_t(entry >> 16);
        return true;
    }
    int size;
    if (entry) {
        reader.consume(int(entry & 31));
        size = int(entry >> 16);
    } else {
        size = reader.decode(table);
        if (size < 0 || size > 11)
            return false;
    }
    difference = size ? extend(reader.bits(size), size) : 0;
    return true;
}

/// A whole block of a sequential scan: its DC difference and its 63 AC
/// coefficients, of which only the kept ones are stored.
[[gnu::always_inline]] inline bool sequentialBlock(BitReader& reader, Component& c, const Huffman& dcTable,
                                                   const Huffman& acTable, size_t block, int& prediction)
{
    int difference;
    if (!sequentialDc(reader, dcTable, difference))
        return false;
    prediction += difference;
    if (prediction > kMaxDcValue || prediction < -kMaxDcValue)
        return false;
    int16_t* coefficients = &c.coefficients[block * size_t(c.stride)];
    coefficients[0] = int16_t(prediction);
    uint64_t nonzero = 0;
    for (int k = 1; k < 64;) {
        reader.ensure32();
        const uint32_t entry = acTable.lookup[reader.peek(Huffman::kLookupBits)];
        int run, value;
        if (entry & kLookupWhole) {
            reader.consume(int(entry & 31));
            if (entry & kLookupEnd)
                break;
            run = int(entry >> 8) & 15;
            value = int16_t(entry >> 16);
        } else if (entry) {
            reader.consume(int(entry & 31));
            run = int(entry >> 8) & 15;
            const int bits = int(entry >> 16);
            value = extend(reader.bits(bits), bits);
        } else {
            const int symbol = reader.decode(acTable);
            if (symbol < 0)
                return false;
            run = symbol >> 4;
            const int bits = symbol & 15;
            if (bits == 0) {
                if (run != 15)
                    break;  // end of block
                value = 0;
            } else {
                value = extend(reader.bits(bits), bits);
            }
        }
        k += run;
        if (k > 63)
            return false;
        coefficients[c.slot[size_t(k)]] = int16_t(value);
        nonzero |= uint64_t(value != 0) << k;
        ++k;
    }
    c.nonzero[block] = nonzero;
    return true;
}

uint64_t lowBits(int n) { return n >= 64 ? ~uint64_t(0) : (uint64_t(1) << n) - 1; }


/// Every coefficient of `pending` (nonzero ones) takes one more bit of its
/// magnitude; those not kept only have theirs passed over.
[[gnu::always_inline]] inline void refineBand(BitReader& reader, const Component& c, int16_t* coefficients,
                                              uint64_t pending, int plus)
{
    for (uint64_t kept = pending & c.keptMask; kept; kept &= kept - 1) {
        const uint64_t bit = kept & -kept;
        reader.pass(std::popcount(pending & (bit - 1)));
        pending &= ~(bit | (bit - 1));
        if (reader.bit()) {
            int16_t& value = coefficients[c.slot[size_t(std::countr_zero(bit))]];
            if ((value & plus) == 0)
                value = int16_t(value + (value >= 0 ? plus : -plus));
        }
    }
    reader.pass(std::popcount(pending));
}

// Refinement scans are where a progressive file spends its bits, most of
// them one per nonzero coefficient; those of coefficients not kept are passed
// over by counting them, with the processor's own instruction where it has it.

/// BMI2's deposit, written out: the compiler would not put it in code built
/// for every x86-64, though only processors that have it run this.
[[gnu::always_inline]] inline uint64_t deposit(uint64_t source, uint64_t mask)
{
#if defined(__x86_64__)
    uint64_t out;
    asm("pdepq %2, %1, %0" : "=r"(out) : "r"(source), "rm"(mask));
    return out;
#else
    (void)source;
    (void)mask;
    return 0;  // never called: only x86-64 has the instruction
#endif
}

template <bool Deposit>
[[gnu::always_inline]] inline bool acRefine(BitReader& reader, Component& c, const Huffman& table, size_t block, int ss,
                                            int se, int al, int& eobRun)
{
    const int plus = 1 << al, minus = -plus;
    int16_t* coefficients = &c.coefficients[block * size_t(c.stride)];
    uint64_t& nonzero = c.nonzero[block];
    // The coefficients from the current one to the band's end.
    uint64_t ahead = lowBits(se + 1) & ~lowBits(ss);
    if (eobRun == 0) {
        while (ahead) {
            const int symbol = reader.decode(table);
            if (symbol < 0)
                return false;
            const int run = symbol >> 4, size = symbol & 15;
            int value = 0;
            if (size) {
                if (size != 1)
                    return false;
                value = reader.bit() ? plus : minus;
            } else if (run != 15) {
                eobRun = 1 << run;
                if (run)
                    eobRun += int(reader.bits(run));
                break;
            }
            // Passes `run` coefficients still zero; the next zero is the new
            // one's (or, after 15 zeros without one, just passed too).
            uint64_t zero = ~nonzero & ahead;
            if constexpr (Deposit) {
                zero = deposit(uint64_t(1) << run, zero);
            } else {
                for (int i = 0; i < run && zero; ++i)
                    zero &= zero - 1;
                zero &= -zero;
            }
            refineBand(reader, c, coefficients, nonzero & ahead & (zero ? zero - 1 : ~uint64_t(0)), plus);
            if (value) {
                if (!zero)
                    return false;
                nonzero |= zero;
                coefficients[c.slot[size_t(std::countr_zero(zero))]] = int16_t(value);
            }
            ahead = zero ? ahead & ~(zero | (zero - 1)) : 0;
        }
    }
    if (eobRun > 0) {
        refineBand(reader, c, coefficients, nonzero & ahead, plus);
        --eobRun;
    }
    return true;
}

/// Refines `count` blocks side by side from `block` on.
template <bool Deposit>
[[gnu::always_inline]] inline bool acRefineBlocks(BitReader& reader, Component& c, const Huffman& table, size_t block,
                                                  int count, int ss, int se, int al, int& eobRun)
{
    // A copy of the reader the compiler can keep in registers.
    BitReader local = reader;
    bool ok = true;
    for (int i = 0; i < count && ok; ++i)
        ok = acRefine<Deposit>(local, c, table, block + size_t(i), ss, se, al, eobRun);
    reader = local;
    return ok;
}

bool acRefinePlain(BitReader& reader, Component& c, const Huffman& table, size_t block, int count, int ss, int se,
                   int al, int& eobRun)
{
    return acRefineBlocks<false>(reader, c, table, block, count, ss, se, al, eobRun);
}

#if defined(__x86_64__)
__attribute__((target("popcnt"))) bool acRefineCounting(BitReader& reader, Component& c, const Huffman& table,
                                                         size_t block, int count, int ss, int se, int al, int& eobRun)
{
    return acRefineBlocks<false>(reader, c, table, block, count, ss, se, al, eobRun);
}

__attribute__((target("popcnt,bmi,bmi2"))) bool acRefineDepositing(BitReader& reader, Component& c,
                                                                    const Huffman& table, size_t block, int count,
                                                                    int ss, int se, int al, int& eobRun)
{
    return acRefineBlocks<true>(reader, c, table, block, count, ss, se, al, eobRun);
}
#endif

/// The quickest of the three this processor runs, or of those `asked`
/// allows: AMD's before Zen 3 take a hundred cycles or more for a deposit.
RefineFunction refineFunction(RefineInstructions asked)
{
#if defined(__x86_64__)
    if (asked == RefineInstructions::Plain || !__builtin_cpu_supports("popcnt"))
        return acRefinePlain;
    if (asked == RefineInstructions::Best && __builtin_cpu_supports("bmi2") && !__builtin_cpu_is("znver1")
        && !__builtin_cpu_is("znver2"))
        return acRefineDepositing;
    return acRefineCounting;
#else
    (void)asked;
    return acRefinePlain;
#endif
}

bool Decoder::scanHeader(const uint8_t* at, int length, Scan& scan)
{
    if (!m_sawFrame || ++m_scans > kMaxScans || length < 1)
        return false;
    scan.count = at[0];
    if (scan.count < 1 || scan.count > int(m_components.size()) || length != 4 + 2 * scan.count)
        return false;
    for (size_t i = 0; i < size_t(scan.count); ++i) {
        const uint8_t* p = at + 1 + 2 * i;
        const auto found = std::find_if(m_components.begin(), m_components.end(),
                                        [&](const Component& c) { return c.id == p[0]; });
        if (found == m_components.end() || (p[1] >> 4) > 3 || (p[1] & 15) > 3)
            return false;
        if (std::find(scan.components.begin(), scan.components.begin() + ptrdiff_t(i), &*found)
            != scan.components.begin() + ptrdiff_t(i))
            return false;
        scan.components[i] = &*found;
        scan.dcTables[i] = &m_dc[size_t(p[1] >> 4)];
        scan.acTables[i] = &m_ac[size_t(p[1] & 15)];
    }
    const uint8_t* q = at + 1 + 2 * scan.count;
    scan.ss = q[0];
    scan.se = q[1];
    scan.ah = q[2] >> 4;
    scan.al = q[2] & 15;
    if (m_sequential) {
        // One scan of every plane; a lone plane in blocks of its own.
        if (scan.ss != 0 || scan.se != 63 || scan.ah != 0 || scan.al != 0 || m_scans != 1
            || scan.count != int(m_components.size())
            || (scan.count == 1 && (m_components[0].h != 1 || m_components[0].v != 1)))
            return false;
    } else if (scan.dc() ? scan.se != 0 : (scan.se < scan.ss || scan.se > 63 || scan.count != 1)) {
        return false;
    }
    if (scan.al > 13 || (scan.ah != 0 && scan.al != scan.ah - 1))
        return false;
    int blocks = 0;
    for (size_t i = 0; i < size_t(scan.count); ++i)
        blocks += scan.components[i]->h * scan.components[i]->v;
    if (scan.count > 1 && blocks > kMaxBlocksInMcu)
        return false;
    for (size_t i = 0; i < size_t(scan.count); ++i) {
        if (!takeUp(*scan.components[i], scan, *scan.dcTables[i], *scan.acTables[i]))
            return false;
    }
    return true;
}

bool Decoder::takeUp(Component& c, const Scan& scan, const Huffman& dcTable, const Huffman& acTable)
{
    if (!scan.dc() && c.coefficientBits[0] < 0)
        return false;  // AC before DC
    // Each band must take up where the last scan of it stopped.
    for (int k = scan.ss; k <= scan.se; ++k) {
        if (scan.ah != std::max(c.coefficientBits[size_t(k)], 0))
            return false;
        c.coefficientBits[size_t(k)] = scan.al;
    }
    if (m_sequential ? !dcTable.defined || !acTable.defined
                     : scan.dc() ? scan.ah == 0 && !dcTable.defined : !acTable.defined)
        return false;
    if (!c.quantTaken) {
        if (!m_quantDefined[size_t(c.quantId)])
            return false;
        c.quant = m_quant[size_t(c.quantId)];
        c.quantTaken = true;
    }
    c.dcPrediction = 0;
    return true;
}

bool Decoder::nextMcu(BitReader& reader, Scan& scan)
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

bool Decoder::oneComponent(BitReader& reader, Scan& scan)
{
    const RefineFunction refineBlocks = m_refine;
    Component& c = *scan.components[0];
    const Huffman& table = scan.dc() ? *scan.dcTables[0] : *scan.acTables[0];
    const bool refining = !scan.dc() && scan.ah != 0;
    for (int by = 0; by < c.heightInBlocks; ++by) {
        const size_t rowStart = size_t(by) * size_t(c.storedWidth);
        if (refining && !m_restartInterval) {
            // The bulk of a progressive file: a whole row in one call.
            if (!refineBlocks(reader, c, table, rowStart, c.widthInBlocks, scan.ss, scan.se, scan.al, scan.eobRun))
                return false;
        } else {
            for (int bx = 0; bx < c.widthInBlocks; ++bx) {
                if (!nextMcu(reader, scan))
                    return false;
                const size_t block = rowStart + size_t(bx);
                bool ok = true;
                if (scan.dc() && scan.ah == 0)
                    ok = dcFirst(reader, c, table, block, scan.al);
                else if (scan.dc())
                    dcRefine(reader, c, block, scan.al);
                else if (scan.ah == 0)
                    ok = acFirst(reader, c, table, block, scan.ss, scan.se, scan.al, scan.eobRun);
                else
                    ok = refineBlocks(reader, c, table, block, 1, scan.ss, scan.se, scan.al, scan.eobRun);
                if (!ok)
                    return false;
            }
        }
        if (reader.overrun())
            return false;
    }
    return true;
}

/// One row of MCUs of a sequential scan, every plane's blocks whole. Kept
/// out of its caller: inlined there, the reader's copy no longer stays in
/// registers, and a sequential file takes a third longer.
[[gnu::noinline]] bool Decoder::sequentialRow(BitReader& reader, Scan& scan)
{
    // A copy of the reader the compiler can keep in registers.
    BitReader local = reader;
    std::array<int, 4> predictions{};
    const auto take = [&] {
        for (size_t i = 0; i < size_t(scan.count); ++i)
            predictions[i] = scan.components[i]->dcPrediction;
    };
    const auto giveBack = [&] {
        for (size_t i = 0; i < size_t(scan.count); ++i)
            scan.components[i]->dcPrediction = predictions[i];
    };
    take();
    bool ok = true;
    for (int mx = 0; mx < m_mcusAcross && ok; ++mx) {
        if (m_restartInterval) {
            reader = local;
            giveBack();
            ok = nextMcu(reader, scan);
            take();
            local = reader;
        }
        for (size_t i = 0; i < size_t(scan.count) && ok; ++i) {
            Component& c = *scan.components[i];
            const Huffman& dcTable = *scan.dcTables[i];
            const Huffman& acTable = *scan.acTables[i];
            for (int y = 0; y < c.v && ok; ++y) {
                const size_t first = size_t(y) * size_t(c.storedWidth) + size_t(mx * c.h);
                for (int x = 0; x < c.h && ok; ++x)
                    ok = sequentialBlock(local, c, dcTable, acTable, first + size_t(x), predictions[i]);
            }
        }
    }
    giveBack();
    reader = local;
    return ok;
}

/// The one scan of a sequential file: each row of MCUs is transformed as
/// soon as it is read, in storage for one row.
bool Decoder::sequential(BitReader& reader, Scan& scan)
{
    if (!startOutput())
        return false;
    for (int my = 0; my < m_mcusDown; ++my) {
        for (const Component& c : m_components) {
            const size_t blocks = size_t(c.storedWidth) * size_t(c.v);
            std::memset(c.nonzero, 0, blocks * sizeof(uint64_t));
            std::memset(c.coefficients, 0, blocks * size_t(c.stride) * sizeof(int16_t));
        }
        if (!sequentialRow(reader, scan) || reader.overrun())
            return false;
        outputRow(my, 0);
    }
    return true;
}

bool Decoder::interleaved(BitReader& reader, Scan& scan)
{
    for (int my = 0; my < m_mcusDown; ++my) {
        for (int mx = 0; mx < m_mcusAcross; ++mx) {
            if (!nextMcu(reader, scan))
                return false;
            for (size_t i = 0; i < size_t(scan.count); ++i) {
                Component& c = *scan.components[i];
                for (int y = 0; y < c.v; ++y) {
                    for (int x = 0; x < c.h; ++x) {
                        const size_t block = size_t(my * c.v + y) * size_t(c.storedWidth) + size_t(mx * c.h + x);
                        if (scan.ah != 0)
                            dcRefine(reader, c, block, scan.al);
                        else if (!dcFirst(reader, c, *scan.dcTables[i], block, scan.al))
                            return false;
                    }
                }
            }
        }
        if (reader.overrun())
            return false;
    }
    return true;
}

bool Decoder::scan(const uint8_t* at, int length, const uint8_t*& next)
{
    Scan scan;
    if (!scanHeader(at, length, scan))
        return false;
    scan.untilRestart = m_restartInterval;
    BitReader reader(at + length, m_end);
    const bool read = m_sequential      ? sequential(reader, scan)
                      : scan.count == 1 ? oneComponent(reader, scan)
                                        : interleaved(reader, scan);
    if (!read || reader.overrun() || reader.unusedBits() >= 8)
        return false;
    // The scan's data ends at a marker, with nothing else before it.
    const uint8_t* end = reader.position();
    while (end + 1 < m_end && end[0] == 0xFF && end[1] == 0xFF)
        ++end;
    if (end + 1 >= m_end || end[0] != 0xFF || end[1] == 0)
        return false;
    next = end;
    return true;
}

bool Decoder::segments()
{
    const uint8_t* at = m_data;
    if (m_end - at < 2 || at[0] != 0xFF || at[1] != 0xD8)
        return false;
    at += 2;
    for (;;) {
        if (m_end - at < 2 || at[0] != 0xFF)
            return false;
        const int marker = at[1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        at += 2;
        if (marker == 0xD9)
            return m_sawFrame && m_scans > 0;
        if (m_end - at < 2)
            return false;
        const int length = int(be16(at));
        if (length < 2 || m_end - at < length)
            return false;
        const uint8_t* payload = at + 2;
        const int size = length - 2;
        bool ok = true;
        if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
            m_sequential = marker != 0xC2;
            ok = frame(payload, size);
        } else if (marker == 0xC4) {
            ok = huffmanTables(payload, size);
        } else if (marker == 0xDB) {
            ok = quantTables(payload, size);
        } else if (marker == 0xDD) {
            ok = size == 2;
            if (ok)
                m_restartInterval = int(be16(payload));
        } else if (marker == 0xDA) {
            const uint8_t* next = nullptr;
            if (!scan(payload, size, next))
                return false;
            at = next;
            continue;
        } else if (marker == 0xE0) {
            // libjpeg warns about a JFIF version it does not know, wherever it is.
            ok = !(size >= 14 && std::memcmp(payload, "JFIF", 5) == 0 && payload[5] != 1);
            if (m_scans == 0 && size >= 14 && std::memcmp(payload, "JFIF", 5) == 0) {
                m_jfif = true;
                m_densityUnit = payload[7];
                m_densityX = int(be16(payload + 8));
                m_densityY = int(be16(payload + 10));
            }
        } else if (marker == 0xEE) {
            // Adobe's marker says which colours the planes hold.
            ok = !(size >= 12 && std::memcmp(payload, "Adobe", 5) == 0);
        } else if (!(marker >= 0xE1 && marker <= 0xEF) && marker != 0xFE) {
            // Other frames, arithmetic coding, DNL and reserved markers.
            ok = false;
        }
        if (!ok)
            return false;
        at += length;
    }
}

struct CosineTables {
    // [size][frequency][output]: one dimension of the inverse transform at
    // `size` points, with the level of the 8-point one; zeros past `size`.
    alignas(16) float at[9][8][8]{};
    CosineTables()
    {
        for (int n = 1; n <= 8; ++n) {
            for (int x = 0; x < n; ++x) {
                for (int u = 0; u < n; ++u)
                    at[n][u][x] = float((u ? 1.0 : std::sqrt(0.5)) * std::cos((2 * x + 1) * u * M_PI / (2 * n)) / 2);
            }
        }
    }
};

/// The coefficients (as bits in stored order) in rows, or columns, from
/// `from` on.
constexpr std::array<uint64_t, 8> fromLine(bool rows)
{
    std::array<uint64_t, 8> masks{};
    for (int from = 0; from < 8; ++from) {
        for (int k = 0; k < 64; ++k) {
            if ((rows ? kNaturalOrder[size_t(k)] / 8 : kNaturalOrder[size_t(k)] % 8) >= from)
                masks[size_t(from)] |= uint64_t(1) << k;
        }
    }
    return masks;
}
constexpr std::array<uint64_t, 8> kRowsFrom = fromLine(true);
constexpr std::array<uint64_t, 8> kColumnsFrom = fromLine(false);

uint8_t clampLevel(float value)
{
    const float shifted = value + 128.5f;
    return shifted <= 0 ? 0 : shifted >= 255 ? 255 : uint8_t(shifted);
}

/// The block's sums over its first `rows` × `columns` coefficients, into
/// SX × SY pixels.
#if defined(__x86_64__)
template <int SX, int SY>
[[gnu::always_inline]] inline void sumBlock(const CosineTables& cosines, const Component& c,
                                            const int16_t* coefficients, int rows, int columns, uint8_t* out,
                                            ptrdiff_t stride)
{
    const auto& across = cosines.at[SX];
    const auto& down = cosines.at[SY];
    // Four outputs of a row to a vector; the same products and sums, in the
    // same order, as the plain version for other processors.
    constexpr int kVectors = (SX + 3) / 4;
    __m128 sums[SY][kVectors];
    for (int v = 0; v < rows; ++v) {
        __m128 row[kVectors];
        for (__m128& r : row)
            r = _mm_setzero_ps();
        for (int u = 0; u < columns; ++u) {
            const __m128 f = _mm_set1_ps(float(coefficients[v * SX + u]) * float(c.quant[size_t(v * 8 + u)]));
            for (int j = 0; j < kVectors; ++j)
                row[j] = _mm_add_ps(row[j], _mm_mul_ps(f, _mm_loadu_ps(&across[u][4 * j])));
        }
        for (int j = 0; j < kVectors; ++j)
            sums[v][j] = row[j];
    }
    const __m128 level = _mm_set1_ps(128.5f);
    for (int y = 0; y < SY; ++y) {
        __m128 line[2] = {_mm_setzero_ps(), _mm_setzero_ps()};
        for (int v = 0; v < rows; ++v) {
            const __m128 d = _mm_set1_ps(down[v][y]);
            for (int j = 0; j < kVectors; ++j)
                line[j] = _mm_add_ps(line[j], _mm_mul_ps(d, sums[v][j]));
        }
        // Truncated and clamped to 0..255 as clampLevel does.
        const __m128i words = _mm_packs_epi32(_mm_cvttps_epi32(_mm_add_ps(line[0], level)),
                                              _mm_cvttps_epi32(_mm_add_ps(line[1], level)));
        alignas(16) uint8_t bytes[16];
        _mm_store_si128(reinterpret_cast<__m128i*>(bytes), _mm_packus_epi16(words, words));
        std::memcpy(out + y * stride, bytes, SX);
    }
}
#else
template <int SX, int SY>
[[gnu::always_inline]] inline void sumBlock(const CosineTables& cosines, const Component& c,
                                            const int16_t* coefficients, int rows, int columns, uint8_t* out,
                                            ptrdiff_t stride)
{
    const auto& across = cosines.at[SX];
    const auto& down = cosines.at[SY];
    float sums[SY][SX];
    for (int v = 0; v < rows; ++v) {
        float row[SX] = {};
        for (int u = 0; u < columns; ++u) {
            const float f = float(coefficients[v * SX + u]) * float(c.quant[size_t(v * 8 + u)]);
            for (int x = 0; x < SX; ++x)
                row[x] += f * across[u][x];
        }
        std::memcpy(sums[v], row, sizeof row);
    }
    for (int y = 0; y < SY; ++y) {
        float line[SX] = {};
        for (int v = 0; v < rows; ++v) {
            const float d = down[v][y];
            for (int x = 0; x < SX; ++x)
                line[x] += d * sums[v][x];
        }
        for (int x = 0; x < SX; ++x)
            out[y * stride + x] = clampLevel(line[x]);
    }
}
#endif

/// One block, dequantised and transformed to SX × SY pixels. Only the rows
/// and columns of coefficients that hold a nonzero one are summed: most of a
/// block's high frequencies are zero, all the more in the colour planes.
template <int SX, int SY>
[[gnu::always_inline]] inline void transformBlock(const CosineTables& cosines, const Component& c, size_t block,
                                                  uint8_t* out, ptrdiff_t stride)
{
    const int16_t* coefficients = &c.coefficients[block * size_t(c.stride)];
    const uint64_t nonzero = c.nonzero[block] & c.keptMask & ~uint64_t(1);
    if (!nonzero) {
        const uint8_t level = clampLevel(float(coefficients[0]) * float(c.quant[0]) / 8);
        for (int y = 0; y < SY; ++y)
            std::memset(out + y * stride, level, SX);
        return;
    }
    int rows = SY, columns = SX;
    while (!(nonzero & kRowsFrom[size_t(rows - 1)]))
        --rows;
    while (!(nonzero & kColumnsFrom[size_t(columns - 1)]))
        --columns;
    sumBlock<SX, SY>(cosines, c, coefficients, rows, columns, out, stride);
}

template <int SX, int SY>
void transformSized(const Component& c, size_t first, int count, uint8_t* out, ptrdiff_t stride)
{
    static const CosineTables cosines;
    for (int i = 0; i < count; ++i)
        transformBlock<SX, SY>(cosines, c, first + size_t(i), out + i * SX, stride);
}

/// The transform for a plane's block size: 1, 2, 3, 4, 6 or 8 pixels a side
/// (eighths up to 4, times the plane's subsampling).
template <int SX>
TransformFunction transformAcross(int sy)
{
    switch (sy) {
    case 1: return transformSized<SX, 1>;
    case 2: return transformSized<SX, 2>;
    case 3: return transformSized<SX, 3>;
    case 4: return transformSized<SX, 4>;
    case 6: return transformSized<SX, 6>;
    case 8: return transformSized<SX, 8>;
    default: return nullptr;
    }
}

TransformFunction transformFor(int sx, int sy)
{
    switch (sx) {
    case 1: return transformAcross<1>(sy);
    case 2: return transformAcross<2>(sy);
    case 3: return transformAcross<3>(sy);
    case 4: return transformAcross<4>(sy);
    case 6: return transformAcross<6>(sy);
    case 8: return transformAcross<8>(sy);
    default: return nullptr;
    }
}

/// libjpeg's YCbCr to RGB, in the same fixed point.
struct ColourTables {
    static constexpr int kBits = 16;
    static constexpr int32_t fix(double x) { return int32_t(x * (1 << kBits) + 0.5); }
    int crRed[256], cbBlue[256];
    int32_t crGreen[256], cbGreen[256];
    ColourTables()
    {
        constexpr int32_t half = 1 << (kBits - 1);
        for (int i = 0; i < 256; ++i) {
            const int x = i - 128;
            crRed[i] = (fix(1.40200) * x + half) >> kBits;
            cbBlue[i] = (fix(1.77200) * x + half) >> kBits;
            crGreen[i] = -fix(0.71414) * x;
            cbGreen[i] = -fix(0.34414) * x + half;
        }
    }
};

uint8_t clampByte(int value) { return uint8_t(std::clamp(value, 0, 255)); }

#if defined(__x86_64__)
#define FOTOLISTA_AVX2 __attribute__((target("avx2")))

FOTOLISTA_AVX2 inline __m256i eightSamples(const uint8_t* p)
{
    return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
}

/// libjpeg's sums for eight pixels, clamped to bytes in the low half.
FOTOLISTA_AVX2 inline __m128i eightLevels(__m256i luma, __m256i sum)
{
    const __m256i v = _mm256_add_epi32(luma, _mm256_srai_epi32(sum, ColourTables::kBits));
    const __m128i words = _mm_packs_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    return _mm_packus_epi16(words, words);
}

/// Which byte of plane `channel` each byte of the 16 from `chunk` on of
/// the interleaved row takes (-1: none).
constexpr std::array<int8_t, 16> interleaveMask(int chunk, int channel)
{
    std::array<int8_t, 16> mask{};
    for (int i = 0; i < 16; ++i) {
        const int at = 16 * chunk + i;
        mask[size_t(i)] = int8_t(at % 3 == channel ? at / 3 : -1);
    }
    return mask;
}

/// Sixteen pixels at a time; returns how many were done.
FOTOLISTA_AVX2 int colourRowVector(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr, uint8_t* line,
                                   int width)
{
    static_assert(FI_RGBA_BLUE == 0 && FI_RGBA_GREEN == 1 && FI_RGBA_RED == 2);
    const __m256i centre = _mm256_set1_epi32(128), half = _mm256_set1_epi32(1 << (ColourTables::kBits - 1));
    const __m256i toRed = _mm256_set1_epi32(ColourTables::fix(1.40200));
    const __m256i toBlue = _mm256_set1_epi32(ColourTables::fix(1.77200));
    const __m256i cbToGreen = _mm256_set1_epi32(-ColourTables::fix(0.34414));
    const __m256i crToGreen = _mm256_set1_epi32(-ColourTables::fix(0.71414));
    static constexpr std::array<std::array<int8_t, 16>, 9> kMasks = {
        interleaveMask(0, 0), interleaveMask(0, 1), interleaveMask(0, 2), interleaveMask(1, 0), interleaveMask(1, 1),
        interleaveMask(1, 2), interleaveMask(2, 0), interleaveMask(2, 1), interleaveMask(2, 2)};
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        __m128i planes[3];  // blue, green, red: 16 bytes each
        for (int half8 = 0; half8 < 2; ++half8) {
            const int at = x + 8 * half8;
            const __m256i l = eightSamples(luma + at);
            const __m256i b = _mm256_sub_epi32(eightSamples(cb + at), centre);
            const __m256i r = _mm256_sub_epi32(eightSamples(cr + at), centre);
            const __m128i blue = eightLevels(l, _mm256_add_epi32(_mm256_mullo_epi32(b, toBlue), half));
            const __m128i green = eightLevels(
                l, _mm256_add_epi32(_mm256_add_epi32(_mm256_mullo_epi32(b, cbToGreen), half),
                                    _mm256_mullo_epi32(r, crToGreen)));
            const __m128i red = eightLevels(l, _mm256_add_epi32(_mm256_mullo_epi32(r, toRed), half));
            if (half8 == 0) {
                planes[0] = blue;
                planes[1] = green;
                planes[2] = red;
            } else {
                planes[0] = _mm_unpacklo_epi64(planes[0], blue);
                planes[1] = _mm_unpacklo_epi64(planes[1], green);
                planes[2] = _mm_unpacklo_epi64(planes[2], red);
            }
        }
        for (int chunk = 0; chunk < 3; ++chunk) {
            __m128i bytes = _mm_setzero_si128();
            for (int channel = 0; channel < 3; ++channel) {
                const auto* mask = reinterpret_cast<const __m128i*>(kMasks[size_t(3 * chunk + channel)].data());
                bytes = _mm_or_si128(bytes, _mm_shuffle_epi8(planes[channel], _mm_loadu_si128(mask)));
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(line + 3 * x + 16 * chunk), bytes);
        }
    }
    return x;
}
#endif

bool Decoder::startOutput()
{
    const int width = int((qint64(m_width) * m_eighths + 7) / 8);
    const int height = int((qint64(m_height) * m_eighths + 7) / 8);
    m_picture = adoptDib(allocateJpegPicture(width, height, m_components.size() == 1, m_densityUnit, m_densityX,
                                             m_densityY));
    if (m_picture.isNull())
        return false;
    // One row of MCUs at a time: every plane is at the output's size.
    m_stripWidth = m_mcusAcross * m_maxH * m_eighths;
    m_stripHeight = m_maxV * m_eighths;
    m_strips.assign(m_components.size(), std::vector<uint8_t>(size_t(m_stripWidth) * size_t(m_stripHeight)));
    return true;
}

/// Transforms row `my` of MCUs, whose blocks are stored from block row
/// `stored` on, and puts its pixels in the picture.
void Decoder::outputRow(int my, int stored)
{
    const int width = m_picture.width(), height = m_picture.height();
    const bool grey = m_components.size() == 1;
    FIBITMAP* dib = dibOf(m_picture);
    for (size_t i = 0; i < m_components.size(); ++i) {
        const Component& c = m_components[i];
        for (int y = 0; y < c.v; ++y) {
            uint8_t* row = m_strips[i].data() + size_t(y * c.sizeY) * size_t(m_stripWidth);
            const size_t first = size_t(stored * c.v + y) * size_t(c.storedWidth);
            c.transform(c, first, c.storedWidth, row, m_stripWidth);
        }
    }
    const int top = my * m_stripHeight;
    for (int y = 0; y < m_stripHeight && top + y < height; ++y) {
        BYTE* line = FreeImage_GetScanLine(dib, height - 1 - (top + y));
        const uint8_t* luma = m_strips[0].data() + size_t(y) * size_t(m_stripWidth);
        if (grey) {
            std::memcpy(line, luma, size_t(width));
            continue;
        }
        const uint8_t* cb = m_strips[1].data() + size_t(y) * size_t(m_stripWidth);
        const uint8_t* cr = m_strips[2].data() + size_t(y) * size_t(m_stripWidth);
        jpegColourRow(luma, cb, cr, line, width, true);
    }
}

/// Planes named R, G and B in a file without JFIF's header hold RGB.
bool Decoder::rgbPlanes() const
{
    return m_components.size() == 3 && !m_jfif && m_components[0].id == 'R' && m_components[1].id == 'G'
        && m_components[2].id == 'B';
}

Bitmap Decoder::run()
{
    if (!segments() || rgbPlanes())
        return {};
    if (m_sequential)
        return std::move(m_picture);
    if (!startOutput())
        return {};
    for (int my = 0; my < m_mcusDown; ++my)
        outputRow(my, my);
    return std::move(m_picture);
}

} // namespace

void jpegColourRow(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr, uint8_t* line, int width,
                   bool vector)
{
    static const ColourTables colour;
    int x = 0;
#if defined(__x86_64__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (vector && avx2)
        x = colourRowVector(luma, cb, cr, line, width);
#else
    (void)vector;
#endif
    for (; x < width; ++x) {
        const int l = luma[x];
        line[3 * x + FI_RGBA_RED] = clampByte(l + colour.crRed[cr[x]]);
        const int green = (colour.cbGreen[cb[x]] + colour.crGreen[cr[x]]) >> ColourTables::kBits;
        line[3 * x + FI_RGBA_GREEN] = clampByte(l + green);
        line[3 * x + FI_RGBA_BLUE] = clampByte(l + colour.cbBlue[cb[x]]);
    }
}

Bitmap decodeJpegReducedByOurs(std::span<const std::byte> jpeg, int eighths, qint64 maxPixels,
                               RefineInstructions instructions)
{
    if (eighths < 1 || eighths > 4)
        return {};
    static const RefineFunction best = refineFunction(RefineInstructions::Best);
    const RefineFunction refine = instructions == RefineInstructions::Best ? best : refineFunction(instructions);
    Decoder decoder(reinterpret_cast<const uint8_t*>(jpeg.data()), jpeg.size(), eighths, maxPixels, refine);
    Bitmap out = decoder.run();
    trimStorage();
    return out;
}
