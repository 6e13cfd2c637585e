// The spectral built-ins that scripts apply to blocks of their memory: a split-radix complex FFT,
// the MDCT and its inverse, and element-wise products of complex blocks.
//
// Each works in place from a memory index. A block must lie inside one memory page: one that would
// cross a page boundary is refused and memory stays untouched, because the transforms step through
// storage directly and must never reach past the end of a page.
#pragma once

#include <bit>
#include <cstdint>

#include "runtime/CVormlekMemory.h"
#include "runtime/Kernels.h"

namespace vormlek {

enum FftMode : std::int32_t {
    kFftForward = 0,       // kernel e^(+2 pi i nk/N): natural order in, internal order out
    kFftInverse = 1,       // kernel e^(-2 pi i nk/N): internal order in, natural order out
    kFftToNatural = 4,     // internal order to natural: block[m] = old[T[m]], so a forward pass
                           // followed by this one yields the e^(-2 pi i nk/N) spectrum in natural order
    kFftFromNatural = 5,   // the exact undoing of kFftToNatural: block[T[m]] = old[m]
};

inline constexpr std::int32_t kFftMinSize = 16;
inline constexpr std::int32_t kFftMaxSize = 32768;
inline constexpr std::int32_t kMdctMinSize = 32;
inline constexpr std::int32_t kMdctMaxSize = 4096;

// The points a transform takes for a requested size: the size rounded down to a power of two, or 0
// when that lies outside smallest..largest.
inline std::int32_t TransformPoints(std::int32_t size, std::int32_t smallest, std::int32_t largest) noexcept {
    const auto points = size < 1 ? 0 : static_cast<std::int32_t>(std::bit_floor(static_cast<std::uint32_t>(size)));
    return points >= smallest && points <= largest ? points : 0;
}

// size complex values, stored as interleaved real and imaginary doubles from index. size is rounded
// down to a power of two; sizes outside 16..32768 and modes other than the four above do nothing.
// Neither direction scales: an inverse pass after a forward pass leaves the block times size.
void Fft(CVormlekMemory& memory, std::int32_t index, std::int32_t size, std::int32_t mode);

// size windowed inputs from index become size/2 coefficients at index; the rest of the block keeps
// its values. Window sin(pi (i + 0.5) / size), X[k] = sum x[n] w[n] cos(pi/(2 size) (2n + 1 + size/2)
// (2k + 1)). size is rounded down to a power of two; sizes outside 32..4096 do nothing. Size 32 gives
// X unscaled, the larger sizes give X times 4/size.
void Mdct(CVormlekMemory& memory, std::int32_t index, std::int32_t size);

// size/2 coefficients at index become size windowed outputs there: y[n] = w[n] sum X[k] cos(...),
// times 4/size for size 32 only, so that for every size the inverse of the forward transform,
// overlap-added with hop size/2, reconstructs the input.
void InverseMdct(CVormlekMemory& memory, std::int32_t index, std::int32_t size);

// Products of count complex values (interleaved doubles); count is rounded down to an even number.
// The destination may be one of the operand blocks. Each block must lie inside one page.
void ComplexMultiply(CVormlekMemory& memory, std::int32_t destination, std::int32_t source, std::int32_t count);
void ComplexMultiplyInto(CVormlekMemory& memory, std::int32_t destination, std::int32_t left, std::int32_t right,
                         std::int32_t count);
void ComplexMultiplyAdd(CVormlekMemory& memory, std::int32_t destination, std::int32_t left, std::int32_t right,
                        std::int32_t count);

// The same transforms on raw storage, for sizes that are already valid powers of two: the FFT on
// 2 * size doubles, the MDCT and its inverse on size doubles.
void FftBlock(double* block, std::int32_t size, std::int32_t mode) noexcept;

// The FFT passes exist in two builds: a portable one, and on x86 one for processors with AVX2, which
// turns two butterflies per instruction. Both do the same operations in the same order, so they
// give the same bits; FftBlock above takes the faster one the processor supports, and a kernel the
// processor lacks falls back to the portable one.
using FftKernel = Kernel;
inline bool FftKernelSupported(FftKernel kernel) noexcept { return KernelSupported(kernel); }
void FftBlock(double* block, std::int32_t size, std::int32_t mode, FftKernel kernel) noexcept;
void MdctBlock(double* block, std::int32_t size) noexcept;
void InverseMdctBlock(double* block, std::int32_t size) noexcept;

}  // namespace vormlek
