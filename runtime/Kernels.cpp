#include "runtime/Kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace vormlek {
namespace {

bool DetectAvx2() noexcept {
#if defined(__x86_64__) || defined(__i386__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return false;
    if ((ecx & bit_OSXSAVE) == 0 || (ecx & bit_AVX) == 0) return false;
    // XCR0 bits 1 and 2: the system saves the SSE and the upper AVX register halves on a switch.
    unsigned low = 0, high = 0;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    if ((low & 0x6u) != 0x6u) return false;
    if (__get_cpuid_max(0, nullptr) < 7) return false;
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    return (ebx & bit_AVX2) != 0;
#else
    return false;
#endif
}

}  // namespace

bool KernelSupported(Kernel kernel) noexcept {
    static const bool avx2 = DetectAvx2();
    return kernel == Kernel::kPortable || avx2;
}

Kernel FastestKernel() noexcept { return KernelSupported(Kernel::kAvx2) ? Kernel::kAvx2 : Kernel::kPortable; }

}  // namespace vormlek
