#include "effect/faderamp.h"

#include <cmath>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define FADECREST_HAS_AVX2_RAMP 1
#endif

namespace fade {

// The numerator h - c and h are exact floats, so the float quotient is the double quotient
// rounded to float: double carries more than twice the bits of float plus two, which makes the
// double rounding harmless.
void rampPortable(const float* inL, const float* inR, float* outL, float* outR, std::int32_t frames,
                  std::int32_t firstC, std::int32_t halfFade) {
  const float h = static_cast<float>(halfFade);
  for (std::int32_t k = 0; k < frames; ++k) {
    const float g = std::fabs((h - static_cast<float>(firstC + k)) / h);
    outL[k] = inL[k] * g;
    outR[k] = inR[k] * g;
  }
}

#ifdef FADECREST_HAS_AVX2_RAMP
namespace {

// A division per frame would bound the loop, so the quotient n / h is taken from the reciprocal
// y = RN(1/h) with one correction: q0 = RN(n y), r = n - q0 h (exact in a fused multiply-add),
// q = RN(q0 + r y). Then q0 is within 2 ulp of the quotient Q, and q0 + r y - Q = r (y - 1/h) is
// below h * 2 ulp(Q) * 2^-24 / h' where h' is h rounded up to a power of two. A quotient of
// integers that is not a float lies at least ulp(Q) / (2h) away from every midpoint between
// floats, which is farther for every h below 2^22: q rounds where Q rounds, bit for bit.
//
// Everything stays in registers: 32-byte spills to a 16-byte aligned stack are unsafe with some
// Windows compilers.
__attribute__((target("avx2,fma"))) void rampStretch(const float* inL, const float* inR, float* outL,
                                                     float* outR, std::int32_t frames, float firstNumerator,
                                                     float step, float h) {
  std::int32_t k = 0;
  if (frames >= 16) {
    const __m256 divisor = _mm256_set1_ps(h);
    const __m256 reciprocal = _mm256_set1_ps(1.0f / h);
    const __m256 stride = _mm256_set1_ps(16.0f * step);
    // Two runs of numerators eight frames apart keep two additions in flight.
    __m256 a = _mm256_fmadd_ps(_mm256_setr_ps(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_ps(step),
                               _mm256_set1_ps(firstNumerator));
    __m256 b = _mm256_add_ps(a, _mm256_set1_ps(8.0f * step));
    for (; k + 16 <= frames; k += 16) {
      const __m256 qa = _mm256_mul_ps(a, reciprocal);
      const __m256 ga = _mm256_fmadd_ps(_mm256_fnmadd_ps(qa, divisor, a), reciprocal, qa);
      const __m256 qb = _mm256_mul_ps(b, reciprocal);
      const __m256 gb = _mm256_fmadd_ps(_mm256_fnmadd_ps(qb, divisor, b), reciprocal, qb);
      _mm256_storeu_ps(outL + k, _mm256_mul_ps(_mm256_loadu_ps(inL + k), ga));
      _mm256_storeu_ps(outR + k, _mm256_mul_ps(_mm256_loadu_ps(inR + k), ga));
      _mm256_storeu_ps(outL + k + 8, _mm256_mul_ps(_mm256_loadu_ps(inL + k + 8), gb));
      _mm256_storeu_ps(outR + k + 8, _mm256_mul_ps(_mm256_loadu_ps(inR + k + 8), gb));
      a = _mm256_add_ps(a, stride);
      b = _mm256_add_ps(b, stride);
    }
  }
  for (; k < frames; ++k) {
    const float g = (firstNumerator + step * static_cast<float>(k)) / h;
    outL[k] = inL[k] * g;
    outR[k] = inR[k] * g;
  }
}

// The gain falls to zero at c = h and rises after it; splitting the run there keeps every
// numerator |h - c| positive, so no lane needs its sign cleared.
void rampAvx2(const float* inL, const float* inR, float* outL, float* outR, std::int32_t frames,
              std::int32_t firstC, std::int32_t halfFade) {
  const float h = static_cast<float>(halfFade);
  std::int32_t falling = halfFade - firstC + 1;  // frames with c <= h
  if (falling < 0) falling = 0;
  if (falling > frames) falling = frames;
  rampStretch(inL, inR, outL, outR, falling, h - static_cast<float>(firstC), -1.0f, h);
  rampStretch(inL + falling, inR + falling, outL + falling, outR + falling, frames - falling,
              static_cast<float>(firstC + falling) - h, 1.0f, h);
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
