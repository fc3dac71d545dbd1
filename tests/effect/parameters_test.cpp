// Parameters, sample counts, programs and the effect's identity.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <tuple>

#include "effect/fadecrestvst.h"
#include "support/logging_editor.h"
#include "support/recording_host.h"

namespace {

// A text buffer one byte longer than the limit, prefilled so tests can see what was written.
struct Text {
  explicit Text(char fill = 'x') { std::memset(bytes, fill, sizeof(bytes)); }
  std::string str() const { return std::string(bytes); }
  char bytes[80];
};

struct CountsCase {
  float rate;
  float interval, duration;
  VstInt32 intervalSamples, fadeSamples, halfFadeSamples;
};

class SampleCounts : public testing::TestWithParam<CountsCase> {};

TEST_P(SampleCounts, FollowTheParametersAndTheSampleRate) {
  const CountsCase& c = GetParam();
  FadecrestVST effect(nullptr);
  effect.setSampleRate(c.rate);
  effect.setParameter(kIntervalParameter, c.interval);
  effect.setParameter(kDurationParameter, c.duration);
  EXPECT_EQ(effect.intervalSampleCount(), c.intervalSamples);
  EXPECT_EQ(effect.fadeSampleCount(), c.fadeSamples);
  EXPECT_EQ(effect.halfFadeSampleCount(), c.halfFadeSamples);
}

INSTANTIATE_TEST_SUITE_P(AtUsualRates, SampleCounts,
                         testing::Values(CountsCase{44100, 0.0f, 0.0f, 44100, 44100, 22050},
                                         CountsCase{44100, 0.5f, 0.5f, 1345050, 132300, 66150},
                                         CountsCase{44100, 1.0f, 1.0f, 2646000, 220500, 110250},
                                         CountsCase{48000, 1.0f, 1.0f, 2880000, 240000, 120000},
                                         // Odd fade counts halve downwards.
                                         CountsCase{11, 0.0f, 0.0f, 11, 11, 5}));

INSTANTIATE_TEST_SUITE_P(
    OutsideTheUsualRange, SampleCounts,
    testing::Values(
        // Values outside 0..1 are not clamped; they only change the counts.
        CountsCase{44100, -1.0f, -1.0f, -2557800, -132300, -66150},
        // Counts beyond 32 bits saturate rather than overflow.
        CountsCase{44100, 1e6f, 1e6f, std::numeric_limits<VstInt32>::max(),
                   std::numeric_limits<VstInt32>::max(), std::numeric_limits<VstInt32>::max() >> 1},
        CountsCase{44100, -1e6f, -1e6f, std::numeric_limits<VstInt32>::min(),
                   std::numeric_limits<VstInt32>::min(), std::numeric_limits<VstInt32>::min() >> 1},
        CountsCase{1e30f, 0.5f, 0.5f, std::numeric_limits<VstInt32>::max(),
                   std::numeric_limits<VstInt32>::max(), std::numeric_limits<VstInt32>::max() >> 1},
        // Values that are not numbers count as no samples.
        CountsCase{44100, std::nanf(""), std::nanf(""), 0, 0, 0},
        CountsCase{std::numeric_limits<float>::infinity(), 0.0f, 0.0f, std::numeric_limits<VstInt32>::max(),
                   std::numeric_limits<VstInt32>::max(), std::numeric_limits<VstInt32>::max() >> 1}));

TEST(SampleCountsLifecycle, StartAt44100AndFollowEveryNewSampleRate) {
  FadecrestVST effect(nullptr);
  const auto counts = [&] {
    return std::tuple(effect.intervalSampleCount(), effect.fadeSampleCount(), effect.halfFadeSampleCount());
  };
  EXPECT_EQ(counts(), std::tuple(2646000, 220500, 110250));

  // A freshly inserted effect in a 48 kHz project must fade on the 48 kHz timing at once.
  effect.dispatcher(effSetSampleRate, 0, 0, nullptr, 48000.0f);
  EXPECT_EQ(effect.getSampleRate(), 48000.0f);
  EXPECT_EQ(counts(), std::tuple(2880000, 240000, 120000));
  effect.dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
  EXPECT_EQ(effect.fadeSampleCount(), 240000);

  effect.setBlockSizeAndSampleRate(512, 96000.0f);
  EXPECT_EQ(effect.getBlockSize(), 512);
  EXPECT_EQ(counts(), std::tuple(5760000, 480000, 240000));

  // Any index recomputes both counts, even one that stores nothing.
  effect.setParameter(7, 0.3f);
  EXPECT_EQ(effect.getParameter(0), 1.0f);
  EXPECT_EQ(effect.getParameter(1), 1.0f);
  EXPECT_EQ(effect.getParameter(7), 0.0f);
  EXPECT_EQ(effect.fadeSampleCount(), 480000);
}

TEST(Programs, ProgramOneIsCurrentAfterConstructionAndTheBankHoldsSixNamedPrograms) {
  FadecrestVST effect(nullptr);
  Text current;
  EXPECT_EQ(effect.dispatcher(effGetProgram, 0, 0, nullptr, 0), 1);
  effect.dispatcher(effGetProgramName, 0, 0, current.bytes, 0);
  EXPECT_EQ(current.str(), "Very Long track");
  EXPECT_EQ(effect.getParameter(kIntervalParameter), 1.0f);
  EXPECT_EQ(effect.getParameter(kDurationParameter), 1.0f);

  const char* names[] = {"Init", "Very Long track", "Long track", "Medium track", "Short track", "Shortest"};
  const float values[] = {1.0f, 1.0f, 0.75f, 0.5f, 0.25f, 0.0f};
  for (VstInt32 i = 0; i < 6; ++i) {
    Text name;
    EXPECT_EQ(effect.dispatcher(effGetProgramNameIndexed, i, 0, name.bytes, 0), 1);
    EXPECT_EQ(name.str(), names[i]);
    effect.dispatcher(effSetProgram, 0, i, nullptr, 0);
    EXPECT_EQ(effect.getParameter(kIntervalParameter), values[i]);
    EXPECT_EQ(effect.getParameter(kDurationParameter), values[i]);
  }
  for (VstInt32 index : {6, -1}) {
    Text name;
    EXPECT_EQ(effect.dispatcher(effGetProgramNameIndexed, index, 0, name.bytes, 0), 0);
    EXPECT_EQ(name.bytes[0], 'x');
  }
}

TEST(Programs, SettingAProgramAppliesDurationThenIntervalAndLeavesTheBankAlone) {
  FadecrestVST effect(nullptr);
  std::vector<LoggedCall> log;
  LoggingEditor* editor = replaceEditor(effect, log);
  effect.setProgram(2);
  EXPECT_EQ(log, (std::vector<LoggedCall>{{"editor", 1, 0.75f}, {"editor", 0, 0.75f}}));
  // The duration was stored and announced while the interval still held its old value.
  EXPECT_EQ(editor->seenInterval, (std::vector<float>{1.0f, 0.75f}));

  effect.setProgram(3);
  Text interval, duration;
  effect.getParameterDisplay(kIntervalParameter, interval.bytes);
  effect.getParameterDisplay(kDurationParameter, duration.bytes);
  EXPECT_EQ(interval.str(), "30.50000");
  EXPECT_EQ(duration.str(), "3.000000");

  effect.setParameter(kIntervalParameter, 0.9f);
  effect.setProgram(3);
  EXPECT_EQ(effect.getParameter(kIntervalParameter), 0.5f);
}

TEST(Programs, InitNamesCarryTheirProgramNumberAndNamesAreCutTo24Characters) {
  FadecrestVST effect(nullptr);
  Text name;
  effect.setProgram(0);
  effect.getProgramName(name.bytes);
  EXPECT_EQ(name.str(), "Init 1");

  effect.setProgram(2);
  char init[] = "Init";
  effect.setProgramName(init);
  effect.getProgramName(name.bytes);
  EXPECT_EQ(name.str(), "Init 3");
  // The indexed name has no such rule.
  effect.getProgramNameIndexed(0, 2, name.bytes);
  EXPECT_EQ(name.str(), "Init");

  // Only the exact text counts.
  char lower[] = "init";
  effect.setProgramName(lower);
  effect.getProgramName(name.bytes);
  EXPECT_EQ(name.str(), "init");

  char longName[] = "abcdefghijklmnopqrstuvwxyz1234";  // 30 characters, cut to 24
  effect.dispatcher(effSetProgramName, 0, 0, longName, 0);
  effect.dispatcher(effGetProgramName, 0, 0, name.bytes, 0);
  EXPECT_EQ(name.str(), "abcdefghijklmnopqrstuvwx");
}

TEST(ParameterTexts, NamesLabelsAndDisplaysPaddedUpToTheLimitForTheTwoParametersOnly) {
  FadecrestVST effect(nullptr);
  Text text;
  const std::tuple<VstInt32, VstInt32, float, const char*> texts[] = {
      {effGetParamName, 0, 0.0f, "Interval"},    {effGetParamName, 1, 0.0f, "Duration"},
      {effGetParamLabel, 1, 0.0f, "seconds"},    {effGetParamDisplay, 0, 1.0f, "60.00000"},
      {effGetParamDisplay, 0, 0.5f, "30.50000"}, {effGetParamDisplay, 0, 0.0f, "1.000000"},
      {effGetParamDisplay, 1, 0.5f, "3.000000"}, {effGetParamDisplay, 1, 1.0f, "5.000000"},
      {effGetParamDisplay, 1, 0.75f, "4.000000"}};
  for (const auto& [opcode, index, value, shown] : texts) {
    if (opcode == effGetParamDisplay) effect.setParameter(index, value);
    effect.dispatcher(opcode, index, 0, text.bytes, 0);
    EXPECT_EQ(text.str(), shown);
  }

  // Short texts are padded with terminators up to the limit.
  Text label, name, vendor;
  effect.getParameterLabel(0, label.bytes);  // "seconds" is 7 of 8
  EXPECT_EQ(label.bytes[7], 0);
  EXPECT_EQ(label.bytes[8], 0);
  EXPECT_EQ(label.bytes[9], 'x');
  effect.getParameterName(0, name.bytes);  // exactly 8: terminator in the ninth byte
  EXPECT_EQ(name.bytes[8], 0);
  EXPECT_EQ(name.bytes[9], 'x');
  effect.getVendorString(vendor.bytes);
  for (int i = 8; i <= 64; ++i) EXPECT_EQ(vendor.bytes[i], 0) << i;
  EXPECT_EQ(vendor.bytes[65], 'x');

  // Other indices store and name nothing, but still reach the editor.
  std::vector<LoggedCall> log;
  replaceEditor(effect, log);
  effect.setParameter(7, 0.3f);
  EXPECT_EQ(log, (std::vector<LoggedCall>{{"editor", 7, 0.3f}}));
  EXPECT_EQ(effect.getParameter(kIntervalParameter), 0.0f);  // as the displays left them
  EXPECT_EQ(effect.getParameter(kDurationParameter), 0.75f);
  for (VstInt32 opcode :
       std::initializer_list<VstInt32>{effGetParamName, effGetParamLabel, effGetParamDisplay}) {
    Text untouched;
    effect.dispatcher(opcode, 2, 0, untouched.bytes, 0);
    EXPECT_EQ(untouched.bytes[0], 'x') << "opcode " << opcode;
  }
}

TEST(Identity, WhatTheHostSeesOfTheEffectAndNoRequestForMidi) {
  RecordingHost host;
  FadecrestVST effect(RecordingHost::callback);
  Text text;
  for (const auto& [opcode, name] : {std::pair{effGetEffectName, "Fadecrest"},
                                     {effGetProductString, "Fadecrest"},
                                     {effGetVendorString, "Corvenna"}}) {
    EXPECT_EQ(effect.dispatcher(opcode, 0, 0, text.bytes, 0), 1);
    EXPECT_EQ(text.str(), name);
  }
  char midi[] = "receiveVstMidiEvent";
  char other[] = "sendVstEvents";
  EXPECT_EQ(effect.dispatcher(effCanDo, 0, 0, midi, 0), 0);
  EXPECT_EQ(effect.dispatcher(effCanDo, 0, 0, other, 0), 0);
  for (VstInt32 index : {0, 1, 5, -3})
    EXPECT_EQ(effect.dispatcher(effCanBeAutomated, index, 0, nullptr, 0), 1);
  effect.dispatcher(effMainsChanged, 0, 1, nullptr, 0);
  effect.dispatcher(effMainsChanged, 0, 0, nullptr, 0);
  EXPECT_TRUE(host.calls.empty());  // no request for MIDI events, at construction or resume
}

}  // namespace
