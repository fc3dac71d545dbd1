// LMMS 1.2 as a real host of the 32-bit DLL: its Windows VST server (a 32-bit Windows program) runs
// the effect under Wine, in the prefix wine-prefix.sh gives this program, on a display of the
// test's own. A Linux program: it runs LMMS, reads what LMMS wrote and what its GUI shows.
// Usage: lmms_tests PATH-OF-fadecrest.dll
#include <gtest/gtest.h>
#include <sndfile.h>

#include <fstream>

#include "integration/command.h"
#include "support/fade_model.h"
#include "support/golden.h"
#include "support/virtual_display.h"

namespace {

std::string gDll;

// A sample track playing `clip` (2 bars at 120 beats a minute: 4 s), and the effect at a program
// on the master channel, or with the master's effect chain switched off.
std::string project(const std::string& clip, bool effectOn, int program) {
  return R"(<?xml version="1.0"?><!DOCTYPE lmms-project><lmms-project version="1.0" type="song">
 <head bpm="120" timesig_numerator="4" timesig_denominator="4" mastervol="100" masterpitch="0"/>
 <song><trackcontainer type="song"><track type="2" name="Sample track" muted="0" solo="0">
  <sampletrack vol="100" pan="0"/><sampletco pos="0" len="384" muted="0" src=")" +
         clip + R"("/></track></trackcontainer>
 <fxmixer><fxchannel num="0" name="Master" muted="0" volume="1"><fxchain numofeffects="1" enabled=")" +
         (effectOn ? "1" : "0") + R"("><effect name="vsteffect" on="1" wet="1" gate="0" autoquit="1">
  <vsteffectcontrols program=")" +
         std::to_string(program) + R"("/><key><attribute name="file" value=")" + gDll +
         R"("/></key></effect></fxchain></fxchannel></fxmixer></song></lmms-project>)";
}

// The left channel of what LMMS renders from the project in 32-bit float, without oversampling (by
// default it renders at twice the rate, which resamples the effect's output).
std::vector<float> render(const ScratchDirectory& directory, const std::string& name,
                          const std::string& text) {
  std::ofstream(directory / (name + ".mmp")) << text;
  const std::string wav = directory / (name + ".wav");
  const CommandResult result =
      runCommand({"/usr/bin/timeout", "120", "/usr/bin/lmms", "--allowroot", "render",
                  directory / (name + ".mmp"), "-o", wav, "-f", "wav", "-a", "-x", "1", "-s", "44100"});
  EXPECT_EQ(result.exitCode, 0) << describe("lmms render", result);
  SF_INFO info{};
  SNDFILE* file = sf_open(wav.c_str(), SFM_READ, &info);
  std::vector<float> frames(file ? static_cast<std::size_t>(info.frames) * info.channels : 0), left;
  if (file) sf_readf_float(file, frames.data(), info.frames), sf_close(file);
  for (std::size_t i = 0; i < frames.size(); i += static_cast<std::size_t>(info.channels))
    left.push_back(frames[i]);
  return left;
}

// At "Shortest" (1 s, 1 s); silence exactly where each window reaches its middle.
TEST(Lmms, RendersThroughTheDllSampleForSampleByTheFadeRule) {
  const ScratchDirectory directory;
  const std::string clip = directory / "clip.wav";
  ASSERT_EQ(runCommand({"/usr/bin/sox", "-n", "-r", "44100", "-c", "2", "-b", "16", clip, "synth", "4",
                        "sine", "440", "vol", "0.5"})
                .exitCode,
            0);
  const std::vector<float> plain = render(directory, "plain", project(clip, false, 5));
  const std::vector<float> faded = render(directory, "faded", project(clip, true, 5));
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
  EXPECT_EQ(silent, 2);
}

// The effect's control window in LMMS's GUI, opened as a person does (LMMS 1.2.2's own layout:
// the mixer's "Controls", then "Show/hide"), shows the editor embedded by XEmbed at "Medium track",
// and a knob dragged with the pointer shows a new value.
TEST(Lmms, ShowsTheEditorInItsControlWindowAndTakesAKnobDrag) {
  xtest::VirtualDisplay display;
  const ScratchDirectory directory;
  std::ofstream(directory / ".lmmsrc.xml") << R"x(<?xml version="1.0"?><!DOCTYPE lmms-config-file>
<lmms version="1.2.2"><app configured="1" nomsgaftersetup="1"/><ui vstembedmethod="xembed"/>
 <mixer audiodev="Dummy (no sound output)" mididev="Dummy (no MIDI support)"/><paths workingdir=")x" +
                                                  directory.path().string() + R"("/></lmms>)";
  std::ofstream(directory / "gui.mmp") << project(directory / "none.wav", true, 3);
  const auto lmms =
      display.start({"/usr/bin/lmms", "--allowroot", "--geometry", "1024x768+0+0", directory / "gui.mmp"},
                    {{"HOME", directory.path()}});
  const auto embedded = [&] {  // the editor in a window of LMMS's, once there is one
    for (Window top : display.children(display.root()))
      if (display.findByClass(top, "lmms") == top)
        if (Window found = display.findByClass(top, "remotevstplugin")) return found;
    return Window{0};
  };
  const auto waitFor = [](const std::function<bool()>& done) {
    for (int tenth = 0; tenth < 300 && !done(); ++tenth)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
  };
  waitFor([&] { return display.findByClass(display.root(), "remotevstplugin") != 0; });  // the effect loaded
  std::this_thread::sleep_for(std::chrono::seconds(3));
  ASSERT_TRUE(display.xdotool(
      {"mousemove", "494", "468", "click", "1", "sleep", "2", "mousemove", "789", "125", "click", "1"}));
  waitFor([&] { return embedded() != 0; });
  const Window editor = embedded();
  ASSERT_NE(editor, 0u) << "no editor in LMMS's control window";
  // LMMS embeds its server's window, which has a one-pixel border, in a frame of the editor's size:
  // the editor's last column and row do not show there (LMMS's background does; see the README).
  const pictures::Picture golden = pictures::goldenPicture("medium_track");
  const auto shown = [&] {
    pictures::Picture picture = display.grab(editor, pictures::kEditorWidth, pictures::kEditorHeight);
    for (int y = 0; y < picture.height; ++y)
      for (int x = 0; x < picture.width; ++x)
        if (x == picture.width - 1 || y == picture.height - 1)
          std::copy_n(golden.at(x, y), 3, picture.rgb.begin() + (y * picture.width + x) * 3);
    return picture;
  };
  const pictures::Picture before = shown();
  pictures::expectLooksLikeGolden(before, "medium_track", pictures::Text::otherEngine);

  // LMMS turns knobs by linear motion: up turns the interval knob up, slowly enough for its server.
  int left = 0, top = 0;
  Window child = 0;
  XTranslateCoordinates(display.connection(), editor, display.root(), 0, 0, &left, &top, &child);
  std::vector<std::string> drag;
  for (const auto& [x, y] : {std::pair{93, 150}, {93, 140}, {93, 130}, {98, 120}, {103, 110}, {113, 100}})
    drag.insert(drag.end(),
                {"mousemove", std::to_string(left + x), std::to_string(top + y), "sleep",
                 y == 150 ? "1" : "0.2", y == 150 ? "mousedown" : "sleep", y == 150 ? "1" : "0.1"});
  drag.insert(drag.end(), {"sleep", "0.5", "mouseup", "1", "sleep", "1.5"});
  ASSERT_TRUE(display.xdotool(drag));
  const pictures::Box interval = pictures::kValueDisplays[0];
  const auto valueShown = [&](const pictures::Picture& picture) {
    return picture.crop(interval.left, interval.top, interval.right - interval.left,
                        interval.bottom - interval.top);
  };
  EXPECT_NE(valueShown(shown()), valueShown(before)) << "the interval display shows a new value";
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (argc > 1) gDll = argv[1];
  return RUN_ALL_TESTS();
}
