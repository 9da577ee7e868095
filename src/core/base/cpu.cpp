#include "core/base/cpu.h"

namespace fotolista {

namespace cpu {

const Features& features()
{
    static const Features f = [] {
        Features out;
#if FOTOLISTA_X86
        __builtin_cpu_init();
        out.avx2 = __builtin_cpu_supports("avx2");
        out.popcnt = __builtin_cpu_supports("popcnt");
        out.bmi2 = __builtin_cpu_supports("bmi2");
        out.slowDeposit = __builtin_cpu_is("znver1") || __builtin_cpu_is("znver2");
#endif
        return out;
    }();
    return f;
}

}  // namespace cpu

}  // namespace fotolista
