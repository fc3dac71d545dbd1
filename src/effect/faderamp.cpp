#include "effect/faderamp.h"

#include <cmath>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define FADECREST_HAS_AVX2_RAMP 1
#endif

namespace fade {

Divisor::Divisor(std::int32_t halfFade)
    : halfFade(halfFade),
      h(static_cast<float>(halfFade)),
      reciprocal(1.0f / h),
      reciprocalRest(static_cast<float>(1.0 / static_cast<double>(halfFade) - reciprocal)) {}

// The numerator h - c and h are exact floats, so the float quotient is the double quotient
// rounded to float: double carries more than twice the bits of float plus two, which makes the
// double rounding harmless.
void rampPortable(const float* inL, const float* inR, float* outL, float* outR, std::int32_t frames,
                  std::int32_t firstC, const Divisor& divisor) {
  const float h = divisor.h;
  for (std::int32_t k = 0; k < frames; ++k) {
    const float g = std::fabs((h - static_cast<float>(firstC + k)) / h);
    outL[k] = inL[k] * g;
    outR[k] = inR[k] * g;
  }
}

#ifdef FADECREST_HAS_AVX2_RAMP
namespace {

// A division per frame would bound the loop, so the quotient Q = n / h is taken as
// q = RN(n y + RN(n z)) in one fused multiply-add, where y + z is 1/h split in two floats (Divisor).
// y + z is within 2^-48 of 1/h relative to it and RN(n z) within 2^-48 |Q| of n z, so the sum
// before the one rounding is within 2^-47 |Q| of Q (and a little more). A quotient of integers is
// never halfway between two floats, and one that is not a float lies at least ulp(Q) / (2h), so at
// least 2^-25 |Q| / h, from every such midpoint, which is farther for every h up to 2^21: q rounds
// where Q rounds, bit for bit. Rounding is symmetric, so the gain |q| of a numerator below zero is
// the quotient of its magnitude.
//
// Inlined wherever it is used, so its operands never go through memory.
__attribute__((target("avx2,fma"), always_inline)) inline __m256 gain(__m256 numerator, __m256 reciprocal,
                                                                      __m256 reciprocalRest) {
  const __m256 q = _mm256_fmadd_ps(numerator, reciprocal, _mm256_mul_ps(numerator, reciprocalRest));
  return _mm256_andnot_ps(_mm256_set1_ps(-0.0f), q);
}

// One run of numerators h - c, falling by one a frame through zero. Eight frames a step, sixteen
// while they last (two runs of numerators keep two additions in flight), and the last few frames
// through masked loads and stores, so no frame takes another formula.
//
// Everything stays in registers: 32-byte spills to a 16-byte aligned stack are unsafe with some
// Windows compilers.
__attribute__((target("avx2,fma"))) void rampAvx2(const float* inL, const float* inR, float* outL,
                                                  float* outR, std::int32_t frames, std::int32_t firstC,
                                                  const Divisor& divisor) {
  const __m256 reciprocal = _mm256_set1_ps(divisor.reciprocal);
  const __m256 reciprocalRest = _mm256_set1_ps(divisor.reciprocalRest);
  const __m256 lanes = _mm256_setr_ps(0, 1, 2, 3, 4, 5, 6, 7);
  __m256 a = _mm256_sub_ps(_mm256_set1_ps(divisor.h - static_cast<float>(firstC)), lanes);
  std::int32_t k = 0;
  if (frames >= 16) {
    const __m256 stride = _mm256_set1_ps(16.0f);
    __m256 b = _mm256_sub_ps(a, _mm256_set1_ps(8.0f));
    for (; k + 16 <= frames; k += 16) {
      const __m256 ga = gain(a, reciprocal, reciprocalRest), gb = gain(b, reciprocal, reciprocalRest);
      _mm256_storeu_ps(outL + k, _mm256_mul_ps(_mm256_loadu_ps(inL + k), ga));
      _mm256_storeu_ps(outR + k, _mm256_mul_ps(_mm256_loadu_ps(inR + k), ga));
      _mm256_storeu_ps(outL + k + 8, _mm256_mul_ps(_mm256_loadu_ps(inL + k + 8), gb));
      _mm256_storeu_ps(outR + k + 8, _mm256_mul_ps(_mm256_loadu_ps(inR + k + 8), gb));
      a = _mm256_sub_ps(a, stride);
      b = _mm256_sub_ps(b, stride);
    }
  }
  const __m256 eight = _mm256_set1_ps(8.0f);
  for (; k + 8 <= frames; k += 8) {
    const __m256 g = gain(a, reciprocal, reciprocalRest);
    _mm256_storeu_ps(outL + k, _mm256_mul_ps(_mm256_loadu_ps(inL + k), g));
    _mm256_storeu_ps(outR + k, _mm256_mul_ps(_mm256_loadu_ps(inR + k), g));
    a = _mm256_sub_ps(a, eight);
  }
  if (k < frames) {
    // Lanes below the number of frames left are read and written; the others touch no memory.
    const __m256i mask =
        _mm256_cmpgt_epi32(_mm256_set1_epi32(frames - k), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    const __m256 g = gain(a, reciprocal, reciprocalRest);
    _mm256_maskstore_ps(outL + k, mask, _mm256_mul_ps(_mm256_maskload_ps(inL + k, mask), g));
    _mm256_maskstore_ps(outR + k, mask, _mm256_mul_ps(_mm256_maskload_ps(inR + k, mask), g));
  }
}

}  // namespace

RampKernel avx2RampKernel() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") ? rampAvx2 : nullptr;
}
#else
RampKernel avx2RampKernel() { return nullptr; }
#endif

RampKernel fastestRampKernel() {
  RampKernel wide = avx2RampKernel();
  return wide ? wide : rampPortable;
}

}  // namespace fade
