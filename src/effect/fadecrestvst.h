// The Fadecrest effect: lets the signal pass for an interval, then runs a fade window in which it
// dips to silence and comes back, over and over.
#pragma once

#include <atomic>

#include "effect/faderamp.h"
#include "host/audioeffectx.h"

constexpr VstInt32 kNumPrograms = 6;
constexpr VstInt32 kNumParams = 2;

enum FadecrestParameter : VstInt32 {
  kIntervalParameter = 0,
  kDurationParameter = 1,
};

struct FadecrestProgram {
  FadecrestProgram();

  float interval;
  float duration;
  char name[kVstMaxProgNameLen + 1];
};

class FadecrestVST : public AudioEffectX {
 public:
  explicit FadecrestVST(audioMasterCallback audioMaster);
  ~FadecrestVST() override;

  void setSampleRate(float newSampleRate) override;
  void setBlockSizeAndSampleRate(VstInt32 newBlockSize, float newSampleRate) override;

  void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
  void processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames) override;

  void setProgram(VstInt32 program) override;
  void setProgramName(char* name) override;
  void getProgramName(char* name) override;
  bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;

  void setParameter(VstInt32 index, float value) override;
  float getParameter(VstInt32 index) override;
  void getParameterLabel(VstInt32 index, char* label) override;
  void getParameterDisplay(VstInt32 index, char* text) override;
  void getParameterName(VstInt32 index, char* text) override;

  bool getEffectName(char* name) override;
  bool getVendorString(char* text) override;
  bool getProductString(char* text) override;
  VstInt32 getVendorVersion() override { return 1000; }
  VstPlugCategory getPlugCategory() override { return kPlugCategEffect; }

  // The sample counts the gate compares its counter with, as last computed.
  VstInt32 intervalSampleCount() const { return intervalSamples.load(std::memory_order_relaxed); }
  VstInt32 fadeSampleCount() const { return fadeSamples.load(std::memory_order_relaxed); }
  VstInt32 halfFadeSampleCount() const { return halfFadeSamples.load(std::memory_order_relaxed); }

 private:
  void computeSampleCounts();
  void createEditor();
  template <typename Sample, typename WindowRun>
  void runGate(Sample** inputs, Sample** outputs, VstInt32 sampleFrames, bool muteOpeningFrame,
               WindowRun windowRun);
  template <typename Sample, typename WindowRun>
  void walkGate(Sample** inputs, Sample** outputs, VstInt32 sampleFrames, bool muteOpeningFrame,
                WindowRun windowRun);
  template <typename Sample, typename WindowRun>
  void phaseRun(const Sample* inL, const Sample* inR, Sample* outL, Sample* outR, VstInt32 n, VstInt32 firstC,
                VstInt32 count, WindowRun windowRun);

  FadecrestProgram* programs;
  // Written by setParameter from whatever thread the host automates on, read by the audio thread:
  // relaxed atomics give plain loads and stores without a data race.
  std::atomic<float> interval;
  std::atomic<float> duration;
  VstInt32 sampleCounter;
  std::atomic<VstInt32> intervalSamples;
  std::atomic<VstInt32> fadeSamples;
  std::atomic<VstInt32> halfFadeSamples;
  bool fading;
  // The audio thread's own: the divisor of the window it ramps, kept while the half-fade count stays.
  fade::Divisor rampDivisor{1};
};
