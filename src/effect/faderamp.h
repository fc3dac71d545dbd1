// The single-precision fade window, the one hot loop of the effect: every frame is scaled by
// g = |(h - c) / h|, the quotient rounded once to float, where h is the half-fade count and c the
// frame's 1-based counter value. Two versions give the same bits: a portable one, and a wider one
// for processors with AVX2, chosen at run time.
#pragma once

#include <cstdint>

namespace fade {

// Fade counts up to this one keep every counter value, half-fade count and numerator h - c an exact
// float, and the AVX2 version's quotient exact (see there). Longer windows, only met at sample rates
// far above any in use, take the effect's per-frame path in double precision.
constexpr std::int32_t kExactRampLimit = 1 << 22;

// The half-fade count as the versions divide by it, worked out once for a window rather than at
// every block: h as a float, and 1/h as the sum of the float nearest to it and the float nearest to
// what that one leaves out.
struct Divisor {
  explicit Divisor(std::int32_t halfFade)
      : halfFade(halfFade),
        h(static_cast<float>(halfFade)),
        reciprocal(1.0f / h),
        reciprocalRest(static_cast<float>(1.0 / static_cast<double>(halfFade) - reciprocal)) {}
  std::int32_t halfFade;
  float h;
  float reciprocal;
  float reciprocalRest;
};

// Ramps `frames` frames whose counter values are firstC, firstC + 1, ...; needs a half-fade count of
// at least 1 and firstC + frames - 1 <= kExactRampLimit. The outputs may be the inputs.
using RampKernel = void (*)(const float* inL, const float* inR, float* outL, float* outR, std::int32_t frames,
                            std::int32_t firstC, const Divisor& divisor);

void rampPortable(const float* inL, const float* inR, float* outL, float* outR, std::int32_t frames,
                  std::int32_t firstC, const Divisor& divisor);

// The AVX2 version, or null where this build or this processor has none.
RampKernel avx2RampKernel();

// The widest version this processor runs.
RampKernel fastestRampKernel();

}  // namespace fade
