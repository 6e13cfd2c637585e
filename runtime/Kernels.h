// The instruction sets the runtime's kernels are built for. Each kernel exists in a portable build
// and, on x86, in one for processors with AVX2; both give the same bits, and the AVX2 one is taken
// where the processor has it and the operating system keeps its registers.
#pragma once

namespace vormlek {

enum class Kernel { kPortable, kAvx2 };

// Whether this processor and system can run the kernel: AVX2 needs the processor's AVX and AVX2
// flags (cpuid) and the system's consent to save the 256-bit registers (xgetbv), checked once.
bool KernelSupported(Kernel kernel) noexcept;
// The fastest supported kernel.
Kernel FastestKernel() noexcept;

}  // namespace vormlek
