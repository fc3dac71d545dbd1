#include "effect/faderamp.h"

#include <cmath>
#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define FADECREST_HAS_AVX2_RAMP 1
#endif

namespace fade {

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

// The numerators of frames k to k + 7, from those of frames 0 to 7; all exact.
__attribute__((target("avx2,fma"), always_inline)) inline __m256 numeratorsAt(__m256 first, std::int32_t k) {
  return _mm256_sub_ps(first, _mm256_set1_ps(static_cast<float>(k)));
}

__attribute__((target("avx2,fma"), always_inline)) inline void scaleEight(const float* in, float* out,
                                                                          __m256 g) {
  _mm256_storeu_ps(out, _mm256_mul_ps(_mm256_loadu_ps(in), g));
}

// Four frames with the lower half of the gains g.
__attribute__((target("avx2,fma"), always_inline)) inline void scaleFour(const float* in, float* out,
                                                                         __m256 g) {
  _mm_storeu_ps(out, _mm_mul_ps(_mm_loadu_ps(in), _mm256_castps256_ps128(g)));
}

// Frames from k on of both channels, eight at a time, then four, and the last few through masked
// loads and stores (which cost several times as much), so no frame takes another formula. Lanes
// below the number of frames left are read and written; the others touch no memory.
__attribute__((target("avx2,fma"), always_inline)) inline void rampFrom(const float* const (&in)[2],
                                                                        float* const (&out)[2],
                                                                        std::int32_t k, std::int32_t frames,
                                                                        __m256 first, __m256 reciprocal,
                                                                        __m256 reciprocalRest) {
  for (; k + 8 <= frames; k += 8) {
    const __m256 g = gain(numeratorsAt(first, k), reciprocal, reciprocalRest);
    for (int c = 0; c < 2; ++c) scaleEight(in[c] + k, out[c] + k, g);
  }
  if (k + 4 <= frames) {
    const __m256 g = gain(numeratorsAt(first, k), reciprocal, reciprocalRest);
    for (int c = 0; c < 2; ++c) scaleFour(in[c] + k, out[c] + k, g);
    k += 4;
  }
  if (k < frames) {
    const __m256i mask =
        _mm256_cmpgt_epi32(_mm256_set1_epi32(frames - k), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    const __m256 g = gain(numeratorsAt(first, k), reciprocal, reciprocalRest);
    for (int c = 0; c < 2; ++c)
      _mm256_maskstore_ps(out[c] + k, mask, _mm256_mul_ps(_mm256_maskload_ps(in[c] + k, mask), g));
  }
}

// Steps of sixteen frames of both channels, two runs of numerators keeping two subtractions in
// flight. `early` starts its steps at frame `start`, `late` at start + 4 when kShifted (taking the
// upper half of one step's gains and the lower half of the next), else at `start`. The frames
// before `start` are the caller's; after the last steps `early` catches up, and the frames left go
// through rampFrom.
template <bool kShifted>
__attribute__((target("avx2,fma"), always_inline)) inline void rampSteps(
    const float* earlyIn, float* earlyOut, const float* lateIn, float* lateOut, std::int32_t start,
    std::int32_t frames, __m256 first, __m256 reciprocal, __m256 reciprocalRest) {
  constexpr std::int32_t kLag = kShifted ? 4 : 0;
  const __m256 stride = _mm256_set1_ps(16.0f);
  __m256 b = numeratorsAt(first, start + 8), c = numeratorsAt(first, start + 16);
  __m256 ga = gain(numeratorsAt(first, start), reciprocal, reciprocalRest);
  std::int32_t k = start;
  for (; k + 16 + kLag <= frames; k += 16) {
    const __m256 gb = gain(b, reciprocal, reciprocalRest), gc = gain(c, reciprocal, reciprocalRest);
    scaleEight(earlyIn + k, earlyOut + k, ga);
    scaleEight(earlyIn + k + 8, earlyOut + k + 8, gb);
    if constexpr (kShifted) {
      scaleEight(lateIn + k + 4, lateOut + k + 4, _mm256_permute2f128_ps(ga, gb, 0x21));
      scaleEight(lateIn + k + 12, lateOut + k + 12, _mm256_permute2f128_ps(gb, gc, 0x21));
    } else {
      scaleEight(lateIn + k, lateOut + k, ga);
      scaleEight(lateIn + k + 8, lateOut + k + 8, gb);
    }
    ga = gc;  // the gains of this step's next eight frames are the next step's first
    b = _mm256_sub_ps(b, stride);
    c = _mm256_sub_ps(c, stride);
  }
  if constexpr (kShifted) {
    scaleFour(earlyIn + k, earlyOut + k, ga);  // catching up with `late`
    k += 4;
  }
  rampFrom({earlyIn, lateIn}, {earlyOut, lateOut}, k, frames, first, reciprocal, reciprocalRest);
}

// A 32-byte store that straddles a 32-byte boundary costs about two, so where both outputs lie on
// 16-byte boundaries (as a host's buffers do), blocks of this many frames or more keep every
// eight-frame step on a 32-byte boundary: an output that is not on one takes its first four frames
// alone. When one output is four frames further from a boundary than the other (as with buffers
// allocated one after another), its steps run four frames behind the other's. Shorter blocks do
// not win back what the choice costs.
constexpr std::int32_t kAlignFrom = 128;

// Frames before the output's next 32-byte boundary: 0 or 4 for an output on a 16-byte boundary.
std::int32_t framesToBoundary(const float* out) {
  return static_cast<std::int32_t>((0u - reinterpret_cast<std::uintptr_t>(out)) % 32 / 4);
}

// Everything stays in registers: 32-byte spills to a 16-byte aligned stack are unsafe with some
// Windows compilers.
__attribute__((target("avx2,fma"))) void rampAvx2(const float* inL, const float* inR, float* outL,
                                                  float* outR, std::int32_t frames, std::int32_t firstC,
                                                  const Divisor& divisor) {
  const __m256 reciprocal = _mm256_set1_ps(divisor.reciprocal);
  const __m256 reciprocalRest = _mm256_set1_ps(divisor.reciprocalRest);
  const __m256 first = _mm256_sub_ps(_mm256_set1_ps(divisor.h - static_cast<float>(firstC)),
                                     _mm256_setr_ps(0, 1, 2, 3, 4, 5, 6, 7));
  const bool onSixteen =
      (reinterpret_cast<std::uintptr_t>(outL) | reinterpret_cast<std::uintptr_t>(outR)) % 16 == 0;
  if (frames < kAlignFrom || !onSixteen) {
    return rampSteps<false>(inL, outL, inR, outR, 0, frames, first, reciprocal, reciprocalRest);
  }
  const std::int32_t leadL = framesToBoundary(outL), leadR = framesToBoundary(outR);
  if (leadL != 0) scaleFour(inL, outL, gain(first, reciprocal, reciprocalRest));
  if (leadR != 0) scaleFour(inR, outR, gain(first, reciprocal, reciprocalRest));
  if (leadL == leadR)
    rampSteps<false>(inL, outL, inR, outR, leadL, frames, first, reciprocal, reciprocalRest);
  else if (leadL == 0)
    rampSteps<true>(inL, outL, inR, outR, 0, frames, first, reciprocal, reciprocalRest);
  else
    rampSteps<true>(inR, outR, inL, outL, 0, frames, first, reciprocal, reciprocalRest);
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
