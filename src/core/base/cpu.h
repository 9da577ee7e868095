#pragma once

// What the processor can run. The vectorised passes are compiled for
// x86-64 with the instructions they need named per function, and chosen
// here at run time, so that one program runs on every x86-64 machine and
// elsewhere falls back to plain code.

#if defined(__x86_64__)
#include <immintrin.h>
#define FOTOLISTA_X86 1
#define FOTOLISTA_AVX2 __attribute__((target("avx2")))
#define FOTOLISTA_POPCNT __attribute__((target("popcnt")))
#define FOTOLISTA_BMI2 __attribute__((target("popcnt,bmi,bmi2")))
#else
#define FOTOLISTA_X86 0
#endif

namespace fotolista {

namespace cpu {

struct Features {
    bool avx2 = false;
    bool popcnt = false;
    bool bmi2 = false;
    // AMD's Zen 1 and 2 run BMI2's deposit in microcode, a hundred cycles
    // or more: slower than doing without.
    bool slowDeposit = false;
};

/// Asked of the processor once.
const Features& features();

}  // namespace cpu

}  // namespace fotolista
