#pragma once

// The entropy-coded data of a scan and its Huffman codes (ITU-T T.81):
// the bits as NEXTBIT and RECEIVE give them (F.2.2.5, F.2.2.4: a 0xFF byte
// is followed by a stuffed 0x00, and any other byte after 0xFF is a marker
// that ends the data), the code tables built from a DHT segment's counts
// and values (Annex C, B.2.4.2) and DECODE (F.2.2.3), with EXTEND for the
// sign (F.2.2.1). Two faster looks at the same codes: `fast` for any code
// of up to nine bits, and `lookup`, for sequential scans, which takes a
// code and the value that follows it at once.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace fotolista {

namespace jpeg {

struct Huffman {
    static constexpr int kFastBits = 9;
    // (length << 8) | symbol for the codes of kFastBits bits or fewer; 0 otherwise.
    std::array<uint16_t, 1 << kFastBits> fast{};
    std::array<int32_t, 17> maxCode{};  // the largest code of each length, -1 if none
    std::array<int32_t, 17> offset{};  // symbol index minus code, per length
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

inline int extend(unsigned value, int size)
{
    return value < (1u << (size - 1)) ? int(value) - (1 << size) + 1 : int(value);
}

/// The table of a DHT segment: `total` symbols, `counts` of each length
/// from 1 to 16. False for a table libjpeg refuses.
bool buildHuffman(Huffman& table, const uint8_t* counts, const uint8_t* symbols, int total, bool dc);

}  // namespace jpeg

}  // namespace fotolista
