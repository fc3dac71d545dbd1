// LMMS 1.2 as a real host of the 32-bit DLL: its Windows VST server (a 32-bit Windows program) runs
// the effect under Wine, on the virtual display and in the prefix wine-prefix.sh gives this program.
// A Linux program: it runs LMMS and reads what LMMS wrote. Usage: lmms_tests PATH-OF-fadecrest.dll
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "support/fade_model.h"

namespace {

std::string gDll;

// A sample track playing `clip` (2 bars at 120 beats a minute: 4 s), with the effect at the program
// "Shortest" (1 s, 1 s) on it, or with its effect chain switched off.
std::string project(const std::string& clip, bool effectOn) {
  return R"(<?xml version="1.0"?><!DOCTYPE lmms-project>
<lmms-project version="1.0" type="song" creator="LMMS" creatorversion="1.2.2">
 <head bpm="120" timesig_numerator="4" timesig_denominator="4" mastervol="100" masterpitch="0"/>
 <song><trackcontainer type="song"><track type="2" name="Sample track" muted="0" solo="0">
  <sampletrack vol="100" pan="0"><fxchain enabled=")" +
         std::string(effectOn ? "1" : "0") + R"(" numofeffects="1">
   <effect name="vsteffect" on="1" wet="1" gate="0" autoquit="1"><vsteffectcontrols program="5"/>
    <key><attribute name="file" value=")" +
         gDll + R"("/></key></effect>
  </fxchain></sampletrack>
  <sampletco pos="0" len="384" muted="0" src=")" +
         clip + R"("/>
 </track></trackcontainer></song></lmms-project>
)";
}

// The left channel of a 32-bit float file LMMS rendered from the project, without oversampling (by
// default it renders at twice the rate, which resamples the effect's output).
std::vector<float> render(const std::string& directory, const std::string& name, const std::string& text) {
  std::ofstream(directory + "/" + name + ".mmp") << text;
  const std::string wav = directory + "/" + name + ".wav";
  const std::string command = "timeout 120 lmms --allowroot render " + directory + "/" + name + ".mmp -o " +
                              wav + " -f wav -a -x 1 -s 44100 >/dev/null 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  SF_INFO info{};
  SNDFILE* file = sf_open(wav.c_str(), SFM_READ, &info);
  if (!file) return {};
  std::vector<float> frames(static_cast<std::size_t>(info.frames) * info.channels);
  sf_readf_float(file, frames.data(), info.frames);
  sf_close(file);
  std::vector<float> left;
  for (std::size_t i = 0; i < frames.size(); i += static_cast<std::size_t>(info.channels))
    left.push_back(frames[i]);
  return left;
}

TEST(Lmms, RendersThroughTheDllSampleForSampleByTheFadeRule) {
  char pattern[] = "/tmp/fadecrest-lmms-XXXXXX";
  const std::string directory = mkdtemp(pattern);
  const std::string clip = directory + "/clip.wav";
  ASSERT_EQ(std::system(("sox -n -r 44100 -c 2 -b 16 " + clip + " synth 4 sine 440 vol 0.5").c_str()), 0);

  const std::vector<float> plain = render(directory, "plain", project(clip, false));
  const std::vector<float> faded = render(directory, "faded", project(clip, true));
  ASSERT_EQ(faded.size(), plain.size());
  ASSERT_GE(plain.size(), 4u * 44100);
  FadeModel model(0.0f, 0.0f, 44100.0);
  int differing = 0, silent = 0;
  for (std::size_t i = 0; i < 4u * 44100; ++i) {
    const FadeModel::Step step = model.next();
    const float expected = FadeModel::apply(step, plain[i]);
    if (std::fabs(faded[i] - expected) > 1e-6f && ++differing <= 3)
      ADD_FAILURE() << "frame " << i << ": " << faded[i] << ", expected " << expected;
    if (step.phase == FadeModel::Phase::Fade && step.gain == 0.0f) silent += faded[i] == 0.0f ? 1 : -1000;
  }
  EXPECT_EQ(differing, 0);
  EXPECT_EQ(silent, 2) << "silence exactly where each window reaches its middle";
  std::system(("rm -rf " + directory).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (argc > 1) gDll = argv[1];
  return RUN_ALL_TESTS();
}
