// The scans of a progressive file (ITU-T T.81, Annex G, read as G.2 says,
// with the coding models of G.1.2): first scans of the DC coefficients,
// interleaved or not (G.1.2.1), first scans of a band of AC coefficients
// with their end-of-band runs (G.1.2.2), and the refinement scans of
// successive approximation (G.1.2.3), which add one bit to every nonzero
// coefficient of the band and may make zeros nonzero. Every coefficient is
// kept between scans but for those the reduced transform does not use, of
// which only whether they are nonzero is kept (all a refinement asks).

#include "core/image/jpeg/decoder.h"

#include "core/base/cpu.h"

#include <bit>

namespace fotolista {

namespace jpeg {

namespace {

int16_t scaled(int value, int shift)
{
    return int16_t(uint16_t(unsigned(value) << shift));
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

uint64_t lowBits(int n)
{
    return n >= 64 ? ~uint64_t(0) : (uint64_t(1) << n) - 1;
}

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
#if FOTOLISTA_X86
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

#if FOTOLISTA_X86
FOTOLISTA_POPCNT bool acRefineCounting(BitReader& reader, Component& c, const Huffman& table, size_t block, int count,
                                       int ss, int se, int al, int& eobRun)
{
    return acRefineBlocks<false>(reader, c, table, block, count, ss, se, al, eobRun);
}

FOTOLISTA_BMI2 bool acRefineDepositing(BitReader& reader, Component& c, const Huffman& table, size_t block, int count,
                                       int ss, int se, int al, int& eobRun)
{
    return acRefineBlocks<true>(reader, c, table, block, count, ss, se, al, eobRun);
}
#endif

}  // namespace

/// The quickest of the three this processor runs, or of those `asked`
/// allows: AMD's before Zen 3 take a hundred cycles or more for a deposit.
RefineFunction refineFunction(RefineInstructions asked)
{
#if FOTOLISTA_X86
    const cpu::Features& has = cpu::features();
    if (asked == RefineInstructions::Plain || !has.popcnt)
        return acRefinePlain;
    if (asked == RefineInstructions::Best && has.bmi2 && !has.slowDeposit)
        return acRefineDepositing;
    return acRefineCounting;
#else
    (void)asked;
    return acRefinePlain;
#endif
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

}  // namespace jpeg

}  // namespace fotolista
