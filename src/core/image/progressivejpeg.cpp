#include "core/image/progressivejpeg.h"

#include "core/image/bitmapaccess.h"

#include <FreeImage.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Where the k-th coefficient of the stored (zigzag) order lies in the block,
// row by row.
constexpr std::array<uint8_t, 64> kNaturalOrder = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// Limits that no camera or editor comes near; past them libjpeg decides.
constexpr qint64 kMaxCoefficientBytes = 512LL << 20;
constexpr int kMaxScans = 1000;
constexpr int kMaxDcValue = 1 << 20;

struct Huffman {
    static constexpr int kFastBits = 9;
    // (length << 8) | symbol for the codes of kFastBits bits or fewer; 0 otherwise.
    std::array<uint16_t, 1 << kFastBits> fast{};
    std::array<int32_t, 17> maxCode{};  // the largest code of each length, -1 if none
    std::array<int32_t, 17> offset{};   // symbol index minus code, per length
    std::array<uint8_t, 256> symbols{};
    bool defined = false;
};

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
    bool restart(BitReader& reader, int& expected) const;
    Bitmap output() const;

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
    bool m_jfif = false;
    int m_densityUnit = 0, m_densityX = 1, m_densityY = 1;
    std::vector<Component> m_components;
    std::array<Huffman, 4> m_dc{};
    std::array<Huffman, 4> m_ac{};
    std::array<std::array<uint16_t, 64>, 4> m_quant{};
    std::array<bool, 4> m_quantDefined{};
};

unsigned be16(const uint8_t* p) { return unsigned(p[0]) << 8 | p[1]; }

bool buildHuffman(Huffman& table, const uint8_t* counts, const uint8_t* symbols, int total)
{
    table = Huffman{};
    std::copy(symbols, symbols + total, table.symbols.begin());
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
        if (!buildHuffman(table, at + 1, at + 17, total))
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
    if (c.sizeX > 8 || c.sizeY > 8)
        return false;
    c.widthInBlocks = int((qint64(m_width) * c.h + m_maxH - 1) / m_maxH + 7) / 8;
    c.heightInBlocks = int((qint64(m_height) * c.v + m_maxV - 1) / m_maxV + 7) / 8;
    c.storedWidth = m_mcusAcross * c.h;
    c.storedHeight = m_mcusDown * c.v;
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
    if (precision != 8 || m_width < 1 || m_height < 1 || (count != 1 && count != 3) || length != 6 + 3 * count)
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
    if (reader.overrun())
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
    if (scan.dc() ? scan.se != 0 : (scan.se < scan.ss || scan.se > 63 || scan.count != 1))
        return false;
    if (scan.al > 13 || (scan.ah != 0 && scan.al != scan.ah - 1))
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
    if (scan.dc() ? scan.ah == 0 && !dcTable.defined : !acTable.defined)
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
    if (!(scan.count == 1 ? oneComponent(reader, scan) : interleaved(reader, scan)) || reader.overrun())
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
        if (marker == 0xC2) {
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
    float at[9][8][8]{};
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

/// One block, dequantised and transformed to sizeX × sizeY pixels. Only the
/// rows and columns of coefficients that hold a nonzero one are summed: most
/// of a block's high frequencies are zero, all the more in the colour planes.
void transform(const Component& c, size_t block, uint8_t* out, ptrdiff_t stride)
{
    static const CosineTables cosines;
    const int16_t* coefficients = &c.coefficients[block * size_t(c.stride)];
    const int sx = c.sizeX, sy = c.sizeY;
    const uint64_t nonzero = c.nonzero[block] & c.keptMask & ~uint64_t(1);
    if (!nonzero) {
        const uint8_t level = clampLevel(float(coefficients[0]) * float(c.quant[0]) / 8);
        for (int y = 0; y < sy; ++y)
            std::memset(out + y * stride, level, size_t(sx));
        return;
    }
    int rows = sy, columns = sx;
    while (!(nonzero & kRowsFrom[size_t(rows - 1)]))
        --rows;
    while (!(nonzero & kColumnsFrom[size_t(columns - 1)]))
        --columns;
    const auto& across = cosines.at[sx];
    const auto& down = cosines.at[sy];
    float sums[8][8];
    for (int v = 0; v < rows; ++v) {
        float row[8] = {};
        for (int u = 0; u < columns; ++u) {
            const float f = float(coefficients[v * sx + u]) * float(c.quant[size_t(v * 8 + u)]);
            for (int x = 0; x < 8; ++x)
                row[x] += f * across[u][x];
        }
        std::memcpy(sums[v], row, sizeof row);
    }
    for (int y = 0; y < sy; ++y) {
        float line[8] = {};
        for (int v = 0; v < rows; ++v) {
            const float d = down[v][y];
            for (int x = 0; x < 8; ++x)
                line[x] += d * sums[v][x];
        }
        for (int x = 0; x < sx; ++x)
            out[y * stride + x] = clampLevel(line[x]);
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

Bitmap Decoder::output() const
{
    static const ColourTables colour;
    const int width = int((qint64(m_width) * m_eighths + 7) / 8);
    const int height = int((qint64(m_height) * m_eighths + 7) / 8);
    const bool grey = m_components.size() == 1;
    FIBITMAP* dib = allocateJpegPicture(width, height, grey, m_densityUnit, m_densityX, m_densityY);
    if (!dib)
        return {};
    // One row of MCUs at a time: every plane is at the output's size.
    const int stripWidth = m_mcusAcross * m_maxH * m_eighths;
    const int stripHeight = m_maxV * m_eighths;
    std::vector<std::vector<uint8_t>> strips(m_components.size(),
                                             std::vector<uint8_t>(size_t(stripWidth) * size_t(stripHeight)));
    for (int my = 0; my < m_mcusDown; ++my) {
        for (size_t i = 0; i < m_components.size(); ++i) {
            const Component& c = m_components[i];
            for (int y = 0; y < c.v; ++y) {
                uint8_t* row = strips[i].data() + size_t(y * c.sizeY) * size_t(stripWidth);
                const size_t first = size_t(my * c.v + y) * size_t(c.storedWidth);
                for (int bx = 0; bx < c.storedWidth; ++bx)
                    transform(c, first + size_t(bx), row + bx * c.sizeX, stripWidth);
            }
        }
        const int top = my * stripHeight;
        for (int y = 0; y < stripHeight && top + y < height; ++y) {
            BYTE* line = FreeImage_GetScanLine(dib, height - 1 - (top + y));
            const uint8_t* luma = strips[0].data() + size_t(y) * size_t(stripWidth);
            if (grey) {
                std::memcpy(line, luma, size_t(width));
                continue;
            }
            const uint8_t* cb = strips[1].data() + size_t(y) * size_t(stripWidth);
            const uint8_t* cr = strips[2].data() + size_t(y) * size_t(stripWidth);
            for (int x = 0; x < width; ++x) {
                const int l = luma[x];
                line[3 * x + FI_RGBA_RED] = clampByte(l + colour.crRed[cr[x]]);
                const int green = (colour.cbGreen[cb[x]] + colour.crGreen[cr[x]]) >> ColourTables::kBits;
                line[3 * x + FI_RGBA_GREEN] = clampByte(l + green);
                line[3 * x + FI_RGBA_BLUE] = clampByte(l + colour.cbBlue[cb[x]]);
            }
        }
    }
    return adoptDib(dib);
}

Bitmap Decoder::run()
{
    if (!segments())
        return {};
    // Planes named R, G and B in a file without JFIF's header hold RGB.
    if (m_components.size() == 3 && !m_jfif && m_components[0].id == 'R' && m_components[1].id == 'G'
        && m_components[2].id == 'B')
        return {};
    return output();
}

} // namespace

Bitmap decodeProgressiveReduced(std::span<const std::byte> jpeg, int eighths, qint64 maxPixels,
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
