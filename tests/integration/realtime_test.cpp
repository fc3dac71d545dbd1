// The shipped module under the real-time sanitizer: it marks what hosts call from their audio thread
// as non-blocking, so an allocation, a lock or a blocking system call made from inside one of those
// entries ends this program with a report. Two audio threads drive eight effects the way hosts do
// while the user-interface thread opens, idles and closes editors on a virtual display.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

#include "integration/plugin_module.h"
#include "support/virtual_display.h"

namespace {

constexpr int kEffects = 8, kMaxFrames = 512;

// Every request of the audio thread, on every second effect from `first`, with blocks of changing
// length; true when each output sample stayed within its input's magnitude, as a fade gain does.
bool runAudio(const std::vector<std::unique_ptr<Effect>>& effects, int first, const std::atomic<bool>& more) {
  std::vector<float> in(2 * kMaxFrames, 0.5f), out(2 * kMaxFrames);
  std::vector<double> inDouble(2 * kMaxFrames, -0.25), outDouble(2 * kMaxFrames);
  float* inputs[] = {in.data(), in.data() + kMaxFrames};
  float* outputs[] = {out.data(), out.data() + kMaxFrames};
  double* inputsDouble[] = {inDouble.data(), inDouble.data() + kMaxFrames};
  double* outputsDouble[] = {outDouble.data(), outDouble.data() + kMaxFrames};
  alignas(16) char noEvents[64] = {};  // a VstEvents record that holds no event
  bool bounded = true;
  for (int block = 0; more || block < 400; ++block)
    for (int i = first; i < kEffects; i += 2) {
      const Effect& effect = *effects[i];
      const int frames = 1 + (block * 37 + i) % kMaxFrames;
      effect->setParameter(effect.get(), block % 2, static_cast<float>(block % 11) / 10.0f);
      effect->processReplacing(effect.get(), inputs, outputs, frames);
      effect->processDoubleReplacing(effect.get(), inputsDouble, outputsDouble, frames);
      bounded &= std::fabs(out[frames - 1]) <= 0.5f && std::fabs(outDouble[kMaxFrames + frames - 1]) <= 0.25;
      const float duration = effect->getParameter(effect.get(), 1);
      bounded &= duration >= 0.0f && duration <= 1.0f;
      effect.dispatch(effProcessEvents, 0, 0, noEvents);
      effect.dispatch(effSetBypass, 0, block % 3 == 0);
      effect.dispatch(effGetTailSize);
      if (block % 40 == i) effect.dispatch(effSetProgram, 0, block / 40 % 6);
      if (block % 100 == i) {
        effect.dispatch(effStopProcess);
        effect.dispatch(effStartProcess);
      }
    }
  return bounded;
}

TEST(RealTime, AudioThreadEntriesNeitherAllocateNorLockNorBlockWhileEditorsComeAndGo) {
  xtest::VirtualDisplay display;
  ASSERT_NE(display.connection(), nullptr) << "Xvfb did not start";
  PluginModule module;
  ASSERT_NE(module.entry(), nullptr) << PluginModule::loadError();
  std::vector<std::unique_ptr<Effect>> effects;
  for (int i = 0; i < kEffects; ++i) {
    effects.push_back(std::make_unique<Effect>(module));
    effects[i]->dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    effects[i]->dispatch(effSetBlockSize, 0, kMaxFrames);
    effects[i]->dispatch(effMainsChanged, 0, 1);
    effects[i]->dispatch(effStartProcess);
  }
  const Window hosts[2] = {display.makeWindow(0, 0, 328, 264), display.makeWindow(400, 0, 328, 264)};

  std::atomic<bool> more{true};
  bool bounded[2] = {};
  std::thread audio[2] = {std::thread([&] { bounded[0] = runAudio(effects, 0, more); }),
                          std::thread([&] { bounded[1] = runAudio(effects, 1, more); })};
  for (int round = 0; round < 4; ++round) {
    for (int i = 0; i < 2; ++i)
      EXPECT_EQ(effects[i]->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(hosts[i])), 1);
    for (int pass = 0; pass < 50; ++pass)
      for (int i = 0; i < 2; ++i) effects[i]->dispatch(effEditIdle);
    for (int i = 0; i < 2; ++i) effects[i]->dispatch(effEditClose);
  }
  more = false;
  for (std::thread& thread : audio) thread.join();
  EXPECT_TRUE(bounded[0] && bounded[1]) << "a fade gain never raises a sample";
}

}  // namespace
