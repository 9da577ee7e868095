// The one scan of a sequential (baseline or extended) file (ITU-T T.81,
// F.2: each block's DC difference, F.2.2.1, and its AC coefficients as runs
// of zeros and values, F.2.2.2, all planes interleaved in MCUs, A.2.3). Each
// row of MCUs is transformed as soon as it is read. A code and the value
// after it are taken in one look where they fit (huffman.h).

#include "core/image/jpeg/decoder.h"

#include <cstring>

namespace fotolista {

namespace jpeg {

namespace {

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

}  // namespace

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

}  // namespace jpeg

}  // namespace fotolista
