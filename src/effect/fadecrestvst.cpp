#include "effect/fadecrestvst.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "editor/fadecrestvsteditor.h"
#include "effect/faderamp.h"
#include "host/textcopy.h"

namespace {

constexpr VstInt32 kUniqueId = fourCharacters('f', '4', '0', '8');

struct ProgramPreset {
  const char* name;
  float interval;
  float duration;
};

// Programs 1 to 5; program 0 keeps the values a program is made with.
constexpr ProgramPreset kPresets[kNumPrograms - 1] = {
    {"Very Long track", 1.0f, 1.0f}, {"Long track", 0.75f, 0.75f}, {"Medium track", 0.5f, 0.5f},
    {"Short track", 0.25f, 0.25f},   {"Shortest", 0.0f, 0.0f},
};

// Seconds shown for a normalised value: 1 to 60 for the interval, 1 to 5 for the duration.
double intervalSeconds(float interval) { return static_cast<double>(interval) * 59.0 + 1.0; }
double durationSeconds(float duration) { return static_cast<double>(duration) * 4.0 + 1.0; }

// Truncates toward zero like a plain conversion, but a value outside 32 bits saturates and one that
// is not a number counts as 0, so no parameter or sample rate can make a count undefined.
VstInt32 toSampleCount(double samples) {
  if (std::isnan(samples)) return 0;
  if (samples >= 2147483647.0) return std::numeric_limits<VstInt32>::max();
  if (samples <= -2147483648.0) return std::numeric_limits<VstInt32>::min();
  return static_cast<VstInt32>(samples);
}

// Gain of the frame with counter value c (1-based) in a window whose gain reaches zero at h.
inline float fadeGain(VstInt32 halfFade, VstInt32 c) {
  double h = static_cast<float>(halfFade);
  return std::fabs(static_cast<float>((h - c) / h));
}

// Chosen once when the library is loaded, so the audio thread never waits on a first-use guard.
const fade::RampKernel kRampKernel = fade::fastestRampKernel();

// The windows the ramp versions do not take, which no usual sample rate gives: a one-frame window
// and windows longer than kExactRampLimit.
__attribute__((noinline)) void rampRareWindow(const float* inL, const float* inR, float* outL, float* outR,
                                              VstInt32 n, VstInt32 firstC, VstInt32 fadeCount) {
  const VstInt32 halfFade = fadeCount >> 1;
  for (VstInt32 k = 0; k < n; ++k) {
    // A one-frame window is silent, like the double-precision gate, rather than a division by zero.
    const float g = halfFade == 0 ? 0.0f : fadeGain(halfFade, firstC + k);
    outL[k] = inL[k] * g;
    outR[k] = inR[k] * g;
  }
}

template <typename Sample>
void passRun(const Sample* in, Sample* out, VstInt32 n) {
  if (in != out) std::memmove(out, in, static_cast<size_t>(n) * sizeof(Sample));
}

// Out of line, so that the window's path through the gate keeps no registers for the two copies.
template <typename Sample>
__attribute__((noinline)) void passBoth(const Sample* inL, const Sample* inR, Sample* outL, Sample* outR,
                                        VstInt32 n) {
  passRun(inL, outL, n);
  passRun(inR, outR, n);
}

template <typename Sample>
void silenceRun(Sample* out, VstInt32 n) {
  for (VstInt32 k = 0; k < n; ++k) out[k] = Sample(0);
}

// Frames from old up to, not including, count: how many of the remaining frames stay in the phase.
VstInt32 framesBefore(VstInt32 count, VstInt32 old, VstInt32 remaining) {
  int64_t left = static_cast<int64_t>(count) - old;
  return static_cast<VstInt32>(left < remaining ? left : remaining);
}

}  // namespace

FadecrestProgram::FadecrestProgram() : interval(1.0f), duration(1.0f) {
  vst_strncpy(name, "Init", kVstMaxProgNameLen);
}

FadecrestVST::FadecrestVST(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParams),
      programs(nullptr),
      interval(1.0f),
      duration(1.0f),
      sampleCounter(0),
      intervalSamples(0),
      fadeSamples(0),
      halfFadeSamples(0),
      fading(false) {
  cEffect.flags |= effFlagsCanReplacing | effFlagsCanDoubleReplacing;
  setNumInputs(2);
  setNumOutputs(2);
  setUniqueID(kUniqueId);
  computeSampleCounts();

  programs = new FadecrestProgram[kNumPrograms];
  for (VstInt32 i = 1; i < kNumPrograms; ++i) {
    const ProgramPreset& preset = kPresets[i - 1];
    programs[i].interval = preset.interval;
    programs[i].duration = preset.duration;
    vst_strncpy(programs[i].name, preset.name, kVstMaxProgNameLen);
  }
  curProgram = 1;
  setParameter(kDurationParameter, programs[1].duration);
  setParameter(kIntervalParameter, programs[1].interval);

  createEditor();
  resume();
}

FadecrestVST::~FadecrestVST() { delete[] programs; }

// The editor registers itself while it is built; without memory for it the effect goes on with
// no editor and says so in its flags.
void FadecrestVST::createEditor() {
  try {
    editor = new FadecrestVSTEditor(this);
  } catch (const std::bad_alloc&) {
    editor = nullptr;
    setFlag(effFlagsHasEditor, false);
  }
}

// A new rate must change the timing at once: without this a freshly inserted effect would fade
// on the 44100 Hz timing until a parameter changed.
void FadecrestVST::setSampleRate(float newSampleRate) {
  AudioEffectX::setSampleRate(newSampleRate);
  computeSampleCounts();
}

void FadecrestVST::setBlockSizeAndSampleRate(VstInt32 newBlockSize, float newSampleRate) {
  AudioEffectX::setBlockSizeAndSampleRate(newBlockSize, newSampleRate);
  computeSampleCounts();
}

void FadecrestVST::computeSampleCounts() {
  double rate = sampleRate;
  VstInt32 fade = toSampleCount(durationSeconds(duration.load(std::memory_order_relaxed)) * rate);
  intervalSamples.store(toSampleCount(intervalSeconds(interval.load(std::memory_order_relaxed)) * rate),
                        std::memory_order_relaxed);
  fadeSamples.store(fade, std::memory_order_relaxed);
  halfFadeSamples.store(fade >> 1, std::memory_order_relaxed);
}

// Walks a block in runs of frames that stay in one phase; the two precisions differ only in the
// frame that opens the window and in what a window run does. Most blocks lie inside one phase and
// are one run, which is taken on its own so that it costs a host no more than the run itself.
template <typename Sample, typename WindowRun>
void FadecrestVST::runGate(Sample** inputs, Sample** outputs, VstInt32 sampleFrames, bool muteOpeningFrame,
                           WindowRun windowRun) {
  // A host may pass no channels at all with an empty block.
  if (sampleFrames <= 0) return;
  const VstInt32 old = sampleCounter;
  const VstInt32 count = (fading ? fadeSamples : intervalSamples).load(std::memory_order_relaxed);
  if (static_cast<std::int64_t>(count) - old >= sampleFrames) {
    sampleCounter = old + sampleFrames;
    phaseRun(inputs[0], inputs[1], outputs[0], outputs[1], sampleFrames, old + 1, count, windowRun);
  } else {
    walkGate(inputs, outputs, sampleFrames, muteOpeningFrame, windowRun);
  }
}

template <typename Sample, typename WindowRun>
__attribute__((noinline)) void FadecrestVST::walkGate(Sample** inputs, Sample** outputs,
                                                      VstInt32 sampleFrames, bool muteOpeningFrame,
                                                      WindowRun windowRun) {
  const Sample* inL = inputs[0];
  const Sample* inR = inputs[1];
  Sample* outL = outputs[0];
  Sample* outR = outputs[1];
  VstInt32 i = 0;
  while (i < sampleFrames) {
    const VstInt32 old = sampleCounter;
    const VstInt32 count = (fading ? fadeSamples : intervalSamples).load(std::memory_order_relaxed);
    if (old < count) {
      VstInt32 n = framesBefore(count, old, sampleFrames - i);
      phaseRun(inL + i, inR + i, outL + i, outR + i, n, old + 1, count, windowRun);
      sampleCounter = old + n;
      i += n;
    } else {
      const bool mute = !fading && muteOpeningFrame;
      outL[i] = mute ? Sample(0) : inL[i];
      outR[i] = mute ? Sample(0) : inR[i];
      sampleCounter = 0;
      fading = !fading;
      ++i;
    }
  }
}

// Frames of the current phase whose counter values are firstC, firstC + 1, ...
template <typename Sample, typename WindowRun>
void FadecrestVST::phaseRun(const Sample* inL, const Sample* inR, Sample* outL, Sample* outR, VstInt32 n,
                            VstInt32 firstC, VstInt32 count, WindowRun windowRun) {
  if (fading) {
    windowRun(inL, inR, outL, outR, n, firstC, count);
  } else {
    passBoth(inL, inR, outL, outR, n);
  }
}

void FadecrestVST::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
  // The frame that opens the window passes unchanged; the window is ramped. The half is taken from
  // the fade count just read rather than from its own field, so an automation change between the
  // two stores can never pair a new fade with an old half.
  runGate(inputs, outputs, sampleFrames, false,
          [this](const float* inL, const float* inR, float* outL, float* outR, VstInt32 n, VstInt32 firstC,
                 VstInt32 count) {
            if (count < 2 || count > fade::kExactRampLimit)
              return rampRareWindow(inL, inR, outL, outR, n, firstC, count);
            if (count >> 1 != rampDivisor.halfFade) rampDivisor = fade::Divisor(count >> 1);
            kRampKernel(inL, inR, outL, outR, n, firstC, rampDivisor);
          });
}

void FadecrestVST::processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames) {
  // In double precision the whole window is muted, the opening frame included.
  runGate(inputs, outputs, sampleFrames, true,
          [](const double*, const double*, double* outL, double* outR, VstInt32 n, VstInt32, VstInt32) {
            silenceRun(outL, n);
            silenceRun(outR, n);
          });
}

void FadecrestVST::setProgram(VstInt32 program) {
  curProgram = program;
  setParameter(kDurationParameter, programs[program].duration);
  setParameter(kIntervalParameter, programs[program].interval);
}

void FadecrestVST::setProgramName(char* name) {
  vst_strncpy(programs[curProgram].name, name, kVstMaxProgNameLen);
}

void FadecrestVST::getProgramName(char* name) {
  const char* stored = programs[curProgram].name;
  if (std::strcmp(stored, "Init") == 0) {
    char numbered[kVstMaxProgNameLen + 16];
    std::snprintf(numbered, sizeof(numbered), "%s %d", stored, curProgram + 1);
    vst_strncpy(name, numbered, kVstMaxProgNameLen);
  } else {
    vst_strncpy(name, stored, kVstMaxProgNameLen);
  }
}

bool FadecrestVST::getProgramNameIndexed(VstInt32 /*category*/, VstInt32 index, char* text) {
  if (index < 0 || index >= kNumPrograms) return false;
  vst_strncpy(text, programs[index].name, kVstMaxProgNameLen);
  return true;
}

void FadecrestVST::setParameter(VstInt32 index, float value) {
  if (index == kIntervalParameter)
    interval.store(value, std::memory_order_relaxed);
  else if (index == kDurationParameter)
    duration.store(value, std::memory_order_relaxed);
  computeSampleCounts();
  if (auto* guiEditor = dynamic_cast<AEffGUIEditor*>(editor)) guiEditor->setParameter(index, value);
}

float FadecrestVST::getParameter(VstInt32 index) {
  if (index == kIntervalParameter) return interval.load(std::memory_order_relaxed);
  if (index == kDurationParameter) return duration.load(std::memory_order_relaxed);
  return 0.0f;
}

void FadecrestVST::getParameterName(VstInt32 index, char* text) {
  if (index == kIntervalParameter)
    vst_strncpy(text, "Interval", kVstMaxParamStrLen);
  else if (index == kDurationParameter)
    vst_strncpy(text, "Duration", kVstMaxParamStrLen);
}

void FadecrestVST::getParameterLabel(VstInt32 index, char* label) {
  if (index == kIntervalParameter || index == kDurationParameter)
    vst_strncpy(label, "seconds", kVstMaxParamStrLen);
}

void FadecrestVST::getParameterDisplay(VstInt32 index, char* text) {
  if (index == kIntervalParameter)
    float2string(static_cast<float>(intervalSeconds(getParameter(index))), text, kVstMaxParamStrLen);
  else if (index == kDurationParameter)
    float2string(static_cast<float>(durationSeconds(getParameter(index))), text, kVstMaxParamStrLen);
}

bool FadecrestVST::getEffectName(char* name) {
  vst_strncpy(name, "Fadecrest", kVstMaxEffectNameLen);
  return true;
}

bool FadecrestVST::getVendorString(char* text) {
  vst_strncpy(text, "Corvenna", kVstMaxVendorStrLen);
  return true;
}

bool FadecrestVST::getProductString(char* text) {
  vst_strncpy(text, "Fadecrest", kVstMaxProductStrLen);
  return true;
}
