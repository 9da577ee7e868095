// The Huffman code tables of a DHT segment (ITU-T T.81, Annex C: the codes
// of each length in turn, from the counts BITS and the values HUFFVAL),
// with DECODE's largest code per length and offsets (F.2.2.3, Figure F.16)
// and the faster looks of huffman.h.

#include "core/image/jpeg/huffman.h"

namespace fotolista {

namespace jpeg {

namespace {

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

}  // namespace

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

}  // namespace jpeg

}  // namespace fotolista
