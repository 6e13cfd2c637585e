#include "runtime/ChannelGain.h"

#include <cmath>

#include "runtime/Numeric.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace vormlek {
namespace {

// After the safe store the double is finite, so a non-finite float is exactly the overflow case.
inline float TrimmedFloat(float input, double gain) noexcept {
    const auto narrowed = static_cast<float>(SafeStore(static_cast<double>(input) * gain));
    return std::isfinite(narrowed) ? narrowed : 0.0f;
}

inline double TrimmedDouble(double input, double gain) noexcept { return SafeStore(input * gain); }

template <typename Sample>
void ScaleTail(const Sample* input, Sample* output, std::int32_t from, std::int32_t frames, double gain) noexcept {
    for (std::int32_t frame = from; frame < frames; ++frame) {
        if constexpr (sizeof(Sample) == sizeof(float)) output[frame] = TrimmedFloat(input[frame], gain);
        else output[frame] = TrimmedDouble(input[frame], gain);
    }
}

// The vector forms widen, multiply and narrow with the same instructions as the scalar code, lane
// by lane (each rounds to nearest the same way), and mask a non-finite result to +0 by comparing its
// magnitude bits as integers: no comparison that could raise a flag the scalar code does not.
// Every group of samples is read whole before it is written, which keeps in-place buffers right.
#if defined(__SSE2__)

void ScaleFloatsPortable(const float* input, float* output, std::int32_t frames, double gain) noexcept {
    const __m128d gains = _mm_set1_pd(gain);
    const __m128i magnitudeBits = _mm_set1_epi32(0x7FFFFFFF), infinity = _mm_set1_epi32(0x7F800000);
    const auto trim = [&](__m128 in) {
        const __m128 low = _mm_cvtpd_ps(_mm_mul_pd(_mm_cvtps_pd(in), gains));
        const __m128 high = _mm_cvtpd_ps(_mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(in, in)), gains));
        const __m128 narrowed = _mm_movelh_ps(low, high);
        const __m128i finite = _mm_cmpgt_epi32(infinity, _mm_and_si128(_mm_castps_si128(narrowed), magnitudeBits));
        return _mm_and_ps(narrowed, _mm_castsi128_ps(finite));
    };
    std::int32_t frame = 0;
    for (; frame + 8 <= frames; frame += 8) {
        const __m128 first = _mm_loadu_ps(input + frame), second = _mm_loadu_ps(input + frame + 4);
        _mm_storeu_ps(output + frame, trim(first));
        _mm_storeu_ps(output + frame + 4, trim(second));
    }
    ScaleTail(input, output, frame, frames, gain);
}

// A double is finite when the magnitude of its high word is below that of infinity.
void ScaleDoublesPortable(const double* input, double* output, std::int32_t frames, double gain) noexcept {
    const __m128d gains = _mm_set1_pd(gain);
    const __m128i magnitudeBits = _mm_set1_epi32(0x7FFFFFFF), infinity = _mm_set1_epi32(0x7FF00000);
    const auto trim = [&](__m128d in) {
        const __m128d product = _mm_mul_pd(in, gains);
        const __m128i finiteWords = _mm_cmpgt_epi32(infinity, _mm_and_si128(_mm_castpd_si128(product), magnitudeBits));
        return _mm_and_pd(product, _mm_castsi128_pd(_mm_shuffle_epi32(finiteWords, _MM_SHUFFLE(3, 3, 1, 1))));
    };
    std::int32_t frame = 0;
    for (; frame + 4 <= frames; frame += 4) {
        const __m128d first = _mm_loadu_pd(input + frame), second = _mm_loadu_pd(input + frame + 2);
        _mm_storeu_pd(output + frame, trim(first));
        _mm_storeu_pd(output + frame + 2, trim(second));
    }
    ScaleTail(input, output, frame, frames, gain);
}

#else

void ScaleFloatsPortable(const float* input, float* output, std::int32_t frames, double gain) noexcept {
    ScaleTail(input, output, 0, frames, gain);
}
void ScaleDoublesPortable(const double* input, double* output, std::int32_t frames, double gain) noexcept {
    ScaleTail(input, output, 0, frames, gain);
}

#endif

#if defined(__x86_64__) || defined(__i386__)

[[gnu::target("avx2"), gnu::always_inline]] inline __m128 TrimmedFloatsAvx2(__m128 in, __m256d gains) noexcept {
    const __m128 narrowed = _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_cvtps_pd(in), gains));
    const __m128i magnitude = _mm_and_si128(_mm_castps_si128(narrowed), _mm_set1_epi32(0x7FFFFFFF));
    const __m128i finite = _mm_cmpgt_epi32(_mm_set1_epi32(0x7F800000), magnitude);
    return _mm_and_ps(narrowed, _mm_castsi128_ps(finite));
}

[[gnu::target("avx2")]] void ScaleFloatsAvx2(const float* input, float* output, std::int32_t frames,
                                             double gain) noexcept {
    const __m256d gains = _mm256_set1_pd(gain);
    std::int32_t frame = 0;
    for (; frame + 16 <= frames; frame += 16) {
        const __m128 a = _mm_loadu_ps(input + frame), b = _mm_loadu_ps(input + frame + 4);
        const __m128 c = _mm_loadu_ps(input + frame + 8), d = _mm_loadu_ps(input + frame + 12);
        _mm_storeu_ps(output + frame, TrimmedFloatsAvx2(a, gains));
        _mm_storeu_ps(output + frame + 4, TrimmedFloatsAvx2(b, gains));
        _mm_storeu_ps(output + frame + 8, TrimmedFloatsAvx2(c, gains));
        _mm_storeu_ps(output + frame + 12, TrimmedFloatsAvx2(d, gains));
    }
    for (; frame + 4 <= frames; frame += 4) {
        _mm_storeu_ps(output + frame, TrimmedFloatsAvx2(_mm_loadu_ps(input + frame), gains));
    }
    ScaleTail(input, output, frame, frames, gain);
}

[[gnu::target("avx2"), gnu::always_inline]] inline __m256d TrimmedDoublesAvx2(__m256d in, __m256d gains) noexcept {
    const __m256d product = _mm256_mul_pd(in, gains);
    const __m256i magnitude = _mm256_and_si256(_mm256_castpd_si256(product), _mm256_set1_epi32(0x7FFFFFFF));
    const __m256i finiteWords = _mm256_cmpgt_epi32(_mm256_set1_epi32(0x7FF00000), magnitude);
    return _mm256_and_pd(product, _mm256_castsi256_pd(_mm256_shuffle_epi32(finiteWords, _MM_SHUFFLE(3, 3, 1, 1))));
}

[[gnu::target("avx2")]] void ScaleDoublesAvx2(const double* input, double* output, std::int32_t frames,
                                              double gain) noexcept {
    const __m256d gains = _mm256_set1_pd(gain);
    std::int32_t frame = 0;
    for (; frame + 8 <= frames; frame += 8) {
        const __m256d first = _mm256_loadu_pd(input + frame), second = _mm256_loadu_pd(input + frame + 4);
        _mm256_storeu_pd(output + frame, TrimmedDoublesAvx2(first, gains));
        _mm256_storeu_pd(output + frame + 4, TrimmedDoublesAvx2(second, gains));
    }
    for (; frame + 4 <= frames; frame += 4) {
        _mm256_storeu_pd(output + frame, TrimmedDoublesAvx2(_mm256_loadu_pd(input + frame), gains));
    }
    ScaleTail(input, output, frame, frames, gain);
}

#endif

}  // namespace

template <>
ChannelScaler<float> ChannelScalerFor<float>(Kernel kernel) noexcept {
#if defined(__x86_64__) || defined(__i386__)
    if (kernel == Kernel::kAvx2 && KernelSupported(kernel)) return ScaleFloatsAvx2;
#endif
    return ScaleFloatsPortable;
}

template <>
ChannelScaler<double> ChannelScalerFor<double>(Kernel kernel) noexcept {
#if defined(__x86_64__) || defined(__i386__)
    if (kernel == Kernel::kAvx2 && KernelSupported(kernel)) return ScaleDoublesAvx2;
#endif
    return ScaleDoublesPortable;
}

}  // namespace vormlek
